// The entry point: flags, the single-instance lock, the start-up choice and
// the login agent, then the run loop with the one delegate.
#include "app/startup.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/settings_reload.h"
#include "commands/command_line.h"
#include "commands/commands.h"
#include "gestures/event_tap.h"
#include "gestures/settings_start.h"
#include "hub/hub_hooks.h"
#include "hub/switch_check.h"
#include "output/keep_running.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"
#include "shared/product.h"
#include "shared/tool_state.h"
#include "ui/alerts.h"
#include "ui/app_delegate.h"

bool gStartedFromService = false;
bool gInstalledServiceThisRun = false;
std::unique_ptr<ZRNAppDelegate> gAppDelegate;

namespace {
// What ToolMain returns once the loop is over: 0, or the failure that ended
// the run (EndRunWithStatus).
int gRunExitStatus = 0;
}  // namespace

void ResetStartup() {
  gStartedFromService = false;
  gInstalledServiceThisRun = false;
  gAppDelegate.reset();
  gRunExitStatus = 0;
}

namespace {
const ToolStateMember kStartupState{
    "gStartedFromService, gInstalledServiceThisRun, gAppDelegate, gRunExitStatus", &ResetStartup,
    [] {
      return !gStartedFromService && !gInstalledServiceThisRun && !gAppDelegate &&
             gRunExitStatus == 0;
    },
    kToolStateRunning};
}  // namespace

namespace {

// What PromptStartupAction answers.
constexpr int kActionCancel = 0;
constexpr int kActionInstall = 2;

// Exit statuses: 1 for a failed install, and (EndRunWithStatus) for a run
// that could not read any input device.
constexpr int kExitOk = 0;
constexpr int kExitInstallFailed = 1;

}  // namespace

bool HasArgument(int count, char* arguments[], const char* name) {
  if (!arguments || !name) return false;
  for (int i = 1; i < count; ++i) {
    if (arguments[i] && std::strcmp(arguments[i], name) == 0) return true;
  }
  return false;
}

int PromptStartupAction() {
  platform::Ui& ui = *platform::Sys().ui;
  ui.ActivateIgnoringOtherApps();
  platform::AlertSpec alert;
  alert.message_text = kProductName;
  alert.informative_text = "Choose how to start the program.";
  alert.buttons = {"Install as a Service", "Start Program", "Cancel"};
  switch (ui.RunModalAlert(alert)) {
    case platform::kAlertFirstButtonReturn:
      return 2;
    case platform::kAlertSecondButtonReturn:
      return 1;
    default:
      return 0;
  }
}

void EndRunWithStatus(int status) {
  gRunExitStatus = status;
  platform::Sys().app->TerminateAndReturn();
}

int ToolMain(int argc, char* argv[]) {
  KeepRunningWhenOutputGoes();

  // The platform's entry point has refused or answered everything else
  // (--help, --version, unknown arguments) before the services existed.
  const CommandLine command_line = ParseCommandLine(argc, argv, UnknownArguments::kIgnore);
  if (command_line.console) gConsoleMode = true;
  gStartedFromService = command_line.service;

  // A one-shot command runs beside any resident instance: no lock, no
  // start-up choice, no tray.
  const CommandChoice command = ChooseCommand(command_line);
  if (!command.error.empty()) {
    // Where the platform's entry point did not refuse it already.
    const CommandLineAnswer answer =
        UsageErrorAnswer(command.error, command_line.status && command_line.json);
    std::fputs(answer.standard_output.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(answer.standard_error.c_str(), stderr);
    std::fflush(stderr);
    return answer.status;
  }
  if (command.command != ToolCommand::kNone) return RunCommand(command);

  platform::App& app = *platform::Sys().app;
  app.SetActivationPolicyAccessory();

  std::string message;
  if (!AcquireSingleInstanceLock(&message)) {
    ShowAlert(message.c_str());
    return kExitOk;
  }

  // Read once, by the instance that runs; bad settings are reported and
  // never stop it.
  LoadGestureSettings(gStartedFromService);

  if (!gStartedFromService && !LaunchAgentServiceExists()) {
    const int action = PromptStartupAction();
    if (action == kActionCancel) {
      ReleaseSingleInstanceLock();
      return kExitOk;
    }
    if (action == kActionInstall) {
      if (!InstallLaunchAgent(&message)) {
        // The lock stays held while the alert is up.
        ShowAlert(message.c_str());
        ReleaseSingleInstanceLock();
        return kExitInstallFailed;
      }
      gInstalledServiceThisRun = true;
    }
  }

  gRunExitStatus = kExitOk;
  gAppDelegate = std::make_unique<ZRNAppDelegate>();
  app.SetDelegate(gAppDelegate.get());
  app.Run();

  // The loop came back: the terminate request has run its hook, or the
  // platform stopped the loop without one. Nothing platform-made may outlive
  // this function: the tap and timers go first (a no-op after the hook),
  // then the delegate with its status item and menu. The lock is not given
  // back here; where no hook ran, the end of the process drops it.
  StopSettingsWatch();
  StopEventTap();
  CancelSwitchCheck();
  StopHubHooks();
  app.SetDelegate(nullptr);
  gAppDelegate.reset();
  return gRunExitStatus;
}
