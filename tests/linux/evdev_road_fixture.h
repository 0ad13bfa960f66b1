// The whole road from evdev to the hub: fake devices read by the linux
// platform, recognised by the tool's own gesture code, switching a fake hub
// through libusb, with a manual clock and run loop.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "fake_hub.h"
#include "fake_input.h"
#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "manual_loop.h"
#include "platform/linux/input/input_linux.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/services.h"
#include "shared/tool_state.h"

namespace linux_test {

class EvdevRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    hub_ = std::make_unique<FakeHub>(testbed_);
    hub_->SetRegister(0xF5, 0x0000, 0x00);
    usb_ = std::make_unique<linux_platform::LinuxUsb>(200);
    platform::Services services;
    services.clock = &clock_;
    services.run_loop = &loop_;
    services.input = &input_;
    services.usb = usb_.get();
    services.app = &app_;
    platform::InstallServices(services);
    ResetToolState();
    app_.on_terminate = [] { StopEventTap(); };
  }
  void TearDown() override {
    ResetToolState();
    usb_.reset();
    hub_.reset();
    platform::InstallServices(platform::Services{});
  }
  // Lets `ms` pass with the loop serving the devices and the timers.
  void Run(uint64_t ms) {
    for (uint64_t t = 0; t < ms; t += 10) {
      watcher_.Pump();
      loop_.Advance(10);
    }
    watcher_.Pump();
  }
  int Switches() { return static_cast<int>(hub_->Requests().size() / 3); }

  Testbed testbed_;
  ManualClock clock_;
  ManualRunLoop loop_{&clock_};
  ManualWatcher watcher_;
  RecordingApp app_;
  linux_platform::LinuxInput input_{&watcher_};
  std::unique_ptr<FakeHub> hub_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
};

}  // namespace linux_test
