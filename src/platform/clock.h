// The clocks the tool reads.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// Seconds and nanoseconds, as clock_gettime reports them.
struct TimeSpec {
  int64_t sec = 0;
  int64_t nsec = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The monotonic clock (keeps counting while the machine sleeps where the
  // system offers such a clock). Never fails.
  virtual TimeSpec Monotonic() = 0;
  // The real-time (wall) clock, as clock_gettime(CLOCK_REALTIME). Never fails.
  virtual TimeSpec Realtime() = 0;
  // The current wall-clock time broken down in the local time zone, as
  // time() followed by localtime().
  virtual std::tm LocalTime() = 0;
};

}  // namespace platform
