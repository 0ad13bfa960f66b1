#!/usr/bin/env bash
# Runs every benchmark and writes BENCHMARKS.md at the repository root: each
# figure, its goal, the machine it ran on and the date. Benchmarks are never
# part of the test run. Takes about five minutes; the machine should be
# otherwise quiet.
#
# Installs what it needs beyond the build packages (an X server and a tray
# for the figures with the tray) through the set-up script.
#
#   bash scripts/bench.sh [--events-before QS_BENCH_SIM [--events-before-commit REV]]
#
# --events-before runs an older build's qs_bench_sim (of a commit before a
# change to the event path) right before this one's, and sets the two side
# by side: what the change added to each event.
set -euo pipefail
events_before="" events_before_commit="an older commit"
while [ $# -gt 0 ]; do
  case "$1" in
    --events-before) events_before="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --events-before-commit) events_before_commit="$2"; shift 2 ;;
    *) echo "usage: $0 [--events-before QS_BENCH_SIM [--events-before-commit REV]]" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/bench"
out="$root/BENCHMARKS.md"

bash scripts/setup-debian.sh --bench

cmake --preset bench >/dev/null
cmake --build "$build" -j "$(nproc)" --target qs_bench_sim qs_bench_linux qs_probe qs_idle_floor \
  quembrastella-switch quembrastella-sim

work=$(mktemp -d)
. "$root/scripts/lib/tray-host.sh"
cleanup() {
  stop_tray_host
  rm -rf "$work"
}
trap cleanup EXIT

probe="$build/bench/qs_probe"
switch="$build/src/platform/linux/quembrastella-switch"
sim="$build/src/scenario_runner/quembrastella-sim"
mkdir -p "$work/home"
# The tool never touches the user's own files here: a sandbox home, and
# --service (no start-up question, no agent check).
headless=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config")

echo "== event callback and poll tick, simulated platform"
# Random interleaving spreads a burst of other load over every benchmark
# instead of one.
sim_args=(--benchmark_min_time=0.3 --benchmark_repetitions=9
  --benchmark_enable_random_interleaving=true)
