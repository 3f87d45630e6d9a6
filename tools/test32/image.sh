#!/usr/bin/env bash
# Usage: image.sh
# Makes the virtual machine the 32-bit lane runs in, where this machine's kernel cannot run
# 32-bit code: a Debian amd64 guest made with debootstrap from Debian's packages, with Wine
# (32- and 64-bit), Xvfb and ctest, and a Wine prefix booted once inside it.
# The result is cached in $BRIVELO_DEPS/vm-<hash of this file>/ and made once per machine;
# prints that folder. Its files: vmlinuz, initrd.img, root.img, costs (seconds it took).
# Everything the guest needs baked in is written by this file, so any change to it makes a
# new image.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
DEPS="${BRIVELO_DEPS:-$HOME/.cache/brivelo-deps}"
KEY="$(sha256sum "$0" | cut -c1-16)"
OUT="$DEPS/vm-$KEY"
SUITE="$(. /etc/os-release && echo "$VERSION_CODENAME")"
GUEST_PREFIX=/var/lib/brivelo/wineprefix

image_ready() { [ -f "$OUT/costs" ]; }

mkdir -p "$DEPS"
if image_ready; then echo "$OUT"; exit 0; fi
exec 8>"$DEPS/.vm-lock"
flock 8
if image_ready; then echo "$OUT"; exit 0; fi

for tool in debootstrap mkfs.ext4 qemu-system-x86_64; do
  command -v "$tool" >/dev/null || { echo "image: $tool is missing (tools/test32/lane.sh installs it)" >&2; exit 1; }
done

WORK="$OUT.tmp"
ROOTFS="$WORK/rootfs"
mounted=()
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# A build that was stopped may have left its chroot's /proc mounted.
umount -l "$ROOTFS/proc" 2>/dev/null || true
rm -rf --one-file-system "$WORK"
mkdir -p "$WORK"
log() { echo "image: $*" >&2; }
quiet() {  # runs a step; its output is shown only when it fails
  if ! "$@" >"$WORK/step.log" 2>&1; then
    tail -n 40 "$WORK/step.log" >&2; log "failed: $*"; return 1
  fi
}
in_root() { chroot "$ROOTFS" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 ${http_proxy:+http_proxy="$http_proxy"} "$@"; }

# The guest takes its packages from where this machine's apt does.
mirrors() {  # "URI SUITE" for every archive of this release apt knows
  apt-get indextargets --format '$(REPO_URI) $(CODENAME)' 'Created-By: Packages' 2>/dev/null |
    awk -v s="$SUITE" '$2 == s || index($2, s "-") == 1' | sort -u
}
MIRROR="$(mirrors | awk -v s="$SUITE" '$2 == s {print $1; exit}')"

start=$SECONDS
log "debootstrap $SUITE (amd64) into $ROOTFS"
quiet debootstrap --variant=minbase --arch=amd64 \
  --include=linux-image-amd64,systemd-sysv,udev,kmod,procps,e2fsprogs \
  "$SUITE" "$ROOTFS" ${MIRROR:+"$MIRROR"}
t_debootstrap=$((SECONDS - start))

mirrors | while read -r uri suite; do echo "deb $uri $suite main"; done > "$ROOTFS/etc/apt/sources.list"
[ -s "$ROOTFS/etc/apt/sources.list" ] || rm -f "$ROOTFS/etc/apt/sources.list"  # debootstrap's own stays
cp -L /etc/resolv.conf "$ROOTFS/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' > "$ROOTFS/usr/sbin/policy-rc.d"
chmod +x "$ROOTFS/usr/sbin/policy-rc.d"
mount -t proc proc "$ROOTFS/proc" && mounted=("$ROOTFS/proc" "${mounted[@]}")

start=$SECONDS
log "installing Wine, Xvfb and ctest in the guest"
in_root dpkg --add-architecture i386
quiet in_root apt-get update -q
# The same Wine packages (with what they recommend: fonts, GnuTLS for the crypto libraries)
# and OpenGL drivers for both Wine architectures as ./dev setup installs on the build machine.
quiet in_root apt-get install -y -q wine wine32:i386 wine64 xvfb xauth \
  libgl1 libglx-mesa0 libgl1-mesa-dri libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386
quiet in_root apt-get install -y -q --no-install-recommends cmake
in_root apt-get clean
t_packages=$((SECONDS - start))

start=$SECONDS
log "configuring the guest"
# A small initramfs: the guest needs only its virtio disk, ext4 and the 9p shares.
sed -i 's/^MODULES=.*/MODULES=list/' "$ROOTFS/etc/initramfs-tools/initramfs.conf"
printf '%s\n' virtio_pci virtio_blk ext4 9p 9pnet 9pnet_virtio >> "$ROOTFS/etc/initramfs-tools/modules"
quiet in_root update-initramfs -u -k all
printf '/dev/vda / ext4 defaults 0 0\nctl /share 9p trans=virtio,version=9p2000.L,msize=524288,nofail 0 0\n' \
  > "$ROOTFS/etc/fstab"
