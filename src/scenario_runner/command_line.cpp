#include "scenario_runner/command_line.h"

#include <filesystem>
#include <system_error>

namespace runner {

std::optional<RunnerOptions> ReadCommandLine(const std::vector<std::string>& args, bool& help) {
  help = args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
  if (args.size() == 1 && !help && args[0] != "--home") return RunnerOptions{"", args[0]};
  if (args.size() == 3 && args[0] == "--home" && !args[1].empty()) {
    std::error_code ec;
    std::string home = std::filesystem::absolute(args[1], ec).string();
    if (ec) home = args[1];
    return RunnerOptions{home, args[2]};
  }
  return std::nullopt;
}

}  // namespace runner
