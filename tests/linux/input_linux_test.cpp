// The evdev tap with the real libevdev against fake devices in umockdev:
// device selection, event mapping, live state, SYN_DROPPED and event times.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "fake_input.h"
#include "gestures/event_tap.h"
#include "input_linux_fixture.h"
#include "manual_loop.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/event_map.h"
#include "platform/linux/input/input_linux.h"

namespace {

using namespace platform;  // the event words: kEvent*, kKeyCode*, kEventTapMask
using linux_platform::LinuxInput;
using linux_test::FakeInput;
using linux_test::FakeKind;
using linux_test::InputLinuxTest;
using linux_test::ManualWatcher;
using linux_test::Seen;
using linux_test::Testbed;

TEST_F(InputLinuxTest, OpensKeyboardsAndPointersOnly) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  FakeInput lid(testbed_, FakeKind::kLidSwitch, 5);
  ASSERT_TRUE(StartTap());
  EXPECT_EQ(Tap()->device_count(), 2u);
  EXPECT_TRUE(Tap()->HasDevice("/dev/input/event3"));
  EXPECT_TRUE(Tap()->HasDevice("/dev/input/event4"));
  EXPECT_FALSE(Tap()->HasDevice("/dev/input/event5"));
  // Two devices and the hot-plug watch are served by the loop.
  EXPECT_EQ(watcher_.live_watches(), 3u);
}

TEST_F(InputLinuxTest, KeysBecomeFlagsChangesAndKeyEventsWithLiveState) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartTap());
  EXPECT_EQ(input_.FlagsState(), 0u);

  keyboard.Key(KEY_RIGHTCTRL, true);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeRightControl}}));
  // The live state tells the right key from the left one (control_key).
  EXPECT_EQ(input_.FlagsState(),
            platform::kEventFlagMaskControl | platform::kEventFlagMaskRightControl);
  keyboard.Key(KEY_LEFTCTRL, true);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl}}));
  EXPECT_EQ(input_.FlagsState(), platform::kEventFlagMaskControl |
                                     platform::kEventFlagMaskRightControl |
                                     platform::kEventFlagMaskLeftControl);
  keyboard.Key(KEY_LEFTCTRL, false);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl}}));
  keyboard.Key(KEY_RIGHTCTRL, false);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeRightControl}}));
  EXPECT_EQ(input_.FlagsState(), 0u);

  keyboard.Key(KEY_Q, true);
  keyboard.Key(KEY_Q, false);
  keyboard.Key(KEY_W, false);
  const std::vector<Seen> keys = Take();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], (Seen{kEventKeyDown, 0, kKeyCodeQ}));
  EXPECT_EQ(keys[1], (Seen{kEventKeyUp, 0, kKeyCodeQ}));
  EXPECT_EQ(keys[2].type, kEventKeyUp);
  EXPECT_NE(keys[2].keycode, kKeyCodeQ);
}

TEST_F(InputLinuxTest, ButtonsAndDragsCarryTheirNumbers) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartTap());
  mouse.Move(3, 0);  // no button held: nothing
  EXPECT_TRUE(Take().empty());

  mouse.Key(BTN_LEFT, true);
  mouse.Move(1, 1);
  mouse.Key(BTN_RIGHT, true);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventLeftMouseDown, 0, 0},
                                       {kEventLeftMouseDragged, 0, 0},
                                       {kEventRightMouseDown, 1, 0}}));
  EXPECT_TRUE(input_.ButtonState(0));
  EXPECT_TRUE(input_.ButtonState(1));
  EXPECT_FALSE(input_.ButtonState(2));

  mouse.Key(BTN_LEFT, false);
  mouse.Move(0, 2);
  mouse.Key(BTN_RIGHT, false);
  mouse.Key(BTN_MIDDLE, true);
  mouse.Move(0, 2);
  mouse.Key(BTN_MIDDLE, false);
  mouse.Key(BTN_SIDE, true);  // no event for buttons the tool does not know
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventLeftMouseUp, 0, 0},
                                       {kEventRightMouseDragged, 1, 0},
                                       {kEventRightMouseUp, 1, 0},
                                       {kEventOtherMouseDown, 2, 0},
                                       {kEventOtherMouseDragged, 2, 0},
                                       {kEventOtherMouseUp, 2, 0}}));
  EXPECT_FALSE(input_.ButtonState(0));
  EXPECT_FALSE(input_.ButtonState(2));
}

