// The whole road from evdev to the hub: fake devices read by the linux
// platform, recognised by the tool's own gesture code, switching a fake hub
// through libusb.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <ctime>
#include <memory>

#include "evdev_road_fixture.h"
#include "gestures/event_tap.h"
#include "platform/linux/input/evdev_tap.h"

namespace {

using linux_test::FakeInput;
using linux_test::FakeKind;

using GesturesLinuxTest = linux_test::EvdevRoadTest;

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

// Events read late (the loop was held up, say by a hanging transfer) are
// timed by the kernel's stamps on the tool's clock: two Control taps typed
// 850 ms apart are no double-tap, however close together they are read;
// two typed 300 ms apart are one.
class LateReadTest : public GesturesLinuxTest {
 protected:
  // A Control tap typed while nothing is read: the clock moves on alone.
  void TapUnread(FakeInput& keyboard, uint64_t gap_after_ms) {
    keyboard.Key(KEY_LEFTCTRL, true);
    clock_.Set(clock_.now_ms() + 50);
    keyboard.Key(KEY_LEFTCTRL, false);
    clock_.Set(clock_.now_ms() + gap_after_ms);
  }
};

TEST_F(LateReadTest, TapsReadTogetherKeepTheSpacingTheyWereTypedWith) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  keyboard.AnswerClockId([this] { return clock_.now_ms(); });
  ASSERT_TRUE(StartEventTap());
  ASSERT_EQ(keyboard.clock_id(), CLOCK_BOOTTIME);
  TapUnread(keyboard, 800);
  TapUnread(keyboard, 0);
  Run(100);  // all four events are read in one go
  EXPECT_EQ(Switches(), 0);
  Run(1000);
  TapUnread(keyboard, 250);
  TapUnread(keyboard, 0);
  Run(100);
  EXPECT_EQ(Switches(), 1);
}

TEST_F(LateReadTest, ADeviceThatRefusesTheClockIsTimedWhenItsEventsAreRead) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);  // EVIOCSCLOCKID refused
  ASSERT_TRUE(StartEventTap());
  EXPECT_EQ(keyboard.clock_id(), -1);
  ASSERT_EQ(input_.current_tap()->device_count(), 1u);
  // Read together, taps typed 850 ms apart look like a pair: what the tool
  // can know without the kernel's times.
  TapUnread(keyboard, 800);
  TapUnread(keyboard, 0);
  Run(100);
  EXPECT_EQ(Switches(), 1);
  // Read as they come, taps are timed as before.
  Run(1000);
  for (int tap = 0; tap < 2; ++tap) {
    keyboard.Key(KEY_LEFTCTRL, true);
    Run(50);
    keyboard.Key(KEY_LEFTCTRL, false);
    Run(800);
  }
  EXPECT_EQ(Switches(), 1);
}

// The keyboard goes with a Q held while a first Q is pending, and the folder
// watch sees its node go before its read does: the Q's release completes
// the pair and the tool quits, from the loop, with the watch no longer on
// the stack (run under AddressSanitizer too).
TEST_F(GesturesLinuxTest, QHeldOnAKeyboardTheFolderWatchDropsIsNoTap) {
  ASSERT_TRUE(StartEventTap());
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 5);
  Run(20);
  ASSERT_TRUE(input_.current_tap()->HasDevice("/dev/input/event5"));
  keyboard->Key(KEY_Q, true);
  keyboard->Key(KEY_Q, false);
  keyboard->Key(KEY_Q, true);
  keyboard->Key(KEY_LEFTCTRL, true);
  Run(50);
  EXPECT_EQ(app_.terminate_requests, 0);
  keyboard.reset();
  watcher_.Pump();
  Run(50);
  // The release made up for the Q it held is no second tap, nor is the
  // Control one a tap: nothing quits, and the tick stops.
  EXPECT_EQ(app_.terminate_requests, 0);
  EXPECT_EQ(uKBTimeMs, 0u);
  EXPECT_FALSE(gControlKeyDown);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  EXPECT_EQ(loop_.live_timers(), 0u);
}

TEST_F(GesturesLinuxTest, TheTickRunsOnlyWhileAGestureIsUnderWay) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartEventTap());
  EXPECT_EQ(loop_.live_timers(), 0u) << "an idle tool arms no timer";
  mouse.Move(5, 5);
  keyboard.Key(KEY_A, true);
  keyboard.Key(KEY_A, false);
  Run(200);
  EXPECT_EQ(loop_.live_timers(), 0u) << "motion and other keys arm nothing";

  keyboard.Key(KEY_LEFTCTRL, true);
  Run(20);
  EXPECT_EQ(loop_.live_timers(), 1u);
  keyboard.Key(KEY_LEFTCTRL, false);
  Run(600);
  EXPECT_EQ(loop_.live_timers(), 1u) << "a release is pending for 700 ms";
  Run(200);
  EXPECT_EQ(loop_.live_timers(), 0u);

  mouse.Key(BTN_LEFT, true);
  mouse.Key(BTN_RIGHT, true);
  Run(20);
  EXPECT_EQ(loop_.live_timers(), 2u) << "the tick and the hold timer";
  Run(1100);
  EXPECT_EQ(Switches(), 1);
  mouse.Key(BTN_RIGHT, false);
  mouse.Key(BTN_LEFT, false);
  Run(20);
  EXPECT_EQ(loop_.live_timers(), 1u) << "the hub's lock, kept for the debounce";
  Run(500);
  EXPECT_EQ(loop_.live_timers(), 0u);
}

}  // namespace
