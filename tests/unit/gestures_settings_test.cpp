// The recognisers under the user's settings, fed through the running tap:
// gestures turned off, other times, and the strict tap rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "gestures/gesture_settings.h"
#include "gestures/settings_change.h"
#include "gestures/settings_start.h"
#include "platform/event_types.h"
#include "platform/input.h"
#include "platform/services.h"
#include "switch_test_support.h"

namespace {

constexpr int64_t kKeyC = 8, kKeyV = 9, kKeyW = 13, kShift = 56;
constexpr int64_t kKeyQ = platform::kKeyCodeQ;

class GestureSettingsTest : public switch_test::SimTest {
 protected:
  // The settings are in force before the tap starts, as at start-up.
  void Start(const GestureSettings& settings) {
    ApplyGestureSettings(settings);
    ASSERT_TRUE(StartEventTap());
    platform::Sys().app->SetDelegate(&delegate_);
  }
  void TearDown() override {
    platform::Sys().app->SetDelegate(nullptr);
    SimTest::TearDown();
  }
  // Control down or up with its flags-changed event (key code 59).
  void Control(uint64_t t, bool down) {
    RunAt(t, [this, down] {
      In().SetLiveControl(down);
      In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl);
    });
  }
  void ControlTap(uint64_t down, uint64_t up) {
    Control(down, true);
    Control(up, false);
  }
  // Control held around a key: a shortcut such as Control-C.
  void Shortcut(uint64_t t, int64_t key) {
    Control(t, true);
    Key(t + 10, key);
    Control(t + 40, false);
  }
  void Key(uint64_t t, int64_t code) {
    RunAt(t, [this, code] { In().Deliver(platform::kEventKeyDown, code); });
    RunAt(t + 20, [this, code] { In().Deliver(platform::kEventKeyUp, code); });
  }
  void Buttons(uint64_t t, bool down) {
    RunAt(t, [this, down] {
      In().SetLiveButton(0, down);
      In().Deliver(down ? platform::kEventLeftMouseDown : platform::kEventLeftMouseUp, 0, 0);
      In().SetLiveButton(1, down);
      In().Deliver(down ? platform::kEventRightMouseDown : platform::kEventRightMouseUp, 0, 1);
    });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
  int Quits() const { return delegate_.terminations; }

  switch_test::StoppingDelegate delegate_;
};

TEST_F(GestureSettingsTest, GesturesTurnedOffNeverActAndLeaveTheOthersAlone) {
  GestureSettings s;
  s.control_double_tap = false;
  s.mouse_chord = false;
  s.quit_double_tap = true;
  Start(s);
  ControlTap(1000, 1050);
  ControlTap(1200, 1250);
  Buttons(2000, true);
  EXPECT_EQ(gMouseComboTimer, nullptr) << "no hold is timed";
  World().RunUntil(5000);
  Buttons(5000, false);
  EXPECT_EQ(Switches(), 0u);
  Key(6000, kKeyQ);
  Key(6200, kKeyQ);
  EXPECT_EQ(Quits(), 1);
}

TEST_F(GestureSettingsTest, QuitTurnedOffLeavesTheSwitchGestures) {
  GestureSettings s;
  s.quit_double_tap = false;
  Start(s);
  Key(1000, kKeyQ);
  Key(1200, kKeyQ);
  EXPECT_EQ(Quits(), 0);
  EXPECT_EQ(uKBTimeMs, 0u);
  ControlTap(2000, 2050);
  ControlTap(2200, 2250);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(GestureSettingsTest, TheWindowAppliesToBothDoubleTapsWithTheirOwnBounds) {
  GestureSettings s;
  s.double_tap_ms = 300;
  Start(s);
  // Control: at most the window (releases 300 ms apart switch, 301 do not).
  ControlTap(1000, 1050);
  ControlTap(1300, 1350);
  EXPECT_EQ(Switches(), 1u);
  ControlTap(3000, 3050);
  ControlTap(3300, 3351);
  EXPECT_EQ(Switches(), 1u);
  // Q: less than the window (key-ups 299 ms apart quit, 300 do not).
  Key(5000, kKeyQ);
  Key(5300, kKeyQ);
  EXPECT_EQ(Quits(), 0);
  Key(6000, kKeyQ);
  Key(6299, kKeyQ);
  EXPECT_EQ(Quits(), 1);
}

TEST_F(GestureSettingsTest, AWiderWindowJoinsTapsTheUsualOneWouldNot) {
  GestureSettings s;
  s.double_tap_ms = 1500;
  Start(s);
  ControlTap(1000, 1050);
  ControlTap(2300, 2350);  // 1300 ms apart, with ticks between
  EXPECT_EQ(Switches(), 1u);
  Key(4000, kKeyQ);
  Key(5200, kKeyQ);
  EXPECT_EQ(Quits(), 1);
}

TEST_F(GestureSettingsTest, TheChordHoldsForTheChosenTime) {
  GestureSettings s;
  s.chord_hold_ms = 1500;
  Start(s);
  Buttons(1000, true);
  World().RunUntil(2490);
  EXPECT_EQ(Switches(), 0u) << "a second is not enough";
  World().RunUntil(2510);
  EXPECT_EQ(Switches(), 1u);
  Buttons(3000, false);
  // A short hold time: released after 250 ms, held 300 ms.
  StopEventTap();
  s.chord_hold_ms = 300;
  Start(s);
  Buttons(4000, true);
  Buttons(4250, false);
  World().RunUntil(4700);
  EXPECT_EQ(Switches(), 1u);
  Buttons(5000, true);
  World().RunUntil(5310);
  EXPECT_EQ(Switches(), 2u);
}

TEST_F(GestureSettingsTest, CleanControlTapsIgnoreShortcuts) {
  GestureSettings s;
  s.control_taps = ControlTapRule::kClean;
  Start(s);
  // Control-C, then Control-V, 400 ms apart: no switch.
  Shortcut(1000, kKeyC);
  Shortcut(1400, kKeyV);
  EXPECT_EQ(Switches(), 0u);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  // A shortcut between two taps breaks the pair.
  ControlTap(3000, 3050);
  Shortcut(3200, kKeyC);
  ControlTap(3400, 3450);
  EXPECT_EQ(Switches(), 0u);
  // A tap right after a shortcut starts a pair: the shortcut is forgotten.
  ControlTap(3600, 3650);
  EXPECT_EQ(Switches(), 1u);
  // Shift pressed and let go while Control is held is a shortcut too.
  RunAt(6000, [this] {
    In().SetLiveControl(true);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl);
    In().Deliver(platform::kEventFlagsChanged, kShift);
    In().Deliver(platform::kEventFlagsChanged, kShift);
    In().SetLiveControl(false);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl);
  });
  ControlTap(6200, 6250);
  EXPECT_EQ(Switches(), 1u);
  // A key let go before Control goes down does not spoil the tap, nor does
  // the right Control key pressed with the left one.
  Key(8000, kKeyW);
  ControlTap(8100, 8150);
  RunAt(8200, [this] {
    In().SetLiveControl(true);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeRightControl);
    In().SetLiveControl(false);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl);
  });
  EXPECT_EQ(Switches(), 2u);
}

