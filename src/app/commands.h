// One-shot commands beside the resident tool: switch now, read the hub's
// state, and check what a switch by gesture needs. None of them takes the
// single-instance lock, starts the tray, asks the start-up question or
// installs anything, so they work while the resident tool runs.
#pragma once

#include <string>

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
  // Set when the arguments do not make one command: the line to print.
  std::string error;
};

// Exit statuses of the commands.
inline constexpr int kCommandOk = 0;
inline constexpr int kCommandFailed = 1;  // --switch failed; --status: no hub; --quit: none ended
inline constexpr int kCommandHubUnreadable = 2;   // --status: found, not opened or read
inline constexpr int kCommandSwitchNotTaken = 3;  // --switch: the hub stayed
inline constexpr int kCommandUsage = 2;           // the arguments make no single command

struct CommandLine;

// Which command the command line asks for.
CommandChoice ChooseCommand(const CommandLine& command_line);
// Runs a command (not kNone) on the installed services; the exit status.
int RunCommand(const CommandChoice& choice);

// The commands themselves.
int RunSwitchCommand();
int RunStatusCommand(bool json);
int RunDiagnoseCommand();
int RunQuitCommand();

// Writes `line` and, when not empty, `fix` on standard error, one line each.
void PrintFailure(const std::string& line, const std::string& fix);
// A failure of the hub's road, whose line and fix are on the console
// already when --console is on: written on standard error only when it is
// off, so that no line shows twice.
void PrintHubFailure(const std::string& line, const std::string& fix);
// A path under the home folder, written from "~/" on; any other as it is.
std::string HomeShortPath(const std::string& path);
// The one line of --status --json for a failure: the hub it looks for, the
// error and its fix, and `members` (more ,"key":value pairs, or ""), as a
// JSON object, with its newline.
std::string StatusErrorJson(const std::string& error, const std::string& fix,
                            const std::string& members = "");
