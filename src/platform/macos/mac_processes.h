// The hooks' programs on macOS: started with posix_spawn, their end and
// their output seen through dispatch sources on the main queue, which the
// main run loop serves in its common modes (no thread of the tool's own).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace platform::macos {

class MacProcesses final : public Processes {
 public:
  Result<std::unique_ptr<Process>> Start(const std::vector<std::string>& argv,
                                         const std::vector<std::string>& environment,
                                         ProcessCallbacks callbacks) override;
  Result<std::string> Locate(const std::string& program) override;
};

}  // namespace platform::macos
