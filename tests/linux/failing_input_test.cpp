// Input devices misbehaving under the tool: removed in the middle of their
// events, dropping events (SYN_DROPPED) in the middle of a gesture, and
// flooding 10,000 events a second. The tool's own recognisers run on the
// real libevdev against fake devices; the hub is a fake one behind libusb.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>

#include "evdev_road_fixture.h"
#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "platform/linux/input/evdev_tap.h"

namespace {

using linux_test::FakeInput;
using linux_test::FakeKind;

class FailingInputTest : public linux_test::EvdevRoadTest {
 protected:
  void TapControl(FakeInput& keyboard) {
    keyboard.Key(KEY_LEFTCTRL, true);
    Run(50);
    keyboard.Key(KEY_LEFTCTRL, false);
    Run(100);
  }
  linux_platform::EvdevTap* Tap() { return input_.current_tap(); }
};

TEST_F(FailingInputTest, KeyboardRemovedWithItsEventsUnreadLeavesNoStateBehind) {
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 3);
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  ASSERT_TRUE(StartEventTap());
  keyboard->Key(KEY_LEFTCTRL, true);
  Run(50);
  ASSERT_TRUE(IsControlKeyDown());
  // Control's release and a whole tap are queued, then the keyboard goes
  // before they are read: nothing of it may count any more.
  keyboard->Key(KEY_LEFTCTRL, false);
  keyboard->Key(KEY_LEFTCTRL, true);
  keyboard->Key(KEY_LEFTCTRL, false);
  keyboard->Key(KEY_A, true);
  keyboard.reset();
  Run(1000);
  EXPECT_EQ(Tap()->device_count(), 1u);
  EXPECT_FALSE(IsControlKeyDown());
  EXPECT_FALSE(gControlKeyDown);  // the poll timer saw the state go
  EXPECT_EQ(Switches(), 0);
  // The mouse and the hot-plug watch are all that is served.
  EXPECT_EQ(watcher_.live_watches(), 2u);

  // A keyboard that comes back works as before.
  FakeInput back(testbed_, FakeKind::kKeyboard, 8);
  Run(50);
  TapControl(back);
  TapControl(back);
  EXPECT_EQ(Switches(), 1);
}

// A tap whose callback pulls the device out from under the reader while a
// batch of its events is being delivered.
struct Unplugger {
  FakeInput* device = nullptr;
  int seen = 0;
  int unplug_at = 0;
  static platform::EventRef Callback(platform::TapProxy, uint32_t, platform::EventRef event,
                                     void* self) {
    auto* u = static_cast<Unplugger*>(self);
    if (++u->seen == u->unplug_at && u->device != nullptr) u->device->Unplug();
    return event;
  }
};

TEST_F(FailingInputTest, DeviceRemovedWhileItsEventsAreDeliveredIsDroppedCleanly) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput other(testbed_, FakeKind::kKeyboard, 4);
  Unplugger unplugger{&keyboard, 0, 10};
  std::unique_ptr<platform::EventTap> tap =
      input_.CreateEventTap(platform::kEventTapMask, &Unplugger::Callback, &unplugger);
  ASSERT_NE(tap, nullptr);
  std::unique_ptr<platform::RunLoopSource> source = tap->CreateRunLoopSource();
  source->AddToRunLoop(platform::RunLoopMode::kCommon);
  tap->Enable(true);
  for (int i = 0; i < 500; ++i) keyboard.Key(KEY_A, i % 2 == 0);
  keyboard.Key(KEY_LEFTCTRL, true);
  watcher_.Pump();
  watcher_.Pump();  // the hot-plug watch reports the node gone too
  EXPECT_GE(unplugger.seen, 10);
  EXPECT_LT(unplugger.seen, 501) << "events were read after the device was gone";
  EXPECT_EQ(Tap()->device_count(), 1u);
  EXPECT_TRUE(Tap()->HasDevice("/dev/input/event4"));
  EXPECT_EQ(input_.FlagsState(), 0u);
  // The other keyboard is read on.
  const int before = unplugger.seen;
  other.Key(KEY_B, true);
  watcher_.Pump();
  EXPECT_EQ(unplugger.seen, before + 1);
  source.reset();
  tap.reset();
}

