#!/usr/bin/env bash
# Builds the tool, runs the whole test suite and builds, checks, installs,
# runs and purges the Debian package on another Debian release, in a root
# made with debootstrap from Debian's archive. CI runs it for Debian 13 on
# its Debian 12 machine.
#
#   scripts/debian-root.sh [SUITE]              SUITE: trixie (default), bookworm, ...
#   scripts/debian-root.sh SUITE --root-only    make or update the root, and stop
#
# The root is kept in QS_DEBIAN_ROOT (default
# /var/cache/quembrastella-switch/debian-SUITE), outside the clone, and used
# again only when it was finished, is owned by root and writable by nobody
# else; anything else is made anew (QS_DEBIAN_ROOT_FRESH=1 asks for that).
# Every run brings its packages up to date and builds from a fresh copy of
# this tree. Needs root: debootstrap, chroot and mount.
set -euo pipefail
cd "$(dirname "$0")/.."
suite="${1:-trixie}"
root_only="${2:-}"
root="${QS_DEBIAN_ROOT:-/var/cache/quembrastella-switch/debian-$suite}"
mirror="${QS_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
ready="$root/.quembrastella-root-ready"

fail() {
  echo "debian-root.sh: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mount): run it with sudo"
command -v debootstrap >/dev/null ||
  fail "debootstrap is missing: apt-get install debootstrap (scripts/setup-debian.sh --ci installs it)"

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[$i]}" 2>/dev/null || umount -R -l "${mounted[$i]}" || true
  done
  mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM
# Nothing is mounted below the root while it is removed: a bound /dev would
# otherwise lose its device nodes.
remove_root() {
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    fail "$root still has file systems mounted below it: umount -R them first"
  fi
  rm -rf --one-file-system "$root"
}
mount_in_root() {  # mount_in_root TARGET MOUNT-ARGUMENTS...
  local target="$root$1"
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

stage_start=$SECONDS
step() { echo "--- $* ($((SECONDS - stage_start)) s)"; }

reusable=0
if [ -z "${QS_DEBIAN_ROOT_FRESH:-}" ] && [ -f "$ready" ] &&
  [ "$(stat -c %u "$root")" -eq 0 ] && [ -z "$(find "$root" -maxdepth 0 -perm /022)" ] &&
  [ "$(cat "$ready")" = "$suite $mirror" ]; then
  reusable=1
fi
if [ "$reusable" -eq 0 ]; then
  step "debootstrap $suite from $mirror into $root"
  [ ! -e "$root" ] || remove_root
  mkdir -p "$(dirname "$root")"
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    fail "debootstrap failed: see $root.debootstrap.log"
  chmod 755 "$root"
  # dpkg without fsync and man-db without its index: a throw-away root
  # installs in half the time.
  echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
  echo "man-db man-db/auto-update boolean false" | chroot "$root" debconf-set-selections
  {
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    echo "deb ${mirror%/debian}/debian-security $suite-security main"
  } >"$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

# What the tests need of the machine: processes, devices (umockdev's preload,
# /dev/full, uinput, kvm), sysfs and a private /tmp.
mount_in_root /proc -t proc proc
mount_in_root /sys --rbind /sys
mount --make-rslave "$root/sys"
mount_in_root /dev --rbind /dev
mount --make-rslave "$root/dev"
mount_in_root /tmp -t tmpfs -o mode=1777 tmpfs
mount_in_root /run -t tmpfs -o mode=755 tmpfs

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }

step "packages"
in_root apt-get update -qq
[ "$reusable" -eq 0 ] || in_root apt-get upgrade -y -qq >/dev/null
cp scripts/setup-debian.sh "$root/root/setup-debian.sh"
in_root bash /root/setup-debian.sh --test-suite >"$root.setup.log" 2>&1 || {
  tail -n 30 "$root.setup.log"
  fail "installing the packages failed: see $root.setup.log"
}
in_root apt-get clean
echo "$suite $mirror" >"$ready"
in_root sh -c '. /etc/os-release && echo "$PRETTY_NAME"'
[ "$root_only" != --root-only ] || { step "$root is ready"; exit 0; }

step "a fresh copy of this tree"
rm -rf "$root/src" && mkdir -p "$root/src"
tar -c --exclude=./build --exclude=./.git -f - . | tar -x -C "$root/src" -f -

step "test suite"
in_root bash /src/scripts/test.sh

step "Debian package"
in_root bash /src/scripts/package-deb.sh
mkdir -p build/"debian-$suite"
cp "$root"/src/build/default/quembrastella-switch_*.deb build/"debian-$suite"/
step "done: $(ls build/"debian-$suite"/)"
rm -rf "$root/src"
