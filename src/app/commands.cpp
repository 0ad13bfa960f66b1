#include "app/commands.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"

namespace {

constexpr const char* kSwitchSource = "command line";

// Runs the loop while a switch is being checked, and ends it when the check
// is over. The launch hook has nothing to do: the check was started before
// the loop.
class SwitchWait : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override {}
  void applicationWillTerminate() override { CancelSwitchCheck(); }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
};

int gSwitchCommandStatus = kCommandOk;

void OnSwitchChecked(SwitchCheckResult result) {
  if (result == SwitchCheckResult::kStayed) {
    PrintFailure(kSwitchNotTakenLine, kSwitchNotTakenFix);
    gSwitchCommandStatus = kCommandSwitchNotTaken;
  } else {
    gSwitchCommandStatus = kCommandOk;
  }
  platform::Sys().app->Terminate();
}

}  // namespace

CommandChoice ChooseCommand(int argc, char* argv[]) {
  CommandChoice choice;
  int commands = 0;
  for (int i = 1; i < argc && argv != nullptr; ++i) {
    const char* a = argv[i];
    if (a == nullptr) continue;
    ToolCommand named = ToolCommand::kNone;
    if (std::strcmp(a, "--switch") == 0) named = ToolCommand::kSwitch;
    if (std::strcmp(a, "--status") == 0) named = ToolCommand::kStatus;
    if (std::strcmp(a, "--diagnose") == 0) named = ToolCommand::kDiagnose;
    if (std::strcmp(a, "--json") == 0) choice.json = true;
    if (named != ToolCommand::kNone && named != choice.command) {
      choice.command = named;
      ++commands;
    }
  }
  if (commands > 1) {
    choice.command = ToolCommand::kNone;
    choice.error = "Give one of --switch, --status and --diagnose, not several.";
  } else if (choice.json && choice.command != ToolCommand::kStatus) {
    choice.command = ToolCommand::kNone;
    choice.error = "--json goes with --status.";
  }
  return choice;
}

int RunCommand(const CommandChoice& choice) {
  switch (choice.command) {
    case ToolCommand::kSwitch:
      return RunSwitchCommand();
    case ToolCommand::kStatus:
      return RunStatusCommand(choice.json);
    case ToolCommand::kDiagnose:
      return RunDiagnoseCommand();
    case ToolCommand::kNone:
      break;
  }
  return kCommandUsage;
}

void PrintFailure(const std::string& line, const std::string& fix) {
  std::fflush(stdout);  // the console lines before it come first
  std::fprintf(stderr, "%s\n", line.c_str());
  if (!fix.empty()) std::fprintf(stderr, "%s\n", fix.c_str());
  std::fflush(stderr);
}

int RunSwitchCommand() {
  // As a gesture does it, minus the debounce: one request per process.
  showMsg("Switch (%s)\n", kSwitchSource);
  SwitchRequest request;
  request.checked = true;
  request.on_checked = &OnSwitchChecked;
  SwitchOutcome outcome = SwitchHubPort(std::move(request));
  if (!outcome.written) {
    PrintFailure(outcome.failure_line, outcome.fix);
    return kCommandFailed;
  }
  if (!outcome.checking) return kCommandOk;  // the platform cannot watch

  // Wait on the run loop for the hub to leave, or for the deadline.
  // A loop that ends without the check's verdict has not seen the hub go.
  gSwitchCommandStatus = kCommandSwitchNotTaken;
  SwitchWait wait;
  platform::App& app = *platform::Sys().app;
  app.SetDelegate(&wait);
  app.Run();
  app.SetDelegate(nullptr);
  CancelSwitchCheck();  // where the loop ended otherwise
  return gSwitchCommandStatus;
}