"$build/bench/qs_bench_sim" "${sim_args[@]}" --summary="$work/event.md"
if [ -n "$events_before" ]; then
  # The older build and this one in turn, three times each, system clock
  # only; each figure is the median of the three runs, so that a slow
  # moment of the machine lands on both builds alike.
  echo "== event callback, older build ($events_before) and this one in turn"
  for i in 1 2 3; do
    for side in before after; do
      bin="$build/bench/qs_bench_sim"
      [ "$side" = before ] && bin="$events_before"
      "$bin" --benchmark_min_time=0.2 --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_filter='system clock|CLOCK|clock reads' \
        --summary="$work/event-$side-$i.md" >/dev/null
    done
  done
  # | figure | value | ... rows -> the events of both side by side, in ns.
  awk -F' [|] ' '
    function ns(v) { split(v, a, " "); return a[2] == "us" ? a[1] * 1000 : a[1] }
    function allocs(v) { return v ~ /, 0 allocations/ ? "0" : "some" }
    function mid(x, y, z) { return x > y ? (y > z ? y : (x > z ? z : x)) : (x > z ? x : (y > z ? z : y)) }
    { name = substr($1, 3); run = FILENAME; sub(/.*-/, "", run); sub(/[.]md$/, "", run) }
    FILENAME ~ /event-before-/ { bv[name, run] = ns($2); seenb[name] = 1; next }
    {
      av[name, run] = ns($2)
      if (allocs($2) != "0") alloc[name] = "some"; else if (!(name in alloc)) alloc[name] = "0"
      if (!(name in seena)) { seena[name] = 1; order[++n] = name }
    }
    END {
      for (k in seenb) before[k] = mid(bv[k, 1], bv[k, 2], bv[k, 3])
      for (i = 1; i <= n; i++) { k = order[i]; after[k] = mid(av[k, 1], av[k, 2], av[k, 3]) }
      printf "| %s | %.1f ns | %.1f ns | | | |\n", "clock_gettime(CLOCK_REALTIME), the floor", \
        before["clock_gettime(CLOCK_REALTIME), the floor"], after["clock_gettime(CLOCK_REALTIME), the floor"]
      for (i = 1; i <= n; i++) {
        k = order[i]
        if (k !~ /^eventCallback\/.*\/system clock$/) continue
        if (!(k in before)) continue
        strict = k "/strict taps"
        d = after[k] - before[k]
        ds = (strict in after) ? after[strict] - before[k] : ""
        met = (d <= 3 && alloc[k] == "0" && (ds == "" || (ds <= 3 && alloc[strict] == "0"))) ? "yes" : "no"
        sub(/^eventCallback\//, "", k); sub(/\/system clock$/, "", k)
        printf "| %s | %.1f ns | %.1f ns (%+.1f), %s allocations | %s | <= 3 ns added, 0 allocations | %s |\n", \
          k, before[order[i]], after[order[i]], d, alloc[order[i]], \
          (ds == "" ? "-" : sprintf("%.1f ns (%+.1f), %s allocations", after[strict], ds, alloc[strict])), met
      }
    }' "$work"/event-before-[123].md "$work"/event-after-[123].md >"$work/event-compare.md"
fi

echo "== poll tick and whole switch, Linux platform against fake devices"
umockdev-wrapper "$build/bench/qs_bench_linux" --benchmark_enable_random_interleaving=true \
  --benchmark_repetitions=15 --summary="$work/linux.md"

echo "== start-up"
printf 'args --console --service\nat 10 end\n' >"$work/start.scenario"
"$probe" startup --name "start-up to \"Running...\", simulated platform" --runs 15 \
  --summary="$work/start.md" -- "$sim" --home "$work/simhome" "$work/start.scenario"
"${headless[@]}" "$probe" startup --name "start-up to \"Running...\", Linux headless" --runs 15 \
  --summary="$work/start.md" -- "$switch" --console --service

echo "== idle, headless, 60 s (beside a bare 20 Hz poll loop, the floor)"
"${headless[@]}" "$probe" idle --name "idle, Linux headless" --seconds 60 --cpu-goal 0.1 \
  --rss-goal 8 --summary="$work/idle.md" -- "$switch" --console --service &
tool_probe=$!
"$probe" idle --name "idle floor: bare 20 Hz poll loop" --seconds 60 \
  --summary="$work/floor.md" -- "$build/bench/qs_idle_floor" &
floor_probe=$!
wait "$tool_probe"
wait "$floor_probe"
cat "$work/floor.md" >>"$work/idle.md"

echo "== with the tray (Xvfb and trayer), 60 s"
start_tray_host "$work"
if [ -z "$display" ]; then
  echo "bench.sh: no free X display number between :90 and :120" >&2
  exit 1
fi
tray=(env -u WAYLAND_DISPLAY DISPLAY="$display" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config")
"${tray[@]}" "$probe" startup --name "start-up to \"Running...\", Linux with the tray" --runs 7 \
  --summary="$work/start.md" -- "$switch" --console --service
"${tray[@]}" "$probe" idle --name "idle, Linux with the tray" --seconds 60 --rss-goal 30 \
  --summary="$work/idle.md" -- "$switch" --console --service

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
mem=$(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)
table_head() {
  echo "| Figure | Value | Goal | Met |"
  echo "|---|---|---|---|"
}
{
  echo "# Benchmarks"
  echo
  echo "Written by \`bash scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), at commit $(git rev-parse --short HEAD)."
  echo "Machine: $(nproc) CPUs ($cpu), $mem memory, $(uname -sr)."
  echo
  echo "## The event callback (simulated platform)"
  echo
  echo "Every kind of event is handed to \`eventCallback\` as the tap's source would, in a steady state in which"
  echo "no gesture completes. The floor is one \`clock_gettime(CLOCK_REALTIME)\`, the one clock read the callback"
  echo "must make, measured in the same run. \"system clock\" puts the real clocks under the simulated platform,"
  echo "so the callback's clock read is a real one; \"sim clock\" keeps virtual time (no goal). Times are the CPU"
  echo "time of the benchmark thread, median of 9 repetitions run in random order; allocations are counted by a replaced global"
  echo "\`operator new\`. A Control tap (press and release) is measured against its own three clock reads: the"
  echo "wall-clock stamp of each event and the monotonic stamp of the release. A Q going up (when it happened)"
  echo "and a press carrying its own time (the latest press, never later than now) read the monotonic clock"
  echo "besides the stamp: they are measured against those two reads."
  echo
  table_head
  cat "$work/event.md"
  echo
  if [ -f "$work/event-compare.md" ]; then
    echo "### What the settings cost each event"
    echo
    echo "The same benchmark built from $events_before_commit,"
    echo "before the settings file existed, and this build, run in turn three times each (5 repetitions in"
    echo "random order per run), system clock: the median of the three runs' median CPU time per event."
    echo "\"After\" is this build with the default settings; \"strict taps\" is"
    echo "\`control_taps = \"clean\"\` and \`quit_taps = \"consecutive\"\` with Control held, the rules that"
    echo "look at every key. The difference is against the before figure; the floor of both is in the"
    echo "first row, for the machine's drift between the two."
    echo
    echo "| Event | Before the settings | After, defaults | After, strict taps | Goal | Met |"
    echo "|---|---|---|---|---|---|"
    cat "$work/event-compare.md"
    echo
  fi
  echo "## The poll tick and the whole switch (Linux platform, fake devices)"
  echo
  echo "Against umockdev's fake keyboard, mouse and hub (the test suite's own fakes). The switch is"
  echo "\`TriggerSwitch\` through libusb (lookup, open, three control transfers, close) beside a minimal libusb"
  echo "program making the same three transfers against the same fake hub, interleaved in one run; wall-clock"
  echo "medians of 15 repetitions (the fake hub answers on umockdev's own thread)."
  echo
  table_head
  cat "$work/linux.md"
  echo
  echo "## Start-up"
  echo
  echo "From \`fork\` to the line \"Running...\" on the tool's standard output, \`--console --service\`."
  echo
  table_head
  cat "$work/start.md"
  echo
  echo "## Idle"
  echo
  echo "CPU time of all the tool's threads and its resident memory over 60 s with no input, measured from"
  echo "outside (/proc) after a two-second settle. The tool wakes every 50 ms for its poll tick; the floor is a"
  echo "bare process doing only that, measured at the same time as the headless tool. This machine has no"
  echo "input devices, so the headless tool watches /dev/input for them to appear. The tray runs in Xvfb with"
  echo "trayer as the tray host."
  echo
  table_head
  cat "$work/idle.md"
  echo
  # The real-kernel figures, from scripts/bench-kernel.sh (a run of its own).
  [ -f "$root/bench/KERNEL.md" ] && cat "$root/bench/KERNEL.md"
  # The gesture soak's figures, from a long run of qs_gesture_soak (by hand).
  [ -f "$root/bench/SOAK.md" ] && { cat "$root/bench/SOAK.md"; echo; }
  cat "$root/bench/HISTORY.md"
} >"$out"
echo "wrote $out"
