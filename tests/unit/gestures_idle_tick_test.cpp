// The poll tick on a platform whose live state never changes without an
// event: it runs only while time alone can change an outcome, and every
// gesture ends as it does with the tick running all the time.
#include <gtest/gtest.h>

#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "platform/event_types.h"
#include "switch_test_support.h"

namespace {

class IdleTickTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    In().SetStateChangesArriveAsEvents(true);
  }
  // A change of the live Control state and its event, at T = t.
  void ControlAt(uint64_t t, bool down) {
    RunAt(t, [this, down] {
      In().SetLiveControl(down);
      In().Deliver(platform::kEventFlagsChanged);
    });
  }
  void ButtonAt(uint64_t t, uint32_t button, bool down) {
    static constexpr uint32_t kDown[] = {platform::kEventLeftMouseDown,
                                         platform::kEventRightMouseDown,
                                         platform::kEventOtherMouseDown};
    static constexpr uint32_t kUp[] = {platform::kEventLeftMouseUp, platform::kEventRightMouseUp,
                                       platform::kEventOtherMouseUp};
    RunAt(t, [this, button, down] {
      In().SetLiveButton(button, down);
      In().Deliver(down ? kDown[button] : kUp[button], 0, button);
    });
  }
  bool Ticking() const { return gInputPollTimer != nullptr; }
  size_t Switches() const { return WrittenPortSelects().size(); }
};

TEST_F(IdleTickTest, NothingDownArmsNoTickAndKeysOrMotionDoNotArmIt) {
  ASSERT_TRUE(StartEventTap());
  EXPECT_FALSE(Ticking());
  RunAt(100, [this] {
    In().Deliver(platform::kEventKeyDown, 0);
    In().Deliver(platform::kEventKeyUp, 0);
    In().Deliver(platform::kEventMouseMoved);
  });
  EXPECT_FALSE(Ticking());
  // Where the live state can change behind the tap's back, the tick runs
  // from the start, idle or not.
  StopEventTap();
  In().SetStateChangesArriveAsEvents(false);
  ASSERT_TRUE(StartEventTap());
  EXPECT_TRUE(Ticking());
}

TEST_F(IdleTickTest, ControlDownOrItsPendingReleaseKeepTheTickUntilTheWindowCloses) {
  ASSERT_TRUE(StartEventTap());
  ControlAt(1000, true);
  EXPECT_TRUE(Ticking());
  ControlAt(1080, false);
  EXPECT_TRUE(Ticking());  // the first release of a possible double-tap
  World().RunUntil(1700);
  EXPECT_TRUE(Ticking());
  // The first tick past the 700 ms window forgets the release, and stops.
  World().RunUntil(1850);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  EXPECT_FALSE(Ticking());
  EXPECT_EQ(Switches(), 0u);
}

TEST_F(IdleTickTest, ControlDoubleTapSwitchesAndLeavesTheToolIdle) {
  ASSERT_TRUE(StartEventTap());
  ControlAt(1000, true);
  ControlAt(1050, false);
  ControlAt(1200, true);
  ControlAt(1250, false);
  EXPECT_EQ(Switches(), 1u);
  // Nothing is pending after a switch: the event that switched stops it.
  EXPECT_FALSE(Ticking());
  // Two taps 800 ms apart are no double-tap.
  ControlAt(3000, true);
  ControlAt(3050, false);
  ControlAt(3800, true);
  ControlAt(3850, false);
  World().RunUntil(5000);
  EXPECT_EQ(Switches(), 1u);
  EXPECT_FALSE(Ticking());
}

