// The held mouse chord: tracked buttons, the live state, the one-second hold
// and the latch, fed through the running tap and its poll tick.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "switch_test_support.h"

namespace {

enum Button : uint32_t { kLeft = 0, kRight = 1, kMiddle = 2 };

uint32_t DownType(Button b) {
  return b == kLeft ? 1 : b == kRight ? 3 : 25;
}
uint32_t UpType(Button b) {
  return b == kLeft ? 2 : b == kRight ? 4 : 26;
}

// The recogniser's pieces, called directly.
class MouseTrackingTest : public switch_test::SimTest {
 protected:
  void Track(uint32_t type, int64_t button) {
    const platform::InputEvent event = sim::Decode(sim::SimEvent{type, 0, button});
    TrackMouseButtonEvent(type, &event);
  }
};

// Which bits each event sets is the rule's table (rules_mouse_chord_test);
// the shell reads the event's button and ignores no event.
TEST_F(MouseTrackingTest, TheShellTracksDecodedEventsAndIgnoresNone) {
  Track(25, 2);
  Track(1, 0);
  EXPECT_EQ(MSButton, 0x11);
  TrackMouseButtonEvent(2, nullptr);  // no event: nothing
  TrackMouseButtonEvent(4, nullptr);
  EXPECT_EQ(MSButton, 0x11);
}

TEST_F(MouseTrackingTest, ChordIsTrackedPairOrLiveLeftWithRightOrMiddle) {
  EXPECT_FALSE(AreLeftAndRightMouseButtonsDown());
  In().SetLiveButton(kLeft, true);
  EXPECT_FALSE(AreLeftAndRightMouseButtonsDown());
  In().SetLiveButton(kMiddle, true);
  EXPECT_TRUE(AreLeftAndRightMouseButtonsDown());
  In().SetLiveButton(kLeft, false);
  In().SetLiveButton(kRight, true);
  EXPECT_FALSE(AreLeftAndRightMouseButtonsDown()) << "right and middle without left";
  // A tracked left with a live right (live left up) is no chord.
  Track(1, 0);
  EXPECT_FALSE(AreLeftAndRightMouseButtonsDown());
  In().SetLiveButton(kRight, false);
  In().SetLiveButton(kMiddle, false);
  Track(3, 1);
  EXPECT_TRUE(AreLeftAndRightMouseButtonsDown()) << "tracked pair, nothing live";
}

// Through the running tap: button events with the live state, ticks every
// 50 ms from T = 0.
class MouseChordTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(StartEventTap());
  }
  void Down(uint64_t t, Button b) {
    RunAt(t, [this, b] {
      In().SetLiveButton(b, true);
      In().Deliver(DownType(b), 0, b);
    });
  }
  void Up(uint64_t t, Button b) {
    RunAt(t, [this, b] {
      In().SetLiveButton(b, false);
      In().Deliver(UpType(b), 0, b);
    });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
  // The number of switches once T = t has been reached.
  size_t SwitchesBy(uint64_t t) {
    World().RunUntil(t);
    return Switches();
  }
};

TEST_F(MouseChordTest, HeldOneSecondSwitchesOnceAboutASecondAfterTheChord) {
  CaptureConsole();
  gDbgMsg = false;
  Down(1000, kLeft);
  Down(1010, kRight);
  EXPECT_EQ(SwitchesBy(2009), 0u);
  EXPECT_EQ(SwitchesBy(2011), 1u);
  EXPECT_TRUE(gMouseComboTriggered);
  EXPECT_EQ(SwitchesBy(11000), 1u) << "held for ten seconds: still one";
  Up(11010, kRight);
  Up(11020, kLeft);
  EXPECT_FALSE(gMouseComboTriggered);
  EXPECT_EQ(Console(), "Switch (mouse)\n");
}

TEST_F(MouseChordTest, HoldJustUnderASecondDoesNothing) {
  Down(1000, kLeft);
  Down(1010, kRight);
  Up(2009, kRight);
  EXPECT_EQ(gMouseComboTimer, nullptr);
  EXPECT_EQ(SwitchesBy(5000), 0u);
  EXPECT_FALSE(gMouseComboTriggered);
}

TEST_F(MouseChordTest, HoldJustOverASecondSwitches) {
  Down(1000, kLeft);
  Down(1010, kRight);
  Up(2011, kRight);
  EXPECT_EQ(SwitchesBy(5000), 1u);
}

TEST_F(MouseChordTest, ReleasingRestartsTheSecond) {
  Down(1000, kLeft);
  Down(1010, kRight);
  Up(1810, kRight);
  Down(2000, kRight);
  EXPECT_EQ(SwitchesBy(2999), 0u);
  EXPECT_EQ(SwitchesBy(3001), 1u);
  EXPECT_EQ(SwitchesBy(6000), 1u);
}

TEST_F(MouseChordTest, LeftWithMiddleSwitchesLikeLeftWithRight) {
  Down(1000, kLeft);
  Down(1010, kMiddle);
  EXPECT_EQ(SwitchesBy(2009), 0u);
  EXPECT_EQ(SwitchesBy(2011), 1u);
}

