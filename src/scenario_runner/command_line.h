// The runner's own command line: [--home DIR] SCENARIO, or --help alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace runner {

struct RunnerOptions {
  std::string home;  // "" = a fresh temporary sandbox
  std::string scenario;
};

// Reads the arguments after the program name. None when they are not a
// command line the runner takes (the usage is then due); `help` tells an
// asked-for usage from a wrong command line. A --home folder is made
// absolute where the current folder allows it.
std::optional<RunnerOptions> ReadCommandLine(const std::vector<std::string>& args, bool& help);

}  // namespace runner
