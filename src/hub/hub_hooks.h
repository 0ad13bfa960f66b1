// The hooks at work: the hub watched as it leaves and arrives, whoever moved
// it, and the user's program for that event started without waiting, its
// output passed on, its end told, and a run over its time limit ended.
// Nothing here runs, and nothing is watched, while no hook is set.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hub/hook_settings.h"
#include "platform/usb.h"

// How the tool learnt of the change.
enum class HubSeenBy {
  kSwitch,  // its own switch moved the hub away
  kBus,     // the bus told it (the other computer, a cable)
};

// The names of the variables a hook finds in its environment.
inline constexpr const char* kHookEventVariable = "QUEMBRASTELLA_HUB_EVENT";     // left, arrived
inline constexpr const char* kHookSeenByVariable = "QUEMBRASTELLA_HUB_SEEN_BY";  // switch, bus
inline constexpr const char* kHookIdVariable = "QUEMBRASTELLA_HUB_ID";           // 2109:8822
inline constexpr const char* kHookBusVariable = "QUEMBRASTELLA_HUB_BUS";         // 1
inline constexpr const char* kHookPortVariable = "QUEMBRASTELLA_HUB_PORT";       // 4.2

// What a hook's environment adds for one change ("NAME=VALUE" each); the
// bus and port only where the platform numbers them.
std::vector<std::string> HookEnvironment(HubEvent event, HubSeenBy seen_by,
                                         const std::optional<platform::UsbLocation>& location);

// What to do about a hook whose program cannot be run, without a full stop:
// "Check that PROGRAM is installed and can be run, or correct SETTING in
// LOCATION".
std::string HookFix(const std::string& program, const std::string& setting);

// The hooks in force; none until start-up has read the user's. Set while
// the hooks run, the new programs serve the next change.
const HubHooks& HubHooksInForce();
void SetHubHooks(const HubHooks& hooks);

// With a hook in force, starts watching the hub come and go; where the
// platform cannot watch, only the checked switch's verdict counts. The hub
// as it is now is no change. Only the hub the tool uses counts: another
// device with its IDs (a second switch, a dock) comes and goes unheard, and
// while several leave the tool choosing none, none does. `settings_names`
// spells the hooks' names in lines.
void StartHubHooks(platform::SettingNames settings_names);
// Stops watching and forgets every hook's state; a program still running
// goes on by itself, unwatched.
void StopHubHooks();
// The hub setting changed: the hub in use may be another one, where it is
// unknown until the bus tells.
void HubChoiceChanged();
// The checked switch saw the hub leave this computer.
void HubLeftBySwitch();
// A change the platform's watch reported.
void HubPresenceChanged(const platform::UsbPresenceChange& change);
// Whether a hook runs or waits to run.
bool HubHooksBusy();
// Calls `idle` once no hook runs or waits (at once when none does).
void WhenHubHooksIdle(std::function<void()> idle);
