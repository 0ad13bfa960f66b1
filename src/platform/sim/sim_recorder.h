// The log of observations, each stamped with its virtual time.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_world.h"

namespace sim {

class Recorder {
 public:
  explicit Recorder(const Scheduler& scheduler) : scheduler_(scheduler) {}
  void Note(std::string text) {
    observations_.push_back({scheduler_.Now(), std::move(text)});
    if (sink_) sink_(observations_.back());
  }
  const std::vector<Observation>& All() const { return observations_; }
  void SetSink(std::function<void(const Observation&)> sink) { sink_ = std::move(sink); }

 private:
  const Scheduler& scheduler_;
  std::vector<Observation> observations_;
  std::function<void(const Observation&)> sink_;
};

}  // namespace sim
