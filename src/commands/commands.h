// One-shot commands beside the resident tool: switch now, read the hub's
// state, and check what a switch by gesture needs. None of them takes the
// single-instance lock, starts the tray, asks the start-up question or
// installs anything, so they work while the resident tool runs.
#pragma once

#include <string>

#include "commands/command_diagnose.h"
#include "commands/command_output.h"
#include "commands/command_status.h"

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

// Runs a command (not kNone) on the installed services; the exit status.
int RunCommand(const CommandChoice& choice);

// The commands of this file; --status and --diagnose have files of their own.
int RunSwitchCommand();
int RunQuitCommand();
