// The command line: the one table of the tool's options, the one reader of
// argv, and the texts of --help and --version.
//
// To add an option: a field in CommandLine and a row in kOptions
// (command_line.cpp); the usage text lists every row. Options that make the
// tool do something other than start belong in AnswerCommandLine's order.
#pragma once

#include <optional>
#include <string>

#include "gestures/gesture_settings.h"

namespace platform {
class Files;
class SettingsSource;
}  // namespace platform

// What to do with an argument that is none of the tool's options.
enum class UnknownArguments {
  // Name it and end with status 2 (Linux: nothing else starts the tool with
  // arguments of its own).
  kRefuse,
  // Skip it without a word (macOS: the system passes its own arguments to
  // an application, such as -psn_0_12345 or "-AppleLanguages (en)" pairs).
  kIgnore,
};

struct CommandLine {
  bool console = false;  // --console
  bool service = false;  // --service
  bool help = false;     // --help, -h
  bool version = false;  // --version, -V
  // The one-shot commands (commands/commands.h).
  bool switch_hub = false;  // --switch
  bool status = false;      // --status
  bool json = false;        // --json, with --status
  bool diagnose = false;    // --diagnose
  bool quit = false;        // --quit
  // The first argument that is none of the options, when unknown arguments
  // are refused; never set when they are ignored.
  std::optional<std::string> unknown;
};

// Reads every argument after the program name. An option matches only whole
// and exactly: "--Console", "-console" and "--console=1" are not --console.
// Options may come in any order and more than once.
CommandLine ParseCommandLine(int argc, char* argv[], UnknownArguments unknown);

// What the usage text says that differs between platforms.
struct UsageContext {
  std::string login_entry;  // the login agent or autostart file
  std::string lock;         // the single-instance lock file
  UnknownArguments unknown_arguments = UnknownArguments::kRefuse;
  std::string settings;  // where the settings come from; empty: none
  // The gestures as the settings make them, for the times --help names.
  GestureSettings gestures = {};
  // The hooks' two setting names as the source spells them.
  std::string hook_left = "on_hub_left";
  std::string hook_arrived = "on_hub_arrived";
};

// The text of --help: the options, the gestures in effect, the files, each
// exit status once.
std::string UsageText(const UsageContext& context);
// The text of --version: the program's name and the project's version.
std::string VersionText();

// The one-shot commands beside the resident tool (app/commands.h).
enum class ToolCommand {
  kNone,      // the resident tool
  kSwitch,    // --switch
  kStatus,    // --status [--json]
  kDiagnose,  // --diagnose
  kQuit,      // --quit
};

struct CommandChoice {
  ToolCommand command = ToolCommand::kNone;
  bool json = false;
  // Started at login (--service): nobody reads standard error.
  bool service = false;
  // Set when the arguments do not make one command: the line to print.
  std::string error;
};

// Which command the command line asks for.
CommandChoice ChooseCommand(const CommandLine& command_line);

// What the command line answers without starting the tool.
struct CommandLineAnswer {
  int status = 0;
  std::string standard_output;
  std::string standard_error;
};

// Exit status for a command line the tool does not understand.
inline constexpr int kExitUsage = 2;

// A command line the tool does not understand: on standard error the
// program's name with `error` and where to read more, status 2; with
// `json` (--status --json) also the JSON object with the error on standard
// output.
CommandLineAnswer UsageErrorAnswer(const std::string& error, bool json);

// An unknown argument is refused first, then arguments that make no single
// command: one line and the pointer to --help on standard error, status 2
// (and, for --status --json, the JSON object with the error on standard
// output); then --help, then --version (status 0). None when the tool is to
// start.
std::optional<CommandLineAnswer> AnswerCommandLine(const CommandLine& command_line,
                                                   const UsageContext& context);

// The usage context of the installed services: the login entry and lock of
// the files service, the place of the settings source and the gestures it
// sets (its problems are not reported here).
UsageContext InstalledUsageContext(UnknownArguments unknown);

// For the platform's main, before anything else starts: answers --help,
// --version and unknown arguments on the standard streams, with the paths of
// `files` and the place of `settings` (none: the platform has none),
// installed only for that, and the services put back after. The status to
// end with; none when the tool is to start.
std::optional<int> AnswerBeforeStart(int argc, char* argv[], UnknownArguments unknown,
                                     platform::Files& files,
                                     platform::SettingsSource* settings = nullptr);
