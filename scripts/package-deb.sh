#!/usr/bin/env bash
# Builds the Debian package from the default build, checks it with lintian,
# installs it with apt-get, runs the installed program, and removes it again.
#
#   scripts/package-deb.sh            build, check, install, run, purge
#   scripts/package-deb.sh --build    build and check only
#
# Installing needs root (or sudo); it changes this machine, so CI runs it on
# its fresh one.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
rm -f "$build"/quembrastella-switch_*.deb
(cd "$build" && cpack -G DEB >/dev/null)

# quembrastella-switch_0.1+deb12_amd64.deb: the version names the release
# the package was built on and fits (packaging/cpack.cmake).
version=$(sed -n 's/^project(quembrastella_switch VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
debs=("$build/quembrastella-switch_${version}"*_"$(dpkg --print-architecture)".deb)
deb="${debs[0]}"
[ "${#debs[@]}" -eq 1 ] && [ -f "$deb" ] || { echo "package-deb.sh: cpack made no $deb" >&2; exit 1; }
echo "--- $deb: $(stat -c %s "$deb") bytes, $(dpkg-deb -f "$deb" Installed-Size) KiB installed"
dpkg-deb -f "$deb" Depends
dpkg -c "$deb" | awk '{print $1, $3, $6}'
# The documents the man page points to are in the package.
for doc in config.toml.example hooks.md; do
  dpkg -c "$deb" | awk '{print $6}' | grep -qx "./usr/share/doc/quembrastella-switch/$doc" ||
    { echo "package-deb.sh: /usr/share/doc/quembrastella-switch/$doc is not in the package" >&2; exit 1; }
done

echo "--- lintian (fails on errors)"
lint_status=0
lint=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || lint_status=$?
printf '%s\n' "$lint" | grep -v "running with root privileges" || true
[ "$lint_status" -eq 0 ] || { echo "package-deb.sh: lintian found errors" >&2; exit 1; }

[ "${1:-}" = "--build" ] && exit 0

echo "--- apt-get install, run, purge"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get install -y -qq "./$deb" >/dev/null
tool=/usr/bin/quembrastella-switch
[ "$("$tool" --version)" = "quembrastella-switch $version" ] || {
  echo "package-deb.sh: $tool --version says '$("$tool" --version)'" >&2
  exit 1
}
"$tool" --help | head -n 1
status=0
"$tool" --no-such-option >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || { echo "package-deb.sh: an unknown option ended with $status, not 2" >&2; exit 1; }
# Without a hub (as in CI) both report it and end with 1; any status they do
# not document, or a crash, fails.
for command in "--status:0 1 2" "--diagnose:0 1"; do
  option="${command%%:*}"
  status=0
  out=$("$tool" "$option" 2>&1) || status=$?
  printf '%s\n' "$out" | sed "s/^/$option: /"
  case " ${command#*:} " in
    *" $status "*) echo "$option: exit status $status" ;;
    *) echo "package-deb.sh: $tool $option ended with $status" >&2; exit 1 ;;
  esac
done
man -w quembrastella-switch >/dev/null 2>&1 || [ -f /usr/share/man/man1/quembrastella-switch.1.gz ]
files=$(dpkg -L quembrastella-switch | while read -r f; do [ -f "$f" ] && echo "$f"; done)

"${as_root[@]}" apt-get purge -y -qq quembrastella-switch >/dev/null
if dpkg -s quembrastella-switch >/dev/null 2>&1; then
  echo "package-deb.sh: still installed after purge" >&2
  exit 1
fi
left=$(for f in $files; do [ -e "$f" ] && echo "$f"; done || true)
[ -z "$left" ] || { echo "package-deb.sh: left behind after purge: $left" >&2; exit 1; }
echo "--- installed, ran --version, --help, --status and --diagnose from $tool, purged: nothing left behind"
