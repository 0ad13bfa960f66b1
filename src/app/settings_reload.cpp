#include "app/settings_reload.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/startup.h"
#include "gestures/gesture_settings.h"
#include "gestures/settings_change.h"
#include "gestures/settings_start.h"
#include "hub/hook_settings.h"
#include "hub/hub_choice.h"
#include "hub/hub_hooks.h"
#include "output/show_msg.h"
#include "platform/run_loop.h"
#include "platform/services.h"
#include "platform/settings.h"
#include "shared/tool_state.h"
#include "ui/app_delegate.h"

namespace {

// The watch on the source, while the tool runs; none where the platform
// cannot watch it.
std::unique_ptr<platform::SettingsWatch> gSettingsWatch;
// The one-shot timer of a burst being settled; none while nothing changed.
std::unique_ptr<platform::Timer> gSettingsReadTimer;

void SettingsReadTimerCallback(platform::Timer* timer, void* /*info*/) {
  // A one-shot timer has invalidated itself by now; only forget it.
  if (timer != nullptr && timer == gSettingsReadTimer.get()) gSettingsReadTimer.reset();
  ReloadSettings();
}

}  // namespace

namespace {
const ToolStateMember kSettingsReloadState{"gSettingsWatch, gSettingsReadTimer", &StopSettingsWatch,
                                           [] { return !gSettingsWatch && !gSettingsReadTimer; },
                                           kToolStateRunning};
}  // namespace

void StartSettingsWatch() {
  StopSettingsWatch();
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  std::string failure;
  gSettingsWatch = source->Watch(
      KnownSettingNames(source->Names()), [] { SettingsSourceChanged(); }, &failure);
  if (!gSettingsWatch && !failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::fflush(stderr);
  }
}

void StopSettingsWatch() {
  gSettingsWatch.reset();
  if (gSettingsReadTimer) gSettingsReadTimer->Invalidate();
  gSettingsReadTimer.reset();
}

void SettingsSourceChanged() {
  if (gSettingsReadTimer) return;  // the burst's read is already due
  gSettingsReadTimer = platform::Sys().run_loop->AddTimer(
      kSettingsSettleSec, 0, SettingsReadTimerCallback, nullptr, platform::RunLoopMode::kCommon);
  // Without a timer the change is read at once, burst or not.
  if (!gSettingsReadTimer) ReloadSettings();
}

void ReloadSettings() {
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  const platform::SettingsRead read = source->Read();
  const std::string location = source->Location();
  const SettingsOutcome outcome =
      CheckSettings(read, source->Names(), location, GestureSettingsInForce(), HubHooksInForce(),
                    HubSettingInForce());
  ReportSettingsProblems(outcome.problems, location, gStartedFromService);

  ApplyGestureSettings(outcome.settings);
  // An unreadable file, or a refused value, keeps the hub chosen; one left
  // out chooses none, which never makes a guess.
  if (outcome.hub != HubSettingInForce()) {
    SetHubSetting(outcome.hub);
    HubChoiceChanged();
  }
  const bool hooks_before = HubHooksInForce().Any();
  SetHubHooks(outcome.hooks);
  if (outcome.hooks.Any() && !hooks_before) {
    StartHubHooks(source->Names());
  } else if (!outcome.hooks.Any() && hooks_before) {
    StopHubHooks();
  }
  if (gAppDelegate) {
    if (platform::StatusItem* item = gAppDelegate->statusItem()) {
      item->SetNoTrayNotice(NoTrayNoticeText(GestureSettingsInForce()));
    }
  }

  // A file that is gone holds no choice any more: every default, exactly
  // what the next start would give.
  if (read.absent) {
    showMsg("Settings: %s is gone; every setting is back to its default.\n", location.c_str());
  } else {
    showMsg("Settings: read %s again.\n", location.c_str());
  }
  showMsg("%s", GestureUsageLines(GestureSettingsInForce()).c_str());
}
