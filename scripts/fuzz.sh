#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each on its seed corpus.
#
#   scripts/fuzz.sh [-t SECONDS | -n RUNS] [TARGET...]
#
# TARGET is agent_plist, desktop_entry, settings, scenario or command_line (default:
# all, one after another); -t runs each for SECONDS (default 20), -n for RUNS
# executions. What a run learns is kept in build/fuzz/corpus/TARGET (the
# seeds in fuzz/corpus/TARGET are never written); an input that crashes,
# leaks, hangs (over 10 s) or breaks a checked property is saved in
# build/fuzz/findings/TARGET/, and the script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=20)
while getopts "t:n:" option; do
  case "$option" in
    t) limit=(-max_total_time="$OPTARG") ;;
    n) limit=(-runs="$OPTARG") ;;
    *) echo "usage: scripts/fuzz.sh [-t SECONDS | -n RUNS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(agent_plist desktop_entry settings scenario command_line)

build=build/fuzz
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing: run scripts/setup-debian.sh (it installs clang)" >&2
  exit 1
fi
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1"
failed=0
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/$target
  [ -d "$seeds" ] || { echo "fuzz.sh: no target '$target' (no $seeds)" >&2; exit 2; }
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
  status=0
  "$build/fuzz_$target" "$corpus" "$seeds" "${dict[@]}" "${limit[@]}" -timeout=10 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz_$target: FOUND A FAULT after ${runs:-?} runs (exit $status); input saved in $findings/"
    grep -E "ERROR:|property broken|SUMMARY|Assertion|runtime error" "$log" | head -n 5 || true
    echo "  full report: $log; replay: $build/fuzz_$target $findings/<file>"
  else
    echo "fuzz_$target: ${runs:-?} runs in ${seconds:-?} s, no crash, leak, hang or broken property"
  fi
done
exit "$failed"
