// The Control double-tap and the Q double-tap, fed directly in virtual time.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "switch_test_support.h"

namespace {

class ControlDoubleTapTest : public switch_test::SimTest {
 protected:
  // Control goes down or up at T = t; one update sees the change.
  void Press(uint64_t t) {
    RunAt(t, [this] {
      In().SetLiveControl(true);
      UpdateControlComboState();
    });
  }
  void Release(uint64_t t) {
    RunAt(t, [this] {
      In().SetLiveControl(false);
      UpdateControlComboState();
    });
  }
  void Tap(uint64_t down, uint64_t up) {
    Press(down);
    Release(up);
  }
  // An update with no change, as a poll tick would make.
  void Update(uint64_t t) {
    RunAt(t, [] { UpdateControlComboState(); });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
};

TEST_F(ControlDoubleTapTest, ReleasesWithinTheWindowRequestOneSwitch) {
  CaptureConsole();
  gDbgMsg = false;
  Tap(1000, 1100);
  EXPECT_EQ(Switches(), 0u);
  EXPECT_NE(gLastControlReleaseMs, 0u);
  Tap(1600, 1750);  // releases 650 ms apart
  EXPECT_EQ(Switches(), 1u);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  EXPECT_EQ(Console(), "Switch (ctrl-ctrl)\n");
}

TEST_F(ControlDoubleTapTest, ReleasesExactly700MsApartSwitch) {
  Tap(1000, 1100);
  Tap(1700, 1800);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(ControlDoubleTapTest, Releases701MsApartMakeTheSecondThePendingOne) {
  Tap(1000, 1100);
  Press(1700);  // an update inside the window keeps the first release pending
  uint64_t second_release = 0;
  RunAt(1801, [&] {
    In().SetLiveControl(false);
    UpdateControlComboState();
    second_release = GetMilliseconds();
  });
  EXPECT_EQ(Switches(), 0u);
  EXPECT_EQ(gLastControlReleaseMs, second_release);
  Tap(2300, 2501);  // 700 ms after the second release
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(ControlDoubleTapTest, FourQuickTapsGiveOneSwitch) {
  // Releases at 0, 200, 400 and 600 ms: the second switches, the third is
  // pending, the fourth falls inside the debounce of the first switch.
  CaptureConsole();
  gDbgMsg = false;
  Tap(950, 1000);
  Tap(1150, 1200);
  Tap(1350, 1400);
  EXPECT_NE(gLastControlReleaseMs, 0u);
  Tap(1550, 1600);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  EXPECT_EQ(Switches(), 1u);
  EXPECT_EQ(Console(), "Switch (ctrl-ctrl)\n");
}

TEST_F(ControlDoubleTapTest, PressAloneDoesNothingAndALongHoldIsOneTap) {
  Press(1000);
  Update(1500);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  Release(6000);  // held five seconds
  EXPECT_EQ(Switches(), 0u);
  EXPECT_NE(gLastControlReleaseMs, 0u);
  Tap(6100, 6400);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(ControlDoubleTapTest, LoneReleaseIsForgottenByTheFirstUpdatePastTheWindow) {
  Tap(900, 1000);
  Update(1700);
  EXPECT_NE(gLastControlReleaseMs, 0u) << "700 ms is still inside the window";
  Update(1701);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  Tap(1720, 1750);  // starts afresh: pending, no switch
  EXPECT_EQ(Switches(), 0u);
  EXPECT_NE(gLastControlReleaseMs, 0u);
}

TEST_F(ControlDoubleTapTest, OnlyAChangeFromDownToUpIsARelease) {
  // Up at every update: nothing. Repeated updates while down: nothing.
  Update(1000);
  Update(1100);
  Press(1200);
  Update(1250);
  Update(1300);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
  EXPECT_TRUE(gControlKeyDown);
  Release(1400);
  Update(1450);  // the same release seen again counts once
  Update(1500);
  EXPECT_EQ(Switches(), 0u);
  EXPECT_FALSE(gControlKeyDown);
}

class QuitDoubleTapTest : public switch_test::SimTest {
 protected:
  // Delivers one key event of `type` straight to the recogniser at T = t.
  bool KeyAt(uint64_t t, int64_t keycode = platform::kKeyCodeQ,
             uint32_t type = platform::kEventKeyUp) {
    bool quit = false;
    RunAt(t, [&] {
      platform::InputEvent event{type, keycode, 0};
      quit = UpdateQuitComboState(type, &event);
    });
    return quit;
  }
  bool QUpAt(uint64_t t) { return KeyAt(t, platform::kKeyCodeQ, platform::kEventKeyUp); }
};

TEST_F(QuitDoubleTapTest, TwoQKeyUpsWithin700MsQuit) {
  EXPECT_FALSE(QUpAt(1000));
  EXPECT_EQ(wPreKBKey, platform::kKeyCodeQ);
  EXPECT_NE(uKBTimeMs, 0u);
  EXPECT_TRUE(QUpAt(1300));
  EXPECT_EQ(wPreKBKey, 0);
  EXPECT_EQ(uKBTimeMs, 0u);
}

TEST_F(QuitDoubleTapTest, WindowIsStrictlyUnder700Ms) {
  EXPECT_FALSE(QUpAt(1000));
  EXPECT_TRUE(QUpAt(1699));
  EXPECT_FALSE(QUpAt(3000));
  EXPECT_FALSE(QUpAt(3700));
  EXPECT_EQ(uKBTimeMs, 0u);
}

TEST_F(QuitDoubleTapTest, OtherKeysLeaveThePendingTapAlone) {
  EXPECT_FALSE(QUpAt(1000));
  EXPECT_FALSE(KeyAt(1100, 13));  // W
  EXPECT_EQ(wPreKBKey, platform::kKeyCodeQ);
  EXPECT_TRUE(QUpAt(1200));
}

TEST_F(QuitDoubleTapTest, LateSecondTapClearsInsteadOfStartingAPair) {
  EXPECT_FALSE(QUpAt(1000));
  EXPECT_FALSE(QUpAt(1800));  // 800 ms: too late, and forgotten
  EXPECT_EQ(uKBTimeMs, 0u);
  EXPECT_FALSE(QUpAt(2100));  // first of a new pair
  EXPECT_TRUE(QUpAt(2400));
}

TEST_F(QuitDoubleTapTest, KeyDownsAndOtherTypesNeverCount) {
  EXPECT_FALSE(KeyAt(1000, platform::kKeyCodeQ, platform::kEventKeyDown));
  EXPECT_FALSE(KeyAt(1100, platform::kKeyCodeQ, platform::kEventKeyDown));
  EXPECT_FALSE(KeyAt(1150, platform::kKeyCodeQ,
                     platform::kEventFlagsChanged));  // a flags-changed event carrying 12
  EXPECT_EQ(uKBTimeMs, 0u);
  EXPECT_FALSE(QUpAt(1200));
  EXPECT_FALSE(KeyAt(1300, platform::kKeyCodeQ, platform::kEventKeyDown));
  EXPECT_TRUE(QUpAt(1400));
}

TEST_F(QuitDoubleTapTest, KeyCodeIsReadAs16Bits) {
  EXPECT_FALSE(KeyAt(1000, 0x1000C));
  EXPECT_TRUE(KeyAt(1100, 0x3000C));
  EXPECT_FALSE(KeyAt(1200, 0x1000D));
  EXPECT_EQ(uKBTimeMs, 0u);
}

TEST_F(QuitDoubleTapTest, KeyUpWithoutAnEventIsIgnored) {
  EXPECT_FALSE(QUpAt(1000));
  RunAt(1100, [] { EXPECT_FALSE(UpdateQuitComboState(11, nullptr)); });
  EXPECT_EQ(wPreKBKey, platform::kKeyCodeQ);
}

// The wall-clock stamp is kept to 32 bits: a pair of taps across its
// wrap-around is measured correctly.
class QuitAcrossWrapTest : public QuitDoubleTapTest {
 protected:
  // Starts the world at a wall-clock second whose 32-bit millisecond stamp
  // reaches 2^32 - 100 at a T between 1000 and 10000; returns that T.
  uint64_t StartNearWrap() {
    const uint64_t kWrap = uint64_t{1} << 32;
    std::time_t wall = 1800000000;  // 2027
    uint64_t t = 0;
    for (;; ++wall) {
      const uint64_t r = (static_cast<uint64_t>(wall) * 1000u) % kWrap;
      const uint64_t need = kWrap - 100 - r;
      if (need >= 1000 && need <= 10000) {
        t = need;
        break;
      }
    }
    std::tm local{};
    localtime_r(&wall, &local);
    sim::Config config;
    config.start_local = local;
    StartWorld(config);
    EXPECT_EQ(platform::Sys().clock->Realtime().sec, static_cast<int64_t>(wall));
    return t;
  }
};

TEST_F(QuitAcrossWrapTest, PairAcrossTheWrapQuits) {
  const uint64_t t = StartNearWrap();
  EXPECT_FALSE(QUpAt(t));
  EXPECT_EQ(uKBTimeMs, 0xFFFFFF9Cu);
  EXPECT_TRUE(QUpAt(t + 300));  // the stamp is 200 now
}

TEST_F(QuitAcrossWrapTest, WindowAcrossTheWrapIsStillStrict) {
  const uint64_t t = StartNearWrap();
  EXPECT_FALSE(QUpAt(t));
  EXPECT_FALSE(QUpAt(t + 700));  // the stamp is 600 now: 700 ms, not < 700
  EXPECT_FALSE(QUpAt(t + 800));
  EXPECT_TRUE(QUpAt(t + 1499));
}

}  // namespace
