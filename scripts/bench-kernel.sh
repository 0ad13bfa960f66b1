#!/usr/bin/env bash
# The tool's figures on a real kernel: boots Debian's kernel in QEMU (as the
# real-kernel tests do) and measures, from the kernel's own counters, the
# tool's wake-ups while idle, during 10 s of 1000 Hz mouse motion and during
# a minute of typing, and the latency from the second Control release to the
# hub's write request beside a minimal program doing the same. Writes
# bench/KERNEL.md and puts it into BENCHMARKS.md (scripts/bench.sh keeps it).
#
#   bash scripts/bench-kernel.sh [--before TOOL] [--quick] [--from-log CONSOLE_LOG]
#
# Then, on this machine's own kernel (the guest has no X server), the idle
# wake-ups of the tool with the tray (Xvfb and trayer), thread by thread, so
# that Qt's own threads are told apart from the main loop.
#
# --before TOOL measures an older build of the tool in the same machine first
# (its figures go in the "before" column). --quick shortens every run (20 s
# idle, 20 s typing, 30 switches) for a trial; the file then says so. Takes
# about ten minutes per tool under TCG, the machine otherwise quiet.
# --from-log takes the machine's figures from the console log of an earlier
# run instead of booting it again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/bench"
before="" quick="" from_log=""
while [ $# -gt 0 ]; do
  case "$1" in
    --before) before="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --quick) quick="qs.idle=20 qs.typing=20 qs.switches=30"; shift ;;
    --from-log) from_log="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    *) echo "usage: $0 [--before TOOL] [--quick] [--from-log CONSOLE_LOG]" >&2; exit 2 ;;
  esac
done

bash scripts/setup-debian.sh --bench
cmake --preset bench >/dev/null
cmake --build "$build" -j 2 --target quembrastella-switch vm-stand-in-hub vm-cases vm-bench \
  vm-minimal-switch

work=$(mktemp -d)
. "$root/scripts/lib/tray-host.sh"
cleanup() {
  stop_tray_host
  rm -rf "$work"
}
trap cleanup EXIT
args=(--bin "$build/vm" --tool "$build/src/platform/linux/quembrastella-switch" --run bench
  --log "$work/console.log")
[ -n "$before" ] && args+=(--before "$before")
[ -n "$quick" ] && args+=(--append "$quick")
if [ -n "$from_log" ]; then
  cp "$from_log" "$work/console.log"
else
  bash tests/vm/run_vm.sh "${args[@]}"
fi

# --- with the tray, on this machine: wake-ups per thread over 60 s of idle
tray_seconds=60
[ -n "$quick" ] && tray_seconds=20
thread_counts() { # PID -> "tid name count" per thread
  for t in /proc/"$1"/task/*; do
    printf '%s %s %s\n' "${t##*/}" "$(tr ' ' '_' <"$t/comm")" \
      "$(awk '/ctxt_switches/ { n += $2 } END { print n }' "$t/status")"
  done | sort -k1,1
}
tray_idle() { # LABEL TOOL
  mkdir -p "$work/home-$1"
  env -u WAYLAND_DISPLAY DISPLAY="$display" HOME="$work/home-$1" \
    XDG_CONFIG_HOME="$work/home-$1/.config" "$2" --console --service >"$work/tray-$1.log" 2>&1 &
  local pid=$!
  sleep 3
  thread_counts "$pid" >"$work/tray-$1.a"
  sleep "$tray_seconds"
  thread_counts "$pid" >"$work/tray-$1.b"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # tid name before after -> per-minute wake-ups by thread name, main first.
  join "$work/tray-$1.a" "$work/tray-$1.b" | awk -v l="$1" -v s="$tray_seconds" -v main="$pid" '
    { d = ($5 - $3) * 60 / s; total += d
      if ($1 == main) print "TRAY", l, "main_thread", d; else other[$2] += d }
    END { for (n in other) print "TRAY", l, "thread:" n, other[n]; print "TRAY", l, "total", total }'
}
: >"$work/tray"
start_tray_host "$work"
if [ -n "$display" ]; then
  [ -n "$before" ] && tray_idle before "$before" >>"$work/tray"
  tray_idle after "$build/src/platform/linux/quembrastella-switch" >>"$work/tray"
  stop_tray_host
fi

