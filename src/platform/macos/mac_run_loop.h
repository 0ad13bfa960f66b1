// Timers on the main CoreFoundation run loop.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <memory>

#include "platform/run_loop.h"

namespace platform::macos {

// The run-loop mode a seam mode stands for.
inline CFStringRef ModeName(RunLoopMode mode) {
  return mode == RunLoopMode::kCommon ? kCFRunLoopCommonModes : kCFRunLoopDefaultMode;
}

class MacRunLoop final : public RunLoop {
 public:
  // CFRunLoopTimerCreate, scheduled on CFRunLoopGetMain() in the mode asked;
  // a repeating one with a tolerance of a tenth of its interval.
  std::unique_ptr<Timer> AddTimer(double delay_sec, double interval_sec, TimerCallback callback,
                                  void* info, RunLoopMode mode) override;
};

}  // namespace platform::macos
