#include "gestures/gesture_settings.h"
#include "shared/setting_words.h"
#include "shared/tool_state.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "hub/hub_choice.h"

void ResetGestureSettings() {
  GestureSettingsKeeper::in_force_ = GestureSettings{};
}

namespace {
const ToolStateMember kGestureSettingsState{"in_force_", &ResetGestureSettings, [] {
                                              return GestureSettingsInForce() == GestureSettings{};
                                            }};
}  // namespace

namespace {

using platform::SettingValue;

enum class Kind { kOnOff, kMilliseconds, kChoice };

// One setting: its two spellings, its kind, and where it goes.
struct SettingRule {
  const char* snake;
  const char* camel;
  Kind kind;
  uint32_t min = 0, max = 0;             // kMilliseconds
  std::array<const char*, 3> choices{};  // kChoice: index 0 is the default; null: none
  bool GestureSettings::*on_off = nullptr;
  uint32_t GestureSettings::*ms = nullptr;
  void (*choose)(GestureSettings&, size_t) = nullptr;
};

const std::array<SettingRule, 8> kSettingRules = {{
    {"control_double_tap",
     "ControlDoubleTap",
     Kind::kOnOff,
     0,
     0,
     {},
     &GestureSettings::control_double_tap,
     nullptr,
     nullptr},
    {"control_taps",
     "ControlTaps",
     Kind::kChoice,
     0,
     0,
     {"any", "clean"},
     nullptr,
     nullptr,
     [](GestureSettings& s, size_t i) {
       s.control_taps = i == 0 ? ControlTapRule::kAny : ControlTapRule::kClean;
     }},
    {"control_key",
     "ControlKey",
     Kind::kChoice,
     0,
     0,
     {"either", "left", "right"},
     nullptr,
     nullptr,
     [](GestureSettings& s, size_t i) {
       s.control_key = i == 0   ? ControlKey::kEither
                       : i == 1 ? ControlKey::kLeft
                                : ControlKey::kRight;
     }},
    {"mouse_chord",
     "MouseChord",
     Kind::kOnOff,
     0,
     0,
     {},
     &GestureSettings::mouse_chord,
     nullptr,
     nullptr},
    {"chord_hold_ms",
     "ChordHoldMs",
     Kind::kMilliseconds,
     kMinChordHoldMs,
     kMaxChordHoldMs,
     {},
     nullptr,
     &GestureSettings::chord_hold_ms,
     nullptr},
    {"quit_double_tap",
     "QuitDoubleTap",
     Kind::kOnOff,
     0,
     0,
     {},
     &GestureSettings::quit_double_tap,
     nullptr,
     nullptr},
    {"quit_taps",
     "QuitTaps",
     Kind::kChoice,
     0,
     0,
     {"any", "consecutive"},
     nullptr,
     nullptr,
     [](GestureSettings& s, size_t i) {
       s.quit_taps = i == 0 ? QuitTapRule::kAny : QuitTapRule::kConsecutive;
     }},
    {"double_tap_ms",
     "DoubleTapMs",
     Kind::kMilliseconds,
     kMinDoubleTapMs,
     kMaxDoubleTapMs,
     {},
     nullptr,
     &GestureSettings::double_tap_ms,
     nullptr},
}};

const char* NameOf(const SettingRule& rule, platform::SettingNames names) {
  return names == platform::SettingNames::kCamelCase ? rule.camel : rule.snake;
}

const SettingRule* Find(const std::string& key, platform::SettingNames names) {
  for (const SettingRule& rule : kSettingRules) {
    if (key == NameOf(rule, names)) return &rule;
  }
  return nullptr;
}

// In double quotes, on one line: control characters are written as \xHH
// and a long text is cut short, so a key or value from a hostile file
// cannot break or flood the message.
std::string Quoted(const std::string& text) {
  constexpr size_t kMaxShown = 64;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kMaxShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      out.append("\\x").append(1, kHex[c >> 4]).append(1, kHex[c & 0xF]);
    } else {
      out.append(1, static_cast<char>(c));
    }
  }
  if (text.size() > kMaxShown) out.append("...");
  return out.append("\"");
}

// What a value is, for a message that refuses it.
std::string Describe(const SettingValue& value) {
  return DescribeSettingValue(value, "the string " + Quoted(value.text));
}

// Which of a choice setting's values `settings` holds.
size_t ChoiceIn(const SettingRule& rule, const GestureSettings& settings) {
  for (size_t i = 1; i < rule.choices.size() && rule.choices[i] != nullptr; ++i) {
    GestureSettings chosen = settings;
    rule.choose(chosen, i);
    if (chosen == settings) return i;
  }
  return 0;
}

