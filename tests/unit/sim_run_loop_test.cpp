// The simulated run loop: virtual time, timers, modes and nested loops, and
// the application's run and terminate request.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "sim_world_test.h"

namespace {

using platform::RunLoopMode;

class SimRunLoopTest : public SimWorldTest {
 protected:
  void TearDown() override {
    timers_.clear();
    SimWorldTest::TearDown();
  }

  // Adds a timer that logs "name@T" each time it fires.
  platform::Timer* Add(const std::string& name, double delay, double interval,
                       RunLoopMode mode = RunLoopMode::kCommon) {
    auto probe = std::make_unique<Probe>(Probe{this, name, nullptr});
    auto timer = platform::Sys().run_loop->AddTimer(delay, interval, &Fire, probe.get(), mode);
    platform::Timer* raw = timer.get();
    probe->timer = std::move(timer);
    timers_.push_back(std::move(probe));
    return raw;
  }

  struct Probe {
    SimRunLoopTest* test;
    std::string name;
    std::unique_ptr<platform::Timer> timer;
    bool destroy_when_fired = false;
  };
  static void Fire(platform::Timer* timer, void* info) {
    auto* p = static_cast<Probe*>(info);
    EXPECT_EQ(timer, p->timer.get());
    p->test->log_.push_back(p->name + "@" + std::to_string(p->test->world_->NowMs()));
    if (p->destroy_when_fired) p->timer.reset();
  }

