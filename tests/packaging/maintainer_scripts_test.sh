#!/bin/sh
# The package's maintainer scripts: valid shell, status 0 whatever udev's
# state, and udevadm called (reload, then a trigger for the hub alone) only
# where udev runs, that is where its control socket exists. Where udev does
# not run and the test may make a mount namespace (root), it runs once more
# with a stand-in control socket, so that both sides are checked.
#
#   maintainer_scripts_test.sh SCRIPTS_DIR
set -eu
scripts_dir="$1"
nested="${2:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A udevadm that records its arguments.
mkdir "$work/bin"
cat >"$work/bin/udevadm" <<'FAKE'
#!/bin/sh
echo "$*" >>"$UDEVADM_LOG"
FAKE
chmod +x "$work/bin/udevadm"

if [ -S /run/udev/control ]; then udev_runs=yes; else udev_runs=no; fi

run() { # script argument path
  UDEVADM_LOG="$work/log" PATH="$3" /bin/sh "$scripts_dir/$1" "$2"
}

for script in postinst postrm; do
  sh -n "$scripts_dir/$script" || fail "$script is not valid shell"
  [ -x "$scripts_dir/$script" ] || fail "$script is not executable"
done

# No udevadm at all (a minimal container): nothing fails.
for case in "postinst configure" "postrm remove" "postrm purge"; do
  # shellcheck disable=SC2086
  set -- $case
  run "$1" "$2" "/nonexistent" >/dev/null 2>&1 || fail "$case without udevadm: status $?"
done

# With udevadm: called only where udev runs, and only for the hub.
for case in "postinst configure" "postrm remove" "postrm purge" "postinst abort-upgrade" "postrm upgrade"; do
  # shellcheck disable=SC2086
  set -- $case
  rm -f "$work/log"
  run "$1" "$2" "$work/bin:/usr/bin:/bin" || fail "$case: status $?"
  calls=$(cat "$work/log" 2>/dev/null || true)
  case "$2" in
    configure | remove | purge) expected=$udev_runs ;;
    *) expected=no ;;
  esac
  if [ "$expected" = yes ]; then
    printf '%s\n' "$calls" | grep -qx "control --reload-rules" || fail "$case: no reload ($calls)"
    printf '%s\n' "$calls" | grep -q "^trigger .*--attr-match=idVendor=2109 --attr-match=idProduct=8822" ||
      fail "$case: no trigger for the hub alone ($calls)"
  elif [ -n "$calls" ]; then
    fail "$case: udevadm called where it must not be ($calls)"
  fi
done

echo "udev running here: $udev_runs; $failures failures"
if [ -z "$nested" ] && [ "$udev_runs" = no ] && command -v unshare >/dev/null && command -v python3 >/dev/null &&
  unshare -m true 2>/dev/null; then
  unshare -m /bin/sh -c 'mount -t tmpfs tmpfs /run && mkdir /run/udev &&
    python3 -c "import socket; socket.socket(socket.AF_UNIX).bind(\"/run/udev/control\")" &&
    exec /bin/sh "$0" "$1" nested' "$0" "$scripts_dir" || fail "the run with a stand-in udev"
fi
[ "$failures" -eq 0 ]
