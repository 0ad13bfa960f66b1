// The event callback and the poll tick on the simulated platform.
//
// Every kind of event the tap can deliver is handed straight to
// eventCallback, as the tap's source would, in a steady state that never
// arms a timer or requests a switch, so that each iteration is one event.
// Times are CPU time of the benchmark thread, so that other work on a busy
// machine does not count as the callback's. Two clocks: the simulated one (virtual time) and the
// system clock put in its place, which makes the callback's one wall-clock read a real
// clock_gettime(CLOCK_REALTIME), the floor it is compared with.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "gestures/settings_change.h"
#include "hub/port_switch.h"
#include "platform/event_types.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "shared/tool_state.h"
#include "summary.h"

namespace {

enum class ClockKind { kSimulated, kSystem };

const char* ClockName(ClockKind clock) {
  return clock == ClockKind::kSimulated ? "sim clock" : "system clock";
}

// A simulated world with the tap and the poll timer started, the way the
// launch hook leaves them. Teardown order: the tap stops before the
// services go, and the services before the world they point into.
class Running {
 public:
  explicit Running(ClockKind clock) : world_(sim::World::Create({})) {
    platform::Services services = world_->Services();
    if (clock == ClockKind::kSystem) services.clock = &system_clock_;
    platform::InstallServices(services);
    ResetToolState();
    ok_ = StartEventTap();
  }
  ~Running() {
    ResetToolState();
    platform::InstallServices(platform::Services{});
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  bool ok() const { return ok_; }
  sim::World& world() { return *world_; }

 private:
  posix::SystemClock system_clock_;
  std::unique_ptr<sim::World> world_;
  bool ok_ = false;
};

struct EventKind {
  const char* name;
  uint32_t type;
  int64_t keycode;
  int64_t button;
  // Puts the recognisers in the state this event leaves them in, so that
  // every iteration does the same work.
  std::function<void()> settle;
  // Work done inside the loop that is not the event (a reset that keeps a
  // gesture from completing); none for most.
  bool reset_q_each_time = false;
  // The event carries its own time, as on Linux and the simulator (made
  // by hand it has none, as on macOS).
  bool timed = false;
  // The event needs the monotonic clock besides the wall-clock stamp: a Q
  // going up (when it happened) and a press with its own time (the latest
  // press, never later than now). Judged against those two reads.
  bool two_reads = false;
};

std::vector<EventKind> Kinds() {
  auto none = [] {};
  return {
      {"key-down", platform::kEventKeyDown, 0, 0, none},
      {"key-up (not Q)", platform::kEventKeyUp, 0, 0, none},
      {"key-up (Q, first tap)", platform::kEventKeyUp, 12, 0, none, true, false, true},
      {"flags-changed (Control unchanged)", platform::kEventFlagsChanged, 0x38, 0, none},
      {"left-down", platform::kEventLeftMouseDown, 0, 0, [] { MSButton = 0x10; }},
      {"left-up", platform::kEventLeftMouseUp, 0, 0, none},
      {"right-down", platform::kEventRightMouseDown, 0, 1, [] { MSButton = 0x01; }},
      {"right-up", platform::kEventRightMouseUp, 0, 1, none},
      {"left-dragged", platform::kEventLeftMouseDragged, 0, 0, none},
      {"right-dragged", platform::kEventRightMouseDragged, 0, 1, none},
      {"other-down", platform::kEventOtherMouseDown, 0, 2, [] { MSButton = 0x01; }},
      {"other-up", platform::kEventOtherMouseUp, 0, 2, none},
      {"other-dragged", platform::kEventOtherMouseDragged, 0, 2, none},
      {"tap-disabled (re-enabled, live state read)", platform::kEventTapDisabledByTimeout, 0, 0,
       none},
      {"key-down (event time)", platform::kEventKeyDown, 0, 0, none, false, true},
      {"left-down (event time)", platform::kEventLeftMouseDown, 0, 0, [] { MSButton = 0x10; },
       false, true, true},
  };
}

// A Q key-up that carries its own time also reads the monotonic clock, to
// stamp the tap back by its age: measured against those two reads.
EventKind TimedQ() {
  return {"key-up (Q, first tap, event time)",
          platform::kEventKeyUp,
          platform::kKeyCodeQ,
          0,
          [] {},
          true,
          true,
          true};
}

// The settings in force: the defaults, or both strict tap rules, which make
// the callback look at every key event, with Control held so that the
// "clean" rule does its whole work on every key-down and flags-changed.
enum class Rules { kDefault, kStrict };

std::string EventBenchName(const EventKind& kind, ClockKind clock, Rules rules) {
  return std::string("eventCallback/") + kind.name + "/" + ClockName(clock) +
         (rules == Rules::kStrict ? "/strict taps" : "");
}

void BM_Event(benchmark::State& state, EventKind kind, ClockKind clock, Rules rules) {
  Running running(clock);
  if (!running.ok()) {
    state.SkipWithError("the simulated tap was refused");
    return;
  }
  if (rules == Rules::kStrict) {
    GestureSettings strict;
    strict.control_taps = ControlTapRule::kClean;
    strict.quit_taps = QuitTapRule::kConsecutive;
    ApplyGestureSettings(strict);
    running.world().InputControl().SetLiveControl(true);
    gControlKeyDown = true;
  }
  sim::SimEvent made{kind.type, kind.keycode, kind.button};
  if (kind.timed) made.t_ms = 1;
  const platform::InputEvent event = sim::Decode(made);
  const platform::EventRef ref = &event;
  kind.settle();
  const uint64_t before = bench::AllocationCount();
  for (auto _ : state) {
    if (kind.reset_q_each_time) uKBTimeMs = 0;
    benchmark::DoNotOptimize(eventCallback(nullptr, kind.type, ref, nullptr));
  }
  const uint64_t allocations = bench::AllocationCount() - before;
  state.counters["allocs_per_event"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  if (gLastSwitchMs != 0 || gMouseComboTimer) state.SkipWithError("a gesture fired");
}

// A Control tap: the press and the release, two flags-changed events; the
// release also reads the monotonic clock. The pending release is cleared
// each time so that no double-tap completes. One iteration is one tap.
void BM_ControlTap(benchmark::State& state, ClockKind clock, bool timed) {
  Running running(clock);
  if (!running.ok()) {
    state.SkipWithError("the simulated tap was refused");
    return;
  }
  sim::SimEvent made{platform::kEventFlagsChanged, platform::kKeyCodeControl, 0};
  // With its own time the release reads no monotonic clock.
  if (timed) made.t_ms = 1;
  const platform::InputEvent event = sim::Decode(made);
  const platform::EventRef ref = &event;
  sim::SimInput& input = running.world().InputControl();
  const uint64_t before = bench::AllocationCount();
  for (auto _ : state) {
    gLastControlReleaseMs = 0;
    input.SetLiveControl(true);
    benchmark::DoNotOptimize(eventCallback(nullptr, platform::kEventFlagsChanged, ref, nullptr));
    input.SetLiveControl(false);
    benchmark::DoNotOptimize(eventCallback(nullptr, platform::kEventFlagsChanged, ref, nullptr));
  }
  const uint64_t allocations = bench::AllocationCount() - before;
  state.counters["allocs_per_event"] =
      static_cast<double>(allocations) / static_cast<double>(2 * state.iterations());
  if (gLastSwitchMs != 0) state.SkipWithError("a gesture fired");
}

void BM_PollTick(benchmark::State& state, ClockKind clock) {
  Running running(clock);
  if (!running.ok()) {
    state.SkipWithError("the simulated tap was refused");
    return;
  }
  const uint64_t before = bench::AllocationCount();
  for (auto _ : state) InputPollTimerCallback(nullptr, nullptr);
  state.counters["allocs_per_tick"] = static_cast<double>(bench::AllocationCount() - before) /
                                      static_cast<double>(state.iterations());
}

// The floor: the one clock read the callback must make.
void BM_ClockRealtime(benchmark::State& state) {
  timespec ts{};
  for (auto _ : state) {
    clock_gettime(CLOCK_REALTIME, &ts);
    benchmark::DoNotOptimize(ts);
  }
}

// The floor of a Q key-up (or a press with its own time): the wall-clock
// stamp and the monotonic reading its age or its time is taken from.
void BM_ClockTimedQReads(benchmark::State& state) {
  timespec ts{};
  for (auto _ : state) {
    clock_gettime(CLOCK_REALTIME, &ts);
    benchmark::DoNotOptimize(ts);
    benchmark::DoNotOptimize(posix::MonotonicNow());
  }
}

// The floor of a Control tap: each event's wall-clock stamp, and the
// release's monotonic stamp (the clock the system clock service reads).
void BM_ClockTapReads(benchmark::State& state) {
  timespec ts{};
  for (auto _ : state) {
    clock_gettime(CLOCK_REALTIME, &ts);
    benchmark::DoNotOptimize(ts);
    clock_gettime(CLOCK_REALTIME, &ts);
    benchmark::DoNotOptimize(ts);
    benchmark::DoNotOptimize(posix::MonotonicNow());
  }
}

constexpr const char* kFloor = "clock_gettime(CLOCK_REALTIME)";
constexpr const char* kTapFloor = "clock reads of a Control tap (2 realtime, 1 monotonic)";
constexpr const char* kTimedQFloor =
    "clock reads of a Q key-up or a timed press (1 realtime, 1 monotonic)";

std::string TapBenchName(ClockKind clock, bool timed) {
  return std::string("eventCallback/Control tap (press + release") + (timed ? ", event time" : "") +
         ")/" + ClockName(clock);
}

// "12.3 ns, 1.05x floor, 0 allocations".
std::string Describe(const bench::Measured& m, double floor, const char* per) {
  const auto found = m.counters.find("allocs_per_event");
  char allocs[64] = "";
  if (found != m.counters.end()) {
    std::snprintf(allocs, sizeof allocs, ", %.2g allocations per %s", found->second, per);
  }
  return bench::FormatNs(m.cpu_ns) + ", " + bench::FormatRatio(m.cpu_ns / floor) + " floor" +
         allocs;
}

bool NoAllocations(const bench::Measured& m) {
  const auto found = m.counters.find("allocs_per_event");
  return found != m.counters.end() && found->second == 0;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark(kFloor, BM_ClockRealtime);
  benchmark::RegisterBenchmark(kTapFloor, BM_ClockTapReads);
  benchmark::RegisterBenchmark(kTimedQFloor, BM_ClockTimedQReads);
  for (ClockKind clock : {ClockKind::kSystem, ClockKind::kSimulated}) {
    for (const EventKind& kind : Kinds()) {
      benchmark::RegisterBenchmark(EventBenchName(kind, clock, Rules::kDefault).c_str(), BM_Event,
                                   kind, clock, Rules::kDefault);
    }
    for (bool timed : {false, true}) {
      benchmark::RegisterBenchmark(TapBenchName(clock, timed).c_str(), BM_ControlTap, clock, timed);
    }
    benchmark::RegisterBenchmark(EventBenchName(TimedQ(), clock, Rules::kDefault).c_str(), BM_Event,
                                 TimedQ(), clock, Rules::kDefault);
    benchmark::RegisterBenchmark((std::string("poll tick/sim/") + ClockName(clock)).c_str(),
                                 BM_PollTick, clock);
  }
  for (const EventKind& kind : Kinds()) {
    benchmark::RegisterBenchmark(EventBenchName(kind, ClockKind::kSystem, Rules::kStrict).c_str(),
                                 BM_Event, kind, ClockKind::kSystem, Rules::kStrict);
  }

  const std::map<std::string, bench::Measured> m = bench::RunAll(argc, argv);
  const auto floor_it = m.find(kFloor);
  const auto tap_floor_it = m.find(kTapFloor);
  const auto timed_q_floor_it = m.find(kTimedQFloor);
  if (floor_it == m.end()) {
    std::fprintf(stderr, "the floor was not measured: keep \"%s\" in --benchmark_filter\n", kFloor);
    return 1;
  }
  const double floor = floor_it->second.cpu_ns;
  const double tap_floor = tap_floor_it != m.end() ? tap_floor_it->second.cpu_ns : 0;
  const double timed_q_floor = timed_q_floor_it != m.end() ? timed_q_floor_it->second.cpu_ns : 0;

  // Only the system clock makes the callback's clock read a real one; the
  // simulated clock's figures are shown for comparison, without goals.
  std::vector<bench::Row> rows;
  rows.push_back({std::string(kFloor) + ", the floor", bench::FormatNs(floor), "", {}});
  if (tap_floor > 0) rows.push_back({kTapFloor, bench::FormatNs(tap_floor), "", {}});
  if (timed_q_floor > 0) {
    rows.push_back({kTimedQFloor, bench::FormatNs(timed_q_floor), "", {}});
  }
  for (ClockKind clock : {ClockKind::kSystem, ClockKind::kSimulated}) {
    const bool system = clock == ClockKind::kSystem;
    for (Rules rules : {Rules::kDefault, Rules::kStrict}) {
      for (const EventKind& kind : Kinds()) {
        const auto it = m.find(EventBenchName(kind, clock, rules));
        if (it == m.end()) continue;
        const bool two_reads = kind.two_reads && timed_q_floor > 0;
        const double own_floor = two_reads ? timed_q_floor : floor;
        const double ratio = it->second.cpu_ns / own_floor;
        rows.push_back(
            {it->first,
             Describe(it->second, own_floor, "event") + (two_reads ? " of its reads" : ""),
             system
                 ? (two_reads ? "<= 1.5x its reads, 0 allocations" : "<= 1.5x floor, 0 allocations")
                 : "",
             system ? std::optional<bool>(ratio <= 1.5 && NoAllocations(it->second))
                    : std::nullopt});
      }
    }
    for (bool timed : {false, true}) {
      const auto it = m.find(TapBenchName(clock, timed));
      if (it == m.end() || tap_floor <= 0) continue;
      const double ratio = it->second.cpu_ns / tap_floor;
      rows.push_back(
          {it->first, Describe(it->second, tap_floor, "event") + " of its reads",
           system ? "<= 1.5x its reads, 0 allocations" : "",
           system ? std::optional<bool>(ratio <= 1.5 && NoAllocations(it->second)) : std::nullopt});
    }
    if (const auto it = m.find(EventBenchName(TimedQ(), clock, Rules::kDefault));
        it != m.end() && timed_q_floor > 0) {
      const double ratio = it->second.cpu_ns / timed_q_floor;
      rows.push_back(
          {it->first, Describe(it->second, timed_q_floor, "event") + " of its reads",
           system ? "<= 1.5x its reads, 0 allocations" : "",
           system ? std::optional<bool>(ratio <= 1.5 && NoAllocations(it->second)) : std::nullopt});
    }
    const std::string tick = std::string("poll tick/sim/") + ClockName(clock);
    if (const auto it = m.find(tick); it != m.end()) {
      rows.push_back({tick + " (no input)", bench::FormatNs(it->second.cpu_ns), "", {}});
    }
  }
  return bench::WriteRows(rows) ? 0 : 1;
}
