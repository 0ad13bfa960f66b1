// The tool's entry point and its start-up choices.
#pragma once

#include <memory>

class ZRNAppDelegate;

// Set from "--service" on the command line, once, before anything reads it.
extern bool gStartedFromService;
// Set when InstallLaunchAgent succeeded during this start.
extern bool gInstalledServiceThisRun;
// The one application delegate, created by the entry point.
extern std::unique_ptr<ZRNAppDelegate> gAppDelegate;
// Puts the three variables above back to their start values (the delegate
// is destroyed).
void ResetStartup();

// True when an argument after the program name equals `name` exactly.
bool HasArgument(int count, char* arguments[], const char* name);
// Shows the start-up choice: 2 = install as a service, 1 = start, 0 = cancel.
int PromptStartupAction();
// The tool's main, run on the installed platform services: returns the exit
// status. Leaves no platform object alive when it returns.
int ToolMain(int argc, char* argv[]);
