#include "platform/sim/sim_app.h"

#include <optional>

namespace sim {

void SimApp::Run() {
  if (ending_ != World::Ending::kRunning) return;
  bool launched = false;
  // The launch hook runs inside the default loop at T 0, so that alerts it
  // shows nest a modal loop as they do on the real system.
  scheduler_.RunLoop(
      LoopKind::kDefault, std::nullopt,
      [&] {
        if (!launched) {
          launched = true;
          if (delegate_) delegate_->applicationDidFinishLaunching();
        }
        return false;
      },
      /*stop_when_idle=*/true);
  if (!terminating_) ending_ = World::Ending::kKilled;
}

void SimApp::Terminate() {
  // A second request while the first is carried out changes nothing. Nor
  // does one made by code still on the stack when the process was killed (it
  // returned from an alert that was up at the kill): that process is gone.
  if (terminating_ || scheduler_.Killed()) return;
  terminating_ = true;
  if (delegate_) delegate_->applicationWillTerminate();
  recorder_.Note("terminate");
  ending_ = World::Ending::kTerminated;
  scheduler_.UnwindAll();
}

}  // namespace sim
