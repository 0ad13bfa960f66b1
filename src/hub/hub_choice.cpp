#include "hub/hub_choice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"
#include "shared/product.h"
#include "shared/setting_words.h"
#include "shared/tool_state.h"

namespace {
std::string gHubSetting;
const ToolStateMember kHubSettingState{"gHubSetting", [] { gHubSetting.clear(); },
                                       [] { return gHubSetting.empty(); }};
}  // namespace

const std::string& HubSettingInForce() {
  return gHubSetting;
}

void SetHubSetting(std::string hub) {
  gHubSetting = std::move(hub);
}

namespace {

using platform::SettingValue;
using platform::UsbCandidate;

bool Camel(platform::SettingNames names) {
  return names == platform::SettingNames::kCamelCase;
}

std::string WhatItIs(const SettingValue& value) {
  return DescribeSettingValue(value, "that string");
}

// `none` ends the line: what becomes of the choice.
std::optional<std::string> Refusal(const SettingValue& value, const std::string& name,
                                   const std::string& none) {
  const std::string what =
      name + " must be a port path (\"1-4.2\"), a location ID (\"0x14200000\") or a serial number";
  if (value.kind != SettingValue::Kind::kText) return what + ", not " + WhatItIs(value) + none;
  if (value.text.empty()) return name + " is empty" + none;
  if (value.text.size() > kMaxHubSettingBytes) {
    return name + " is longer than " + std::to_string(kMaxHubSettingBytes) + " bytes" + none;
  }
  for (const char c : value.text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return name + " holds a control character" + none;
    }
  }
  return std::nullopt;
}

std::string PortPath(const UsbCandidate& candidate) {
  if (!candidate.location) return "";
  return std::to_string(candidate.location->bus) + "-" + candidate.location->port;
}

std::string LocationId(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", id);
  return text;
}

// "0x14200000" in any case; nothing else.
std::optional<uint32_t> ParseLocationId(const std::string& text) {
  if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return std::nullopt;
  }
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return std::nullopt;
  }
  return static_cast<uint32_t>(std::strtoul(text.c_str() + 2, nullptr, 16));
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// The value that names `candidate` alone among `candidates`: its port path
// or location ID (unique on a bus), its serial where it has neither.
std::string ChoosingValue(const UsbCandidate& candidate) {
  const std::string name = HubCandidateName(candidate);
  return name.empty() ? candidate.serial : name;
}

// Where the settings live, a path under the home folder written from "~/".
std::string SettingsPlace() {
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return "the settings";
  const std::string place = source->Location();
  const std::string home = platform::Sys().files->HomeDirectory();
  if (home.empty() || home == "/" || place.compare(0, home.size() + 1, home + "/") != 0) {
    return place;
  }
  return "~" + place.substr(home.size());
}

}  // namespace

const char* HubSettingName(platform::SettingNames names) {
  return Camel(names) ? "Hub" : "hub";
}

HubSettingCheck CheckHubSetting(const platform::SettingEntry& entry, platform::SettingNames names,
                                std::string& hub, const std::string& kept) {
  HubSettingCheck check;
  const std::string name = HubSettingName(names);
  if (entry.key != name) return check;
  check.known = true;
  // The hub in force stays; "none is chosen" is said only where none is.
  check.problem =
      Refusal(entry.value, name,
              kept.empty() ? "; no hub is chosen by it" : "; the hub chosen stays " + Quoted(kept));
  hub = check.problem ? kept : entry.value.text;
  return check;
}

std::string HubCandidateName(const UsbCandidate& candidate) {
  if (candidate.location) return PortPath(candidate);
  if (candidate.location_id) return LocationId(*candidate.location_id);
  return "";
}

std::string HubCandidateText(const UsbCandidate& candidate) {
  std::string text = candidate.location      ? "port " + PortPath(candidate)
                     : candidate.location_id ? "location " + LocationId(*candidate.location_id)
                                             : "";
  if (!candidate.serial.empty()) text += (text.empty() ? "serial " : " serial ") + candidate.serial;
  return text.empty() ? "a hub with no port path or serial" : text;
}

bool HubCandidateMatches(const UsbCandidate& candidate, const std::string& setting) {
  if (setting.empty()) return false;
  if (candidate.location && setting == PortPath(candidate)) return true;
  if (candidate.location_id && ParseLocationId(setting) == candidate.location_id) return true;
  return !candidate.serial.empty() && setting == candidate.serial;
}

