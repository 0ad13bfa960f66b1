// The delegate's lifecycle hooks: launch (status item, input watching,
// banner, the started notice) and termination (input watching off, lock
// back).
#include <string>

#include "app/settings_reload.h"
#include "app/startup.h"
#include "gestures/event_tap.h"
#include "gestures/settings_start.h"
#include "hub/hub_hooks.h"
#include "hub/switch_check.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"
#include "shared/product.h"
#include "ui/alerts.h"
#include "ui/app_delegate.h"

namespace {
constexpr const char* kTapRefusedAlert =
    "Cannot create event tap. Please enable Accessibility permission for this program in "
    "System Settings.";
}  // namespace

void ZRNAppDelegate::applicationDidFinishLaunching() {
  setupStatusItem();
  // Where no panel shows the item, the user still learns the gestures in
  // force and how to end the tool.
  if (platform::StatusItem* item = statusItem()) {
    item->SetNoTrayNotice(NoTrayNoticeText(GestureSettingsInForce()));
  }

  if (StartEventTap()) {
    ShowToolHeader();
    showMsg("%s", GestureUsageLines(GestureSettingsInForce()).c_str());
    if (platform::Usb* usb = platform::Sys().usb) usb->PrepareForSwitch();
    StartHubHooks(SettingsNames());
    // From here on a changed settings file applies at once.
    StartSettingsWatch();
    // Said once everything runs: the hub's coming and going is heard, and
    // the settings are followed.
    showMsg("Running...\n");
    if (!gStartedFromService) {
      if (gInstalledServiceThisRun) {
        // The platform's words where the agent may not start at login.
        platform::Files& files = *platform::Sys().files;
        std::string installed =
            files.AgentInstalledNotice(LaunchAgentPlistPath(), files.ExecutablePath().value_or(""));
        if (installed.empty()) installed = "Installed as a service and started successfully.";
        ShowAlert(installed.c_str());
      } else {
        const std::string started = std::string(kProductName) + " started successfully.";
        ShowAlert(started.c_str());
      }
    }
    return;
  }

  // A platform whose permission is not Accessibility says it in its words.
  platform::Input& input = *platform::Sys().input;
  const std::string line = input.RefusedTapLine();
  if (line.empty()) {
    showMsg("Cannot create event tap (enable Accessibility)\n");
  } else {
    showMsg("%s\n", line.c_str());
  }
  std::string alert = input.RefusedTapAlert();
  if (alert.empty()) alert = kTapRefusedAlert;
  // Where the platform knows a more precise way to allow input watching,
  // say it too, on the console and in the alert (once, where the alert is
  // written to the terminal as well).
  const std::string fix = input.RefusedTapFix();
  if (!fix.empty()) {
    if (!platform::Sys().ui->AlertsAreText()) showMsg("%s\n", fix.c_str());
    alert += "\n" + fix;
  }
  ShowAlert(alert.c_str());
  // Without input the tool cannot do its job: the end is a failure, which
  // the tool's main returns once the loop is over.
  EndRunWithStatus(kExitInputUnreadable);
}

void ZRNAppDelegate::applicationWillTerminate() {
  StopSettingsWatch();
  StopEventTap();
  CancelSwitchCheck();
  StopHubHooks();
  ReleaseSingleInstanceLock();
}

bool ZRNAppDelegate::applicationShouldTerminateAfterLastWindowClosed() {
  return false;
}
