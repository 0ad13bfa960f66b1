#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the tool's own sources
# (src/) as the default preset builds them; any finding fails. Configures the
# preset first when its compile_commands.json is missing.
#
#   scripts/check-tidy.sh [-j JOBS] [REGEX]
#
# REGEX narrows the files (a path under src/, e.g. 'src/hub/'). clang-tidy
# reads every header the sources include, Qt's too, and runs the static
# analyser: 8 to 150 s a file on a busy two-core machine, about 20 minutes for
# half of src/, so CI does not run it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=2
if [ "${1:-}" = -j ]; then
  jobs=$2
  shift 2
fi
files="${1:-/src/}"

runner=""
for candidate in run-clang-tidy run-clang-tidy-14; do
  if command -v "$candidate" >/dev/null; then
    runner=$candidate
    break
  fi
done
if [ -z "$runner" ] || ! command -v clang-tidy >/dev/null; then
  echo "check-tidy.sh: clang-tidy is missing: apt-get install clang-tidy" >&2
  exit 1
fi
if [ ! -f build/default/compile_commands.json ]; then
  cmake --preset default >/dev/null
fi
"$runner" -p build/default -quiet -j "$jobs" "$files"