TEST_F(IdleTickTest, HeldChordSwitchesOnceAndReleasingItStopsEverything) {
  ASSERT_TRUE(StartEventTap());
  ButtonAt(1000, 0, true);
  EXPECT_TRUE(Ticking());
  ButtonAt(1010, 2, true);  // left with middle
  EXPECT_NE(gMouseComboTimer, nullptr);
  World().RunUntil(2009);
  EXPECT_EQ(Switches(), 0u);
  World().RunUntil(2011);
  EXPECT_EQ(Switches(), 1u);
  World().RunUntil(4000);
  EXPECT_EQ(Switches(), 1u);  // held on: still one switch
  ButtonAt(4000, 2, false);
  EXPECT_TRUE(Ticking());  // left still down
  ButtonAt(4010, 0, false);
  EXPECT_FALSE(Ticking());
  EXPECT_EQ(gMouseComboTimer, nullptr);
  EXPECT_FALSE(gMouseComboTriggered);
}

TEST_F(IdleTickTest, StateAlreadyDownAtStartArmsTheTick) {
  // Control held while the tool starts is not a release to come, but the
  // tick follows it until it is let go.
  In().SetLiveControl(true);
  ASSERT_TRUE(StartEventTap());
  EXPECT_TRUE(gControlKeyDown);
  EXPECT_TRUE(Ticking());
  ControlAt(500, false);
  World().RunUntil(1300);
  EXPECT_FALSE(Ticking());
  StopEventTap();
  // A button held at start (no event for it yet) arms it too.
  In().SetLiveButton(1, true);
  ASSERT_TRUE(StartEventTap());
  EXPECT_TRUE(Ticking());
}

TEST_F(IdleTickTest, TrackedButtonsWhoseReleasesWereLostKeepTheTickUntilForgotten) {
  ASSERT_TRUE(StartEventTap());
  ButtonAt(1000, 0, true);
  ButtonAt(1010, 1, true);
  World().RunUntil(2100);
  ASSERT_EQ(Switches(), 1u);
  // The mouse went to the other computer: both come up with no event.
  RunAt(2500, [this] {
    In().SetLiveButton(0, false);
    In().SetLiveButton(1, false);
  });
  EXPECT_TRUE(Ticking()) << "the tracked bits still ask for the tick";
  World().RunUntil(2600);
  EXPECT_EQ(MSButton, 0);
  EXPECT_FALSE(gMouseComboTriggered);
  EXPECT_FALSE(Ticking()) << "once forgotten, nothing is pending";
  // A long left-only hold afterwards never switches; a real chord does.
  ButtonAt(3000, 0, true);
  World().RunUntil(6000);
  ButtonAt(6000, 0, false);
  EXPECT_EQ(Switches(), 1u);
  ButtonAt(7000, 0, true);
  ButtonAt(7010, 1, true);
  World().RunUntil(8100);
  EXPECT_EQ(Switches(), 2u);
}

// Control went down while the system had the tap switched off: no event
// told of it. Switching the tap on again reads the live state, so its
// release is the first tap of a double-tap, and the tick follows it.
TEST_F(IdleTickTest, TapBackOnAfterATimeoutCatchesUpWithAHeldControl) {
  ASSERT_TRUE(StartEventTap());
  RunAt(1000, [this] {
    In().SetLiveControl(true);  // lost: the tap is off
    In().DisableTapByTimeout();
  });
  EXPECT_TRUE(gControlKeyDown);
  EXPECT_TRUE(Ticking());
  ControlAt(1080, false);
  ControlAt(1200, true);
  ControlAt(1250, false);
  EXPECT_EQ(Switches(), 1u);
  EXPECT_FALSE(Ticking());
  // Back on with nothing held: nothing ticks.
  RunAt(3000, [this] { In().DisableTapByTimeout(); });
  EXPECT_FALSE(Ticking());
}

TEST_F(IdleTickTest, QuitStopsTheTickAndNothingRearmsIt) {
  switch_test::StoppingDelegate delegate;
  platform::Sys().app->SetDelegate(&delegate);
  ASSERT_TRUE(StartEventTap());
  ControlAt(900, true);
  ASSERT_TRUE(Ticking());
  RunAt(1000, [this] {
    In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ);
    In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ);
  });
  EXPECT_FALSE(Ticking()) << "Control is still down, yet nothing may tick after the quit";
  EXPECT_FALSE(In().TapExists());
  platform::Sys().app->SetDelegate(nullptr);
}

}  // namespace
