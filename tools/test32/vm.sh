#!/usr/bin/env bash
# Usage: vm.sh --image DIR --ctl DIR [--share PATH]... [--writable] [--timeout SECONDS]
# Boots the lane's guest (made by image.sh) once: the guest runs the executable DIR/job of the
# control folder (seen there as /share, with every --share PATH mounted at its own path),
# prints its output here as it goes, and powers off. Afterwards the control folder holds
# job.log, job.rc (the job's exit code) and vm-costs ("boot S", "job S", "accel NAME").
# The image's disk is left as it was unless --writable. Exits with the job's code; 124 when
# the guest outlived the timeout, 125 when it stopped before the job ended.
# The guest runs under software emulation (TCG). BRIVELO_VM_ACCEL=kvm asks for KVM instead,
# where it works: a /dev/kvm that accepts a machine may still hang the guest's first
# instructions (as nested under some hypervisors), so it is never chosen by itself.
set -euo pipefail
image="" ctl="" writable=0 timeout=3600
shares=()
while [ $# -gt 0 ]; do
  case "$1" in
    --image) image="$2"; shift 2 ;;
    --ctl) ctl="$2"; shift 2 ;;
    --share) shares+=("$2"); shift 2 ;;
    --writable) writable=1; shift ;;
    --timeout) timeout="$2"; shift 2 ;;
    *) echo "usage: vm.sh --image DIR --ctl DIR [--share PATH]... [--writable] [--timeout S]" >&2; exit 2 ;;
  esac
done
[ -x "$ctl/job" ] || { echo "vm: $ctl/job is missing" >&2; exit 2; }
rm -f "$ctl/job.log" "$ctl/job.rc" "$ctl/vm-costs" "$ctl/mounts"

accel="${BRIVELO_VM_ACCEL:-tcg}"
case "$accel" in
  kvm) accel_args=(-accel kvm -cpu host) ;;
  # Under emulation SMAP must be off: with it, the guest kernel faults on the return to user
  # mode that every Wine process makes, and kills the process.
  tcg) accel_args=(-accel tcg,thread=multi -cpu max,smap=off) ;;
  *) echo "vm: unknown accelerator $accel" >&2; exit 2 ;;
esac

share_args=(-virtfs "local,path=$ctl,mount_tag=ctl,security_model=none,id=ctl")
i=0
for path in "${shares[@]}"; do
  share_args+=(-virtfs "local,path=$path,mount_tag=p$i,security_model=none,id=p$i")
  echo "p$i $path" >> "$ctl/mounts"
  i=$((i + 1))
done

disk="file=$image/root.img,format=raw,if=virtio,cache=writeback"
snapshot=(-snapshot)
[ "$writable" = 1 ] && snapshot=()
cpus="$(nproc)"
memory="${BRIVELO_VM_MEMORY:-4G}"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
seconds() { printf '%d.%d' $(($1 / 1000)) $(($1 % 1000 / 100)); }  # milliseconds as seconds
start="$(now_ms)"
boot="" qemu_rc=""
# The guest's serial console is this script's output; the guest runs nothing else on it.
while IFS= read -r line; do
  line="${line//$'\r'/}"
  if [[ "$line" == "vm: qemu exit "* ]]; then qemu_rc="${line#vm: qemu exit }"; continue; fi
  if [ -z "$boot" ] && [[ "$line" == "vm: guest up"* ]]; then boot=$(( $(now_ms) - start )); fi
  printf '%s\n' "$line"
done < <(timeout --kill-after=10 "$timeout" qemu-system-x86_64 "${accel_args[@]}" -smp "$cpus" -m "$memory" \
           -nodefaults -display none -monitor none -serial stdio -no-reboot \
           -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
           -append "console=ttyS0 root=/dev/vda rw quiet loglevel=3 systemd.show_status=false panic=-1" \
           -drive "$disk" "${snapshot[@]}" "${share_args[@]}" \
           -nic user,restrict=on,model=virtio-net-pci </dev/null 2>&1; echo "vm: qemu exit $?")
total=$(( $(now_ms) - start ))
{
  echo "accel $accel"
  echo "cpus $cpus"
  [ -z "$boot" ] || echo "boot $(seconds "$boot")"
  [ -z "$boot" ] || echo "job $(seconds $((total - boot)))"
} > "$ctl/vm-costs"
if [ ! -f "$ctl/job.rc" ]; then
  if [ "$qemu_rc" = 124 ] || [ "$qemu_rc" = 137 ]; then
    echo "vm: the guest did not finish within $timeout s" >&2; exit 124
  fi
  echo "vm: the guest stopped (qemu exit ${qemu_rc:-?}) before its job ended" >&2; exit 125
fi
exit "$(cat "$ctl/job.rc")"
