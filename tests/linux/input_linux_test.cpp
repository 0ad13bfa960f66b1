// The evdev tap with the real libevdev against fake devices in umockdev:
// device selection, event mapping, live state, SYN_DROPPED and hot-plug.
#include "platform/linux/input/input_linux.h"
#include "gestures/event_tap.h"

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
#include "manual_loop.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/event_map.h"

namespace {

using namespace platform;  // the event words: kEvent*, kKeyCode*, kEventTapMask
using linux_platform::LinuxInput;
using linux_test::FakeInput;
using linux_test::FakeKind;
using linux_test::ManualWatcher;
using linux_test::Testbed;

struct Seen {
  uint32_t type;
  int64_t button;
  int64_t keycode;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
  return os << "{" << s.type << "," << s.button << "," << s.keycode << "}";
}

class InputLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  }

  // Makes the tap as the tool does: created, its source in the loop, on.
  bool StartTap() {
    tap_ = input_.CreateEventTap(kEventTapMask, &InputLinuxTest::Record, this);
    if (!tap_) return false;
    source_ = tap_->CreateRunLoopSource();
    source_->AddToRunLoop(platform::RunLoopMode::kCommon);
    tap_->Enable(true);
    return true;
  }
  std::vector<Seen> Take() {
    watcher_.Pump();
    return std::exchange(seen_, {});
  }
  static platform::EventRef Record(platform::TapProxy, uint32_t type, platform::EventRef event,
                                   void* self_ptr) {
    auto* self = static_cast<InputLinuxTest*>(self_ptr);
    self->seen_.push_back({type, event->button, event->keycode});
    self->times_.push_back(event->time_ms);
    self->last_event_ = event;
    if (self->on_event_) self->on_event_();
    return event;
  }
  linux_platform::EvdevTap* Tap() { return input_.current_tap(); }

  static linux_platform::InputOptions Options(platform::RunLoop* loop) {
    linux_platform::InputOptions options;
    options.run_loop = loop;
    return options;
  }

  Testbed testbed_;
  ManualWatcher watcher_;
  linux_test::ManualClock clock_;
  linux_test::ManualRunLoop loop_{&clock_};
  LinuxInput input_{&watcher_, Options(&loop_)};
  std::vector<Seen> seen_;
  std::vector<uint64_t> times_;  // the events' own times, ms; 0 none
  std::function<void()> on_event_;
  platform::EventRef last_event_ = nullptr;  // while on_event_ runs
  std::unique_ptr<platform::EventTap> tap_;
  std::unique_ptr<platform::RunLoopSource> source_;
};

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
  EXPECT_EQ(input_.FlagsState() & platform::kEventFlagMaskControl, platform::kEventFlagMaskControl);
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
  EXPECT_EQ(input_.FlagsState(), platform::kEventFlagMaskControl);
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
