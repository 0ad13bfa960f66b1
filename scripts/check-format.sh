#!/usr/bin/env bash
# Checks that every tracked C++ and Objective-C++ file is formatted as the
# checked-in .clang-format says; with --fix, formats them in place instead.
#
#   scripts/check-format.sh [--fix]
#
# One formatter for everyone: clang-format 14, Debian 12's (`clang-format`
# there). Other major versions place a few constructs differently (`T C::*p`,
# `struct stat st {}`), so a tree cannot pass them all at once. Where only
# another version is installed (Debian 13 ships 19), the check says so and is
# skipped: the Debian 12 run of .ci/run checks the formatting. CLANG_FORMAT
# names another binary of version 14.
set -euo pipefail
cd "$(dirname "$0")/.."
want_major=14

fix=0
case "${1:-}" in
  "") ;;
  --fix) fix=1 ;;
  *)
    echo "usage: scripts/check-format.sh [--fix]" >&2
    exit 2
    ;;
esac

major_of() { "$1" --version 2>/dev/null | sed -nE 's/.*clang-format version ([0-9]+).*/\1/p'; }

formatter=""
for candidate in ${CLANG_FORMAT:-} clang-format-$want_major clang-format; do
  if command -v "$candidate" >/dev/null && [ "$(major_of "$candidate")" = "$want_major" ]; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  if command -v clang-format >/dev/null; then
    echo "check-format.sh: skipped: the formatting is clang-format $want_major's, and this machine" \
      "has clang-format $(major_of clang-format) only (the Debian 12 run checks it)"
    exit 0
  fi
  echo "check-format.sh: clang-format is missing: apt-get install clang-format" \
    "(scripts/setup-debian.sh --ci installs it)" >&2
  exit 1
fi

# A container's checkout may belong to another user than the one running this.
mapfile -t files < <(git -c safe.directory="$PWD" ls-files '*.cpp' '*.h' '*.mm')
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format.sh: git lists no C++ files here: run it inside the clone" >&2
  exit 1
fi
if [ "$fix" -eq 1 ]; then
  "$formatter" -i "${files[@]}"
  echo "formatted ${#files[@]} files with $formatter"
  exit 0
fi
# --dry-run names each place that differs; -Werror makes that a failure.
if ! "$formatter" --dry-run -Werror "${files[@]}"; then
  echo "check-format.sh: the files above are not formatted: run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says ($formatter)"
