// The running tap on the simulated input: how events are routed, the poll
// tick, the quit, and a tap the system disabled and the tool switched on again.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "alloc_counter.h"
#include "gestures/input_access_notice.h"
#include "platform/event_types.h"
#include "switch_test_support.h"

namespace {

// --- The running tap on the simulated input -------------------------------

class EventTapTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(StartEventTap());  // at T = 0: ticks at 50, 100, ...
  }
  void ControlAt(uint64_t t, bool down, bool with_event) {
    RunAt(t, [this, down, with_event] {
      In().SetLiveControl(down);
      if (with_event) In().Deliver(platform::kEventFlagsChanged);
    });
  }
  void KeyAt(uint64_t t, uint32_t type, int64_t code) {
    RunAt(t, [this, type, code] { In().Deliver(type, code); });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
};

TEST_F(EventTapTest, PollTicksFirst50MsAfterStartThenEvery50) {
  ControlAt(1, true, false);
  World().RunUntil(49);
  EXPECT_FALSE(gControlKeyDown);
  World().RunUntil(51);
  EXPECT_TRUE(gControlKeyDown);
  ControlAt(60, false, false);
  World().RunUntil(99);
  EXPECT_TRUE(gControlKeyDown);
  World().RunUntil(101);
  EXPECT_FALSE(gControlKeyDown);
  // The release was taken at the tick of T = 100.
  EXPECT_EQ(gLastControlReleaseMs, GetMilliseconds() - (World().NowMs() - 100));
}

TEST_F(EventTapTest, ControlReleaseSeenByEventAndTickCountsOnce) {
  ControlAt(1000, true, true);
  ControlAt(1120, false, true);
  const uint64_t release = GetMilliseconds();
  World().RunUntil(1160);  // the tick at 1150 sees Control up as well
  EXPECT_EQ(gLastControlReleaseMs, release);
  ControlAt(1300, true, true);
  ControlAt(1420, false, true);
  World().RunUntil(1500);
  EXPECT_EQ(Switches(), 1u);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
}

TEST_F(EventTapTest, ControlShortcutsTypedInQuickSuccessionSwitch) {
  // Control-C, then Control-V, releases 400 ms apart.
  ControlAt(1000, true, true);
  KeyAt(1010, platform::kEventKeyDown, 8);
  KeyAt(1030, platform::kEventKeyUp, 8);
  ControlAt(1060, false, true);
  ControlAt(1400, true, true);
  KeyAt(1410, platform::kEventKeyDown, 9);
  KeyAt(1430, platform::kEventKeyUp, 9);
  ControlAt(1460, false, true);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(EventTapTest, EachEventTypeReachesOnlyItsRecogniser) {
  // Run between ticks (T = 1010..1040) so that only events act.
  RunAt(1010, [this] {
    // Live state that disagrees with what the events say.
    In().SetLiveControl(true);
    In().SetLiveButton(0, true);
    In().SetLiveButton(1, true);
    In().Deliver(platform::kEventKeyDown, platform::kKeyCodeQ);
    In().Deliver(platform::kEventKeyUp, 13);
  });
  EXPECT_FALSE(gControlKeyDown) << "key events do not run the Control recogniser";
  EXPECT_EQ(gMouseComboTimer, nullptr) << "nor the chord";
  RunAt(1020, [this] { In().Deliver(platform::kEventLeftMouseDown, 0, 0); });
  EXPECT_EQ(MSButton, 0x10);
  EXPECT_FALSE(gControlKeyDown) << "a mouse event does not run the Control recogniser";
  EXPECT_NE(gMouseComboTimer, nullptr) << "the chord predicate read the live state";
  EXPECT_EQ(uKBTimeMs, 0u);
  RunAt(1030, [this] {
    In().SetLiveButton(0, false);
    In().Deliver(platform::kEventFlagsChanged);
  });
  EXPECT_TRUE(gControlKeyDown);
  EXPECT_NE(gMouseComboTimer, nullptr) << "flags-changed does not run the chord";
  RunAt(1040, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ); });
  EXPECT_EQ(wPreKBKey, platform::kKeyCodeQ);
  EXPECT_EQ(MSButton, 0x10);
}

TEST_F(EventTapTest, QDoubleTapWritesQuitAndTerminates) {
  switch_test::StoppingDelegate delegate;
  platform::Sys().app->SetDelegate(&delegate);
  CaptureConsole();
  KeyAt(1000, platform::kEventKeyDown, platform::kKeyCodeQ);
  KeyAt(1050, platform::kEventKeyUp, platform::kKeyCodeQ);
  KeyAt(1200, platform::kEventKeyDown, platform::kKeyCodeQ);
  EXPECT_EQ(delegate.terminations, 0);
  KeyAt(1250, platform::kEventKeyUp, platform::kKeyCodeQ);
  EXPECT_EQ(Console(), "Quit\n");
  EXPECT_EQ(delegate.terminations, 1);
  EXPECT_FALSE(gEventTap || gEventTapSource || gInputPollTimer);
  EXPECT_FALSE(In().TapExists());
  platform::Sys().app->SetDelegate(nullptr);
}

