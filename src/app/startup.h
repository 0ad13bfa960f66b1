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
// The run ended because no input device could be read: the tool cannot do
// its job, and a service manager must not see a clean stop.
inline constexpr int kExitInputUnreadable = 1;
// Ends a run that failed: asks the application to terminate, and the tool's
// main returns `status` once the loop is over.
void EndRunWithStatus(int status);
// Puts the variables above, and the status of the run, back to their start
// values (the delegate is destroyed).
void ResetStartup();

// True when an argument after the program name equals `name` exactly.
bool HasArgument(int count, char* arguments[], const char* name);
// Shows the start-up choice: 2 = install as a service, 1 = start, 0 = cancel.
int PromptStartupAction();
// The tool's main, run on the installed platform services: returns the exit
// status. Leaves no platform object alive when it returns.
int ToolMain(int argc, char* argv[]);
