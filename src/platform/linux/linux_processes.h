// The hooks' programs on Linux: started with posix_spawn, their end seen
// through a pidfd and their output through the pipe, both served by the
// main loop (no thread, no SIGCHLD handler, nothing polled).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/fd_watch.h"
#include "platform/processes.h"

namespace linux_platform {

class LinuxProcesses : public platform::Processes {
 public:
  // `watcher` (not owned) serves every program's descriptors; it outlives
  // this service and the programs it handed out.
  explicit LinuxProcesses(FdWatcher* watcher) : watcher_(watcher) {}

  platform::Result<std::unique_ptr<platform::Process>> Start(
      const std::vector<std::string>& argv, const std::vector<std::string>& environment,
      platform::ProcessCallbacks callbacks) override;
  platform::Result<std::string> Locate(const std::string& program) override;

 private:
  FdWatcher* watcher_;
};

}  // namespace linux_platform