// Either tap-disabled notification makes the tool switch its tap on again:
// the button events, and with them the Q double-tap, keep coming.
TEST_F(EventTapTest, TapSwitchedOffByTheSystemIsSwitchedOnAgain) {
  for (const uint32_t notification :
       {platform::kEventTapDisabledByTimeout, platform::kEventTapDisabledByUserInput}) {
    SCOPED_TRACE(notification);
    const uint64_t t = World().NowMs() + 1000;
    RunAt(t, [this, notification] { In().Deliver(notification); });
    // Only delivered button events set the tracked bits.
    RunAt(t + 100, [this] {
      In().SetLiveButton(0, true);
      In().Deliver(platform::kEventLeftMouseDown, 0, 0);
      In().SetLiveButton(1, true);
      In().Deliver(platform::kEventRightMouseDown, 0, 1);
    });
    EXPECT_EQ(MSButton, 0x11) << "button events arrive again";
    RunAt(t + 1200, [this] {
      In().SetLiveButton(1, false);
      In().Deliver(platform::kEventRightMouseUp, 0, 1);
      In().SetLiveButton(0, false);
      In().Deliver(platform::kEventLeftMouseUp, 0, 0);
    });
    EXPECT_EQ(MSButton, 0);
  }
  EXPECT_EQ(Switches(), 2u);
  switch_test::StoppingDelegate delegate;
  platform::Sys().app->SetDelegate(&delegate);
  KeyAt(5000, platform::kEventKeyUp, platform::kKeyCodeQ);
  KeyAt(5100, platform::kEventKeyUp, platform::kKeyCodeQ);
  EXPECT_EQ(delegate.terminations, 1) << "key-ups arrive again";
  platform::Sys().app->SetDelegate(nullptr);
}

// A tap switched off after the permission was taken away is deaf: one line
// and one alert say so, with the fix, however often it is switched off.
TEST_F(EventTapTest, PermissionGoneWhenTheTapIsSwitchedOffIsToldOnce) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused);
    StartWorld(sim::Config{});
    ASSERT_TRUE(StartEventTap());
    CaptureConsole();
    In().RefuseTap(refused);
    RunAt(1000, [this] { In().DisableTapByTimeout(); });
    RunAt(1100, [this] { In().DisableTapByTimeout(); });
    World().RunUntil(2000);
    const std::string console = Console();
    const auto& alerts = World().UiControl().Alerts();
    if (!refused) {
      EXPECT_EQ(console, "");
      EXPECT_TRUE(alerts.empty());
      continue;
    }
    EXPECT_EQ(console,
              "Input watching was switched off by the system: the gestures no longer work. "
              "Enable Accessibility permission for this program in System Settings (Privacy & "
              "Security), then start it again.\n");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].t_ms, 1000u) << "shown once the callback has returned";
    EXPECT_NE(alerts[0].spec.informative_text.find("no longer work.\nEnable Accessibility"),
              std::string::npos);
    EXPECT_FALSE(InputAccessNoticePending());
  }
}

TEST(EventCallbackTest, ReturnsTheEventUnchangedForEveryType) {
  auto world = sim::World::Create({});
  world->Install();
  switch_test::ResetSwitchState();
  platform::InputEvent event{};
  const platform::EventRef ref = &event;
  for (uint32_t type :
       {0u, 1u, 2u, 5u, 10u, 11u, 12u, 22u, 27u, platform::kEventTapDisabledByTimeout,
        platform::kEventTapDisabledByUserInput}) {
    event.type = type;
    EXPECT_EQ(eventCallback(nullptr, type, ref, nullptr), ref) << type;
    EXPECT_EQ(eventCallback(nullptr, type, nullptr, nullptr), nullptr) << type;
  }
  switch_test::ResetSwitchState();
}

TEST(EventCallbackTest, MouseTypesAndTheMaskAgree) {
  const std::vector<uint32_t> mouse = {1, 2, 3, 4, 6, 7, 25, 26, 27};
  uint64_t mask = (1u << platform::kEventKeyDown) | (1u << platform::kEventKeyUp) |
                  (1u << platform::kEventFlagsChanged);
  for (uint32_t type = 0; type < 64; ++type) {
    const bool expected = std::find(mouse.begin(), mouse.end(), type) != mouse.end();
    EXPECT_EQ(IsMouseEvent(type), expected) << type;
    if (expected) mask |= uint64_t{1} << type;
  }
  EXPECT_FALSE(IsMouseEvent(platform::kEventTapDisabledByTimeout));
  EXPECT_FALSE(IsMouseEvent(platform::kEventTapDisabledByUserInput));
  EXPECT_EQ(platform::kEventTapMask, mask);
  EXPECT_EQ(platform::kEventTapMask, uint64_t{0x0E001CDE});  // the mask as the system documents it
  EXPECT_EQ(platform::kEventTapMask &
                ((1u << platform::kEventMouseMoved) | (1u << platform::kEventScrollWheel)),
            0u);
}

TEST_F(EventTapTest, CallbackAllocatesNothingForEventsThatRequestNothing) {
  long allocations = -1;
  RunAt(1010, [this, &allocations] {
    platform::InputEvent events[] = {
        {platform::kEventKeyDown, 12, 0},      {platform::kEventKeyUp, 12, 0},
        {platform::kEventKeyUp, 13, 0},        {platform::kEventFlagsChanged, 0, 0},
        {platform::kEventLeftMouseDown, 0, 0}, {platform::kEventLeftMouseDragged, 0, 0},
        {platform::kEventLeftMouseUp, 0, 0},   {platform::kEventTapDisabledByTimeout, 0, 0}};
    In().SetLiveControl(true);
    alloc_counter::Start();
    for (platform::InputEvent& e : events) eventCallback(nullptr, e.type, &e, nullptr);
    allocations = alloc_counter::Stop();
  });
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(gControlKeyDown) << "the events were handled";
  EXPECT_EQ(wPreKBKey, platform::kKeyCodeQ);
}

}  // namespace