TEST_F(GestureSettingsTest, AControlPressATickSawBeforeItsEventStaysClean) {
  GestureSettings s;
  s.control_taps = ControlTapRule::kClean;
  Start(s);
  for (uint64_t t : {1000u, 1300u}) {
    RunAt(t, [this] { In().SetLiveControl(true); });
    World().RunUntil(t + 60);  // a tick takes the press first
    ASSERT_TRUE(gControlKeyDown);
    RunAt(t + 70,
          [this] { In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl); });
    Control(t + 100, false);
  }
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(GestureSettingsTest, UnderAnyRuleAShortcutPairStillSwitches) {
  Start(GestureSettings{});
  Shortcut(1000, kKeyC);
  Shortcut(1400, kKeyV);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(GestureSettingsTest, ConsecutiveQuitTapsNeedNothingBetweenThem) {
  GestureSettings s;
  s.quit_taps = QuitTapRule::kConsecutive;
  Start(s);
  // "q w q": the W breaks the pair, and the last Q starts a new one.
  Key(1000, kKeyQ);
  Key(1100, kKeyW);
  Key(1200, kKeyQ);
  EXPECT_EQ(Quits(), 0);
  EXPECT_NE(uKBTimeMs, 0u);
  // A modifier between them counts as a key.
  RunAt(1300, [this] { In().Deliver(platform::kEventFlagsChanged, kShift); });
  Key(1400, kKeyQ);
  EXPECT_EQ(Quits(), 0);
  // Rolled-over typing: W goes down before the first Q is let go and comes
  // up between the two.
  RunAt(3000, [this] { In().Deliver(platform::kEventKeyDown, kKeyQ); });
  RunAt(3010, [this] { In().Deliver(platform::kEventKeyDown, kKeyW); });
  RunAt(3020, [this] { In().Deliver(platform::kEventKeyUp, kKeyQ); });
  RunAt(3030, [this] { In().Deliver(platform::kEventKeyUp, kKeyW); });
  Key(3200, kKeyQ);
  EXPECT_EQ(Quits(), 0);
  // W pressed after the first Q and let go only after the second.
  RunAt(3400, [this] { In().Deliver(platform::kEventKeyDown, kKeyW); });
  Key(3500, kKeyQ);
  RunAt(3600, [this] { In().Deliver(platform::kEventKeyUp, kKeyW); });
  EXPECT_EQ(Quits(), 0);
  // Mouse clicks are no keys; "q q" quits.
  Key(4000, kKeyW);  // nothing pending
  Key(5000, kKeyQ);
  RunAt(5100, [this] { In().Deliver(platform::kEventLeftMouseDown, 0, 0); });
  RunAt(5110, [this] { In().Deliver(platform::kEventLeftMouseUp, 0, 0); });
  Key(5200, kKeyQ);
  EXPECT_EQ(Quits(), 1);
}

TEST_F(GestureSettingsTest, UnderAnyRuleOtherKeysBetweenTwoQsDoNotMatter) {
  Start(GestureSettings{});
  Key(1000, kKeyQ);
  Key(1100, kKeyW);
  Key(1200, kKeyQ);
  EXPECT_EQ(Quits(), 1);
}

// The reference platform's live flags have one Control bit for both keys:
// its input answers the keys apart only when asked for them.
class OneControlBit : public platform::Input {
 public:
  explicit OneControlBit(platform::Input* inner) : inner_(inner) {}
  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t mask,
                                                     platform::EventCallback callback,
                                                     void* user_info) override {
    return inner_->CreateEventTap(mask, callback, user_info);
  }
  uint64_t FlagsState() override {
    return inner_->FlagsState() &
           ~(platform::kEventFlagMaskLeftControl | platform::kEventFlagMaskRightControl);
  }
  uint64_t FlagsStateWithControlKeys() override { return inner_->FlagsState(); }
  bool ButtonState(uint32_t button) override { return inner_->ButtonState(button); }

 private:
  platform::Input* inner_;
};

