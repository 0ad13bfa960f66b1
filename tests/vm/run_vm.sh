#!/usr/bin/env bash
# Boots Debian's own kernel in QEMU with a small initramfs that holds the
# tool, the stand-in hub and the case programs, and runs them on that kernel.
#
#   run_vm.sh --bin DIR --tool TOOL [--run cases|bench] [--before TOOL] [--log FILE]
#             [--append 'KERNEL WORDS']
#
# DIR holds vm-stand-in-hub and vm-cases (and vm-bench, vm-minimal-switch for
# --run bench); TOOL is the tool's executable. The kernel package is fetched once with
# apt-get download into QS_VM_CACHE (default: DIR/vm-cache). QEMU emulates
# the CPU with TCG (QS_VM_ACCEL=kvm asks for KVM instead).
# Exit status: 0 when every case passed, 1 when one failed or the machine did
# not finish, 77 (skipped, with the reason on standard output) when QEMU or
# the kernel cannot be had on this machine.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
bin="" tool="" run="cases" before="" log="" extra=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin="$2"; shift 2 ;;
    --tool) tool="$2"; shift 2 ;;
    --run) run="$2"; shift 2 ;;
    --before) before="$2"; shift 2 ;;
    --log) log="$2"; shift 2 ;;
    --append) extra="$2"; shift 2 ;;
    *) echo "usage: $0 --bin DIR --tool TOOL [--run cases|bench] [--before TOOL] [--log FILE]" >&2; exit 2 ;;
  esac
done
[ -n "$bin" ] && [ -n "$tool" ] || { echo "run_vm.sh: --bin DIR and --tool TOOL are required" >&2; exit 2; }
bin="$(cd "$bin" && pwd)"
cache="${QS_VM_CACHE:-$bin/vm-cache}"

skip() {
  echo "SKIPPED: the real-kernel tests cannot run here: $*"
  exit 77
}

qemu="$(command -v qemu-system-x86_64 || true)"
[ -n "$qemu" ] || skip "qemu-system-x86_64 is not installed (bash scripts/setup-debian.sh installs it)"
busybox="$(command -v busybox || true)"
[ -n "$busybox" ] || skip "busybox is not installed (bash scripts/setup-debian.sh installs busybox-static)"
# grep reads the whole list: with -q it could stop early, and the pipe's
# broken write would fail the check under pipefail.
if ! "$busybox" --list | grep -x poweroff >/dev/null || ldd "$busybox" >/dev/null 2>&1; then
  skip "$busybox is not the static busybox (install busybox-static)"
fi

# --- the kernel: Debian's current amd64 image, its vmlinuz and a few modules
modules=(usb-common usbcore udc-core configfs libcomposite usb_f_fs dummy_hcd evdev uinput)
kdir="$cache/kernel"
if [ ! -f "$kdir/vmlinuz" ]; then
  mkdir -p "$cache/download"
  rm -rf "$kdir.new" && mkdir -p "$kdir.new/modules"
  image="$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n 1)"
  [ -n "$image" ] || skip "apt-cache does not know linux-image-amd64 (run apt-get update)"
  (cd "$cache/download" && apt-get download -q "$image" >/dev/null 2>&1) ||
    skip "apt-get download $image failed"
  rm -rf "$cache/extract"
  dpkg-deb -x "$cache/download/${image}"_*.deb "$cache/extract"
  cp "$cache/extract"/boot/vmlinuz-* "$kdir.new/vmlinuz"
  # The modules lie under lib/modules (Debian 12) or usr/lib/modules (Debian
  # 13), plain or compressed (.ko.xz, .ko.zst); busybox's insmod takes them
  # plain, so compressed ones are unpacked here.
  for m in "${modules[@]}"; do
    ko="$(find "$cache/extract" -path '*/lib/modules/*' \( -name "$m.ko" -o -name "$m.ko.xz" \
      -o -name "$m.ko.zst" \) | head -n 1)"
    [ -n "$ko" ] || { echo "run_vm.sh: $image has no $m.ko" >&2; exit 1; }
    case "$ko" in
      *.xz) unpack=(xz -dc) ;;
      *.zst) unpack=(zstd -qdc) ;;
      *) unpack=(cat) ;;
    esac
    command -v "${unpack[0]}" >/dev/null ||
      skip "$image's modules are compressed and ${unpack[0]} is missing (bash scripts/setup-debian.sh installs it)"
    "${unpack[@]}" "$ko" >"$kdir.new/modules/$m.ko"
  done
  printf '%s\n' "${modules[@]}" > "$kdir.new/modules/order"
  basename "$cache/extract"/boot/vmlinuz-* > "$kdir.new/version"
  rm -rf "$cache/extract" "$kdir" && mv "$kdir.new" "$kdir"
fi

# --- the initramfs: busybox, the programs and every shared library they load
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,sbin,proc,sys,dev,tmp,run,root,modules,bin/before}
cp "$busybox" "$stage/bin/busybox"
for applet in $("$busybox" --list); do
  [ -e "$stage/bin/$applet" ] || ln -s busybox "$stage/bin/$applet"
done
cp "$kdir"/modules/* "$stage/modules/"
cp "$here/init.sh" "$stage/init" && chmod +x "$stage/init"
cp "$tool" "$stage/bin/quembrastella-switch"
libs=("$tool")
programs=(vm-stand-in-hub vm-cases)
[ "$run" = bench ] && programs+=(vm-bench vm-minimal-switch)
for p in "${programs[@]}"; do
  [ -x "$bin/$p" ] || { echo "run_vm.sh: $bin/$p is missing" >&2; exit 1; }
  cp "$bin/$p" "$stage/bin/"
  libs+=("$bin/$p")
done
# QS_VM_EXTRA_BIN: more programs for a look by hand (e.g. strace), with
# their libraries.
for extra_bin in ${QS_VM_EXTRA_BIN:-}; do
  cp "$extra_bin" "$stage/bin/"
  libs+=("$extra_bin")
done
if [ -n "$before" ]; then
  cp "$before" "$stage/bin/before/quembrastella-switch"
  libs+=("$before")
fi
for exe in "${libs[@]}"; do
  ldd "$exe" | awk '/=> \//{print $3} /^\t\/.*ld-linux/{print $1}' | while read -r lib; do
    mkdir -p "$stage$(dirname "$lib")"
    [ -e "$stage$lib" ] || cp -L "$lib" "$stage$lib"
  done
done
(cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) > "$cache/initramfs.gz"

# --- the machine
# TCG: nested KVM, where offered, was seen to hang before the kernel started.
accel="${QS_VM_ACCEL:-tcg}"
timeout_s=900
[ "$run" = cases ] && timeout_s=600
log="${log:-$cache/console-$run.log}"
echo "run_vm.sh: booting $(cat "$kdir/version") with $accel, qs.run=$run (console: $log)"
start=$SECONDS
set +e
timeout "$timeout_s" "$qemu" -accel "$accel" -m 512 -smp 1 -nographic -no-reboot \
  -kernel "$kdir/vmlinuz" -initrd "$cache/initramfs.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 qs.run=$run $extra" </dev/null | tee "$log"
status=$?
set -e
echo "run_vm.sh: the machine ran $((SECONDS - start)) s"
if [ "$status" -ne 0 ]; then
  echo "run_vm.sh: QEMU ended with status $status (124: timed out after $timeout_s s)"
  exit 1
fi
tr -d '\r' <"$log" | grep -q '^=== vm: exit status 0$' || exit 1
