// The programs the tool starts (its hooks), in virtual time: each declared
// program writes its lines at once and ends after its time, or when TERM
// (unless it ignores it) or KILL comes. Every start, signal and end is
// recorded: "process start NAME ARGS...", "process env NAME=VALUE ...",
// "process signal TERM NAME", "process end NAME status S" or
// "process end NAME signal N".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_world.h"

namespace sim {

class SimProcesses : public platform::Processes {
 public:
  SimProcesses(Scheduler& scheduler, Recorder& recorder)
      : scheduler_(scheduler), recorder_(recorder) {}

  void AddProgram(const SimProgram& program) { programs_[program.name] = program; }

  platform::Result<std::unique_ptr<platform::Process>> Start(
      const std::vector<std::string>& argv, const std::vector<std::string>& environment,
      platform::ProcessCallbacks callbacks) override;
  platform::Result<std::string> Locate(const std::string& program) override;

 private:
  Scheduler& scheduler_;
  Recorder& recorder_;
  std::map<std::string, SimProgram> programs_;
};

}  // namespace sim
