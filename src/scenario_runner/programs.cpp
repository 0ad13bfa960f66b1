#include "scenario_runner/programs.h"

#include <string>
#include <utility>

namespace runner {

std::optional<std::string> ProgramLine(const Tokens& t, Setup& setup) {
  const std::string usage =
      "'program' takes a name, then 'not-executable' or 'runs MS' with optional 'exit S', "
      "'ignores-term' and 'says WORDS...' last";
  if (t.size() < 3) return usage;
  sim::SimProgram program;
  program.name = std::string(t[1]);
  if (t.size() == 3 && t[2] == "not-executable") {
    program.executable = false;
    setup.programs.push_back(std::move(program));
    return std::nullopt;
  }
  auto ms = t.size() >= 4 && t[2] == "runs" ? Decimal(t[3], kMaxScenarioMs) : std::nullopt;
  if (!ms) return usage;
  program.runs_ms = *ms;
  for (size_t i = 4; i < t.size(); ++i) {
    if (t[i] == "exit" && i + 1 < t.size()) {
      auto status = Decimal(t[++i], 255);
      if (!status) return usage;
      program.exit_status = static_cast<int>(*status);
    } else if (t[i] == "ignores-term") {
      program.ignores_term = true;
    } else if (t[i] == "says" && i + 1 < t.size()) {
      program.says.push_back(JoinFrom(t, i + 1));
      break;
    } else {
      return usage;
    }
  }
  setup.programs.push_back(std::move(program));
  return std::nullopt;
}

}  // namespace runner
