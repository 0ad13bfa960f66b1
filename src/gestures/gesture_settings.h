// The user's choice of gestures: which ones act, how strict a tap is, and
// the two times. Read once at start into plain values; the recognisers only
// read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gestures/rules/control_tap_rule.h"
#include "gestures/rules/quit_tap_rule.h"
#include "hub/hook_settings.h"
#include "platform/settings.h"

inline constexpr uint32_t kDefaultDoubleTapMs = 700;
inline constexpr uint32_t kDefaultChordHoldMs = 1000;
inline constexpr uint32_t kMinDoubleTapMs = 200;
inline constexpr uint32_t kMaxDoubleTapMs = 2000;
inline constexpr uint32_t kMinChordHoldMs = 300;
inline constexpr uint32_t kMaxChordHoldMs = 5000;

struct GestureSettings {
  bool control_double_tap = true;
  ControlTapRule control_taps = ControlTapRule::kAny;
  bool mouse_chord = true;
  uint32_t chord_hold_ms = kDefaultChordHoldMs;
  bool quit_double_tap = true;
  QuitTapRule quit_taps = QuitTapRule::kAny;
  uint32_t double_tap_ms = kDefaultDoubleTapMs;
  ControlKey control_key = ControlKey::kEither;

  bool operator==(const GestureSettings&) const = default;
};

// The settings in force, kept by the gestures: the defaults until start-up
// has read the user's. ApplyGestureSettings (gestures/settings_change.h)
// puts others in force, at start-up and when they change while the tool
// runs; ResetGestureSettings puts the defaults back. Everyone else reads.
class GestureSettingsKeeper {
  static inline GestureSettings in_force_{};
  friend const GestureSettings& GestureSettingsInForce();
  friend void ApplyGestureSettings(const GestureSettings& next);
  friend void ResetGestureSettings();
};
inline const GestureSettings& GestureSettingsInForce() {
  return GestureSettingsKeeper::in_force_;
}
// Puts the defaults back in force.
void ResetGestureSettings();

// The Control key that taps, as the tool's lines name it: "Control",
// "left Control" or "right Control".
const char* ControlKeyWords(ControlKey key);

// Whether the recognisers must see every key (and modifier), not only
// Control and Q: a strict tap rule looks at the keys around a tap. A
// platform that filters input before it reaches the tool lets every key
// through while this holds.
bool GesturesNeedEveryKey(const GestureSettings& settings);

// Every setting's name as `names` spells it, the hooks' included.
std::vector<std::string> KnownSettingNames(platform::SettingNames names);

// What reading a source gave: the settings, and one line per problem.
struct SettingsOutcome {
  GestureSettings settings;
  HubHooks hooks;   // the hooks set (and valid); none by default
  std::string hub;  // the hub setting (hub_choice.h); empty by default
  // "LOCATION:LINE: what is wrong; what applies instead", in the source's
  // order (":LINE" only where the source has lines).
  std::vector<std::string> problems;
};

// Checks what a source holds. A setting with an unknown name, a value of
// the wrong type or out of range is named in a problem and keeps its value
// in `kept` (a value out of range is not clamped); a setting the source
// leaves out has its default; everything else applies. A source that could
// not be read at all gives one problem and `kept` whole. `kept` is the
// defaults at start and the settings in force when a changed source is read
// again, so that a mistake made while editing changes nothing it touches;
// `kept_hooks` and `kept_hub` are the same for the hooks and the hub setting.
SettingsOutcome CheckSettings(const platform::SettingsRead& read, platform::SettingNames names,
                              const std::string& location, const GestureSettings& kept = {},
                              const HubHooks& kept_hooks = {}, const std::string& kept_hub = {});
