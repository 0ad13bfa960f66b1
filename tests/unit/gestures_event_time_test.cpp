// Events timed by when they happened: the simulated platform's event times,
// and the recognisers fed by events that waited while a slow switch held
// the main thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/event_types.h"
#include "switch_test_support.h"

namespace {

// A switch whose three transfers take 400 ms each holds the main thread
// from T = 100 to T = 1300.
constexpr uint64_t kHangStart = 100;
constexpr uint64_t kHangEnd = 1300;

class EventTimeTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    platform::Sys().app->SetDelegate(&delegate_);
    ASSERT_TRUE(StartEventTap());
  }
  void TearDown() override {
    platform::Sys().app->SetDelegate(nullptr);
    SimTest::TearDown();
  }
  // The hub hangs each transfer; a switch starts at kHangStart.
  void HangASwitch() {
    Hub().SetTransferMs(400);
    World().At(kHangStart, [] { TriggerSwitch("ctrl-ctrl"); });
  }
  void Control(uint64_t t, bool down) {
    World().At(t, [this, down] {
      In().SetLiveControl(down);
      In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl, 0);
    });
  }
  void ControlTap(uint64_t down, uint64_t up) {
    Control(down, true);
    Control(up, false);
  }
  void QUp(uint64_t t) {
    World().At(t, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0); });
  }
  void Button(uint64_t t, uint32_t button, bool down) {
    World().At(t, [this, button, down] {
      In().SetLiveButton(button, down);
      const uint32_t type =
          button == 0 ? (down ? platform::kEventLeftMouseDown : platform::kEventLeftMouseUp)
                      : (down ? platform::kEventRightMouseDown : platform::kEventRightMouseUp);
      In().Deliver(type, 0, button);
    });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
  // The number of switches once T = t has been reached.
  size_t SwitchesBy(uint64_t t) {
    World().RunUntil(t);
    return Switches();
  }
  int Quits() const { return delegate_.terminations; }

  switch_test::StoppingDelegate delegate_;
};

// The seam on the simulated platform.

struct Stamp {
  uint64_t handled_ms;
  uint64_t when;  // the event's own time; 0 none
};

class SimEventTimeTest : public switch_test::SimTest {
 protected:
  void TearDown() override {
    source_.reset();
    tap_.reset();
    SimTest::TearDown();
  }
  static platform::EventRef Record(platform::TapProxy, uint32_t, platform::EventRef event,
                                   void* info) {
    auto* self = static_cast<SimEventTimeTest*>(info);
    self->seen_.push_back({self->World().NowMs(), event->time_ms});
    self->ages_.push_back(EventAgeMs(event));
    return event;
  }
  void StartTap() {
    tap_ = platform::Sys().input->CreateEventTap(1u << platform::kEventKeyUp, &Record, this);
    ASSERT_NE(tap_, nullptr);
    source_ = tap_->CreateRunLoopSource();
    source_->AddToRunLoop(platform::RunLoopMode::kCommon);
    tap_->Enable(true);
  }
  static uint64_t Ms(const platform::TimeSpec& t) { return MillisecondsOf(t); }

  std::unique_ptr<platform::EventTap> tap_;
  std::unique_ptr<platform::RunLoopSource> source_;
  std::vector<Stamp> seen_;
  std::vector<uint64_t> ages_;
};

TEST_F(SimEventTimeTest, AnEventHandledAtOnceCarriesTheClockReadingOfItsMoment) {
  StartTap();
  RunAt(250, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0); });
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].handled_ms, 250u);
  EXPECT_EQ(seen_[0].when, Ms(platform::Sys().clock->Monotonic()));
  EXPECT_EQ(ages_[0], 0u);
}

