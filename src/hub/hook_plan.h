// What one hook does next, decided without touching a process: never two
// runs at once, at most one run waiting (however often its event comes
// meanwhile), a time limit with TERM and then KILL, and a program that
// cannot start told once. The runner (hub/hub_hooks) carries the decisions
// out.
#pragma once

#include <cstdint>
#include <string>

#include "platform/processes.h"

// How long a hook may run before it is sent TERM, and how long after that
// before KILL.
inline constexpr uint64_t kHookRunLimitMs = 10000;
inline constexpr uint64_t kHookKillGraceMs = 2000;

enum class HookPhase : uint8_t {
  kIdle,
  kRunning,
  kTerminated,  // sent TERM at the limit
  kKilled,      // sent KILL after the grace
};

struct HookRunState {
  HookPhase phase = HookPhase::kIdle;
  bool again = false;               // its event came while it ran: once more after
  bool start_failure_told = false;  // since the last start that worked
};

enum class HookStep : uint8_t {
  kNothing,
  kStart,  // start the program now (then HookStarted or HookStartFailed)
  kTerm,   // send TERM, and come back after kHookKillGraceMs
  kKill,   // send KILL
};

// The hook's event came.
HookStep HookEventCame(HookRunState& state);
// The program was started: its limit runs from now.
void HookStarted(HookRunState& state);
// It could not be started; true when this is to be told (the first time
// since a start that worked). Nothing waits any more.
bool HookStartFailed(HookRunState& state);
// A deadline passed (the limit, then the grace).
HookStep HookDeadline(HookRunState& state);
// The program ended: kStart when a run waits.
HookStep HookEnded(HookRunState& state);

// The one line that says how a run ended, with the setting's name:
// "on_hub_left: exited with status 0", "on_hub_left: ended by signal 9".
std::string HookEndLine(const std::string& name, const platform::ProcessEnd& end);