mkdir -p "$ROOTFS/share"
echo brivelo-vm > "$ROOTFS/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 brivelo-vm\n::1 localhost ip6-localhost ip6-loopback\n' > "$ROOTFS/etc/hosts"
rm -f "$ROOTFS/usr/sbin/policy-rc.d" "$ROOTFS/etc/resolv.conf"

# The job runner: mounts the folders the host shares (each at the host's own path, so the
# build folder's absolute paths hold), runs /share/job with its output on the serial console
# and in /share/job.log, leaves its exit code in /share/job.rc and powers off.
cat > "$ROOTFS/usr/local/sbin/brivelo-job" <<'EOF'
#!/bin/bash
if [ -x /share/job ]; then
  if [ -f /share/mounts ]; then
    while read -r tag path; do
      mkdir -p "$path"
      mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=loose "$tag" "$path"
    done < /share/mounts
  fi
  echo "vm: guest up after $(cut -d' ' -f1 /proc/uptime) s" > /dev/ttyS0
  /share/job 2>&1 | tee /share/job.log > /dev/ttyS0
  echo "${PIPESTATUS[0]}" > /share/job.rc
fi
sync
systemctl poweroff --no-block
EOF
chmod +x "$ROOTFS/usr/local/sbin/brivelo-job"
cat > "$ROOTFS/etc/systemd/system/brivelo-job.service" <<'EOF'
[Unit]
Description=Runs the job the host shared
After=local-fs.target systemd-networkd.service
[Service]
Type=oneshot
ExecStart=/usr/local/sbin/brivelo-job
[Install]
WantedBy=multi-user.target
EOF
# A network like a developer's machine has: one adapter with a gateway (the product sends
# nothing where it sees none). The host's side of it is a user-mode network that reaches
# nowhere, so the tests' traffic stays on the guest's loopback.
cat > "$ROOTFS/etc/systemd/network/10-guest.network" <<'EOF'
[Match]
Type=ether
[Network]
Address=10.0.2.15/24
Gateway=10.0.2.2
EOF
in_root systemctl enable systemd-networkd.service >/dev/null 2>&1
in_root systemctl enable brivelo-job.service >/dev/null 2>&1
in_root systemctl set-default multi-user.target >/dev/null 2>&1
# Nothing else runs in the guest: no logins, no timers.
for unit in serial-getty@ttyS0.service getty@tty1.service apt-daily.timer apt-daily-upgrade.timer \
            e2scrub_all.timer fstrim.timer man-db.timer dpkg-db-backup.timer systemd-tmpfiles-clean.timer; do
  in_root systemctl mask "$unit" >/dev/null 2>&1 || true
done
cleanup; mounted=()

cp "$(ls "$ROOTFS"/boot/vmlinuz-* | sort -V | tail -n1)" "$WORK/vmlinuz"
cp "$(ls "$ROOTFS"/boot/initrd.img-* | sort -V | tail -n1)" "$WORK/initrd.img"
quiet mkfs.ext4 -q -F -L brivelo -d "$ROOTFS" "$WORK/root.img" 8G
rm -rf --one-file-system "$ROOTFS"
t_configure=$((SECONDS - start))

# A new Wine prefix takes minutes under emulation: it is booted once here, in the image, with
# the settings the test session gives it.
start=$SECONDS
log "booting the guest once to make its Wine prefix"
mkdir -p "$WORK/ctl"
cat > "$WORK/ctl/job" <<EOF
#!/bin/bash
set -e
export WINEPREFIX=$GUEST_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml=' LANG=C.UTF-8 LC_ALL=C.UTF-8
mkdir -p "\$WINEPREFIX"
Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:7
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\\Software\\Wine' /v Version /d win10 /f >/dev/null 2>&1
wineserver -w
kill %1
test -f "\$WINEPREFIX/system.reg"
echo "prefix ready"
EOF
chmod +x "$WORK/ctl/job"
if ! "$HERE/vm.sh" --image "$WORK" --ctl "$WORK/ctl" --writable --timeout 1800 > "$WORK/step.log" 2>&1 ||
   ! grep -q '^prefix ready' "$WORK/ctl/job.log"; then
  tail -n 40 "$WORK/step.log" >&2; log "failed: the guest did not make its Wine prefix"; exit 1
fi
t_prefix=$((SECONDS - start))
rm -rf "$WORK/ctl" "$WORK/step.log"

printf 'debootstrap %s\npackages %s\nconfigure %s\nprefix %s\n' \
  "$t_debootstrap" "$t_packages" "$t_configure" "$t_prefix" > "$WORK/costs"
rm -rf "$OUT"
mv "$WORK" "$OUT"
# Images made by older versions of this file are of no more use.
for old in "$DEPS"/vm-*; do
  [ "$old" = "$OUT" ] || [ ! -d "$old" ] || { umount -l "$old/rootfs/proc" 2>/dev/null || true; rm -rf --one-file-system "$old"; }
done
log "made $OUT in $((t_debootstrap + t_packages + t_configure + t_prefix)) s"
echo "$OUT"
