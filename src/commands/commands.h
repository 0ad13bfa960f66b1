// One-shot commands beside the resident tool: switch now, read the hub's
// state, and check what a switch by gesture needs. None of them takes the
// single-instance lock, starts the tray, asks the start-up question or
// installs anything, so they work while the resident tool runs.
#pragma once

#include <string>

#include "commands/command_line.h"

// Exit statuses of the commands.
inline constexpr int kCommandOk = 0;
inline constexpr int kCommandFailed = 1;  // --switch failed; --status: no hub; --quit: none ended
inline constexpr int kCommandHubUnreadable = 2;   // --status: found, not opened or read
inline constexpr int kCommandSwitchNotTaken = 3;  // --switch: the hub stayed
// --switch: dropped, because another process switched the hub within the
// debounce (its switch stands for this one).
inline constexpr int kCommandSwitchDropped = 4;
inline constexpr int kCommandUsage = 2;  // the arguments make no single command

// Runs a command (not kNone) on the installed services; the exit status.
int RunCommand(const CommandChoice& choice);

// The commands themselves.
// `started_from_service`: nobody reads standard error (see LoadGestureSettings).
int RunSwitchCommand(bool started_from_service);
int RunStatusCommand(bool json);
int RunDiagnoseCommand();
int RunQuitCommand();

// A path under the home folder, written from "~/" on; any other as it is.
std::string HomeShortPath(const std::string& path);
