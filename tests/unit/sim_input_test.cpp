// The simulated input: when a tap's callback is called, and the live state
// that is independent of delivered events.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "sim_world_test.h"

namespace {

using platform::RunLoopMode;

struct Seen {
  uint32_t type;
  int64_t keycode;
  int64_t button;
  uint64_t t;
};

class SimInputTest : public SimWorldTest {
 protected:
  void TearDown() override {
    source_.reset();
    tap_.reset();
    SimWorldTest::TearDown();
  }

  static platform::EventRef Callback(platform::TapProxy, uint32_t type, platform::EventRef event,
                                     void* info) {
    auto* self = static_cast<SimInputTest*>(info);
    self->seen_.push_back({type, event->keycode, event->button, self->world_->NowMs()});
    if (self->on_event_) self->on_event_();
    return event;
  }

  // A tap on key-up (11) and left-mouse-down (1), its source in `mode`.
  void StartTap(RunLoopMode mode, bool enable = true) {
    tap_ = platform::Sys().input->CreateEventTap(
        platform::EventMaskBit(platform::kEventKeyUp) |
            platform::EventMaskBit(platform::kEventLeftMouseDown),
        &Callback, this);
    ASSERT_NE(tap_, nullptr);
    source_ = tap_->CreateRunLoopSource();
    ASSERT_NE(source_, nullptr);
    source_->AddToRunLoop(mode);
    if (enable) tap_->Enable(true);
  }

  sim::SimInput& Control() { return world_->InputControl(); }
  std::vector<uint32_t> SeenTypes() const {
    std::vector<uint32_t> out;
    for (const Seen& s : seen_) out.push_back(s.type);
    return out;
  }

  std::unique_ptr<platform::EventTap> tap_;
  std::unique_ptr<platform::RunLoopSource> source_;
  std::vector<Seen> seen_;
  std::function<void()> on_event_;
};

using Types = std::vector<uint32_t>;

TEST_F(SimInputTest, RefusedTapIsNull) {
  Control().RefuseTap(true);
  EXPECT_EQ(platform::Sys().input->CreateEventTap(~0ull, &Callback, this), nullptr);
  EXPECT_FALSE(Control().TapExists());
}

TEST_F(SimInputTest, DeliversMaskedEventsWithTheirFieldsInsideARunningLoop) {
  StartTap(RunLoopMode::kCommon);
  EXPECT_TRUE(Control().TapExists());
  Control().Deliver(platform::kEventKeyUp,
                    platform::kKeyCodeQ);  // no loop runs yet: held until one does
  world_->At(10, [this] {
    Control().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ);
    Control().Deliver(platform::kEventKeyDown, platform::kKeyCodeQ);  // key-down is not in the mask
    Control().Deliver(platform::kEventLeftMouseDown, 0, 0);
  });
  world_->RunUntil(10);
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].type, 11u);
  EXPECT_EQ(seen_[0].keycode, platform::kKeyCodeQ);
  EXPECT_EQ(seen_[0].t, 0u);
  EXPECT_EQ(seen_[1].t, 10u);
  EXPECT_EQ(seen_[2].type, 1u);
  EXPECT_EQ(seen_[2].button, 0);
}

TEST_F(SimInputTest, NothingIsDeliveredBeforeEnableOrWithoutASourceInTheLoop) {
  tap_ = platform::Sys().input->CreateEventTap(platform::EventMaskBit(platform::kEventKeyUp),
                                               &Callback, this);
  world_->At(10, [this] { Control().Deliver(platform::kEventKeyUp); });  // no source yet
  world_->RunUntil(10);
  source_ = tap_->CreateRunLoopSource();
  source_->AddToRunLoop(RunLoopMode::kCommon);
  world_->At(20, [this] { Control().Deliver(platform::kEventKeyUp); });  // not enabled
  world_->RunUntil(20);
  EXPECT_TRUE(seen_.empty());
  tap_->Enable(true);
  world_->At(30, [this] { Control().Deliver(platform::kEventKeyUp); });
  world_->RunUntil(30);
  EXPECT_EQ(SeenTypes(), (Types{11}));
}

TEST_F(SimInputTest, CommonSourceDeliversDuringAnAlertDefaultSourceWaitsForIt) {
  world_->UiControl().SetAlertMs(100);
  StartTap(RunLoopMode::kDefault);
  world_->At(10, [] { platform::Sys().ui->RunModalAlert({"T", "up", {"OK"}}); });
  world_->At(50, [this] { Control().Deliver(platform::kEventKeyUp, 1); });
  world_->RunUntil(200);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].t, 110u) << "held until the default loop ran again";

  seen_.clear();
  source_.reset();
  StartTap(RunLoopMode::kCommon);
  world_->At(210, [] { platform::Sys().ui->RunModalAlert({"T", "up", {"OK"}}); });
  world_->At(250, [this] { Control().Deliver(platform::kEventKeyUp, 2); });
  world_->RunUntil(400);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].t, 250u);
}

