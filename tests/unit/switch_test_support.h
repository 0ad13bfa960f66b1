// Shared by the hub and gesture tests: a simulated world installed as the
// platform, every process-wide variable of the switch and the recognisers at
// its start value, and standard output captured on request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/hub_hooks.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

namespace switch_test {

// Stops whatever runs and puts every variable back to its start value.
inline void ResetSwitchState() {
  ResetToolState();
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { StartWorld(sim::Config{}); }
  void TearDown() override {
    if (capturing_) (void)testing::internal::GetCapturedStdout();
    capturing_ = false;
    // Every platform object is released before the world that made it.
    ResetSwitchState();
    world_.reset();
  }

  void StartWorld(const sim::Config& config) {
    if (world_) {
      ResetSwitchState();
      world_.reset();
    }
    world_ = sim::World::Create(config);
    world_->Install();
    ResetSwitchState();
  }

  sim::World& World() { return *world_; }
  sim::SimHub& Hub() { return world_->Hub(); }
  sim::SimInput& In() { return world_->InputControl(); }

  // Console mode on, standard output captured until Console().
  void CaptureConsole() {
    gConsoleMode = true;
    testing::internal::CaptureStdout();
    capturing_ = true;
  }
  std::string Console() {
    capturing_ = false;
    return testing::internal::GetCapturedStdout();
  }

  // Schedules `action` at T = t and runs the default loop up to it.
  template <class F>
  void RunAt(uint64_t t, F action) {
    world_->At(t, action);
    world_->RunUntil(t);
  }

  // The values written to F5-0000, in order.
  std::vector<uint16_t> WrittenPortSelects() const {
    std::vector<uint16_t> values;
    for (const platform::UsbDeviceRequest& r : world_->Hub().Requests()) {
      if (r.bmRequestType == 0x40 && r.bRequest == 0xF5 && r.wValue == 0) {
        values.push_back(r.wIndex);
      }
    }
    return values;
  }

  std::unique_ptr<sim::World> world_;
  bool capturing_ = false;
};

// Stands in for the application delegate: its termination hook stops the
// tap, as the tool's own does, and counts the quits.
class StoppingDelegate : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override {}
  void applicationWillTerminate() override {
    ++terminations;
    StopEventTap();
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  int terminations = 0;
};

}  // namespace switch_test
