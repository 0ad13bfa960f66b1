// The Qt loop services: timers, descriptor watches, and the terminate
// request reaching out of a nested loop.
#include "platform/linux/qt/qt_loop.h"
#include "gestures/event_tap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "fake_input.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/input_linux.h"

namespace {

using linux_platform::QtApp;
using linux_platform::QtFdWatcher;
using linux_platform::QtRunLoop;

class QtLoopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qs_linux_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) app_ = new QCoreApplication(argc, argv);
  }
  // Runs the loop until `done`, giving up after a generous five seconds.
  static void SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      usleep(500);
    }
  }
  // Lets the loop run for a little while.
  static void SettleBriefly() {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 50) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      usleep(500);
    }
  }
  static QCoreApplication* app_;
};
QCoreApplication* QtLoopTest::app_ = nullptr;

struct Ticks {
  int count = 0;
  int destroy_at = -1;
  std::unique_ptr<platform::Timer>* owner = nullptr;
};

void Tick(platform::Timer*, void* info) {
  auto* ticks = static_cast<Ticks*>(info);
  if (++ticks->count == ticks->destroy_at && ticks->owner != nullptr) ticks->owner->reset();
}

TEST_F(QtLoopTest, OneShotFiresOnceAndBecomesInvalid) {
  QtRunLoop loop;
  Ticks ticks;
  auto timer = loop.AddTimer(0.001, 0, &Tick, &ticks, platform::RunLoopMode::kCommon);
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->IsValid());
  SpinUntil([&] { return ticks.count > 0; });
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks.count, 1);
  EXPECT_FALSE(timer->IsValid());
}

TEST_F(QtLoopTest, RepeatingTimerKeepsFiringUntilDestroyedInItsOwnCallback) {
  QtRunLoop loop;
  Ticks ticks;
  std::unique_ptr<platform::Timer> timer =
      loop.AddTimer(0.001, 0.001, &Tick, &ticks, platform::RunLoopMode::kCommon);
  ticks.owner = &timer;
  ticks.destroy_at = 3;
  SpinUntil([&] { return timer == nullptr; });
  SettleBriefly();
  EXPECT_EQ(ticks.count, 3);
}

TEST_F(QtLoopTest, InvalidatedTimerNeverFires) {
  QtRunLoop loop;
  Ticks ticks;
  auto timer = loop.AddTimer(0.001, 0.001, &Tick, &ticks, platform::RunLoopMode::kDefault);
  timer->Invalidate();
  timer->Invalidate();
  EXPECT_FALSE(timer->IsValid());
  SettleBriefly();
  EXPECT_EQ(ticks.count, 0);
}

TEST_F(QtLoopTest, WatchCallsWhileDataWaitsAndStopsWhenDropped) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  QtFdWatcher watcher;
  int calls = 0;
  std::unique_ptr<linux_platform::FdWatch> watch;
  watch = watcher.WatchReadable(fds[0], [&] {
    char c;
    if (read(fds[0], &c, 1) == 1) ++calls;
    if (calls == 2) watch.reset();  // dropped inside its own callback
  });
  ASSERT_EQ(write(fds[1], "ab", 2), 2);
  SpinUntil([&] { return calls == 2; });
  ASSERT_EQ(write(fds[1], "c", 1), 1);
  SettleBriefly();
  EXPECT_EQ(calls, 2);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(QtLoopTest, AKeyboardPluggedInIsOpenedByTheLoopItself) {
  if (!linux_test::Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  linux_test::Testbed testbed;
  linux_test::FakeInput lid(testbed, linux_test::FakeKind::kLidSwitch, 1);
  QtFdWatcher watcher;
  linux_platform::LinuxInput input(&watcher);
  auto tap = input.CreateEventTap(platform::kEventTapMask, nullptr, nullptr);
  ASSERT_NE(tap, nullptr);
  auto source = tap->CreateRunLoopSource();
  source->AddToRunLoop(platform::RunLoopMode::kCommon);
  ASSERT_EQ(input.current_tap()->device_count(), 0u);
  // The hot-plug watch is a real inotify descriptor: the loop notices.
  linux_test::FakeInput keyboard(testbed, linux_test::FakeKind::kKeyboard, 2);
  SpinUntil([&] { return input.current_tap()->device_count() == 1; });
  EXPECT_TRUE(input.current_tap()->HasDevice("/dev/input/event2"));
}

class Delegate : public platform::AppDelegate {
 public:
  explicit Delegate(QtApp* app) : app_(app) {}
  void applicationDidFinishLaunching() override {
    ++launched;
    // A modal loop, as an alert runs; the quit comes from inside it.
    QTimer::singleShot(1, [this] { app_->Terminate(); });
    QEventLoop nested;
    nested.exec();
    ++nested_returned;
  }
  void applicationWillTerminate() override { ++terminated; }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  int launched = 0;
  int nested_returned = 0;
  int terminated = 0;

 private:
  QtApp* app_;
};

TEST_F(QtLoopTest, TerminateRunsTheHookOnceAndLeavesNestedLoops) {
  QtApp app;
  Delegate delegate(&app);
  app.SetActivationPolicyAccessory();
  app.SetDelegate(&delegate);
  app.Run();  // returns once the terminate request is carried out
  app.Terminate();
  EXPECT_EQ(delegate.launched, 1);
  EXPECT_EQ(delegate.nested_returned, 1);
  EXPECT_EQ(delegate.terminated, 1);
}

}  // namespace
