#!/usr/bin/env bash
# Builds the tool and runs the whole test suite.
#
#   scripts/test.sh [PRESET]
#
# PRESET is a configure preset of CMakePresets.json: default, or asan for
# the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer,
# where any memory error, leak or undefined behaviour fails the test.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
if [ "$preset" = asan ]; then
  # The Linux tests run under umockdev's preload library, which is loaded
  # ahead of the sanitizer runtime.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0:detect_leaks=1"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset"
