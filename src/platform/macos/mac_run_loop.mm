#include "platform/macos/mac_run_loop.h"

#include <memory>

#include "platform/macos/cf_ref.h"

namespace platform::macos {
namespace {

// One run-loop timer. Teardown: invalidate (so it cannot fire again), then
// release (the member's owner).
class MacTimer final : public Timer {
 public:
  MacTimer(TimerCallback callback, void* info) : callback_(callback), info_(info) {}
  ~MacTimer() override { Invalidate(); }

  // Creates the timer and schedules it on the main run loop; false when it
  // could not be created.
  bool Schedule(double delay_sec, double interval_sec, RunLoopMode mode) {
    CFRunLoopTimerContext context = {0, this, nullptr, nullptr, nullptr};
    timer_ = CfRef<CFRunLoopTimerRef>::Adopt(
        CFRunLoopTimerCreate(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + delay_sec,
                             interval_sec, 0, 0, &MacTimer::Fire, &context));
    if (!timer_) return false;
    // A repeating timer (the 50 ms tick) may fire up to a tenth of its
    // interval late, so the system can wake for it together with others;
    // a one-shot timer (the chord's second) fires on time.
    if (interval_sec > 0) CFRunLoopTimerSetTolerance(timer_.get(), interval_sec / 10);
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer_.get(), ModeName(mode));
    return true;
  }

  void Invalidate() override {
    if (timer_) CFRunLoopTimerInvalidate(timer_.get());
  }
  bool IsValid() const override { return timer_ && CFRunLoopTimerIsValid(timer_.get()); }

 private:
  static void Fire(CFRunLoopTimerRef /*timer*/, void* info) {
    MacTimer* self = static_cast<MacTimer*>(info);
    // The callback may destroy this timer (the run loop keeps the system's
    // object alive until the call returns); nothing here touches it after.
    self->callback_(self, self->info_);
  }

  TimerCallback callback_;
  void* info_;
  CfRef<CFRunLoopTimerRef> timer_;
};

}  // namespace

std::unique_ptr<Timer> MacRunLoop::AddTimer(double delay_sec, double interval_sec,
                                            TimerCallback callback, void* info, RunLoopMode mode) {
  auto timer = std::make_unique<MacTimer>(callback, info);
  if (!timer->Schedule(delay_sec, interval_sec, mode)) return nullptr;
  return timer;
}

}  // namespace platform::macos