TEST_F(GestureSettingsTest, BoundToTheRightKeyTheShellReadsTheKeysApart) {
  const platform::Services sim = platform::Sys();
  OneControlBit one_bit(sim.input);
  platform::Services services = sim;
  services.input = &one_bit;
  platform::InstallServices(services);
  GestureSettings s;
  s.control_key = ControlKey::kRight;
  Start(s);
  auto right = [this](uint64_t t, bool down) {
    RunAt(t, [this, down] {
      In().SetLiveRightControl(down);
      In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeRightControl);
    });
  };
  ControlTap(1000, 1050);  // the left key: nothing
  ControlTap(1200, 1250);
  World().RunUntil(2000);
  EXPECT_EQ(Switches(), 0u);
  right(2000, true);
  right(2050, false);
  right(2200, true);
  right(2250, false);
  World().RunUntil(2300);
  EXPECT_EQ(Switches(), 1u);
  StopEventTap();
  platform::InstallServices(sim);
}

TEST(GestureUsageTest, TheBannerNamesTheGesturesThatAreOnWithTheirTimes) {
  EXPECT_EQ(GestureUsageLines(GestureSettings{}),
            "Hold mouse L+R buttons for 1 second OR double-tap Control (Ctrl, Ctrl) to trigger "
            "USB-C switch.\nOr, double-tap 'Q' (Q, Q) to quit this tool.\n\n");

  GestureSettings s;
  s.control_double_tap = false;
  s.chord_hold_ms = 1250;
  s.quit_taps = QuitTapRule::kConsecutive;
  s.double_tap_ms = 450;
  EXPECT_EQ(GestureUsageLines(s),
            "Hold mouse L+R buttons for 1.25 seconds to trigger USB-C switch.\n"
            "Or, double-tap 'Q' (Q, Q) with no key between within 450 ms to quit this tool.\n\n");

  s = GestureSettings{};
  s.mouse_chord = false;
  s.control_taps = ControlTapRule::kClean;
  s.quit_double_tap = false;
  EXPECT_EQ(GestureUsageLines(s),
            "Double-tap Control without other keys (Ctrl, Ctrl) to trigger USB-C switch.\n\n");
  s.control_key = ControlKey::kLeft;
  EXPECT_EQ(GestureUsageLines(s),
            "Double-tap left Control without other keys (Ctrl, Ctrl) to trigger USB-C "
            "switch.\n\n");
  s.control_key = ControlKey::kEither;

  s.control_double_tap = false;
  s.quit_double_tap = true;
  s.chord_hold_ms = 2000;  // off: not shown
  EXPECT_EQ(GestureUsageLines(s),
            "No gesture triggers USB-C switch: both are off in the settings.\n"
            "Double-tap 'Q' (Q, Q) to quit this tool.\n\n");
}

}  // namespace
