// The debounced port switch: find the hub, invert its port-select bit.
#pragma once

#include <cstdint>
#include <string>

#include <optional>

#include "hub/hub_device.h"
#include "hub/hub_failure.h"
#include "hub/switch_check.h"

// GetMilliseconds time of the last accepted switch request; 0 = none yet.
extern uint64_t gLastSwitchMs;

// Puts the switch back as the process starts: no last time, no check
// pending.
void ResetPortSwitch();

// What one switch did.
struct SwitchOutcome {
  bool written = false;  // the port-select write was accepted
  // Another process held the hub's switch lock: it is switching the hub or
  // did so within the debounce, so nothing was read or written.
  bool dropped = false;
  bool checking = false;  // a removal check is now running
  // Why nothing was written, traced already; set exactly when not written
  // and not dropped.
  std::optional<HubFailure> failure;
  // This computer's upstream port, from the port register before the
  // write; -1 when it was not read.
  int upstream_port = -1;
};

// With `checked`, a write that was accepted starts the removal check (where
// the platform can watch), and `on_checked` runs when it is over.
struct SwitchRequest {
  bool checked = false;
  SwitchCheckDone on_checked;
};

// The line of a request dropped because another process switched the hub
// within the debounce.
inline constexpr const char* kSwitchDroppedLine =
    "Not switched again: another process switched the hub less than 500 ms ago";

// Requests a switch on behalf of gesture `source_name` (or none); requests
// within 500 ms of the last accepted one are dropped. `at_ms` is when the
// request was made, on GetMilliseconds' clock: the time of the event that
// completed the gesture, which may be older than now when the event waited
// while the main thread was busy; 0 reads the clock. A request made before
// the last accepted one is dropped too. The switch is checked.
void TriggerSwitch(const char* source_name, uint64_t at_ms = 0);
// The debounce across processes: the hub's switch lock (where the platform
// has one) is kept from a written switch until 500 ms after it was taken,
// and a process that finds it held drops its request. These say whether
// this process still keeps it and end the keep early (at the end of a
// process, or of a test).
bool SwitchLockKept();
void ReleaseSwitchLock();
// Runs when a kept lock is given back by its timer (none by default).
void SetSwitchLockReleasedHook(void (*hook)());
// One exchange with the hub; true when the final register write succeeded.
// Abandoned, with nothing written, when the port register cannot be read.
bool Switch_XQ917_UpperPort();
// The same exchange, reporting its outcome.
SwitchOutcome SwitchHubPort(SwitchRequest request);