TEST_F(InputLinuxTest, TheThreeButtonsInOneQueryFollowEveryDevice) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  FakeInput other(testbed_, FakeKind::kMouse, 5);
  ASSERT_TRUE(StartTap());
  EXPECT_EQ(input_.ButtonStates(), 0u);
  // Left on one mouse, middle on the other: one answer across both.
  mouse.Key(BTN_LEFT, true);
  other.Key(BTN_MIDDLE, true);
  Take();
  EXPECT_EQ(input_.ButtonStates(), 0b101u);
  other.Key(BTN_RIGHT, true);
  mouse.Key(BTN_LEFT, false);
  Take();
  EXPECT_EQ(input_.ButtonStates(), 0b110u);
  other.Unplug();
  Take();
  EXPECT_EQ(input_.ButtonStates(), 0u);
}

TEST_F(InputLinuxTest, DroppedEventsResynchroniseTheLiveState) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartTap());
  keyboard.KeyDropped(KEY_LEFTCTRL, true);
  mouse.KeyDropped(BTN_LEFT, true);
  // The lost changes come back as events, and the live state has them.
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl},
                                       {kEventLeftMouseDown, 0, 0}}));
  EXPECT_NE(input_.FlagsState() & platform::kEventFlagMaskControl, 0u);
  EXPECT_TRUE(input_.ButtonState(0));

  keyboard.KeyDropped(KEY_LEFTCTRL, false);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl}}));
  EXPECT_EQ(input_.FlagsState(), 0u);
}

TEST_F(InputLinuxTest, DisabledTapOrSourceOutOfTheLoopDeliversNothing) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartTap());
  tap_->Enable(false);
  keyboard.Key(KEY_LEFTCTRL, true);
  EXPECT_TRUE(Take().empty());
  // The state is still followed while nothing is delivered.
  EXPECT_NE(input_.FlagsState(), 0u);
  tap_->Enable(true);
  source_.reset();
  EXPECT_EQ(watcher_.live_watches(), 0u);
  keyboard.Key(KEY_LEFTCTRL, false);
  EXPECT_TRUE(Take().empty());
}

// A device is asked to stamp its events with the tool's own monotonic clock
// (CLOCK_BOOTTIME); its events then carry the kernel's time, however late
// they are read. A device that refuses has events without a time, timed
// by the tool when it handles them.
TEST_F(InputLinuxTest, EventsCarryTheKernelsTimeOnTheToolsClock) {
  uint64_t kernel_ms = 5'000;
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  keyboard.AnswerClockId([&kernel_ms] { return kernel_ms; });
  FakeInput refusing(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartTap());
  EXPECT_EQ(keyboard.clock_id(), CLOCK_BOOTTIME);
  EXPECT_EQ(refusing.clock_id(), -1);
  EXPECT_EQ(Tap()->device_count(), 2u) << "a refused clock leaves the device open";

  keyboard.Key(KEY_LEFTCTRL, true);
  kernel_ms = 5'800;
  keyboard.Key(KEY_Q, false);
  kernel_ms = 9'999;
  refusing.Key(BTN_LEFT, true);
  ASSERT_EQ(Take().size(), 3u);
  ASSERT_EQ(times_.size(), 3u);
  EXPECT_EQ(times_[0], 5'000u);
  EXPECT_EQ(times_[1], 5'800u);
  EXPECT_EQ(times_[2], 0u) << "the refusing device's event";
}

TEST(EventMapTest, KeyCodesAndButtons) {
  platform::InputEvent e;
  ASSERT_TRUE(linux_platform::MapKeyEvent(KEY_Q, 0, &e));
  EXPECT_EQ(e.type, 11u);
  EXPECT_EQ(e.keycode, kKeyCodeQ);
  // Auto-repeat of a key is another key-down; of Control, nothing.
  ASSERT_TRUE(linux_platform::MapKeyEvent(KEY_A, 2, &e));
  EXPECT_EQ(e.type, 10u);
  EXPECT_FALSE(linux_platform::MapKeyEvent(KEY_LEFTCTRL, 2, &e));
  // No key but Q has code 12.
  for (uint16_t code = 0; code < KEY_CNT; ++code) {
    if (code != KEY_Q) {
      EXPECT_NE(linux_platform::VirtualKeyCode(code), kKeyCodeQ) << code;
    }
  }
  EXPECT_FALSE(linux_platform::MapKeyEvent(BTN_TOUCH, 1, &e));
  EXPECT_FALSE(linux_platform::MapKeyEvent(BTN_TRIGGER_HAPPY1, 1, &e));
  EXPECT_EQ(linux_platform::DragType(true, true, false), 6u);
  EXPECT_EQ(linux_platform::DragType(false, false, false), 0u);
}

}  // namespace
