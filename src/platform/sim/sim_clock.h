// The simulated clocks: monotonic and wall time both follow virtual time.
#pragma once

#include <ctime>

#include "platform/clock.h"
#include "platform/sim/sim_scheduler.h"

namespace sim {

class SimClock : public platform::Clock {
 public:
  // `start_local` is the local wall-clock time at T 0; all-zero fields mean
  // 2025-03-05 09:07:03.
  SimClock(const Scheduler& scheduler, const std::tm& start_local);

  platform::TimeSpec Monotonic() override;
  platform::TimeSpec Realtime() override;
  std::tm LocalTime() override;

  // The monotonic clock's reading at T 0, in seconds: never zero, so that a
  // stored time of 0 always means "none".
  static constexpr int64_t kMonotonicBaseSec = 86400;

 private:
  const Scheduler& scheduler_;
  std::time_t start_wall_;
};

}  // namespace sim
