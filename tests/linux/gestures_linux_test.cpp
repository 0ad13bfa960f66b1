// The whole road from evdev to the hub: fake devices read by the linux
// platform, recognised by the tool's own gesture code, switching a fake hub
// through libusb.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <memory>

#include "fake_hub.h"
#include "fake_input.h"
#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "manual_loop.h"
#include "platform/linux/input_linux.h"
#include "platform/linux/usb_linux.h"
#include "platform/services.h"

namespace {

using linux_test::FakeHub;
using linux_test::FakeInput;
using linux_test::FakeKind;
using linux_test::Testbed;

class GesturesLinuxTest : public ::testing::Test {
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
    gLastSwitchMs = 0;
    gControlKeyDown = false;
    gLastControlReleaseMs = 0;
    wPreKBKey = 0;
    uKBTimeMs = 0;
    MSButton = 0;
    gMouseComboTriggered = false;
    app_.on_terminate = [] { StopEventTap(); };
  }
  void TearDown() override {
    StopEventTap();
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
  linux_test::ManualClock clock_;
  linux_test::ManualRunLoop loop_{&clock_};
  linux_test::ManualWatcher watcher_;
  linux_test::RecordingApp app_;
  linux_platform::LinuxInput input_{&watcher_};
  std::unique_ptr<FakeHub> hub_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
};

TEST_F(GesturesLinuxTest, ControlDoubleTapSwitchesTheHub) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  keyboard.Key(KEY_LEFTCTRL, true);
  Run(60);
  keyboard.Key(KEY_LEFTCTRL, false);
  Run(200);
  EXPECT_EQ(Switches(), 0);
  keyboard.Key(KEY_RIGHTCTRL, true);  // either Control counts
  Run(60);
  keyboard.Key(KEY_RIGHTCTRL, false);
  Run(100);
  EXPECT_EQ(Switches(), 1);
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);
}

TEST_F(GesturesLinuxTest, HeldChordSwitchesOnceAfterOneSecond) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartEventTap());
  mouse.Key(BTN_LEFT, true);
  mouse.Key(BTN_RIGHT, true);
  Run(900);
  EXPECT_EQ(Switches(), 0);
  Run(200);
  EXPECT_EQ(Switches(), 1);
  mouse.Move(2, 2);  // dragging while held changes nothing
  Run(3000);
  EXPECT_EQ(Switches(), 1);
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);
}

TEST_F(GesturesLinuxTest, ChordSeenOnlyThroughResynchronisedStateStillSwitches) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartEventTap());
  mouse.KeyDropped(BTN_LEFT, true);
  mouse.KeyDropped(BTN_MIDDLE, true);
  Run(1100);
  EXPECT_EQ(Switches(), 1);
}

TEST_F(GesturesLinuxTest, QDoubleTapRequestsTermination) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  keyboard.Key(KEY_Q, true);
  keyboard.Key(KEY_Q, false);
  Run(100);
  EXPECT_EQ(app_.terminate_requests, 0);
  keyboard.Key(KEY_Q, true);
  keyboard.Key(KEY_Q, false);
  keyboard.Key(KEY_LEFTCTRL, true);  // read after the quit: must not crash
  Run(20);
  EXPECT_EQ(app_.terminate_requests, 1);
  EXPECT_EQ(input_.current_tap(), nullptr);
  EXPECT_EQ(watcher_.live_watches(), 0u);
}

TEST_F(GesturesLinuxTest, GesturesWorkAgainAfterTheKeyboardCameBack) {
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  keyboard->Key(KEY_LEFTCTRL, true);
  Run(50);
  // Switched away with Control down: the keyboard vanishes mid-press.
  keyboard.reset();
  Run(1000);
  EXPECT_EQ(Switches(), 0);

  // It comes back under a new node, as the kernel numbers it afresh.
  FakeInput back(testbed_, FakeKind::kKeyboard, 6);
  Run(50);
  for (int tap = 0; tap < 2; ++tap) {
    back.Key(KEY_LEFTCTRL, true);
    Run(50);
    back.Key(KEY_LEFTCTRL, false);
    Run(100);
  }
  EXPECT_EQ(Switches(), 1);
}

}  // namespace
