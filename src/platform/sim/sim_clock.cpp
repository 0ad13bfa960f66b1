#include "platform/sim/sim_clock.h"

#include "platform/posix/posix_clock.h"

namespace sim {
namespace {

bool IsUnset(const std::tm& t) {
  return t.tm_year == 0 && t.tm_mon == 0 && t.tm_mday == 0 && t.tm_hour == 0 && t.tm_min == 0 &&
         t.tm_sec == 0;
}

std::time_t ToWall(const std::tm& start_local) {
  std::tm t = start_local;
  if (IsUnset(t)) {
    t = std::tm{};
    t.tm_year = 2025 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
  }
  t.tm_isdst = -1;  // let the zone's rules decide
  return std::mktime(&t);
}

platform::TimeSpec Split(int64_t base_sec, uint64_t ms) {
  return {base_sec + static_cast<int64_t>(ms / 1000), static_cast<int64_t>(ms % 1000) * 1000000};
}

}  // namespace

SimClock::SimClock(const Scheduler& scheduler, const std::tm& start_local)
    : scheduler_(scheduler), start_wall_(ToWall(start_local)) {}

platform::TimeSpec SimClock::Monotonic() {
  return Split(kMonotonicBaseSec, scheduler_.Now());
}

platform::TimeSpec SimClock::Realtime() {
  return Split(static_cast<int64_t>(start_wall_), scheduler_.Now());
}

std::tm SimClock::LocalTime() {
  return posix::LocalTimeAt(start_wall_ + static_cast<std::time_t>(scheduler_.Now() / 1000));
}

}  // namespace sim