  std::vector<std::unique_ptr<Probe>> timers_;
  std::vector<std::string> log_;
};

using Log = std::vector<std::string>;

TEST_F(SimRunLoopTest, ClocksFollowVirtualTimeFromTheConfiguredStart) {
  platform::Clock& clock = *platform::Sys().clock;
  const platform::TimeSpec m0 = clock.Monotonic();
  EXPECT_GT(m0.sec * 1000 + m0.nsec / 1000000, 0) << "a stored 0 must keep meaning none";
  std::tm local = clock.LocalTime();
  EXPECT_EQ(local.tm_year + 1900, 2025);
  EXPECT_EQ(local.tm_mon + 1, 3);
  EXPECT_EQ(local.tm_mday, 5);
  EXPECT_EQ(local.tm_hour, 9);
  EXPECT_EQ(local.tm_min, 7);
  EXPECT_EQ(local.tm_sec, 3);
  const platform::TimeSpec r0 = clock.Realtime();

  world_->RunUntil(61250);
  const platform::TimeSpec m1 = clock.Monotonic();
  EXPECT_EQ((m1.sec - m0.sec) * 1000 + (m1.nsec - m0.nsec) / 1000000, 61250);
  const platform::TimeSpec r1 = clock.Realtime();
  EXPECT_EQ(r1.sec - r0.sec, 61);
  EXPECT_EQ(r1.nsec, 250000000);
  local = clock.LocalTime();
  EXPECT_EQ(local.tm_min, 8);
  EXPECT_EQ(local.tm_sec, 4);
}

TEST(SimClockStart, ConfiguredLocalStartIsUsed) {
  sim::Config config;
  config.start_local.tm_year = 2030 - 1900;
  config.start_local.tm_mon = 11;
  config.start_local.tm_mday = 31;
  config.start_local.tm_hour = 23;
  config.start_local.tm_min = 59;
  config.start_local.tm_sec = 59;
  auto world = sim::World::Create(config);
  ASSERT_NE(world, nullptr);
  world->RunUntil(1000);
  const std::tm t = world->Services().clock->LocalTime();
  EXPECT_EQ(t.tm_year + 1900, 2031);
  EXPECT_EQ(t.tm_mon, 0);
  EXPECT_EQ(t.tm_mday, 1);
  EXPECT_EQ(t.tm_hour, 0);
}

TEST_F(SimRunLoopTest, TimersFireInDueOrderTiesByCreation) {
  Add("b", 0.2, 0);
  Add("a", 0.1, 0);
  Add("c", 0.2, 0);
  world_->RunUntil(1000);
  EXPECT_EQ(log_, (Log{"a@100", "b@200", "c@200"}));
  EXPECT_EQ(world_->NowMs(), 1000u);
}

TEST_F(SimRunLoopTest, RepeatingTimerKeepsItsCadenceAndOneShotIsSpent) {
  platform::Timer* tick = Add("tick", 0.05, 0.05);
  platform::Timer* once = Add("once", 0.12, 0);
  world_->RunUntil(200);
  EXPECT_EQ(log_, (Log{"tick@50", "tick@100", "once@120", "tick@150", "tick@200"}));
  EXPECT_TRUE(tick->IsValid());
  EXPECT_FALSE(once->IsValid());
}

TEST_F(SimRunLoopTest, InvalidatedTimerNeverFiresAndInvalidateIsIdempotent) {
  platform::Timer* t = Add("t", 0.05, 0.05);
  world_->RunUntil(50);
  t->Invalidate();
  t->Invalidate();
  world_->RunUntil(500);
  EXPECT_EQ(log_, (Log{"t@50"}));
  EXPECT_FALSE(t->IsValid());
  EXPECT_EQ(world_->ValidTimerCount(), 0u);
}

TEST_F(SimRunLoopTest, TimerDestroyedInsideItsOwnCallbackFiresNoMore) {
  Add("t", 0.05, 0.05);
  timers_.back()->destroy_when_fired = true;
  Add("other", 0.1, 0.1);
  world_->RunUntil(300);
  EXPECT_EQ(log_, (Log{"t@50", "other@100", "other@200", "other@300"}));
  EXPECT_EQ(timers_.front()->timer, nullptr);
}

TEST_F(SimRunLoopTest, DefaultModeTimerIsHeldDuringAnAlertCommonOneFires) {
  world_->UiControl().SetAlertMs(300);
  Add("common", 0.1, 0.1, RunLoopMode::kCommon);
  Add("default", 0.1, 0.1, RunLoopMode::kDefault);
  world_->At(50, [] { platform::Sys().ui->RunModalAlert({"Title", "Text", {"OK"}}); });
  world_->RunUntil(450);
  // The alert is up from 50 to 350: the default-mode timer waits for the
  // default loop, fires once for the missed times and keeps its cadence.
  EXPECT_EQ(log_, (Log{"common@100", "common@200", "common@300", "default@350", "common@400",
                       "default@400"}));
  ASSERT_EQ(world_->UiControl().Alerts().size(), 1u);
  EXPECT_EQ(world_->UiControl().Alerts()[0].result, platform::kAlertFirstButtonReturn);
  EXPECT_EQ(world_->UiControl().Alerts()[0].t_ms, 50u);
}

TEST_F(SimRunLoopTest, HappeningsAreDeliveredInsideTheModalLoop) {
  world_->UiControl().SetAlertMs(100);
  std::vector<uint64_t> seen;
  world_->At(10, [] { platform::Sys().ui->RunModalAlert({"T", "x", {"OK"}}); });
  world_->At(60, [&] { seen.push_back(world_->NowMs()); });
  world_->RunUntil(60);
  EXPECT_EQ(seen, (std::vector<uint64_t>{60}));
  // The alert still stands at 60; the loop that ran the happening was the
  // modal one, which then ran on to the alert's end.
  EXPECT_EQ(world_->NowMs(), 110u);
}

TEST_F(SimRunLoopTest, AlertBeforeAnyLoopIsAnsweredAtOnceWithTheChoice) {
  world_->UiControl().SetAlertMs(5000);
  world_->UiControl().SetChoice(2);
  platform::Ui& ui = *platform::Sys().ui;
  EXPECT_EQ(ui.RunModalAlert({"T", "Choose", {"A", "B", "C"}}),
            platform::kAlertFirstButtonReturn + 2);
  EXPECT_EQ(ui.RunModalAlert({"T", "Note", {"OK"}}), platform::kAlertFirstButtonReturn);
  EXPECT_EQ(world_->NowMs(), 0u);
  ASSERT_EQ(world_->Observations().size(), 2u);
  EXPECT_EQ(world_->Observations()[0].text, "choice");
  EXPECT_EQ(world_->Observations()[1].text, "alert Note");
}

class RecordingDelegate : public platform::AppDelegate {
 public:
  explicit RecordingDelegate(sim::World& world) : world_(world) {}
  void applicationDidFinishLaunching() override {
    log.push_back("launch@" + std::to_string(world_.NowMs()));
    if (on_launch) on_launch();
  }
  void applicationWillTerminate() override {
    log.push_back("will-terminate@" + std::to_string(world_.NowMs()));
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  std::vector<std::string> log;
  std::function<void()> on_launch;

 private:
  sim::World& world_;
};

TEST_F(SimRunLoopTest, TerminateFromInsideAnAlertUnwindsEveryLoop) {
  RecordingDelegate delegate(*world_);
  platform::App& app = *platform::Sys().app;
  app.SetDelegate(&delegate);
  world_->UiControl().SetAlertMs(10000);
  delegate.on_launch = [] { platform::Sys().ui->RunModalAlert({"T", "started", {"OK"}}); };
  Add("common", 0.1, 0.1);
  world_->At(250, [&] { app.Terminate(); });
  world_->At(400, [&] { delegate.log.push_back("too late"); });
  app.Run();
  EXPECT_EQ(delegate.log, (Log{"launch@0", "will-terminate@250"}));
  EXPECT_EQ(log_, (Log{"common@100", "common@200"}));
  EXPECT_EQ(world_->HowEnded(), sim::World::Ending::kTerminated);
  EXPECT_EQ(world_->Observations().back().text, "terminate");
  EXPECT_EQ(world_->Observations().back().t_ms, 250u);
}

TEST_F(SimRunLoopTest, KillEndsTheRunWithoutTheTerminationHook) {
  RecordingDelegate delegate(*world_);
  platform::Sys().app->SetDelegate(&delegate);
  Add("tick", 0.1, 0.1);
  world_->KillAt(250);
  platform::Sys().app->Run();
  EXPECT_EQ(delegate.log, (Log{"launch@0"}));
  EXPECT_EQ(log_, (Log{"tick@100", "tick@200"}));
  EXPECT_EQ(world_->HowEnded(), sim::World::Ending::kKilled);
  EXPECT_EQ(world_->NowMs(), 250u);
}

TEST_F(SimRunLoopTest, KilledDuringAnAlertTheCodeThatShowedItTerminatesNothing) {
  // As after a refused tap: an alert, then the terminate request. The process
  // is killed while the alert is up, so the request never comes.
  RecordingDelegate delegate(*world_);
  platform::App& app = *platform::Sys().app;
  app.SetDelegate(&delegate);
  world_->UiControl().SetAlertMs(3000);
  delegate.on_launch = [&app] {
    platform::Sys().ui->RunModalAlert({"T", "refused", {"OK"}});
    app.Terminate();
  };
  world_->KillAt(1000);
  app.Run();
  EXPECT_EQ(delegate.log, (Log{"launch@0"}));
  EXPECT_EQ(world_->HowEnded(), sim::World::Ending::kKilled);
  EXPECT_EQ(world_->Observations().back().text, "alert refused");
}

TEST_F(SimRunLoopTest, RunEndsWhenOnlyRepeatingTimersAreLeft) {
  RecordingDelegate delegate(*world_);
  platform::Sys().app->SetDelegate(&delegate);
  Add("tick", 0.1, 0.1);
  Add("once", 0.35, 0);
  world_->At(120, [&] { delegate.log.push_back("happening"); });
  platform::Sys().app->Run();
  EXPECT_EQ(log_, (Log{"tick@100", "tick@200", "tick@300", "once@350"}));
  EXPECT_EQ(delegate.log, (Log{"launch@0", "happening"}));
  EXPECT_EQ(world_->HowEnded(), sim::World::Ending::kKilled);
}

TEST_F(SimRunLoopTest, RefusedTimerCreationGivesNull) {
  world_->SetTimerCreationFails(true);
  EXPECT_EQ(platform::Sys().run_loop->AddTimer(0.05, 0.05, &Fire, nullptr, RunLoopMode::kCommon),
            nullptr);
  world_->SetTimerCreationFails(false);
  EXPECT_NE(Add("t", 0.05, 0), nullptr);
}

TEST_F(SimRunLoopTest, TimerHandleOutlivingTheWorldIsHarmless) {
  platform::Timer* t = Add("t", 0.05, 0.05);
  world_.reset();
  EXPECT_FALSE(t->IsValid());
  t->Invalidate();
  timers_.clear();  // the handle's destructor must not reach the gone world
}

}  // namespace
