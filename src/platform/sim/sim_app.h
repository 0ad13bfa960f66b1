// The simulated application object: the delegate's hooks, the main run loop
// and the terminate request.
#pragma once

#include "platform/app.h"
#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_world.h"

namespace sim {

class SimApp : public platform::App {
 public:
  SimApp(Scheduler& scheduler, Recorder& recorder) : scheduler_(scheduler), recorder_(recorder) {}

  void SetActivationPolicyAccessory() override { accessory_ = true; }
  void SetDelegate(platform::AppDelegate* delegate) override { delegate_ = delegate; }
  void Run() override;
  void Terminate() override;

  World::Ending HowEnded() const { return ending_; }
  bool IsAccessory() const { return accessory_; }

 private:
  Scheduler& scheduler_;
  Recorder& recorder_;
  platform::AppDelegate* delegate_ = nullptr;
  bool accessory_ = false;
  bool terminating_ = false;
  World::Ending ending_ = World::Ending::kRunning;
};

}  // namespace sim
