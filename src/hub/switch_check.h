// The checked switch: a write that moves the hub makes it leave this
// computer. After such a write the tool watches for the hub's removal for up
// to two seconds, asynchronously on the run loop, and says how it went.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/usb.h"

// How long the hub has to leave after the write.
inline constexpr uint64_t kSwitchCheckMs = 2000;

enum class SwitchCheckResult {
  kLeft,    // the hub left this computer
  kStayed,  // still here when the wait was over: the switch did not take
            // (HubFailureKind::kNotTaken)
};
using SwitchCheckDone = std::function<void(SwitchCheckResult)>;

// Arms a removal watch on `hub`, before the write that should make it leave.
// Replaces any check still pending. False where the platform cannot watch.
bool ArmSwitchCheck(platform::UsbDevice& hub);
// After a successful write: starts the wait for the armed watch; `done`
// (may be empty) runs once when it is over. False, and nothing is started,
// when no watch is armed.
bool StartSwitchCheck(SwitchCheckDone done);
// Drops an armed or running check without a word (a failed write, teardown).
void CancelSwitchCheck();
// Whether a check is armed or running.
bool SwitchCheckPending();
