#!/usr/bin/env bash
# Usage: deps.sh [i686|x86_64]
# Cross-builds the third-party libraries that Debian ships only as sources for the host,
# into a cache outside the clone: $BRIVELO_DEPS/<name>-<version>/{include,lib}.
# Prints nothing and does nothing when a cached build of the current source version exists.
set -euo pipefail

DEPS="${BRIVELO_DEPS:-$HOME/.cache/brivelo-deps}"
mkdir -p "$DEPS"
exec 9>"$DEPS/.lock"
flock 9

JOBS="$(nproc)"
ARCH="${1:-i686}"                     # i686 (the product) or x86_64 (test build fallback)
CROSS=$ARCH-w64-mingw32
case "$ARCH" in
  i686) OSSL_TARGET=mingw ;;
  x86_64) OSSL_TARGET=mingw64 ;;
  *) echo "deps: unknown arch $ARCH" >&2; exit 2 ;;
esac

source_version() {  # newest source version apt knows for a package
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/{print $2}' | sort -V | tail -n1
}

quiet() {  # runs a build step; its output is shown only when it fails
  local log; log="$(mktemp)"
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2; rm -f "$log"; echo "deps: failed: $*" >&2; return 1
  fi
  rm -f "$log"
}

fetch_orig() {  # $1 source package, $2 work dir; echoes the orig tarball path
  local pkg="$1" work="$2"
  ( cd "$work" && apt-get source --download-only "$pkg" >/dev/null 2>&1 || true )
  # The .dsc of a security update may answer 404; the orig tarball is what counts.
  local tar
  tar="$(ls "$work"/${pkg}_*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n1 || true)"
  if [ -z "$tar" ]; then
    echo "deps: no source tarball for $pkg (is deb-src enabled?)" >&2
    exit 1
  fi
  echo "$tar"
}

build_openssl() {
  local ver; ver="$(source_version openssl)"; ver="${ver%%-*}"
  local out="$DEPS/openssl-$ver-$ARCH"
  [ -f "$out/lib/libcrypto.a" ] && { echo "$out"; return; }
  local work; work="$(mktemp -d)"
  local tar; tar="$(fetch_orig openssl "$work")"
  tar -xf "$tar" -C "$work"
  local src; src="$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'openssl*' | head -n1)"
  ( cd "$src"
    quiet ./Configure $OSSL_TARGET no-shared no-tests no-asm --cross-compile-prefix=$CROSS-
    quiet make -j"$JOBS" build_libs )
  rm -rf "$out.tmp"; mkdir -p "$out.tmp/lib" "$out.tmp/include"
  cp "$src/libcrypto.a" "$out.tmp/lib/"
  cp -r "$src/include/openssl" "$out.tmp/include/"
  mv "$out.tmp" "$out"
  rm -rf "$work"
  echo "$out"
}

build_jsoncpp() {
  local ver; ver="$(source_version libjsoncpp)"; ver="${ver%%-*}"
  local out="$DEPS/jsoncpp-$ver-$ARCH"
  [ -f "$out/lib/libjsoncpp.a" ] && { echo "$out"; return; }
  local work; work="$(mktemp -d)"
  local tar; tar="$(fetch_orig libjsoncpp "$work")"
  tar -xf "$tar" -C "$work"
  local src; src="$(find "$work" -maxdepth 1 -mindepth 1 -type d | head -n1)"
  local here; here="$(cd "$(dirname "$0")/../.." && pwd)"
  quiet cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$ARCH.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out.tmp" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=OFF
  quiet cmake --build "$work/build" -j"$JOBS"
  rm -rf "$out.tmp"
  quiet cmake --install "$work/build"
  mv "$out.tmp" "$out"
  rm -rf "$work"
  echo "$out"
}

ossl="$(build_openssl)"
json="$(build_jsoncpp)"
# The build reads these two paths.
printf 'OPENSSL_ROOT=%s\nJSONCPP_ROOT=%s\n' "$ossl" "$json" > "$DEPS/current-$ARCH.env"
