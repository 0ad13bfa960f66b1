#include "hub/switch_check.h"

#include <memory>
#include <utility>

#include "hub/hub_failure.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

namespace {

// The one check at a time. The generation tells a stale callback (of a
// check already replaced) from the current one.
struct PendingCheck {
  std::unique_ptr<platform::UsbRemovalWatch> watch;
  std::unique_ptr<platform::Timer> timer;
  SwitchCheckDone done;
  uint64_t started_ms = 0;
  uint64_t generation = 0;
  bool running = false;
};

PendingCheck gSwitchCheck;
// The generation goes on counting across resets: a callback of a check
// dropped by one is still told apart.
const ToolStateMember kSwitchCheckState{"gSwitchCheck", &CancelSwitchCheck,
                                        [] {
                                          return !gSwitchCheck.watch && !gSwitchCheck.timer &&
                                                 !gSwitchCheck.done && !gSwitchCheck.running;
                                        },
                                        kToolStateRunning};

void Finish(SwitchCheckResult result) {
  // Take everything out first: `done` may start the next check, and the
  // watch or timer being destroyed may be the one calling us.
  std::unique_ptr<platform::UsbRemovalWatch> watch = std::move(gSwitchCheck.watch);
  std::unique_ptr<platform::Timer> timer = std::move(gSwitchCheck.timer);
  SwitchCheckDone done = std::move(gSwitchCheck.done);
  gSwitchCheck.running = false;
  ++gSwitchCheck.generation;
  if (timer) timer->Invalidate();
  if (done) done(result);
}

void OnRemoved(uint64_t generation) {
  if (!gSwitchCheck.running || generation != gSwitchCheck.generation) return;
  const uint64_t elapsed = GetMilliseconds() - gSwitchCheck.started_ms;
  showMsg("Hub left this computer after %llu ms\n", static_cast<unsigned long long>(elapsed));
  Finish(SwitchCheckResult::kLeft);
}

void OnDeadline(platform::Timer* /*timer*/, void* /*info*/) {
  if (!gSwitchCheck.running) return;
  if (gSwitchCheck.watch && gSwitchCheck.watch->Gone()) {
    // The removal was not reported, but the bus no longer has the hub.
    showMsg("Hub left this computer within %llu ms\n",
            static_cast<unsigned long long>(kSwitchCheckMs));
    Finish(SwitchCheckResult::kLeft);
    return;
  }
  TraceHubFailure(HubFailure(HubFailureKind::kNotTaken));
  Finish(SwitchCheckResult::kStayed);
}

}  // namespace

bool ArmSwitchCheck(platform::UsbDevice& hub) {
  CancelSwitchCheck();
  const uint64_t generation = gSwitchCheck.generation;
  gSwitchCheck.watch = hub.WatchRemoval([generation] { OnRemoved(generation); });
  return gSwitchCheck.watch != nullptr;
}

bool StartSwitchCheck(SwitchCheckDone done) {
  if (!gSwitchCheck.watch || gSwitchCheck.running) return false;
  gSwitchCheck.timer =
      platform::Sys().run_loop->AddTimer(static_cast<double>(kSwitchCheckMs) / 1000.0, 0,
                                         &OnDeadline, nullptr, platform::RunLoopMode::kCommon);
  if (!gSwitchCheck.timer) {
    // Without a deadline the wait could not end: no check.
    showMsg("Cannot check the switch: no timer\n");
    CancelSwitchCheck();
    return false;
  }
  gSwitchCheck.done = std::move(done);
  gSwitchCheck.started_ms = GetMilliseconds();
  gSwitchCheck.running = true;
  return true;
}

void CancelSwitchCheck() {
  std::unique_ptr<platform::UsbRemovalWatch> watch = std::move(gSwitchCheck.watch);
  std::unique_ptr<platform::Timer> timer = std::move(gSwitchCheck.timer);
  gSwitchCheck.done = nullptr;
  gSwitchCheck.running = false;
  ++gSwitchCheck.generation;
  if (timer) timer->Invalidate();
}

bool SwitchCheckPending() {
  return gSwitchCheck.watch != nullptr;
}
