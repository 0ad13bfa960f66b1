// The two hooks a user may set: a program with its arguments, run when the
// hub leaves this computer and when it arrives. Read at start with the
// gesture settings; those in force are the hooks' own (hub_hooks.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/settings.h"

enum class HubEvent { kLeft, kArrived };

// How many arguments, and how long each, a hook may have.
inline constexpr size_t kMaxHookArguments = 64;
inline constexpr size_t kMaxHookArgumentBytes = 4096;

struct HubHooks {
  // argv of each hook; empty: off.
  std::vector<std::string> on_left;
  std::vector<std::string> on_arrived;

  const std::vector<std::string>& For(HubEvent event) const {
    return event == HubEvent::kLeft ? on_left : on_arrived;
  }
  bool Any() const { return !on_left.empty() || !on_arrived.empty(); }
  bool operator==(const HubHooks&) const = default;
};

// A hook's setting name as the source spells it: on_hub_left, OnHubLeft.
const char* HookSettingName(HubEvent event, platform::SettingNames names);

// What a setting meant for the hooks.
struct HookSettingCheck {
  bool known = false;  // the key names a hook
  // Set when the value cannot be used: what is wrong and that the hook
  // stays off ("on_hub_left must be ...; the hook stays off").
  std::optional<std::string> problem;
};

// Checks one entry; a known, valid one is put into `hooks` (an empty list
// turns the hook off). One that cannot be used keeps the hook of `kept`.
HookSettingCheck CheckHookSetting(const platform::SettingEntry& entry, platform::SettingNames names,
                                  HubHooks& hooks, const HubHooks& kept = {});