TEST_F(SimEventTimeTest, AnEventPostedWhileTheMainThreadIsHeldKeepsItsPostingTime) {
  StartTap();
  Hub().SetTransferMs(400);
  const uint64_t base_ms = Ms(platform::Sys().clock->Monotonic());
  World().At(100, [] { (void)Switch_XQ917_UpperPort(); });  // held until 1300
  World().At(350, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0); });
  World().At(1250, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0); });
  World().At(1500, [this] { In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0); });
  World().RunUntil(2000);
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].handled_ms, 1300u);
  EXPECT_EQ(seen_[1].handled_ms, 1300u);
  EXPECT_EQ(seen_[0].when - base_ms, 350u);
  EXPECT_EQ(seen_[1].when - base_ms, 1250u);
  EXPECT_EQ(ages_[0], 950u);
  EXPECT_EQ(ages_[1], 50u);
  EXPECT_EQ(seen_[2].handled_ms, 1500u) << "after the hang, events come at once again";
  EXPECT_EQ(seen_[2].when - base_ms, 1500u);
}

TEST_F(SimEventTimeTest, AnEventMadeByHandHasNoTimeAndIsTimedWhenHandled) {
  // Made by hand, an event has no time; the simulated platform's decoder
  // puts the virtual T it was posted at on the monotonic clock.
  const platform::InputEvent by_hand =
      sim::Decode(sim::SimEvent{platform::kEventKeyUp, platform::kKeyCodeQ, 0});
  EXPECT_EQ(by_hand.time_ms, 0u);
  World().RunUntil(700);
  EXPECT_EQ(EventTimeMs(&by_hand), 0u);
  EXPECT_EQ(EventTimeMs(nullptr), 0u);
  EXPECT_EQ(EventAgeMs(&by_hand), 0u);
  EXPECT_EQ(GetEventMilliseconds(&by_hand), GetMilliseconds());
  const platform::InputEvent stamped =
      sim::Decode(sim::SimEvent{platform::kEventKeyUp, platform::kKeyCodeQ, 0, 200});
  EXPECT_EQ(GetEventMilliseconds(&stamped), GetMilliseconds() - 500);
  EXPECT_EQ(EventAgeMs(&stamped), 500u);
}

// The recognisers, fed by events that waited out a hung switch.

TEST_F(EventTimeTest, ControlTapsTypedFarApartDuringAHangAreNoDoubleTap) {
  HangASwitch();
  ControlTap(300, 350);
  ControlTap(1100, 1150);  // 800 ms after the first release
  EXPECT_EQ(SwitchesBy(1300), 1u);
  EXPECT_EQ(SwitchesBy(3000), 1u) << "handled together, but typed 800 ms apart";
  // The later release is pending from when it was typed.
  ControlTap(3100, 3150);
  ControlTap(3300, 3350);
  EXPECT_EQ(SwitchesBy(6000), 2u) << "a real double-tap afterwards still switches";
}

TEST_F(EventTimeTest, AControlDoubleTapTypedDuringAHangIsOneAndSwitchesAfterIt) {
  HangASwitch();
  ControlTap(650, 700);  // 600 ms after the first switch: out of the debounce
  ControlTap(850, 900);
  EXPECT_EQ(SwitchesBy(1300), 2u);
  EXPECT_EQ(WrittenPortSelects(), (std::vector<uint16_t>{1, 0}));
}

TEST_F(EventTimeTest, ADoubleTapThatHappenedWithinTheDebounceIsDroppedWhenHandledLate) {
  HangASwitch();
  ControlTap(200, 250);
  ControlTap(400, 450);  // 350 ms after the switch was accepted
  EXPECT_EQ(SwitchesBy(4000), 1u);
}

TEST_F(EventTimeTest, QsTypedFarApartDuringAHangDoNotQuitAndAPairStillDoes) {
  HangASwitch();
  QUp(300);
  QUp(1100);
  World().RunUntil(1400);
  EXPECT_EQ(Quits(), 0);
  EXPECT_EQ(uKBTimeMs, 0u) << "a late second Q clears the pending one";
  QUp(2000);
  QUp(2300);
  World().RunUntil(2400);
  EXPECT_EQ(Quits(), 1);
}

