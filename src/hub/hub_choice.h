// Which hub to use when more than one device with the hub's IDs is attached
// (a second switch, a dock built on the same chip): the user's `hub`
// setting, matched against each device's port path, location ID or serial
// number. With none set, only a single device is used; never a guess.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "hub/hub_failure.h"
#include "platform/settings.h"
#include "platform/usb.h"

// The `hub` setting in force: a port path as the kernel names a device
// ("1-4.2": bus 1, port 2 of whatever sits on port 4), a location ID
// ("0x14200000") or a serial number; empty when none is set.
const std::string& HubSettingInForce();
void SetHubSetting(std::string hub);

// Longest value the setting takes.
inline constexpr size_t kMaxHubSettingBytes = 128;

// The setting's name as the source spells it: hub, Hub.
const char* HubSettingName(platform::SettingNames names);

struct HubSettingCheck {
  bool known = false;  // the key is the hub setting
  // Set when the value cannot be used: what is wrong, and that no hub is
  // chosen by it.
  std::optional<std::string> problem;
};

// Checks one entry; a known, valid one is put into `hub`. A refused one
// keeps the hub of `kept`: none at start, the one in force when a changed
// source is read again.
HubSettingCheck CheckHubSetting(const platform::SettingEntry& entry, platform::SettingNames names,
                                std::string& hub, const std::string& kept = {});

// What a device is called in lines and in the setting: its port path
// ("1-4.2") where the platform numbers ports, else its location ID
// ("0x14200000"); "" when it has neither.
std::string HubCandidateName(const platform::UsbCandidate& candidate);
// The device for a list: "port 1-4.2 serial A1B2", "location 0x14200000".
std::string HubCandidateText(const platform::UsbCandidate& candidate);
// Whether the setting names this device: its port path, its location ID
// (hexadecimal, any case) or its serial number, exactly.
bool HubCandidateMatches(const platform::UsbCandidate& candidate, const std::string& setting);

enum class HubPickVerdict {
  kOnly,          // nothing set, one device: that one
  kChosen,        // the setting names exactly one of the devices
  kSeveral,       // nothing set, more than one device: none
  kSeveralMatch,  // the setting names more than one (a shared serial): none
  kAbsent,        // the setting names none of the devices: none
};

struct HubPick {
  HubPickVerdict verdict = HubPickVerdict::kOnly;
  std::optional<size_t> index;  // set for kOnly and kChosen
};

// Picks the hub from the devices found (at least one) for `setting`.
HubPick PickHub(const std::vector<platform::UsbCandidate>& candidates, const std::string& setting);

// Whether two entries of lookups name the same device: by port path where
// both have one, else by location ID, else by serial number.
bool SameHubDevice(const platform::UsbCandidate& a, const platform::UsbCandidate& b);
// The device a change of presence concerns, from every device with the
// hub's IDs `before` and `after` the change: the one at `at` where the
// platform gives a port path, else the one that came or went; none when
// that cannot be told.
std::optional<platform::UsbCandidate> ChangedHubDevice(
    bool arrived, const std::optional<platform::UsbLocation>& at,
    const std::vector<platform::UsbCandidate>& before,
    const std::vector<platform::UsbCandidate>& after);
// Whether `device`, with the other devices of `others`, is the one the tool
// uses for `setting`: the hub that arrives or leaves, as the hooks hear of
// it, when it is the one a switch would write.
bool IsHubInUse(const platform::UsbCandidate& device,
                const std::vector<platform::UsbCandidate>& others, const std::string& setting);

// A pick that took no device (kSeveral, kSeveralMatch, kAbsent) as a
// failure of the road to the hub; its words are in hub_failure.cpp.
HubFailure HubChoiceFailure(const HubPick& pick,
                            const std::vector<platform::UsbCandidate>& candidates,
                            const std::string& setting);

// Every device for a line: "port 1-2; port 1-3 serial B7".
std::string HubCandidateList(const std::vector<platform::UsbCandidate>& candidates);
// What to write to choose one of `candidates` (the first as the example),
// for a fix: `set hub = "1-2" (or another one named above) in
// ~/.config/.../config.toml`, or for user defaults `run defaults write
// DOMAIN Hub -string "0x14100000" (or another one named above)`.
std::string HubSettingAdvice(const std::vector<platform::UsbCandidate>& candidates);

// How the installed settings source would choose `candidate`: the setting
// line to write (`hub = "1-4.2"` in a file, `defaults write DOMAIN Hub
// -string 0x14200000` for user defaults).
std::string HubSettingExample(const platform::UsbCandidate& candidate);

// Reads the installed settings source for the `hub` setting alone, quietly
// (its problems are told where all settings are checked), into the setting
// in force.
void LoadHubSetting();
