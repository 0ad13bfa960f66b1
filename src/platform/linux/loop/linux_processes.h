// The hooks' programs on Linux: started with posix_spawn, their end seen
// through a pidfd and their output through the pipe, both served by the
// main loop (no thread, no SIGCHLD handler, nothing polled).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/loop/fd_watch.h"
#include "platform/processes.h"

namespace linux_platform {

class LinuxProcesses : public platform::Processes {
 public:
  // `watcher` (not owned) serves every program's descriptors; it outlives
  // this service and the programs it handed out.
  explicit LinuxProcesses(FdWatcher* watcher) : watcher_(watcher) {}

  // A variable the tool changed in its own environment for itself: programs
  // get `value` instead (none: unset), as the session had it.
  void KeepForPrograms(const std::string& name, std::optional<std::string> value) {
    kept_.emplace_back(name, std::move(value));
  }

  platform::Result<std::unique_ptr<platform::Process>> Start(
      const std::vector<std::string>& argv, const std::vector<std::string>& environment,
      platform::ProcessCallbacks callbacks) override;
  platform::Result<std::string> Locate(const std::string& program) override;

 private:
  FdWatcher* watcher_;
  std::vector<std::pair<std::string, std::optional<std::string>>> kept_;
};

}  // namespace linux_platform
