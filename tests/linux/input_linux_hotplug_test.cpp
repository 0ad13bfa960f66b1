// The evdev tap with the real libevdev against fake devices in umockdev:
// devices that go away and come back, and a tap destroyed from its callback.
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

TEST_F(InputLinuxTest, KeyboardRemovedAndAddedAgainIsFollowed) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartTap());
  keyboard->Key(KEY_LEFTCTRL, true);
  EXPECT_EQ(Take().size(), 1u);
  EXPECT_NE(input_.FlagsState(), 0u);

  // Gone while Control was held: its release is delivered, and by then its
  // keys no longer count in the live state.
  uint64_t flags_seen = ~0ull;
  on_event_ = [this, &flags_seen] { flags_seen = input_.FlagsState(); };
  keyboard.reset();
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl}}));
  EXPECT_EQ(flags_seen, 0u);
  EXPECT_EQ(Tap()->device_count(), 1u);
  EXPECT_EQ(input_.FlagsState(), 0u);
  on_event_ = nullptr;

  FakeInput again(testbed_, FakeKind::kKeyboard, 7);
  Take();  // the hot-plug watch reports the new node
  ASSERT_TRUE(Tap()->HasDevice("/dev/input/event7"));
  again.Key(KEY_LEFTCTRL, true);
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventFlagsChanged, 0, kKeyCodeControl}}));
  EXPECT_NE(input_.FlagsState(), 0u);
}

// A mouse whose reads fail (it went away) with buttons held gives their
// releases, as if they had come up; what it did not hold gives nothing.
TEST_F(InputLinuxTest, MouseGoneWithButtonsHeldReleasesThem) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartTap());
  mouse.Key(BTN_LEFT, true);
  mouse.Key(BTN_RIGHT, true);
  keyboard.Key(KEY_A, true);
  EXPECT_EQ(Take().size(), 3u);
  std::vector<uint32_t> live_seen;
  on_event_ = [this, &live_seen] { live_seen.push_back(input_.ButtonStates()); };
  mouse.Unplug();
  EXPECT_EQ(Take(), (std::vector<Seen>{{kEventLeftMouseUp, 0, 0}, {kEventRightMouseUp, 1, 0}}));
  EXPECT_EQ(live_seen, (std::vector<uint32_t>{0u, 0u}));
  EXPECT_TRUE(Take().empty()) << "released once";
  on_event_ = nullptr;
  EXPECT_EQ(Tap()->device_count(), 1u) << "the keyboard stays";
}

// A keyboard whose node the folder watch sees go before its own read says
// so (its watch comes after the folder's, as for any device plugged in
// after the start): it leaves the live state at once, and what it held is
// released from the loop a moment later, not from inside the folder watch.
TEST_F(InputLinuxTest, ReleasesTheKernelMakesForADeviceGoingAwayAreMarkedMadeUp) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartTap());
  std::vector<bool> made_up;
  on_event_ = [this, &made_up] { made_up.push_back(last_event_->made_up); };
  keyboard.Key(KEY_LEFTCTRL, true);
  keyboard.Key(KEY_Q, true);
  keyboard.Key(KEY_Q, false);  // a hand let this one go
  keyboard.Key(KEY_Q, true);
  keyboard.ReleaseHeldKeysAsTheKernelDoes();
  ASSERT_EQ(Take().size(), 6u);
  EXPECT_EQ(made_up, (std::vector<bool>{false, false, false, false, true, true}));
  on_event_ = nullptr;
}

TEST_F(InputLinuxTest, KeyboardDroppedByTheFolderWatchReleasesWhatItHeldFromTheLoop) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartTap());
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 5);
  Take();
  ASSERT_TRUE(Tap()->HasDevice("/dev/input/event5"));
  keyboard->Key(KEY_LEFTCTRL, true);
  keyboard->Key(KEY_Q, true);
  keyboard->Key(KEY_A, true);
  ASSERT_EQ(Take().size(), 3u);

  keyboard.reset();
  EXPECT_TRUE(Take().empty()) << "nothing is delivered from inside the folder watch";
  EXPECT_FALSE(Tap()->HasDevice("/dev/input/event5"));
  // Held until each release is delivered: a tick in between must not see
  // Control let go by nobody.
  EXPECT_EQ(input_.FlagsState(),
            platform::kEventFlagMaskControl | platform::kEventFlagMaskLeftControl);
  uint64_t flags_seen = ~0ull;
  size_t made_up = 0;
  on_event_ = [this, &flags_seen, &made_up] {
    flags_seen = input_.FlagsState();
    made_up += last_event_->made_up ? 1 : 0;
  };
  loop_.Advance(10);
  EXPECT_EQ(made_up, 3u) << "every release is marked made up";
  // In key code order: Q (16), Control (29), A (30).
  EXPECT_EQ(seen_, (std::vector<Seen>{{kEventKeyUp, 0, kKeyCodeQ},
                                      {kEventFlagsChanged, 0, kKeyCodeControl},
                                      {kEventKeyUp, 0, linux_platform::VirtualKeyCode(KEY_A)}}));
  EXPECT_EQ(flags_seen, 0u);
  seen_.clear();
  loop_.Advance(100);
  EXPECT_TRUE(Take().empty()) << "released once";
  EXPECT_EQ(loop_.live_timers(), 0u);
  on_event_ = nullptr;

  // A device that held nothing just goes.
  auto idle = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 6);
  Take();
  ASSERT_TRUE(Tap()->HasDevice("/dev/input/event6"));
  idle.reset();
  Take();
  EXPECT_FALSE(Tap()->HasDevice("/dev/input/event6"));
  EXPECT_EQ(loop_.live_timers(), 0u);
  loop_.Advance(100);
  EXPECT_TRUE(seen_.empty());
  EXPECT_EQ(Tap()->device_count(), 1u) << "the mouse stays";
}

TEST_F(InputLinuxTest, NoKeyboardOrPointerStillMakesATapThatWaitsForOne) {
  // All of them sit on the switch, which points at the other computer.
  FakeInput lid(testbed_, FakeKind::kLidSwitch, 1);
  ASSERT_TRUE(StartTap());
  EXPECT_EQ(Tap()->device_count(), 0u);
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 2);
  Take();
  EXPECT_EQ(Tap()->device_count(), 1u);
}

TEST_F(InputLinuxTest, DestroyingTheTapFromItsCallbackStopsReadingAtOnce) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartTap());
  keyboard.Key(KEY_Q, false);
  keyboard.Key(KEY_Q, false);
  // As a quit does: the tool tears the tap down inside the callback.
  on_event_ = [this] {
    source_.reset();
    tap_.reset();
  };
  EXPECT_EQ(Take().size(), 1u);
  EXPECT_EQ(input_.current_tap(), nullptr);
  EXPECT_EQ(input_.FlagsState(), 0u);
}

}  // namespace