TEST_F(EventTimeTest, AQHandledLateKeepsAWallClockStampOfWhenItWasTyped) {
  HangASwitch();
  QUp(300);
  World().RunUntil(1350);
  const platform::TimeSpec wall = platform::Sys().clock->Realtime();
  const uint64_t wall_now = static_cast<uint64_t>(wall.sec) * 1000 + wall.nsec / 1000000;
  const auto wall_at_300 = static_cast<uint32_t>(wall_now - (World().NowMs() - 300));
  EXPECT_EQ(uKBTimeMs, wall_at_300);
  QUp(1400);  // 1100 ms after the first one, 100 ms after it was handled
  World().RunUntil(1500);
  EXPECT_EQ(Quits(), 0);
}

TEST_F(EventTimeTest, AChordMadeDuringAHangIsTimedFromWhenItWasMade) {
  HangASwitch();
  Button(200, 0, true);
  Button(210, 1, true);
  // Held through the end of the hang: complete at 1210, seen at 1300.
  EXPECT_EQ(SwitchesBy(1300), 2u);
  EXPECT_TRUE(gMouseComboTriggered);
}

TEST_F(EventTimeTest, AChordReleasedDuringAHangAfterItsSecondStillSwitches) {
  HangASwitch();
  Button(110, 0, true);
  Button(120, 1, true);
  Button(1250, 1, false);  // held 1130 ms, all of it while the loop was held
  Button(1260, 0, false);
  EXPECT_EQ(SwitchesBy(4000), 2u);
  EXPECT_EQ(gMouseComboTimer, nullptr);
  EXPECT_FALSE(gMouseComboTriggered);
}

TEST_F(EventTimeTest, AChordReleasedDuringAHangBeforeItsSecondDoesNothing) {
  HangASwitch();
  Button(200, 0, true);
  Button(210, 1, true);
  Button(1100, 1, false);  // held 890 ms
  Button(1110, 0, false);
  EXPECT_EQ(SwitchesBy(4000), 1u);
  EXPECT_EQ(gMouseComboTimer, nullptr);
}

// Without an event time (a platform that cannot tell), events are timed by
// when they are handled, as before: taps handled together are a pair.
TEST_F(EventTimeTest, EventsWithoutTimesAreTimedWhenHandled) {
  Hub().SetTransferMs(400);
  World().At(kHangStart, [] { TriggerSwitch("ctrl-ctrl"); });
  for (const uint64_t t : {300u, 1100u}) {
    World().At(t, [this] {
      In().SetLiveControl(true);
      const platform::InputEvent down{platform::kEventFlagsChanged, platform::kKeyCodeControl};
      eventCallback(nullptr, down.type, &down, nullptr);
      In().SetLiveControl(false);
      const platform::InputEvent up{platform::kEventFlagsChanged, platform::kKeyCodeControl};
      eventCallback(nullptr, up.type, &up, nullptr);
    });
  }
  // The first tap is handled at 1300 and the second right after it.
  EXPECT_EQ(SwitchesBy(3000), 2u);
}

// The debounce by the time a request was made: a request dated before the
// last accepted switch (its event waited while the switch ran) is dropped.
TEST_F(EventTimeTest, TheDebounceGoesByWhenTheRequestWasMade) {
  RunAt(1000, [] { TriggerSwitch("ctrl-ctrl"); });
  const uint64_t accepted = gLastSwitchMs;
  ASSERT_EQ(accepted, GetMilliseconds());
  // Handled late, though within the second after which a gesture is let go.
  RunAt(1600, [accepted] {
    TriggerSwitch("ctrl-ctrl", accepted - 300);  // before the last switch
    TriggerSwitch("ctrl-ctrl", accepted + 499);
  });
  EXPECT_EQ(Switches(), 1u);
  EXPECT_EQ(gLastSwitchMs, accepted);
  RunAt(1700, [accepted] { TriggerSwitch("mouse", accepted + 500); });
  EXPECT_EQ(Switches(), 2u);
  EXPECT_EQ(gLastSwitchMs, accepted + 500) << "the window starts when the request was made";
}

}  // namespace
