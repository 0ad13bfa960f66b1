#!/usr/bin/env bash
# Installs everything a fresh Debian 12 or Debian 13 machine lacks to build,
# test and run the tool (QEMU and a static busybox for the real-kernel tests,
# which fetch Debian's kernel package themselves); with --ci, also what the
# rest of .ci/run needs; with --bench, what the benchmarks need (a tray for the
# figures with the tray); with --test-suite, only what the test suite and the
# package need; with --screens, real panels (X11 and Wayland), a notification
# daemon and screenshot tools for looking at the tray and the notices by hand.
# Every name is one both releases know (clang's runtime through
# libclang-rt-dev, which depends on the release's own version). Runs as root, or through sudo when it is not.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libplist-dev libplist-utils
  libusb-1.0-0-dev libevdev-dev libudev-dev
  libtomlplusplus-dev
  qt6-base-dev
  umockdev libumockdev-dev
  scdoc appstream lintian
  # The tray test: an X server, a private session bus, and the stand-in
  # status-notifier watcher's Python bindings.
  xvfb dbus python3-dbus python3-gi
  # The Wayland tray test: a headless compositor, and Qt's Wayland plugin
  # (the package recommends it).
  sway qt6-wayland
  # The real-kernel tests: QEMU, a static busybox for the init, cpio, and
  # xz and zstd for kernels whose modules are compressed (Debian 13).
  qemu-system-x86 busybox-static cpio xz-utils zstd
)
# The fuzzers: clang and its runtime.
fuzzing=(clang libclang-rt-dev)
case "${1:-}" in
  # Only what the test suite and the package need (CI's root of another
  # release): not the fuzzers' compiler.
  --test-suite) fuzzing=() ;;
  --ci)
    # .ci/run's other stages: the workflow check runs a validator from npm
    # (any Node.js with npm will do), debootstrap makes the root of the
    # other Debian release; the formatting check runs clang-format.
    packages+=(debootstrap clang-format)
    command -v npm >/dev/null || packages+=(npm)
    ;;
  --bench) packages+=(trayer) ;;
  --screens) packages+=(xfce4-panel x11-apps x11-utils imagemagick librsvg2-bin xdotool
                       waybar mako-notifier grim fonts-dejavu-core) ;;
esac
packages+=("${fuzzing[@]}")

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
