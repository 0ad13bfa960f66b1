#include "hub/port_switch.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "hub/hub_access.h"
#include "hub/hub_hooks.h"
#include "hub/hub_registers.h"
#include "hub/hub_whereabouts.h"
#include "hub/switch_debounce.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

uint64_t gLastSwitchMs = 0;

namespace {

std::string LocalClockTime() {
  const std::tm now = platform::Sys().clock->LocalTime();
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", now.tm_hour, now.tm_min);
  return text;
}

// The hub's switch lock while it is kept after a switch, and the timer that
// gives it back.
std::unique_ptr<platform::UsbSwitchLock> gKeptSwitchLock;
std::unique_ptr<platform::Timer> gSwitchLockTimer;
void (*gSwitchLockReleasedHook)() = nullptr;

void OnSwitchLockTimer(platform::Timer* /*timer*/, void* /*info*/) {
  ReleaseSwitchLock();
  if (gSwitchLockReleasedHook != nullptr) gSwitchLockReleasedHook();
}

// Keeps `lock` for the rest of the debounce, counted from when it was taken.
void KeepSwitchLock(std::unique_ptr<platform::UsbSwitchLock> lock, uint64_t taken_ms) {
  ReleaseSwitchLock();
  const uint64_t held = ElapsedMs(GetMilliseconds(), taken_ms);
  if (held >= kSwitchDebounceMs) return;
  gSwitchLockTimer = platform::Sys().run_loop->AddTimer(
      static_cast<double>(kSwitchDebounceMs - held) / 1000.0, 0, &OnSwitchLockTimer, nullptr,
      platform::RunLoopMode::kCommon);
  // Without a timer the lock could not be given back in time: better none.
  if (gSwitchLockTimer) gKeptSwitchLock = std::move(lock);
}

// This computer's upstream port of the switch being checked.
int gCheckedPort = -1;

void ReportIfNotTaken(SwitchCheckResult result) {
  SetHubPlace(result == SwitchCheckResult::kLeft ? HubWhereabouts::Place::kAway
                                                 : HubWhereabouts::Place::kHere,
              gCheckedPort);
  // Its console lines were written by the check.
  if (result == SwitchCheckResult::kStayed) NoticeHubFailure(HubFailure(HubFailureKind::kNotTaken));
}

// A failure of the exchange itself, traced where it happens.
SwitchOutcome Failed(SwitchOutcome outcome, HubFailureKind kind) {
  const HubFailure failure(kind);
  TraceHubFailure(failure);
  outcome.failure = failure;
  return outcome;
}

}  // namespace

void ResetPortSwitch() {
  gLastSwitchMs = 0;
  gCheckedPort = -1;
  gSwitchLockReleasedHook = nullptr;
  ReleaseSwitchLock();
  CancelSwitchCheck();
}

bool SwitchLockKept() {
  return gKeptSwitchLock != nullptr;
}

void ReleaseSwitchLock() {
  if (gSwitchLockTimer) gSwitchLockTimer->Invalidate();
  gSwitchLockTimer.reset();
  gKeptSwitchLock.reset();
}

namespace {
const ToolStateMember kPortSwitchState{
    "gLastSwitchMs, gCheckedPort, gKeptSwitchLock, gSwitchLockTimer, gSwitchLockReleasedHook",
    &ResetPortSwitch,
    [] {
      return gLastSwitchMs == 0 && gCheckedPort == -1 && !gKeptSwitchLock && !gSwitchLockTimer &&
             gSwitchLockReleasedHook == nullptr;
    },
    kToolStateRunning};
}  // namespace

void SetSwitchLockReleasedHook(void (*hook)()) {
  gSwitchLockReleasedHook = hook;
}

