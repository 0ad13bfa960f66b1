#include "commands/commands.h"

#include <string>
#include <utility>

#include "commands/command_failure.h"
#include "commands/command_line.h"
#include "gestures/settings_start.h"
#include "hub/hub_failure.h"
#include "hub/hub_hooks.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "shared/product.h"
#include "shared/tool_state.h"

namespace {

constexpr const char* kSwitchSource = "command line";

// How long --quit waits for the instance to end: its termination hook only
// stops input watching and gives the lock back.
constexpr int kQuitWaitMs = 5000;

// Runs the loop while a switch is being checked, and ends it when the check
// is over. The launch hook has nothing to do: the check was started before
// the loop.
class SwitchWait : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override {}
  void applicationWillTerminate() override {
    CancelSwitchCheck();
    StopHubHooks();
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
};

int gSwitchCommandStatus = kCommandOk;
bool gSwitchCheckRunning = false;
const ToolStateMember kSwitchCommandState{
    "gSwitchCommandStatus, gSwitchCheckRunning",
    [] {
      gSwitchCommandStatus = kCommandOk;
      gSwitchCheckRunning = false;
    },
    [] { return gSwitchCommandStatus == kCommandOk && !gSwitchCheckRunning; }};

// The command ends when the check is over and the hub's lock has been kept
// for the debounce: a --switch that ended at once would let the next one,
// from any process, switch straight back.
void EndWhenDone() {
  if (!gSwitchCheckRunning && !SwitchLockKept()) platform::Sys().app->Terminate();
}

void OnSwitchChecked(SwitchCheckResult result) {
  if (result == SwitchCheckResult::kStayed) {
    const HubFailure not_taken(HubFailureKind::kNotTaken);
    PrintHubFailure(not_taken);
    NoticeHubFailureUnlessSeen(not_taken);
    gSwitchCommandStatus = kCommandSwitchNotTaken;
  } else {
    gSwitchCommandStatus = kCommandOk;
  }
  // The hook for the hub's leaving, started by the verdict, ends first.
  WhenHubHooksIdle([] {
    gSwitchCheckRunning = false;
    EndWhenDone();
  });
}

}  // namespace

int RunCommand(const CommandChoice& choice) {
  switch (choice.command) {
    case ToolCommand::kSwitch:
      return RunSwitchCommand(choice.service);
    case ToolCommand::kStatus:
      return RunStatusCommand(choice.json);
    case ToolCommand::kDiagnose:
      return RunDiagnoseCommand();
    case ToolCommand::kQuit:
      return RunQuitCommand();
    case ToolCommand::kNone:
      break;
  }
  return kCommandUsage;
}

std::string HomeShortPath(const std::string& path) {
  const std::string home = platform::Sys().files->HomeDirectory();
  if (home.empty() || home == "/" || path.compare(0, home.size() + 1, home + "/") != 0) {
    return path;
  }
  // Appended, not joined with +: optimised g++ 12 builds warn on the join.
  std::string shortened = "~";
  shortened.append(path, home.size(), std::string::npos);
  return shortened;
}

int RunSwitchCommand(bool started_from_service) {
  // As a gesture does it, minus the debounce: one request per process;
  // the hook for the hub's leaving runs as it does for a gesture.
  LoadGestureSettings(started_from_service);
  StartHubHooks(SettingsNames());
  showMsg("Switch (%s)\n", kSwitchSource);
  SwitchRequest request;
  request.checked = true;
  request.on_checked = &OnSwitchChecked;
  SwitchOutcome outcome = SwitchHubPort(std::move(request));
  if (!outcome.written || !outcome.checking) StopHubHooks();
  if (outcome.dropped) {
    PrintFailure(kSwitchDroppedLine, "");
    return kCommandSwitchDropped;
  }
  if (!outcome.written) {
    PrintHubFailure(*outcome.failure);
    NoticeHubFailureUnlessSeen(*outcome.failure);
    return kCommandFailed;
  }
  // Where the platform cannot watch, the switch counts as taken.
  gSwitchCheckRunning = outcome.checking;
  if (!gSwitchCheckRunning && !SwitchLockKept()) return kCommandOk;

  // Wait on the run loop for the hub to leave, or for the deadline, and
  // for the end of the debounce. A loop that ends without the check's
  // verdict has not seen the hub go.
  gSwitchCommandStatus = gSwitchCheckRunning ? kCommandSwitchNotTaken : kCommandOk;
  SetSwitchLockReleasedHook(&EndWhenDone);
  SwitchWait wait;
  platform::App& app = *platform::Sys().app;
  app.SetDelegate(&wait);
  app.Run();
  app.SetDelegate(nullptr);
  SetSwitchLockReleasedHook(nullptr);
  CancelSwitchCheck();  // where the loop ended otherwise
  StopHubHooks();
  ReleaseSwitchLock();
  gSwitchCheckRunning = false;
  return gSwitchCommandStatus;
}

int RunQuitCommand() {
  const platform::QuitAttempt attempt =
      platform::Sys().files->AskInstanceToQuit(kAgentLabel, kQuitWaitMs);
  const std::string product = kProductName;
  switch (attempt.answer) {
    case platform::QuitAnswer::kEnded:
      return kCommandOk;
    case platform::QuitAnswer::kNoneRunning:
      PrintFailure(
          product + " is not running (" + HomeShortPath(SingleInstanceLockPath()) + " is free).",
          "");
      return kCommandFailed;
    case platform::QuitAnswer::kStillRunning:
      PrintFailure(product + " was asked to end, but had not ended after " +
                       std::to_string(kQuitWaitMs / 1000) + " s (" + attempt.reason + ").",
                   "It may be showing a message: answer it, or choose Exit in its tray menu.");
      return kCommandFailed;
    case platform::QuitAnswer::kNotAsked:
      break;
  }
  PrintFailure("Cannot ask " + product + " to end: " + attempt.reason + ".",
               "Choose Exit in its tray menu, or double-tap Q.");
  return kCommandFailed;
}
