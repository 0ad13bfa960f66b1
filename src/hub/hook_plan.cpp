#include "hub/hook_plan.h"

#include <string>

HookStep HookEventCame(HookRunState& state) {
  if (state.phase == HookPhase::kIdle) return HookStep::kStart;
  state.again = true;
  return HookStep::kNothing;
}

void HookStarted(HookRunState& state) {
  state.phase = HookPhase::kRunning;
  state.start_failure_told = false;
}

bool HookStartFailed(HookRunState& state) {
  state.phase = HookPhase::kIdle;
  state.again = false;
  const bool tell = !state.start_failure_told;
  state.start_failure_told = true;
  return tell;
}

HookStep HookDeadline(HookRunState& state) {
  switch (state.phase) {
    case HookPhase::kRunning:
      state.phase = HookPhase::kTerminated;
      return HookStep::kTerm;
    case HookPhase::kTerminated:
      state.phase = HookPhase::kKilled;
      return HookStep::kKill;
    case HookPhase::kIdle:
    case HookPhase::kKilled:
      break;
  }
  return HookStep::kNothing;
}

HookStep HookEnded(HookRunState& state) {
  if (state.phase == HookPhase::kIdle) return HookStep::kNothing;
  state.phase = HookPhase::kIdle;
  if (!state.again) return HookStep::kNothing;
  state.again = false;
  return HookStep::kStart;
}

std::string HookEndLine(const std::string& name, const platform::ProcessEnd& end) {
  if (!end.signalled) return name + ": exited with status " + std::to_string(end.code);
  const char* known = end.code == 15 ? " (TERM)" : end.code == 9 ? " (KILL)" : "";
  return name + ": ended by signal " + std::to_string(end.code) + known;
}
