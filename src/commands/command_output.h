// What every one-shot command shares: its exit statuses, and how a failure
// and a path are written.
#pragma once

#include <string>

// Exit statuses of the commands.
inline constexpr int kCommandOk = 0;
inline constexpr int kCommandFailed = 1;  // --switch failed; --status: no hub; --quit: none ended
inline constexpr int kCommandHubUnreadable = 2;   // --status: found, not opened or read
inline constexpr int kCommandSwitchNotTaken = 3;  // --switch: the hub stayed
// --switch: dropped, because another process switched the hub within the
// debounce (its switch stands for this one).
inline constexpr int kCommandSwitchDropped = 4;
inline constexpr int kCommandUsage = 2;  // the arguments make no single command

// Writes `line` and, when not empty, `fix` on standard error, one line each.
void PrintFailure(const std::string& line, const std::string& fix);
// A failure of the hub's road, whose line and fix are on the console
// already when --console is on: written on standard error only when it is
// off, so that no line shows twice.
void PrintHubFailure(const std::string& line, const std::string& fix);
// A path under the home folder, written from "~/" on; any other as it is.
std::string HomeShortPath(const std::string& path);
