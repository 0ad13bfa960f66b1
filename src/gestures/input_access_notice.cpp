#include "gestures/input_access_notice.h"

#include <memory>
#include <string>

#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/tool_state.h"
#include "ui/alerts.h"

namespace {

// Pending while the alert waits for the run loop.
std::unique_ptr<platform::Timer> gInputAccessNoticeTimer;
// Whether this run has said it already.
bool gInputAccessLostTold = false;

constexpr const char* kAccessLost =
    "Input watching was switched off by the system: the gestures no longer work.";

// The fix read when the loss was found, for the alert.
std::string& PendingFix() {
  static std::string fix;
  return fix;
}

void ShowInputAccessNotice(platform::Timer* /*timer*/, void* /*info*/) {
  const std::string text = std::string(kAccessLost) + "\n" + PendingFix();
  // Gone before the alert runs: nothing is left to fire twice, and a quit
  // during the alert finds nothing to stop.
  gInputAccessNoticeTimer.reset();
  ShowAlert(text.c_str());
}

}  // namespace

void ReportInputAccessLost() {
  if (gInputAccessLostTold) return;
  std::string fix;
  if (platform::Sys().input->CheckInputAccess(nullptr, &fix)) return;
  gInputAccessLostTold = true;
  showMsg("%s %s\n", kAccessLost, fix.c_str());
  PendingFix() = fix;
  // In the common modes, as the tap: also while the menu or a notice is up.
  gInputAccessNoticeTimer = platform::Sys().run_loop->AddTimer(0, 0, ShowInputAccessNotice, nullptr,
                                                               platform::RunLoopMode::kCommon);
}

void CancelInputAccessNotice() {
  if (!gInputAccessNoticeTimer) return;
  gInputAccessNoticeTimer->Invalidate();
  gInputAccessNoticeTimer.reset();
}

bool InputAccessNoticePending() {
  return gInputAccessNoticeTimer != nullptr;
}

void ResetInputAccessNotice() {
  CancelInputAccessNotice();
  gInputAccessLostTold = false;
}

namespace {
const ToolStateMember kInputAccessNoticeState{
    "gInputAccessNoticeTimer, gInputAccessLostTold, fix",
    [] {
      ResetInputAccessNotice();
      PendingFix().clear();
    },
    [] { return !gInputAccessNoticeTimer && !gInputAccessLostTold && PendingFix().empty(); },
    kToolStateRunning};
}  // namespace
