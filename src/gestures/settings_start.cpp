#include "gestures/settings_start.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gestures/gesture_settings.h"
#include "gestures/settings_change.h"
#include "hub/hook_settings.h"
#include "hub/hub_choice.h"
#include "hub/hub_hooks.h"
#include "platform/services.h"

namespace {

// "1 second", "1.5 seconds", "0.25 seconds"; built from digits, so the
// locale a toolkit may have set cannot turn the point into a comma.
std::string HoldTime(uint32_t ms) {
  if (ms == 1000) return "1 second";
  std::string text = std::to_string(ms / 1000);
  if (uint32_t rest = ms % 1000; rest != 0) {
    std::string fraction = std::to_string(1000 + rest).substr(1);  // three digits
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + " seconds";
}

// Said only when the window is not the usual one.
std::string Window(uint32_t ms) {
  if (ms == kDefaultDoubleTapMs) return "";
  return " within " + std::to_string(ms) + " ms";
}

}  // namespace

void LoadGestureSettings(bool started_from_service) {
  ResetGestureSettings();
  SetHubHooks(HubHooks{});
  SetHubSetting("");
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  const SettingsOutcome outcome =
      CheckSettings(source->Read(), source->Names(), source->Location());
  ReportSettingsProblems(outcome.problems, source->Location(), started_from_service);
  ApplyGestureSettings(outcome.settings);
  SetHubHooks(outcome.hooks);
  SetHubSetting(outcome.hub);
}

void ReportSettingsProblems(const std::vector<std::string>& problems, const std::string& location,
                            bool started_from_service) {
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "%s\n", problem.c_str());
  }
  std::fflush(stderr);
  platform::Ui& ui = *platform::Sys().ui;
  if (!problems.empty() && (started_from_service || !ui.ConsoleSeen())) {
    ui.ShowFailureNotice(
        kSettingsNoticeKind,
        SettingsNoticeText(problems, location, platform::Sys().files->HomeDirectory()));
  }
}

std::string SettingsNoticeText(const std::vector<std::string>& problems,
                               const std::string& location, const std::string& home) {
  // What is wrong, without what applies instead: a notice is short.
  std::string first = problems.front().substr(0, problems.front().find("; "));
  // The problem starts with the location; the notice writes it short.
  if (!home.empty() && home != "/" && first.compare(0, location.size(), location) == 0 &&
      location.compare(0, home.size() + 1, home + "/") == 0) {
    first = "~" + first.substr(home.size());
  }
  const size_t more = problems.size() - 1;
  std::string summary = "Settings: ";
  summary += more == 0 ? "one mistake" : std::to_string(problems.size()) + " mistakes";
  return summary + "\n" + first + (more == 0 ? "" : " (all on standard error)");
}

std::string NoTrayNoticeText(const GestureSettings& s) {
  std::string body;
  if (s.control_double_tap && s.mouse_chord) {
    body = std::string("Double-tap ") + ControlKeyWords(s.control_key) +
           " or hold the left and right mouse buttons to switch";
  } else if (s.control_double_tap) {
    body = std::string("Double-tap ") + ControlKeyWords(s.control_key) + " to switch";
  } else if (s.mouse_chord) {
    body = "Hold the left and right mouse buttons to switch";
  } else {
    body = "No gesture switches (both are off in the settings)";
  }
  body += s.quit_double_tap ? "; double-tap Q to quit."
                            : "; to end it, run quembrastella-switch --quit.";
  return "Running without a tray icon\n" + body;
}

std::string GestureUsageLines(const GestureSettings& s) {
  const bool clean = s.control_taps == ControlTapRule::kClean;
  const std::string control = std::string("double-tap ") + ControlKeyWords(s.control_key) +
                              (clean ? " without other keys" : "") + " (Ctrl, Ctrl)" +
                              Window(s.double_tap_ms);
  const std::string chord = "Hold mouse L+R buttons for " + HoldTime(s.chord_hold_ms);
  std::string text;
  if (s.mouse_chord && s.control_double_tap) {
    text = chord + " OR " + control + " to trigger USB-C switch.\n";
  } else if (s.mouse_chord) {
    text = chord + " to trigger USB-C switch.\n";
  } else if (s.control_double_tap) {
    text = "D" + control.substr(1) + " to trigger USB-C switch.\n";
  } else {
    text = "No gesture triggers USB-C switch: both are off in the settings.\n";
  }
  if (s.quit_double_tap) {
    const bool after_switch = s.mouse_chord || s.control_double_tap;
    text += std::string(after_switch ? "Or, double-tap" : "Double-tap") + " 'Q' (Q, Q)" +
            (s.quit_taps == QuitTapRule::kConsecutive ? " with no key between" : "") +
            Window(s.double_tap_ms) + " to quit this tool.\n";
  }
  return text + "\n";
}

platform::SettingNames SettingsNames() {
  platform::SettingsSource* source = platform::Sys().settings;
  return source ? source->Names() : platform::SettingNames::kSnakeCase;
}

std::string SettingsSourceLine() {
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return "Settings: none on this platform (every gesture as built in)";
  return "Settings: " + source->Location();
}