# FIGURE <label> <name> <value>, one per line.
tr -d '\r' <"$work/console.log" | awk '$1 == "FIGURE" { print $2, $3, $4 }' >"$work/figures"
fig() {
  awk -v l="$1" -v n="$2" '$1 == l && $2 == n { v = $3 } END { if (v == "") print "-"; else print v }' \
    "$work/figures"
}
num() { # value, printf format
  [ "$1" = "-" ] && { echo "-"; return; }
  printf "$2" "$1"
}
ratio() {
  [ "$1" = "-" ] || [ "$2" = "-" ] && { echo "-"; return; }
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3fx", a / b }'
}
met() { # value, goal (<=, or - for none)
  [ "$1" = "-" ] || [ "$2" = "-" ] && { echo "-"; return; }
  awk -v a="$1" -v g="$2" 'BEGIN { print (a <= g ? "yes" : "no") }'
}

kernel=$(cat "${QS_VM_CACHE:-$build/vm/vm-cache}/kernel/version" 2>/dev/null || echo "?")
kernel=${kernel#vmlinuz-}
commit=$(git rev-parse --short HEAD)
med_after=$(fig after latency_median_us)
p99_after=$(fig after latency_p99_us)
med_min=$(fig minimal latency_median_us)
p99_min=$(fig minimal latency_p99_us)
med_ratio=$(ratio "$med_after" "$med_min")
p99_ratio=$(ratio "$p99_after" "$p99_min")
row() { # name, metric, format, goal text, goal number
  printf '| %s | %s | %s | %s | %s |\n' "$1" "$(num "$(fig before "$2")" "$3")" \
    "$(num "$(fig after "$2")" "$3")" "$4" "$(met "$(fig after "$2")" "$5")"
}
{
  echo "## On a real kernel"
  echo
  echo "Written by \`bash scripts/bench-kernel.sh\` on $(date -u '+%Y-%m-%d %H:%M') UTC, at commit $commit."
  echo "Debian's kernel $kernel in QEMU (TCG, one virtual CPU) on the machine above; the tool runs headless"
  echo "as \`--service\` beside a uinput keyboard and mouse and a stand-in 2109:8822 hub (dummy_hcd, configfs,"
  echo "FunctionFS). Wake-ups are the voluntary and involuntary context switches of all the tool's threads"
  echo "(\`/proc/PID/task/*/status\`), CPU time is their \`schedstat\` run time. The latency runs from just"
  echo "before the second Control release is written to uinput to the moment the stand-in hub reads the write"
  echo "request, both on the guest's monotonic clock; the minimal program blocks in \`read(2)\` on the keyboard"
  echo "and makes the same lookup, two reads and write with libusb at every second Control release, on a"
  echo "keyboard of its own that it grabs. The two switch in turn, one each, so that both meet the same moments"
  echo "of the shared host (a burst of load there stretches the guest's time for whichever runs then); the"
  echo "older build is timed in turn with the minimal program too, and compared with those samples. The"
  echo "measuring program sleeps on the hub's log (inotify) while a switch runs and prints nothing until it is"
  echo "over; the standard output of both programs is a pipe it reads only between runs, so console lines never"
  echo "wait on the serial console."
  [ -n "$quick" ] && echo "Shortened run ($quick)."
  [ -z "$before" ] && echo "No older build was measured: the \"Before\" column is empty."
  echo
  echo "| Figure | Before | After | Goal | Met |"
  echo "|---|---|---|---|---|"
  row "wake-ups per minute, idle" idle_wakeups_per_min "%.0f" "0" 0
  row "wake-ups during 10 s of 1000 Hz motion, no button down" motion_wakeups "%.0f" "<= 20" 20
  row "CPU time during those 10 s" motion_cpu_ms "%.1f ms" "-" -
  row "wake-ups during a minute of typing, 10 keys/s, no Control or Q" typing_wakeups "%.0f" "0" 0
  printf '| second Control release to write request, median | %s (minimal program: %s) | %s (minimal program: %s) | - | |\n' \
    "$(num "$(fig before latency_median_us)" "%.0f us")" "$(num "$(fig minimal_before latency_median_us)" "%.0f us")" \
    "$(num "$med_after" "%.0f us")" "$(num "$med_min" "%.0f us")"
  printf '| second Control release to write request, 99th percentile | %s (minimal program: %s) | %s (minimal program: %s) | - | |\n' \
    "$(num "$(fig before latency_p99_us)" "%.0f us")" "$(num "$(fig minimal_before latency_p99_us)" "%.0f us")" \
    "$(num "$p99_after" "%.0f us")" "$(num "$p99_min" "%.0f us")"
  for part in to_first_read between_reads to_write; do
    case $part in
      to_first_read) text="release to the first read (event, lookup, open), median" ;;
      between_reads) text="first read to second read, median" ;;
      to_write) text="second read to the write, median" ;;
    esac
    printf '| %s | %s (minimal program: %s) | %s (minimal program: %s) | - | |\n' "$text" \
      "$(num "$(fig before ${part}_median_us)" "%.0f us")" "$(num "$(fig minimal_before ${part}_median_us)" "%.0f us")" \
      "$(num "$(fig after ${part}_median_us)" "%.0f us")" \
      "$(num "$(fig minimal ${part}_median_us)" "%.0f us")"
  done
  printf '| latency against the minimal program, median / 99th percentile | %s / %s | %s / %s | <= 1.1x | %s |\n' \
    "$(ratio "$(fig before latency_median_us)" "$(fig minimal_before latency_median_us)")" \
    "$(ratio "$(fig before latency_p99_us)" "$(fig minimal_before latency_p99_us)")" \
    "$med_ratio" "$p99_ratio" \
    "$(awk -v a="$med_after" -v am="$med_min" -v b="$p99_after" -v bm="$p99_min" \
      'BEGIN { if (am == "-" || bm == "-") print "-"; else print (a / am <= 1.1 && b / bm <= 1.1 ? "yes" : "no") }')"
  echo
  echo "Motion was written at $(num "$(fig after motion_reports_per_s)" "%.0f") reports/s (the guest's pace"
  echo "under emulation); $(num "$(fig after latency_samples)" "%.0f") switches were timed for the tool and"
  echo "$(num "$(fig minimal latency_samples)" "%.0f") for the minimal program. Percentiles are nearest-rank: of 100 samples"
  echo "the 99th percentile is the second slowest, the median the 50th. The first switch took $(num "$(fig before latency_first_us)" "%.0f us") for the older build (which made"
  echo "its libusb context then), $(num "$(fig after latency_first_us)" "%.0f us") for this one and"
  echo "$(num "$(fig minimal latency_first_us)" "%.0f us") for the minimal program."
  echo
  echo "With the tray: the same tool under Xvfb with trayer as the tray host, idle for $tray_seconds s, on this"
  echo "machine's own kernel ($(uname -r)); wake-ups per minute by thread. The main thread runs Qt's event loop"
  echo "and the tool's timers; every other thread is Qt's own (its X connection reader, D-Bus, and the like),"
  echo "but for libusb's, which waits for USB devices to come and go. The window starts 3 s after start-up, so"
  echo "it holds the one-shot timers of start-up: the tool's own look for a tray host 5 s in, and Qt's."
  echo
  echo "| Thread | Before | After | Goal |"
  echo "|---|---|---|---|"
  for name in main_thread $(awk '$3 ~ /^thread:/ { print $3 }' "$work/tray" | sort -u) total; do
    b=$(awk -v n="$name" '$2 == "before" && $3 == n { printf "%.0f", $4 }' "$work/tray")
    a=$(awk -v n="$name" '$2 == "after" && $3 == n { printf "%.0f", $4 }' "$work/tray")
    goal="-"
    [ "$name" = main_thread ] && goal="0 of the tool's own"
    printf '| %s | %s | %s | %s |\n' "${name#thread:}" "${b:--}" "${a:--}" "$goal"
  done
  echo
} >"$root/bench/KERNEL.md"

# Into BENCHMARKS.md: the old section out, the new one ahead of the history.
out="$root/BENCHMARKS.md"
awk -v section="$root/bench/KERNEL.md" '
  /^## On a real kernel/ { skip = 1; next }
  skip && /^## / { skip = 0 }
  skip { next }
  /^## Figures that missed their goals/ && !done {
    while ((getline line < section) > 0) print line
    done = 1
  }
  { print }
  END { if (!done) while ((getline line < section) > 0) print line }
' "$out" >"$work/benchmarks.md"
cp "$work/benchmarks.md" "$out"
cat "$root/bench/KERNEL.md"
echo "wrote bench/KERNEL.md and $out"
