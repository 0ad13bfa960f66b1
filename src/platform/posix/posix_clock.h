// The system clocks through clock_gettime, and local time through
// localtime_r.
#pragma once

#include "platform/clock.h"

namespace posix {

// The monotonic clock; where the system has one that keeps counting while
// the machine sleeps (CLOCK_BOOTTIME), that one.
platform::TimeSpec MonotonicNow();
// The clock_gettime id of the clock MonotonicNow reads, for devices that can
// stamp their events with it.
int MonotonicClockId();
// CLOCK_REALTIME.
platform::TimeSpec RealtimeNow();
// time() broken down in the local time zone.
std::tm LocalTimeNow();
// Breaks a wall-clock second count down in the local time zone.
std::tm LocalTimeAt(std::time_t seconds);

// The three clocks of the real system, for platforms that have nothing
// better.
class SystemClock : public platform::Clock {
 public:
  platform::TimeSpec Monotonic() override { return MonotonicNow(); }
  platform::TimeSpec Realtime() override { return RealtimeNow(); }
  std::tm LocalTime() override { return LocalTimeNow(); }
};

}  // namespace posix