TEST_F(MouseChordTest, RightFirstThenLeftStartsAtTheLeftPress) {
  Down(1000, kRight);
  Down(1300, kLeft);
  EXPECT_EQ(SwitchesBy(2299), 0u);
  EXPECT_EQ(SwitchesBy(2301), 1u);
}

TEST_F(MouseChordTest, LiveStateAloneArmsTheHoldAtTheNextTick) {
  // The button events are missed; the tick at 1050 sees the live chord.
  RunAt(1010, [this] {
    In().SetLiveButton(kLeft, true);
    In().SetLiveButton(kRight, true);
  });
  EXPECT_EQ(MSButton, 0);
  EXPECT_EQ(SwitchesBy(2049), 0u);
  EXPECT_EQ(SwitchesBy(2051), 1u);
}

TEST_F(MouseChordTest, ReleasingOneButtonClearsTheLatchForANewHold) {
  Down(1000, kLeft);
  Down(1010, kRight);
  EXPECT_EQ(SwitchesBy(2500), 1u);
  Up(2600, kRight);
  EXPECT_FALSE(gMouseComboTriggered);
  Down(2700, kRight);  // left still held
  EXPECT_EQ(SwitchesBy(3699), 1u);
  EXPECT_EQ(SwitchesBy(3701), 2u);
}

TEST_F(MouseChordTest, LiveOnlyChordIsReleasedByTheTick) {
  // Pressed and released in live state only: the tick clears the latch.
  RunAt(1010, [this] {
    In().SetLiveButton(kLeft, true);
    In().SetLiveButton(kRight, true);
  });
  EXPECT_EQ(SwitchesBy(2200), 1u);
  RunAt(2210, [this] { In().SetLiveButton(kRight, false); });
  EXPECT_EQ(SwitchesBy(2260), 1u);
  EXPECT_FALSE(gMouseComboTriggered);
  RunAt(2310, [this] { In().SetLiveButton(kRight, true); });
  EXPECT_EQ(SwitchesBy(3340), 1u);
  EXPECT_EQ(SwitchesBy(3360), 2u);
}

TEST_F(MouseChordTest, ChordSoonAfterAControlSwitchIsDebouncedButLatched) {
  Down(1000, kLeft);
  Down(1010, kRight);
  RunAt(1700, [] { TriggerSwitch("ctrl-ctrl"); });
  EXPECT_EQ(SwitchesBy(2500), 1u);
  EXPECT_TRUE(gMouseComboTriggered);
  EXPECT_EQ(SwitchesBy(6000), 1u) << "the latched hold does not try again";
}

// The chord switch takes the mouse to the other computer with both buttons
// down: the live state shows them released, their events never come.
class LostReleasesTest : public MouseChordTest {
 protected:
  void SwitchAwayAndLoseTheReleases() {
    Down(1000, kLeft);
    Down(1010, kRight);
    ASSERT_EQ(SwitchesBy(2100), 1u);
    RunAt(2500, [this] {
      In().SetLiveButton(kLeft, false);
      In().SetLiveButton(kRight, false);
    });
    World().RunUntil(2600);
  }
};

TEST_F(LostReleasesTest, TheTickForgetsThemAndClearsTheLatch) {
  SwitchAwayAndLoseTheReleases();
  EXPECT_EQ(MSButton, 0);
  EXPECT_FALSE(gMouseComboTriggered);
}

TEST_F(LostReleasesTest, SingleButtonHoldsOfAnyLengthNeverSwitch) {
  SwitchAwayAndLoseTheReleases();
  for (const Button b : {kLeft, kLeft, kRight, kMiddle}) {
    const uint64_t t = World().NowMs() + 100;
    Down(t, b);
    EXPECT_EQ(SwitchesBy(t + 5000), 1u) << "button " << b;
    Up(t + 5000, b);
  }
}

TEST_F(LostReleasesTest, ARealChordSwitchesAgain) {
  SwitchAwayAndLoseTheReleases();
  Down(3000, kLeft);
  Down(3010, kRight);
  EXPECT_EQ(SwitchesBy(4009), 1u);
  EXPECT_EQ(SwitchesBy(4011), 2u);
  EXPECT_EQ(SwitchesBy(9000), 2u) << "still one switch per hold";
}

TEST_F(LostReleasesTest, ReleasedBeforeTheSecondIsOverNothingFires) {
  Down(1000, kLeft);
  Down(1010, kRight);
  // Released 0.5 s in; the events are lost, the tick sees the live state.
  RunAt(1500, [this] {
    In().SetLiveButton(kLeft, false);
    In().SetLiveButton(kRight, false);
  });
  EXPECT_EQ(SwitchesBy(5000), 0u);
  EXPECT_EQ(gMouseComboTimer, nullptr);
}

TEST_F(MouseChordTest, DragsBetweenPressesKeepTheHold) {
  Down(1000, kLeft);
  Down(1010, kRight);
  for (uint64_t t = 1100; t < 2000; t += 100) {
    RunAt(t, [this] {
      In().Deliver(platform::kEventLeftMouseDragged);
      In().Deliver(platform::kEventRightMouseDragged);
    });
  }
  EXPECT_EQ(SwitchesBy(2011), 1u);
}

}  // namespace