void TriggerSwitch(const char* source_name, uint64_t at_ms) {
  const uint64_t window = gLastSwitchMs;
  const SwitchDebounceStep step = StepSwitchDebounce(window, at_ms, GetMilliseconds());
  if (step.verdict == SwitchVerdict::kTooLate) {
    // Switching now, seconds after the gesture, would surprise whoever
    // has moved on; it is told instead.
    showMsg("Not switched: the gesture (%s) was read %llu ms after it was made\n",
            source_name != nullptr ? source_name : "none",
            static_cast<unsigned long long>(step.late_ms));
    return;
  }
  if (!step.accept()) return;
  gLastSwitchMs = step.last_ms;
  if (source_name != nullptr) {
    showMsg("Switch (%s)\n", source_name);
  } else {
    showMsg("Switch\n");
  }
  SwitchRequest request;
  request.checked = true;
  request.on_checked = &ReportIfNotTaken;
  const SwitchOutcome outcome = SwitchHubPort(std::move(request));
  if (outcome.dropped) {
    // Another process's switch stands for this one; like any dropped
    // request, it does not move the window.
    gLastSwitchMs = window;
    showMsg("%s\n", kSwitchDroppedLine);
    return;
  }
  // A failure the platform gave no words for is not told at all.
  if (outcome.failure && !HubFailureLine(*outcome.failure).empty()) {
    NoticeHubFailure(*outcome.failure);
  }
  if (outcome.written) {
    SetHubLastSwitch(LocalClockTime());
    gCheckedPort = outcome.upstream_port;
    // Without a check, a write the hub took is taken as the switch done.
    if (!outcome.checking) {
      SetHubPlace(HubWhereabouts::Place::kAway);
    } else {
      TellHubWhereabouts();  // the time; the place when the check is over
    }
  } else if (outcome.failure && (outcome.failure->kind == HubFailureKind::kNotFound ||
                                 outcome.failure->kind == HubFailureKind::kChosenAbsent)) {
    SetHubPlace(HubWhereabouts::Place::kAway);
  } else if (outcome.upstream_port >= 0) {
    SetHubPlace(HubWhereabouts::Place::kHere, outcome.upstream_port);
  }
}

bool Switch_XQ917_UpperPort() {
  return SwitchHubPort(SwitchRequest{}).written;
}

SwitchOutcome SwitchHubPort(SwitchRequest request) {
  SwitchOutcome outcome;
  HubOpenResult opened = FindAndOpenHub();
  if (!opened.hub) {
    outcome.failure = std::move(opened.failure);
    return outcome;
  }
  platform::UsbDevice* hub = opened.hub->get();

  // Read, invert and write under the hub's lock, which every switching
  // process takes: two of them never interleave, and one that comes while
  // another's switch or its debounce lasts is dropped.
  // A lock this process still keeps from its own last switch holds back
  // the others, not this process (its debounce is TriggerSwitch's): it is
  // given back and taken afresh.
  ReleaseSwitchLock();
  platform::UsbSwitchLockAttempt locked = hub->LockForSwitch();
  // Kept after the write only where a run loop can give it back.
  const bool keep = locked.lock && platform::Sys().run_loop != nullptr;
  const uint64_t locked_at = keep ? GetMilliseconds() : 0;
  if (locked.busy) {
    outcome.dropped = true;
    return outcome;
  }

  // The first read's value is never used: only its trace line matters. The
  // port-select register must be read, though: writing without knowing it
  // would be a guess, so the switch is abandoned instead.
  uint8_t status = 0;
  (void)Hub_Read_Register(hub, kStatusRequest, kStatusAddress, &status);
  uint8_t value = 0;
  if (!Hub_Read_Register(hub, kPortSelectRequest, kPortSelectAddress, &value)) {
    return Failed(std::move(outcome), HubFailureKind::kSwitchAbandoned);
  }
  outcome.upstream_port = value & 1u;
  value = static_cast<uint8_t>((value & 1u) ^ 1u);
  // The watch goes up before the write, so that a hub that leaves at once
  // is not missed.
  const bool armed = request.checked && ArmSwitchCheck(*hub);
  outcome.written = Hub_Write_Register(hub, kPortSelectRequest, kPortSelectAddress, value);
  opened.hub.reset();  // closed and released before the wait
  if (!outcome.written) {
    if (armed) CancelSwitchCheck();
    return Failed(std::move(outcome), HubFailureKind::kWriteFailed);
  }
  if (keep) KeepSwitchLock(std::move(locked.lock), locked_at);
  if (armed) {
    outcome.checking =
        StartSwitchCheck([done = std::move(request.on_checked)](SwitchCheckResult result) {
          // The hook for the hub's leaving starts before anyone hears the
          // verdict (a one-shot switch waits for it).
          if (result == SwitchCheckResult::kLeft) HubLeftBySwitch();
          if (done) done(result);
        });
  }
  return outcome;
}
