#include "platform/posix/posix_clock.h"

#include <time.h>

namespace posix {
namespace {

platform::TimeSpec Read(clockid_t id) {
  timespec ts{};
  // Cannot fail for the clocks used here; a zeroed value is the fallback.
  if (clock_gettime(id, &ts) != 0) return {};
  return {static_cast<int64_t>(ts.tv_sec), static_cast<int64_t>(ts.tv_nsec)};
}

}  // namespace

int MonotonicClockId() {
#ifdef CLOCK_BOOTTIME
  return CLOCK_BOOTTIME;
#else
  return CLOCK_MONOTONIC;
#endif
}

platform::TimeSpec MonotonicNow() {
  return Read(static_cast<clockid_t>(MonotonicClockId()));
}

platform::TimeSpec RealtimeNow() {
  return Read(CLOCK_REALTIME);
}

std::tm LocalTimeAt(std::time_t seconds) {
  std::tm out{};
  localtime_r(&seconds, &out);
  return out;
}

std::tm LocalTimeNow() {
  return LocalTimeAt(std::time(nullptr));
}

}  // namespace posix
