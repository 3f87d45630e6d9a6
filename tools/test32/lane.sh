#!/usr/bin/env bash
# Usage: lane.sh <i686 build folder> native|vm [--all [ctest args]]
# The 32-bit lane: runs the i686 build's tests where 32-bit code runs, on this machine
# (native) or in the lane's virtual machine (vm), then prints the verdict, the skips, every
# kill and retry by name, and what it cost. Without --all it runs the groups of ./groups;
# with --all the whole suite through ctest.
# The lane stops and fails once it has used its budget: BRIVELO_TEST32_BUDGET minutes
# (40 for the groups, 180 for the whole suite), the making of the image included.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
build="$(cd "$1" && pwd)"; where="$2"; shift 2
mode=groups
if [ "${1:-}" = --all ]; then mode=all; shift; fi
partial=()
[ "$mode" = all ] && [ $# -gt 0 ] && partial=(--partial)
budget_min="${BRIVELO_TEST32_BUDGET:-$([ "$mode" = all ] && echo 180 || echo 40)}"
lane_start=$SECONDS
results="$build/test32/$where"
rm -rf "$results"
mkdir -p "$results"

verdict() {  # the lane's report, then its cost lines
  local rc=0
  python3 "$HERE/report.py" "$HERE/groups" "$1" "$mode" "${partial[@]}" > "$results/report.txt" || rc=$?
  # The verdict's closing line comes last, after the costs.
  head -n -1 "$results/report.txt"
  shift
  local line
  for line in "$@"; do echo "test32: cost: $line"; done
  echo "test32: cost: the lane took $((SECONDS - lane_start)) s of its budget of $budget_min min"
  tail -n 1 "$results/report.txt"
  return "$rc"
}

if [ "$where" = native ]; then
  echo "test32: running the i686 tests on this machine ($mode)"
  "$HERE/run.sh" "$build" "$results" "$mode" "$@" || true
  verdict "$results"
  exit
fi

# In the virtual machine.
missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
command -v debootstrap >/dev/null || missing+=(debootstrap)
if [ ${#missing[@]} -gt 0 ]; then
  echo "test32: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null; }
fi

image_start=$SECONDS
image="$("$HERE/image.sh")"
image_cost="$(tr '\n' ' ' < "$image/costs")"
if [ $((SECONDS - image_start)) -gt 5 ]; then
  image_line="image made now in $((SECONDS - image_start)) s ($image_cost)"
else
  image_line="image cached in $image, made once ($image_cost)"
fi
left=$((budget_min * 60 - (SECONDS - lane_start)))
[ "$left" -gt 60 ] || { echo "test32: FAIL the image took the whole budget of $budget_min min"; exit 1; }

ctl="$results/ctl"
mkdir -p "$ctl/results"
shares=("$ROOT")
case "$build/" in "$ROOT"/*) ;; *) shares+=("$build") ;; esac
# The guest's own Wine prefix (made in the image) and session state stand in for the build
# folder's, which belong to this machine's Wine.
mkdir -p "$build/wineprefix" "$build/.session"
{
  echo '#!/bin/bash'
  echo 'set -e'
  printf 'mount --bind /var/lib/brivelo/wineprefix %q\n' "$build/wineprefix"
  printf 'mount -t tmpfs tmpfs %q\n' "$build/.session"
  # Emulation runs a test several times slower than this machine would: a test process gets
  # more time, and so do the engine's watchdogs and the test API's waits (their pace).
  printf 'export BRIVELO_TEST32_TIMEOUT=%q\n' "${BRIVELO_TEST32_TIMEOUT:-900}"
  printf 'export BRIVELO_CEF_PACE=%q\n' "${BRIVELO_CEF_PACE:-10}"
  printf 'exec %q %q /share/results %q' "$HERE/run.sh" "$build" "$mode"
  [ $# -eq 0 ] || printf ' %q' "$@"
  echo
} > "$ctl/job"
chmod +x "$ctl/job"

echo "test32: running the i686 tests in a virtual machine ($mode, $left s of the budget left)"
share_args=()
for s in "${shares[@]}"; do share_args+=(--share "$s"); done
vm_rc=0
"$HERE/vm.sh" --image "$image" --ctl "$ctl" "${share_args[@]}" --timeout "$left" || vm_rc=$?
vm_cost="$(tr '\n' ' ' < "$ctl/vm-costs" 2>/dev/null || true)"
if [ "$vm_rc" = 124 ]; then
  echo "test32: FAIL the virtual machine outlived the budget of $budget_min min"
elif [ "$vm_rc" = 125 ]; then
  echo "test32: FAIL the virtual machine stopped before the tests ended"
fi
rc=0
verdict "$ctl/results" "$image_line" "virtual machine: $vm_cost(seconds; boot = start to the job's first line)" || rc=$?
case "$vm_rc" in 124|125) exit 1 ;; esac
exit "$rc"
