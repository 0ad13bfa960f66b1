// Timers on the main run loop: firing, modes, and destruction from inside
// their own callback.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/macos/mac_run_loop.h"

namespace {

using platform::RunLoopMode;
using platform::Timer;

// A mode that the test adds to the common modes, standing in for the modal
// and tracking modes that AppKit adds.
const CFStringRef kNestedMode = CFSTR("qs.test.nested");

struct Fired {
  int count = 0;
  std::unique_ptr<Timer>* destroy_on_fire = nullptr;
};

void CountFire(Timer* /*timer*/, void* info) {
  Fired* fired = static_cast<Fired*>(info);
  ++fired->count;
  if (fired->destroy_on_fire) fired->destroy_on_fire->reset();
}

// Runs the main run loop in `mode` until `done` holds, for at most five
// seconds of waiting (a bound against hanging, not a speed goal).
template <class Done>
void RunUntil(CFStringRef mode, Done done) {
  for (int i = 0; i < 50 && !done(); ++i) CFRunLoopRunInMode(mode, 0.1, true);
}

class MacRunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { CFRunLoopAddCommonMode(CFRunLoopGetMain(), kNestedMode); }
  platform::macos::MacRunLoop run_loop_;
};

TEST_F(MacRunLoopTest, AOneShotTimerFiresOnceAndIsThenInvalid) {
  Fired fired;
  std::unique_ptr<Timer> timer =
      run_loop_.AddTimer(0.0, 0.0, &CountFire, &fired, RunLoopMode::kDefault);
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->IsValid());
  RunUntil(kCFRunLoopDefaultMode, [&] { return fired.count > 0; });
  EXPECT_EQ(fired.count, 1);
  EXPECT_FALSE(timer->IsValid());
}

TEST_F(MacRunLoopTest, OnlyCommonModeTimersFireInANestedLoop) {
  Fired common;
  Fired default_only;
  std::unique_ptr<Timer> a =
      run_loop_.AddTimer(0.0, 0.0, &CountFire, &common, RunLoopMode::kCommon);
  std::unique_ptr<Timer> b =
      run_loop_.AddTimer(0.0, 0.0, &CountFire, &default_only, RunLoopMode::kDefault);
  RunUntil(kNestedMode, [&] { return common.count > 0; });
  EXPECT_EQ(common.count, 1);
  EXPECT_EQ(default_only.count, 0);
  EXPECT_TRUE(b->IsValid());
}

TEST_F(MacRunLoopTest, AnInvalidatedTimerNeverFires) {
  Fired fired;
  Fired marker;
  std::unique_ptr<Timer> timer =
      run_loop_.AddTimer(0.0, 0.0, &CountFire, &fired, RunLoopMode::kDefault);
  timer->Invalidate();
  timer->Invalidate();  // idempotent
  EXPECT_FALSE(timer->IsValid());
  // A later timer shows that the loop ran past the first one's date.
  std::unique_ptr<Timer> later =
      run_loop_.AddTimer(0.01, 0.0, &CountFire, &marker, RunLoopMode::kDefault);
  RunUntil(kCFRunLoopDefaultMode, [&] { return marker.count > 0; });
  EXPECT_EQ(marker.count, 1);
  EXPECT_EQ(fired.count, 0);
}

TEST_F(MacRunLoopTest, ARepeatingTimerMayDestroyItselfFromItsCallback) {
  Fired fired;
  std::unique_ptr<Timer> timer =
      run_loop_.AddTimer(0.0, 0.01, &CountFire, &fired, RunLoopMode::kCommon);
  fired.destroy_on_fire = &timer;
  Fired marker;
  std::unique_ptr<Timer> later =
      run_loop_.AddTimer(0.1, 0.0, &CountFire, &marker, RunLoopMode::kDefault);
  RunUntil(kCFRunLoopDefaultMode, [&] { return marker.count > 0; });
  EXPECT_EQ(timer, nullptr);
  EXPECT_EQ(fired.count, 1);
}

}  // namespace