TEST_F(SimInputTest, RemovedSourceOrReleasedTapDeliversNothing) {
  world_->UiControl().SetAlertMs(100);
  StartTap(RunLoopMode::kDefault);
  // Held during the alert, then the source goes before the loop resumes.
  world_->At(10, [] { platform::Sys().ui->RunModalAlert({"T", "up", {"OK"}}); });
  world_->At(50, [this] {
    Control().Deliver(platform::kEventKeyUp);
    source_.reset();
  });
  world_->RunUntil(200);
  EXPECT_TRUE(seen_.empty());
  source_ = tap_->CreateRunLoopSource();
  source_->AddToRunLoop(RunLoopMode::kCommon);
  tap_.reset();
  world_->At(210, [this] { Control().Deliver(platform::kEventKeyUp); });
  world_->RunUntil(220);
  EXPECT_TRUE(seen_.empty());
  EXPECT_FALSE(Control().TapExists());
}

TEST_F(SimInputTest, DisabledByTimeoutNotifiesOnceThenDeliversNothing) {
  StartTap(RunLoopMode::kCommon);
  world_->At(10, [this] {
    Control().DisableTapByTimeout();
    Control().Deliver(platform::kEventKeyUp);
    Control().Deliver(platform::kEventLeftMouseDown);
  });
  world_->RunUntil(20);
  EXPECT_EQ(SeenTypes(), (Types{0xFFFFFFFEu}));

  // Only the tool's own Enable brings it back; then the other notification
  // switches it off the same way.
  tap_->Enable(true);
  world_->At(30, [this] {
    Control().Deliver(platform::kEventKeyUp);
    Control().Deliver(platform::kEventTapDisabledByUserInput);
    Control().Deliver(platform::kEventKeyUp);
  });
  world_->RunUntil(30);
  EXPECT_EQ(SeenTypes(), (Types{0xFFFFFFFEu, 11, 0xFFFFFFFFu}));
}

// A tool that switches its tap on again from the notification's callback
// loses nothing after it; what reached a held source before the system
// switched the tap off is still delivered, what came while it was off is not.
TEST_F(SimInputTest, TapSwitchedOnAgainFromTheNotificationGetsEventsAgain) {
  StartTap(RunLoopMode::kCommon);
  on_event_ = [this] {
    if (seen_.back().type >= 0xFFFFFFFEu) tap_->Enable(true);
  };
  world_->At(10, [this] {
    Control().DisableTapByTimeout();
    Control().Deliver(platform::kEventKeyUp);
    Control().Deliver(platform::kEventTapDisabledByUserInput);
    Control().Deliver(platform::kEventLeftMouseDown);
  });
  world_->RunUntil(20);
  EXPECT_EQ(SeenTypes(), (Types{0xFFFFFFFEu, 11, 0xFFFFFFFFu, 1}));

  // With a default-mode source held during an alert: the event before the
  // switch-off waits and comes, the one while the tap is off is lost, and
  // once the queued notification has switched it on, events come again.
  seen_.clear();
  source_.reset();
  world_->UiControl().SetAlertMs(100);
  StartTap(RunLoopMode::kDefault);
  world_->At(30, [] { platform::Sys().ui->RunModalAlert({"T", "up", {"OK"}}); });
  world_->At(40, [this] { Control().Deliver(platform::kEventKeyUp, 1); });
  world_->At(50, [this] { Control().DisableTapByTimeout(); });
  world_->At(60, [this] { Control().Deliver(platform::kEventKeyUp, 2); });
  world_->At(200, [this] { Control().Deliver(platform::kEventKeyUp, 3); });
  world_->RunUntil(300);
  ASSERT_EQ(SeenTypes(), (Types{11, 0xFFFFFFFEu, 11}));
  EXPECT_EQ(seen_[0].keycode, 1);
  EXPECT_EQ(seen_[1].t, 130u);
  EXPECT_EQ(seen_[2].keycode, 3);
}

TEST_F(SimInputTest, LiveStateIsIndependentOfDeliveredEvents) {
  StartTap(RunLoopMode::kCommon);
  platform::Input& in = *platform::Sys().input;
  EXPECT_EQ(in.FlagsState() & platform::kEventFlagMaskControl, 0u);
  Control().SetLiveControl(true);
  Control().SetLiveButton(1, true);
  Control().SetLiveButton(2, true);
  EXPECT_NE(in.FlagsState() & platform::kEventFlagMaskControl, 0u);
  EXPECT_FALSE(in.ButtonState(0));
  EXPECT_TRUE(in.ButtonState(1));
  EXPECT_TRUE(in.ButtonState(2));
  world_->At(5, [this] { Control().Deliver(platform::kEventLeftMouseDown, 0, 0); });
  world_->RunUntil(5);
  EXPECT_FALSE(in.ButtonState(0)) << "an event alone moves no live button";
  Control().SetLiveButton(1, false);
  Control().SetLiveControl(false);
  EXPECT_FALSE(in.ButtonState(1));
  EXPECT_TRUE(in.ButtonState(2));
  EXPECT_EQ(in.FlagsState(), 0u);
}

TEST_F(SimInputTest, TapReleasedFromInsideItsCallbackIsSafe) {
  StartTap(RunLoopMode::kCommon);
  on_event_ = [this] {
    source_.reset();
    tap_.reset();
  };
  world_->At(10, [this] {
    Control().Deliver(platform::kEventKeyUp);
    Control().Deliver(platform::kEventKeyUp);
  });
  world_->RunUntil(10);
  EXPECT_EQ(seen_.size(), 1u);
}

}  // namespace
