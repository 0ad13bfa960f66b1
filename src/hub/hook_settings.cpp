#include "hub/hook_settings.h"
#include "shared/setting_words.h"

#include <string>

namespace {

using platform::SettingValue;

// What a value is, for the line that refuses it; texts are not repeated
// (a hook's arguments may be long).
std::string WhatItIs(const SettingValue& value) {
  return DescribeSettingValue(value, "a single string");
}

std::optional<std::string> Refusal(const SettingValue& value, const std::string& name,
                                   platform::SettingNames names) {
  const std::string off = "; the hook stays off";
  const std::string example = names == platform::SettingNames::kCamelCase
                                  ? "(-array m1ddc set input 15)"
                                  : "(" + name + " = [\"ddcutil\", \"setvcp\", \"60\", \"0x0f\"])";
  if (value.kind != SettingValue::Kind::kList) {
    return name + " must be an array of strings, the program and its arguments " + example +
           ", not " + WhatItIs(value) + off;
  }
  if (value.items.size() > kMaxHookArguments) {
    return name + " has " + std::to_string(value.items.size()) + " items, more than " +
           std::to_string(kMaxHookArguments) + off;
  }
  for (size_t i = 0; i < value.items.size(); ++i) {
    const SettingValue& item = value.items[i];
    const std::string which = name + " item " + std::to_string(i + 1);
    if (item.kind != SettingValue::Kind::kText) {
      return which + " must be a string, not " + WhatItIs(item) + off;
    }
    if (item.text.find('\0') != std::string::npos) {
      return which + " holds a zero byte, which no argument can carry" + off;
    }
    if (item.text.size() > kMaxHookArgumentBytes) {
      return which + " is longer than " + std::to_string(kMaxHookArgumentBytes) + " bytes" + off;
    }
  }
  if (!value.items.empty() && value.items[0].text.empty()) {
    return name + " names no program (its first item is empty)" + off;
  }
  return std::nullopt;
}

}  // namespace

const char* HookSettingName(HubEvent event, platform::SettingNames names) {
  const bool camel = names == platform::SettingNames::kCamelCase;
  if (event == HubEvent::kLeft) return camel ? "OnHubLeft" : "on_hub_left";
  return camel ? "OnHubArrived" : "on_hub_arrived";
}

HookSettingCheck CheckHookSetting(const platform::SettingEntry& entry, platform::SettingNames names,
                                  HubHooks& hooks, const HubHooks& kept) {
  HookSettingCheck check;
  for (HubEvent event : {HubEvent::kLeft, HubEvent::kArrived}) {
    const std::string name = HookSettingName(event, names);
    if (entry.key != name) continue;
    check.known = true;
    std::vector<std::string>& argv = event == HubEvent::kLeft ? hooks.on_left : hooks.on_arrived;
    argv.clear();
    check.problem = Refusal(entry.value, name, names);
    if (check.problem) {
      // The hook in force stays; "stays off" is said only where it is off.
      argv = kept.For(event);
      if (!argv.empty()) {
        const std::string off = "; the hook stays off";
        check.problem->replace(check.problem->size() - off.size(), off.size(),
                               "; the hook stays as it was");
      }
      return check;
    }
    for (const SettingValue& item : entry.value.items) argv.push_back(item.text);
  }
  return check;
}