// Applies one value of a known setting; the problem when it cannot, the
// setting then keeping its value in `kept`.
std::optional<std::string> Apply(const SettingRule& rule, const char* name,
                                 const SettingValue& value, const GestureSettings& kept,
                                 GestureSettings& out) {
  switch (rule.kind) {
    case Kind::kOnOff: {
      if (value.kind == SettingValue::Kind::kBoolean) {
        out.*rule.on_off = value.boolean;
        return std::nullopt;
      }
      out.*rule.on_off = kept.*rule.on_off;
      return std::string(name) + " must be true or false, not " + Describe(value) + "; it stays " +
             (kept.*rule.on_off ? "true" : "false");
    }
    case Kind::kMilliseconds: {
      const std::string range = std::to_string(rule.min) + " to " + std::to_string(rule.max);
      const std::string stays = "; it stays " + std::to_string(kept.*rule.ms);
      if (value.kind != SettingValue::Kind::kInteger) {
        out.*rule.ms = kept.*rule.ms;
        return std::string(name) + " must be a whole number of milliseconds from " + range +
               ", not " + Describe(value) + stays;
      }
      if (value.integer < rule.min || value.integer > rule.max) {
        out.*rule.ms = kept.*rule.ms;
        return std::string(name) + " = " + std::to_string(value.integer) + " is out of range (" +
               range + " ms)" + stays;
      }
      out.*rule.ms = static_cast<uint32_t>(value.integer);
      return std::nullopt;
    }
    case Kind::kChoice: {
      size_t count = 0;
      while (count < rule.choices.size() && rule.choices[count] != nullptr) ++count;
      if (value.kind == SettingValue::Kind::kText) {
        for (size_t i = 0; i < count; ++i) {
          if (value.text == rule.choices[i]) {
            rule.choose(out, i);
            return std::nullopt;
          }
        }
      }
      const size_t stays = ChoiceIn(rule, kept);
      rule.choose(out, stays);
      // "a" or "b"; "a", "b" or "c".
      std::string choices = Quoted(rule.choices[0]);
      for (size_t i = 1; i < count; ++i) {
        choices += (i + 1 == count ? " or " : ", ") + Quoted(rule.choices[i]);
      }
      return std::string(name) + " must be " + choices + ", not " + Describe(value) +
             "; it stays " + Quoted(rule.choices[stays]);
    }
  }
  return std::nullopt;
}

std::string UnknownSetting(const std::string& key, platform::SettingNames names) {
  std::string known;
  for (const std::string& name : KnownSettingNames(names)) {
    if (!known.empty()) known += ", ";
    known += name;
  }
  known += std::string(", ") + HubSettingName(names);
  return "unknown setting " + Quoted(key) + ", ignored; the settings are " + known;
}

std::string Where(const std::string& location, int line) {
  if (line <= 0) return location + ": ";
  return location + ":" + std::to_string(line) + ": ";
}

}  // namespace

std::vector<std::string> KnownSettingNames(platform::SettingNames names) {
  std::vector<std::string> known;
  for (const SettingRule& rule : kSettingRules) known.emplace_back(NameOf(rule, names));
  for (HubEvent event : {HubEvent::kLeft, HubEvent::kArrived}) {
    known.emplace_back(HookSettingName(event, names));
  }
  return known;
}

const char* ControlKeyWords(ControlKey key) {
  switch (key) {
    case ControlKey::kLeft:
      return "left Control";
    case ControlKey::kRight:
      return "right Control";
    case ControlKey::kEither:
      break;
  }
  return "Control";
}

// Both Control keys' codes pass a filtered tap whichever key is chosen:
// the other one breaks a pair and spoils a tap.
bool GesturesNeedEveryKey(const GestureSettings& settings) {
  return (settings.control_double_tap && settings.control_taps == ControlTapRule::kClean) ||
         (settings.quit_double_tap && settings.quit_taps == QuitTapRule::kConsecutive);
}

SettingsOutcome CheckSettings(const platform::SettingsRead& read, platform::SettingNames names,
                              const std::string& location, const GestureSettings& kept,
                              const HubHooks& kept_hooks, const std::string& kept_hub) {
  SettingsOutcome outcome;
  if (read.failure) {
    const bool defaults = kept == GestureSettings{} && kept_hooks == HubHooks{} && kept_hub.empty();
    outcome.settings = kept;
    outcome.hooks = kept_hooks;
    outcome.hub = kept_hub;
    outcome.problems.push_back(
        Where(location, read.failure_line) + *read.failure +
        (defaults ? "; every setting keeps its default" : "; every setting stays as it was"));
    return outcome;
  }
  for (const platform::SettingEntry& entry : read.entries) {
    if (HookSettingCheck hook = CheckHookSetting(entry, names, outcome.hooks, kept_hooks);
        hook.known) {
      if (hook.problem) outcome.problems.push_back(Where(location, entry.line) + *hook.problem);
      continue;
    }
    if (HubSettingCheck hub = CheckHubSetting(entry, names, outcome.hub, kept_hub); hub.known) {
      if (hub.problem) outcome.problems.push_back(Where(location, entry.line) + *hub.problem);
      continue;
    }
    const SettingRule* rule = Find(entry.key, names);
    std::optional<std::string> problem =
        rule ? Apply(*rule, NameOf(*rule, names), entry.value, kept, outcome.settings)
             : UnknownSetting(entry.key, names);
    if (problem) outcome.problems.push_back(Where(location, entry.line) + *problem);
  }
  return outcome;
}