TEST_F(FailingInputTest, DroppedEventsInTheMiddleOfADoubleTapAreMadeUpByTheResync) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  // First tap seen; the second press lost in a drop, its release seen.
  TapControl(keyboard);
  keyboard.KeyDropped(KEY_LEFTCTRL, true);
  Run(50);
  keyboard.Key(KEY_LEFTCTRL, false);
  Run(100);
  EXPECT_EQ(Switches(), 1);

  // Control pressed; its release lost in a drop; then one more tap: the
  // resynchronised release and that tap make the pair.
  Run(1000);
  keyboard.Key(KEY_LEFTCTRL, true);
  Run(50);
  keyboard.KeyDropped(KEY_LEFTCTRL, false);
  Run(50);
  TapControl(keyboard);
  EXPECT_EQ(Switches(), 2);

  // A storm of a thousand drops, the state flipping in each and ending as
  // it began: no phantom switch, and a double-tap still switches.
  Run(1000);
  for (int i = 0; i < 1000; ++i) keyboard.KeyDropped(KEY_RIGHTCTRL, i % 2 == 0);
  keyboard.KeyDropped(KEY_RIGHTCTRL, false);
  Run(1000);
  EXPECT_FALSE(IsControlKeyDown());
  EXPECT_EQ(Switches(), 2);  // read after it, the state is what it was
  TapControl(keyboard);
  TapControl(keyboard);
  EXPECT_EQ(Switches(), 3);
}

TEST_F(FailingInputTest, FloodOf10000EventsASecondFor10SecondsMissesNoDoubleTap) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  FakeInput flood(testbed_, FakeKind::kKeyboard, 4);
  ASSERT_TRUE(StartEventTap());
  rusage thread_before{}, process_before{};
  getrusage(RUSAGE_THREAD, &thread_before);
  getrusage(RUSAGE_SELF, &process_before);

  // Every 10 ms of the device's time, 100 events (25 key presses and
  // releases with their reports); a Control double-tap on the other
  // keyboard in every second of it.
  constexpr int kSteps = 1000;
  long events = 0;
  for (int step = 0; step < kSteps; ++step) {
    for (int k = 0; k < 25; ++k) {
      flood.Key(KEY_A + (k % 3), true);
      flood.Key(KEY_A + (k % 3), false);
      events += 4;
    }
    const int in_second = step % 100;
    if (in_second == 10 || in_second == 30) keyboard.Key(KEY_LEFTCTRL, true);
    if (in_second == 15 || in_second == 35) keyboard.Key(KEY_LEFTCTRL, false);
    watcher_.Pump();
    loop_.Advance(10);
  }
  rusage thread_after{}, process_after{};
  getrusage(RUSAGE_THREAD, &thread_after);
  getrusage(RUSAGE_SELF, &process_after);
  EXPECT_EQ(Switches(), 10);

  // And right afterwards.
  Run(600);
  TapControl(keyboard);
  TapControl(keyboard);
  EXPECT_EQ(Switches(), 11);
  EXPECT_FALSE(IsControlKeyDown());

  auto ms = [](const rusage& a, const rusage& b) {
    auto total = [](const rusage& r) {
      return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 +
             (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    return total(b) - total(a);
  };
  const double reader_ms = ms(thread_before, thread_after);
  const double process_ms = ms(process_before, process_after);
  RecordProperty("flood_events", std::to_string(events));
  RecordProperty("flood_reader_thread_cpu_ms", std::to_string(reader_ms));
  RecordProperty("flood_process_cpu_ms", std::to_string(process_ms));
  std::printf(
      "flood: %ld events over 10 s of device time; CPU %.0f ms on the reading thread, "
      "%.0f ms in the whole process (the fake devices' thread included)\n",
      events, reader_ms, process_ms);
}

}  // namespace
