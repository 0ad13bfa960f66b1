// A fresh simulated world per test, with every process-wide variable of the
// tool put back to its starting value before and after, so that ToolMain and
// the pieces it calls can run in-process test after test.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "service/instance_lock.h"
#include "shared/tool_state.h"
#include "ui/app_delegate.h"

class ToolWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetToolState();
    world_ = sim::World::Create(sim::Config{});
    world_->Install();
  }

  void TearDown() override {
    // Teardown order: the tool's platform objects (tap, timers, delegate,
    // lock descriptor) go while the world that made them still exists.
    ResetToolState();
    world_.reset();
    platform::InstallServices(platform::Services{});
  }

  // Runs the tool's main with these arguments after the program name.
  int RunTool(const std::vector<std::string>& args) {
    std::vector<std::string> storage = {"quembrastella-switch"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return ToolMain(static_cast<int>(storage.size()), argv.data());
  }

  // As RunTool, with standard output captured into `out`.
  int RunToolCapturing(const std::vector<std::string>& args, std::string* out) {
    ::testing::internal::CaptureStdout();
    const int status = RunTool(args);
    *out = ::testing::internal::GetCapturedStdout();
    return status;
  }

  sim::World& world() { return *world_; }
  sim::SimUi& ui() { return world_->UiControl(); }
  sim::SimFiles& files() { return world_->FilesControl(); }

  std::vector<std::string> AlertTexts() const {
    std::vector<std::string> texts;
    for (const sim::SimUi::Alert& a : world_->UiControl().Alerts()) {
      texts.push_back(a.spec.informative_text);
    }
    return texts;
  }

  // The observations' texts, in order, without their times.
  std::vector<std::string> ObservationTexts() const {
    std::vector<std::string> texts;
    for (const sim::Observation& o : world_->Observations()) texts.push_back(o.text);
    return texts;
  }

  // Index of the first observation with exactly this text; -1 when none.
  int ObservationIndex(const std::string& text) const {
    const std::vector<std::string> texts = ObservationTexts();
    auto it = std::find(texts.begin(), texts.end(), text);
    return it == texts.end() ? -1 : static_cast<int>(it - texts.begin());
  }

  // Whether another open file description could take the lock now (it is
  // taken and given back at once).
  static bool LockFreeForOthers() {
    const int fd = ::open(SingleInstanceLockPath().c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
  }

  std::unique_ptr<sim::World> world_;
};