HubPick PickHub(const std::vector<UsbCandidate>& candidates, const std::string& setting) {
  HubPick pick;
  if (setting.empty()) {
    pick.verdict = candidates.size() == 1 ? HubPickVerdict::kOnly : HubPickVerdict::kSeveral;
    if (candidates.size() == 1) pick.index = 0;
    return pick;
  }
  size_t matches = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (!HubCandidateMatches(candidates[i], setting)) continue;
    ++matches;
    pick.index = i;
  }
  if (matches == 1) {
    pick.verdict = HubPickVerdict::kChosen;
    return pick;
  }
  pick.index.reset();
  pick.verdict = matches == 0 ? HubPickVerdict::kAbsent : HubPickVerdict::kSeveralMatch;
  return pick;
}

bool SameHubDevice(const UsbCandidate& a, const UsbCandidate& b) {
  if (a.location && b.location) {
    return a.location->bus == b.location->bus && a.location->port == b.location->port;
  }
  if (a.location_id && b.location_id) return *a.location_id == *b.location_id;
  return !a.serial.empty() && a.serial == b.serial;
}

std::optional<UsbCandidate> ChangedHubDevice(bool arrived,
                                             const std::optional<platform::UsbLocation>& at,
                                             const std::vector<UsbCandidate>& before,
                                             const std::vector<UsbCandidate>& after) {
  // An arrival is in the lookup after it, a departure in the one before.
  const std::vector<UsbCandidate>& with = arrived ? after : before;
  const std::vector<UsbCandidate>& without = arrived ? before : after;
  if (at) {
    UsbCandidate device;
    device.location = at;
    for (const UsbCandidate& candidate : with) {
      if (SameHubDevice(candidate, device)) return candidate;  // with its serial
    }
    return device;
  }
  for (const UsbCandidate& candidate : with) {
    bool there = false;
    for (const UsbCandidate& other : without) there = there || SameHubDevice(candidate, other);
    if (!there) return candidate;
  }
  return std::nullopt;
}

bool IsHubInUse(const UsbCandidate& device, const std::vector<UsbCandidate>& others,
                const std::string& setting) {
  std::vector<UsbCandidate> devices;
  for (const UsbCandidate& other : others) {
    if (!SameHubDevice(other, device)) devices.push_back(other);
  }
  devices.push_back(device);
  return PickHub(devices, setting).index == devices.size() - 1;
}

std::string HubSettingExample(const UsbCandidate& candidate) {
  platform::SettingsSource* source = platform::Sys().settings;
  const bool camel = source != nullptr && Camel(source->Names());
  const std::string value = ChoosingValue(candidate);
  if (camel) {
    return std::string("defaults write ") + kAgentLabel + " Hub -string " + Quoted(value);
  }
  return "hub = " + Quoted(value);
}

HubFailure HubChoiceFailure(const HubPick& pick, const std::vector<UsbCandidate>& candidates,
                            const std::string& setting) {
  HubFailureKind kind = HubFailureKind::kSeveralHubs;
  if (pick.verdict == HubPickVerdict::kSeveralMatch) kind = HubFailureKind::kChosenNotUnique;
  if (pick.verdict == HubPickVerdict::kAbsent) kind = HubFailureKind::kChosenAbsent;
  HubFailure failure(kind);
  failure.candidates = candidates;
  failure.chosen_hub = setting;
  failure.candidate_list = HubCandidateList(candidates);
  failure.choose_advice = HubSettingAdvice(candidates);
  return failure;
}

std::string HubCandidateList(const std::vector<UsbCandidate>& candidates) {
  std::string text;
  for (const UsbCandidate& candidate : candidates) {
    if (!text.empty()) text += "; ";
    text += HubCandidateText(candidate);
  }
  return text;
}

std::string HubSettingAdvice(const std::vector<UsbCandidate>& candidates) {
  const std::string example = candidates.empty() ? "" : HubSettingExample(candidates.front());
  platform::SettingsSource* source = platform::Sys().settings;
  // A file is edited; user defaults are written by a command.
  if (source != nullptr && Camel(source->Names())) {
    return "run " + example + " (or another one named above)";
  }
  return "set " + example + " (or another one named above) in " + SettingsPlace();
}

void LoadHubSetting() {
  gHubSetting.clear();
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  const platform::SettingsRead read = source->Read();
  for (const platform::SettingEntry& entry : read.entries) {
    (void)CheckHubSetting(entry, source->Names(), gHubSetting);
  }
}
