// The loop of a tool without a display: timers, descriptor watches and the
// application object on poll(2).
#include "platform/linux/loop/poll_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using linux_platform::PollLoop;
using std::chrono::milliseconds;

// Serves the loop until `done`, giving up after two seconds.
void ServeUntil(PollLoop& loop, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done() && std::chrono::steady_clock::now() < deadline) loop.RunOnce(milliseconds(20));
}

struct Fired {
  std::vector<std::string>* log;
  std::string name;
  std::unique_ptr<platform::Timer>* drop = nullptr;  // destroyed when this fires
};

void Record(platform::Timer* /*timer*/, void* info) {
  auto* fired = static_cast<Fired*>(info);
  fired->log->push_back(fired->name);
  if (fired->drop != nullptr) fired->drop->reset();
}

TEST(PollLoopTest, TimersFireInTheirOrderAndOneShotsOnce) {
  PollLoop loop;
  std::vector<std::string> log;
  Fired late{&log, "late"};
  Fired early{&log, "early"};
  Fired tick{&log, "tick"};
  auto late_timer = loop.AddTimer(0.06, 0, Record, &late, platform::RunLoopMode::kCommon);
  auto early_timer = loop.AddTimer(0.02, 0, Record, &early, platform::RunLoopMode::kDefault);
  auto tick_timer = loop.AddTimer(0.01, 0.01, Record, &tick, platform::RunLoopMode::kCommon);
  ServeUntil(loop, [&] { return !late_timer->IsValid(); });

  ASSERT_FALSE(late_timer->IsValid());
  EXPECT_FALSE(early_timer->IsValid());
  EXPECT_TRUE(tick_timer->IsValid());
  std::vector<std::string> once;
  int ticks = 0;
  for (const std::string& name : log) {
    if (name == "tick") {
      ++ticks;
    } else {
      once.push_back(name);
    }
  }
  EXPECT_EQ(once, (std::vector<std::string>{"early", "late"}));
  EXPECT_GE(ticks, 3);  // a repeating timer goes on firing
  // Invalidated, the repeating timer stops.
  tick_timer->Invalidate();
  const size_t before = log.size();
  loop.RunOnce(milliseconds(30));
  EXPECT_EQ(log.size(), before);
}

TEST(PollLoopTest, ATimerMayBeDestroyedInsideItsOwnOrAnotherCallback) {
  PollLoop loop;
  std::vector<std::string> log;
  std::unique_ptr<platform::Timer> self_dropping;
  std::unique_ptr<platform::Timer> victim;
  Fired first{&log, "first", &self_dropping};
  Fired killer{&log, "killer", &victim};
  Fired victim_fired{&log, "victim"};
  self_dropping = loop.AddTimer(0, 0.005, Record, &first, platform::RunLoopMode::kCommon);
  victim = loop.AddTimer(0.03, 0, Record, &victim_fired, platform::RunLoopMode::kCommon);
  auto killer_timer = loop.AddTimer(0.01, 0, Record, &killer, platform::RunLoopMode::kCommon);
  ServeUntil(loop, [&] { return !killer_timer->IsValid(); });
  loop.RunOnce(milliseconds(50));

  EXPECT_EQ(self_dropping, nullptr);
  EXPECT_EQ(victim, nullptr);
  // The repeating timer that dropped itself fired exactly once; the timer
  // destroyed before its time never fired.
  EXPECT_EQ(log, (std::vector<std::string>{"first", "killer"}));
}

class PollLoopWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::pipe(fds_), 0); }
  void TearDown() override {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  void Write() { ASSERT_EQ(::write(fds_[1], "x", 1), 1); }
  void Drain() {
    char buffer[16];
    (void)::read(fds_[0], buffer, sizeof buffer);
  }
  int fds_[2] = {-1, -1};
};

TEST_F(PollLoopWatchTest, AWatchRunsWhileItsDescriptorIsReadableAndStopsWhenDestroyed) {
  PollLoop loop;
  int calls = 0;
  auto watch = loop.WatchReadable(fds_[0], [&] {
    ++calls;
    Drain();
  });
  ASSERT_NE(watch, nullptr);
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(calls, 0);  // nothing to read yet
  Write();
  loop.RunOnce(milliseconds(500));
  EXPECT_EQ(calls, 1);
  watch.reset();
  Write();
  loop.RunOnce(milliseconds(20));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.WatchReadable(-1, [] {}), nullptr);
}

TEST_F(PollLoopWatchTest, AWatchDestroyedInsideItsOwnCallbackOrBySomeoneElseIsNotCalledAgain) {
  PollLoop loop;
  int own = 0;
  int other = 0;
  std::unique_ptr<linux_platform::FdWatch> first;
  std::unique_ptr<linux_platform::FdWatch> second;
  // Both watch the same readable descriptor; the first drops itself and the
  // second in the same pass, so the second is never called.
  first = loop.WatchReadable(fds_[0], [&] {
    ++own;
    first.reset();
    second.reset();
  });
  second = loop.WatchReadable(fds_[0], [&] { ++other; });
  Write();
  loop.RunOnce(milliseconds(500));
  loop.RunOnce(milliseconds(20));
  EXPECT_EQ(own, 1);
  EXPECT_EQ(other, 0);
}

TEST_F(PollLoopWatchTest, ADescriptorClosedUnderItsWatchIsDroppedWithoutACall) {
  PollLoop loop;
  int calls = 0;
  auto watch = loop.WatchReadable(fds_[0], [&] { ++calls; });
  ::close(fds_[0]);
  fds_[0] = -1;
  // Without dropping it, every pass would return at once with POLLNVAL and
  // the loop would spin.
  loop.RunOnce(milliseconds(0));
  const auto start = std::chrono::steady_clock::now();
  loop.RunOnce(milliseconds(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(90));
  EXPECT_EQ(calls, 0);
}

class Delegate : public platform::AppDelegate {
 public:
  explicit Delegate(PollLoop& loop) : loop_(loop) {}
  void applicationDidFinishLaunching() override {
    ++launched;
    // Terminates from a timer, as the Q double-tap does from an event.
    timer = loop_.AddTimer(
        0.01, 0, [](platform::Timer*, void* info) { static_cast<PollLoop*>(info)->Terminate(); },
        &loop_, platform::RunLoopMode::kCommon);
  }
  void applicationWillTerminate() override { ++terminated; }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  int launched = 0;
  int terminated = 0;
  std::unique_ptr<platform::Timer> timer;

 private:
  PollLoop& loop_;
};

TEST(PollLoopTest, RunCallsTheLaunchHookAndReturnsAfterOneTermination) {
  PollLoop loop;
  Delegate delegate(loop);
  loop.SetDelegate(&delegate);
  loop.Run();
  EXPECT_EQ(delegate.launched, 1);
  EXPECT_EQ(delegate.terminated, 1);
  EXPECT_TRUE(loop.terminating());
  // A second request and a second run do nothing.
  loop.Terminate();
  loop.Run();
  EXPECT_EQ(delegate.launched, 1);
  EXPECT_EQ(delegate.terminated, 1);
}

}  // namespace
