// The command lines: the tool's own flags, read by HasArgument and by the
// option table of ParseCommandLine from any argument vector, and the
// runner's [--home DIR] SCENARIO. The input's NUL
// bytes cut it into arguments.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "commands/command_line.h"
#include "fuzz_support.h"
#include "scenario_runner/command_line.h"

namespace {

// What HasArgument must answer: an exact, whole, case-sensitive match
// anywhere after the program name.
bool Expected(const std::vector<std::string>& words, const std::string& name) {
  return words.size() > 1 && std::find(words.begin() + 1, words.end(), name) != words.end();
}

void ToolFlags(const std::vector<std::string>& words) {
  // A C argument vector of the words, NULL-terminated as main receives it.
  std::vector<std::string> storage = words;
  std::vector<char*> argv;
  for (std::string& word : storage) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  for (const char* flag : {"--console", "--service"}) {
    fuzz::Check(HasArgument(argc, argv.data(), flag) == Expected(words, flag),
                "a flag is found exactly where it is given");
  }
  // The last word as the name looked for: prefixes, case and empty names.
  if (!words.empty()) {
    const std::string& name = words.back();
    fuzz::Check(HasArgument(argc, argv.data(), name.c_str()) == Expected(words, name),
                "any name is found exactly where it is given");
  }
  fuzz::Check(!HasArgument(argc, argv.data(), nullptr), "no name is never found");
  fuzz::Check(!HasArgument(std::min(argc, 1), argv.data(), "--console"),
              "the program name alone holds no flag");
  fuzz::Check(!HasArgument(-argc - 1, argv.data(), "--console"), "a negative count holds none");

  // The option table reads the same flags, and refuses exactly the words
  // that are none of its names.
  const CommandLine ignored = ParseCommandLine(argc, argv.data(), UnknownArguments::kIgnore);
  const CommandLine refused = ParseCommandLine(argc, argv.data(), UnknownArguments::kRefuse);
  fuzz::Check(!ignored.unknown, "ignoring never names an argument");
  for (const CommandLine* c : {&ignored, &refused}) {
    fuzz::Check(c->console == Expected(words, "--console"), "--console as HasArgument finds it");
    fuzz::Check(c->service == Expected(words, "--service"), "--service as HasArgument finds it");
    fuzz::Check(c->help == (Expected(words, "--help") || Expected(words, "-h")), "--help or -h");
    fuzz::Check(c->version == (Expected(words, "--version") || Expected(words, "-V")),
                "--version or -V");
  }
  const char* known[] = {"--console", "--service", "--help", "-h",         "--version", "-V",
                         "--switch",  "--status",  "--json", "--diagnose", "--quit"};
  const auto first_unknown =
      words.size() > 1 ? std::find_if(words.begin() + 1, words.end(),
                                      [&known](const std::string& w) {
                                        return std::none_of(std::begin(known), std::end(known),
                                                            [&w](const char* k) { return w == k; });
                                      })
                       : words.end();
  fuzz::Check(refused.unknown.has_value() == (first_unknown != words.end()),
              "an argument is refused exactly when it is no option");
  if (refused.unknown && first_unknown != words.end()) {
    fuzz::Check(*refused.unknown == *first_unknown, "the first unknown argument is the one named");
  }
}

void RunnerCommandLine(const std::vector<std::string>& args) {
  bool help = true;
  const auto options = runner::ReadCommandLine(args, help);
  const bool asked = args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
  fuzz::Check(help == asked, "help is only --help or -h alone");
  if (args.size() == 1) {
    fuzz::Check(options.has_value() == (!asked && args[0] != "--home"),
                "one argument is the scenario, unless it asks for help or names no home");
    if (options) {
      fuzz::Check(options->home.empty(), "no --home: a fresh sandbox");
      fuzz::Check(options->scenario == args[0], "the scenario is the argument");
    }
    return;
  }
  if (args.size() == 3 && args[0] == "--home" && !args[1].empty()) {
    fuzz::Check(options.has_value(), "--home DIR SCENARIO is taken");
    fuzz::Check(options->scenario == args[2], "the scenario is the last argument");
    fuzz::Check(!options->home.empty(), "the home is kept");
    fuzz::Check(options->home[0] == '/' || options->home == args[1],
                "the home is made absolute, or kept as given");
    if (args[1][0] == '/') {
      fuzz::Check(options->home == args[1], "an absolute home is kept as given");
    }
    return;
  }
  fuzz::Check(!options.has_value(), "any other command line gets the usage");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = fuzz::Words(data, size);
  ToolFlags(words);
  // The runner reads the arguments after its program name.
  if (!words.empty()) words.erase(words.begin());
  RunnerCommandLine(words);
  return 0;
}
