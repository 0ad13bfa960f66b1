// quembrastella-sim: runs the whole tool, from its main to its exit, on the
// simulated platform, driven by a scenario file, in virtual time.
//
//   quembrastella-sim [--home DIR] SCENARIO
//
// Standard output carries exactly what the tool writes; standard error the
// runner's record, one "sim: T TEXT" line per observation. The exit status
// is the tool's own, or 2 when the scenario cannot be read or the run cannot
// be set up.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "app/startup.h"
#include "platform/posix/standard_descriptors.h"
#include "scenario_runner/command_line.h"
#include "scenario_runner/parser.h"
#include "scenario_runner/world.h"

namespace {

constexpr int kRunnerFailed = 2;
constexpr const char* kUsage = "usage: quembrastella-sim [--home DIR] SCENARIO\n";

// One line on standard error, written whole and at once.
void Say(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void Record(uint64_t t_ms, const std::string& text) {
  Say("sim: " + std::to_string(t_ms) + " " + text);
}

std::optional<std::string> ReadFile(const std::string& path, std::string& error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = std::strerror(EISDIR);
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return std::nullopt;
  }
  return text.str();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before anything opens a file: a closed standard output must not become
  // the lock file.
  posix::KeepStandardDescriptorsOpen();
  bool help = false;
  std::optional<runner::RunnerOptions> options =
      runner::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), help);
  if (!options) {
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : kRunnerFailed;
  }
  std::string error;
  std::optional<std::string> text = ReadFile(options->scenario, error);
  if (!text) {
    Say("quembrastella-sim: cannot read " + options->scenario + ": " + error +
        " (give the path of a readable scenario file)");
    return kRunnerFailed;
  }
  auto parsed = runner::ParseScenario(*text);
  if (auto* bad = std::get_if<runner::ParseError>(&parsed)) {
    Say("quembrastella-sim: line " + std::to_string(bad->line) + ": " + bad->what);
    return kRunnerFailed;
  }
  const runner::Scenario& scenario = std::get<runner::Scenario>(parsed);

  auto prepared = runner::PrepareWorld(scenario.setup, options->home);
  if (!prepared.ok()) {
    Say("quembrastella-sim: " + prepared.description() +
        " (run without --home, or with --home naming a fresh folder)");
    return kRunnerFailed;
  }
  sim::World& world = *prepared.value();
  runner::ScheduleTimeline(world, scenario);
  world.OnObservation([](const sim::Observation& o) { Record(o.t_ms, o.text); });

  // The tool sees itself as the simulated executable.
  std::string program = world.FilesControl().ExecutablePathValue();
  if (program.empty()) program = argv[0];
  std::vector<std::string> storage{program};
  storage.insert(storage.end(), scenario.setup.args.begin(), scenario.setup.args.end());
  std::vector<char*> tool_argv;
  for (std::string& s : storage) tool_argv.push_back(s.data());
  tool_argv.push_back(nullptr);

  const int status = ToolMain(static_cast<int>(storage.size()), tool_argv.data());
  std::fflush(stdout);
  if (world.HowEnded() == sim::World::Ending::kKilled) {
    Record(world.NowMs(), "end");
    return 0;
  }
  Record(world.NowMs(), "exit " + std::to_string(status));
  return status;
}
