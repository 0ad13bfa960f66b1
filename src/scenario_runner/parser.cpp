#include "scenario_runner/parser.h"

#include "platform/event_types.h"
#include "scenario_runner/devices.h"
#include "scenario_runner/hubs.h"
#include "scenario_runner/programs.h"
#include "scenario_runner/words.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace runner {
namespace {

// Built by appending: g++ 12 at -O3 misreads "literal" + std::string as an
// overlapping copy (-Wrestrict).
std::string Quote(std::string_view s) {
  std::string quoted;
  quoted.reserve(s.size() + 2);
  quoted.append(1, '\'').append(s).append(1, '\'');
  return quoted;
}

constexpr std::array<std::string_view, 3> kButtons = {"left", "right", "middle"};
constexpr std::array<std::string_view, 2> kUpDown = {"down", "up"};
// Event types per button: press, release, drag.
constexpr std::array<std::array<uint32_t, 3>, 3> kButtonTypes = {
    {{platform::kEventLeftMouseDown, platform::kEventLeftMouseUp, platform::kEventLeftMouseDragged},
     {platform::kEventRightMouseDown, platform::kEventRightMouseUp,
      platform::kEventRightMouseDragged},
     {platform::kEventOtherMouseDown, platform::kEventOtherMouseUp,
      platform::kEventOtherMouseDragged}}};

class Parser {
 public:
  // Reads one non-blank line; an error ends the parse.
  std::optional<ParseError> Line(int n, const Tokens& t) {
    line_ = n;
    std::optional<std::string> what =
        t[0] == "at" ? Timeline(t) : (timeline_started_ ? AfterTimeline(t) : SetUp(t));
    if (what) return ParseError{n, *what};
    return std::nullopt;
  }

  std::variant<Scenario, ParseError> Finish() {
    const Setup& s = scenario_.setup;
    const bool names_this_exe = s.agent == AgentSetup::kInstalled ||
                                s.agent == AgentSetup::kOtherLabel ||
                                s.agent == AgentSetup::kNotExecutable;
    const bool no_exe = s.exe == sim::SimFiles::Exe::kNone || s.exe == sim::SimFiles::Exe::kEmpty;
    if (!s.settings_lines.empty() && s.settings_file != SettingsFileSetup::kLines) {
      return Conflict("settings", "settings-file",
                      "'settings' lines need a settings file, which " +
                          Quote(words_["settings-file"]) + " replaces");
    }
    if (names_this_exe && no_exe) {
      return Conflict("agent", "exe",
                      "an agent file for this program needs its executable path, which " +
                          Quote(words_["exe"]) + " takes away");
    }
    if (s.agent != AgentSetup::kNone && s.agent_dir_blocked) {
      return Conflict("agent", "agentdir",
                      "no agent file can be found where 'agentdir blocked' puts a plain file");
    }
    return std::move(scenario_);
  }

 private:
  // The later of the two contradicting lines carries the error.
  ParseError Conflict(const std::string& a, const std::string& b, std::string what) {
    return ParseError{std::max(seen_[a], seen_[b]), std::move(what)};
  }

  static bool IsSetUp(std::string_view d) {
    static constexpr std::array<std::string_view, 21> kSetUp = {
        "args",     "hub",           "fail",        "agent",   "choice", "alert-ms", "lock",
        "tap",      "appsupport",    "agentdir",    "exe",     "icon",   "clock",    "after-write",
        "settings", "settings-file", "transfer-ms", "program", "input",  "device",   "hub-2"};
    return IndexOf(d, kSetUp).has_value();
  }

  std::optional<std::string> AfterTimeline(const Tokens& t) {
    if (!IsSetUp(t[0])) return "unknown directive " + Quote(t[0]);
    return "set-up directive " + Quote(t[0]) + " after the first 'at' line";
  }

  // Single-valued set-up directives may appear once.
  std::optional<std::string> Once(const Tokens& t) {
    const std::string key(t[0]);
    if (auto it = seen_.find(key); it != seen_.end()) {
      return Quote(key) + " already given on line " + std::to_string(it->second);
    }
    seen_[key] = line_;
    words_[key] = JoinFrom(t, 0);
    return std::nullopt;
  }

  template <size_t N>
  std::variant<size_t, std::string> Word(const Tokens& t,
                                         const std::array<std::string_view, N>& choices) {
    std::optional<size_t> i;
    if (t.size() == 2) i = IndexOf(t[1], choices);
    if (!i) return Quote(t[0]) + " takes one of: " + ChoiceList(choices);
    return *i;
  }

  std::optional<std::string> SetUp(const Tokens& t) {
    Setup& s = scenario_.setup;
    const std::string_view d = t[0];
    if (!IsSetUp(d)) return "unknown directive " + Quote(d);
    if (d == "fail") return Fail(t);
    if (d == "settings") return SettingsLine(t);
    if (d == "program") return ProgramLine(t, s);
    if (d == "device") return DeviceClock(t, s);
    if (auto dup = Once(t)) return dup;
    if (d == "args") {
      s.args.assign(t.begin() + 1, t.end());
    } else if (d == "hub") {
      return Hub(t);
    } else if (d == "hub-2") {
      HubSetup second;
      second.identity.location_id = 0x14200000;
      if (auto error = HubSetUpWords(t, second)) return error;
      s.second_hub = second;
    } else if (d == "transfer-ms") {
      auto ms = t.size() == 2 ? Decimal(t[1], kMaxTransferMs) : std::nullopt;
      if (!ms)
        return "'transfer-ms' takes a whole number of ms up to " + std::to_string(kMaxTransferMs);
      s.transfer_ms = *ms;
    } else if (d == "alert-ms") {
      auto ms = t.size() == 2 ? Decimal(t[1], kMaxScenarioMs) : std::nullopt;
      if (!ms)
        return "'alert-ms' takes a whole number of ms up to " + std::to_string(kMaxScenarioMs);
      s.alert_ms = *ms;
    } else if (d == "after-write") {
      return AfterWrite(t);
    } else if (d == "clock") {
      auto tm = t.size() == 3 ? ClockTime(t[1], t[2]) : std::nullopt;
      if (!tm) return "'clock' takes a local time YYYY-MM-DD HH:MM:SS from 1970 on";
      s.clock = *tm;
    } else {
      return SetUpWord(t);
    }
    return std::nullopt;
  }

  // The set-up directives that take one word from a fixed list.
  std::optional<std::string> SetUpWord(const Tokens& t) {
    Setup& s = scenario_.setup;
    const std::string_view d = t[0];
    using Exe = sim::SimFiles::Exe;
    using Icon = sim::SimFiles::Icon;
    std::variant<size_t, std::string> w;
    if (d == "agent") {
      w = Word<6>(
          t, {"none", "installed", "other-path", "other-label", "not-executable", "malformed"});
      if (auto* i = std::get_if<size_t>(&w)) s.agent = static_cast<AgentSetup>(*i);
    } else if (d == "choice") {
      w = Word<3>(t, {"install", "start", "cancel"});
      if (auto* i = std::get_if<size_t>(&w)) s.choice = static_cast<Choice>(*i);
    } else if (d == "lock") {
      w = Word<2>(t, {"held", "unopenable"});
      if (auto* i = std::get_if<size_t>(&w))
        s.lock = *i ? LockSetup::kUnopenable : LockSetup::kHeld;
    } else if (d == "tap") {
      w = Word<1>(t, {"refused"});
      s.tap_refused = std::holds_alternative<size_t>(w);
    } else if (d == "appsupport") {
      w = Word<1>(t, {"none"});
      s.app_support_missing = std::holds_alternative<size_t>(w);
    } else if (d == "agentdir") {
      w = Word<1>(t, {"blocked"});
      s.agent_dir_blocked = std::holds_alternative<size_t>(w);
    } else if (d == "exe") {
      w = Word<3>(t, {"none", "empty", "nonexec"});
      static constexpr std::array<Exe, 3> kExe = {Exe::kNone, Exe::kEmpty, Exe::kNotExecutable};
      if (auto* i = std::get_if<size_t>(&w)) s.exe = kExe[*i];
    } else if (d == "input") {
      w = Word<1>(t, {"by-device"});
      s.serve_by_device = std::holds_alternative<size_t>(w);
    } else if (d == "settings-file") {
      w = Word<5>(t, {"fifo", "zero", "huge", "binary", "folder"});
      if (auto* i = std::get_if<size_t>(&w))
        s.settings_file = static_cast<SettingsFileSetup>(*i + 1);
    } else {  // icon
      w = Word<3>(t, {"none", "bundle", "beside"});
      static constexpr std::array<Icon, 3> kIcon = {Icon::kNone, Icon::kBundle, Icon::kBeside};
      if (auto* i = std::get_if<size_t>(&w)) s.icon = kIcon[*i];
    }
    if (auto* what = std::get_if<std::string>(&w)) return *what;
    return std::nullopt;
  }

  // "after-write stay" or "after-write leave MS": the removal watch is
  // offered, and the hub stays, or leaves MS after a write that took.
  std::optional<std::string> AfterWrite(const Tokens& t) {
    Setup& s = scenario_.setup;
    const std::string usage = "'after-write' takes 'stay' or 'leave MS' (MS up to " +
                              std::to_string(kMaxScenarioMs) + ")";
    if (t.size() == 2 && t[1] == "stay") {
      s.watch_offered = true;
      return std::nullopt;
    }
    auto ms = t.size() == 3 && t[1] == "leave" ? Decimal(t[2], kMaxScenarioMs) : std::nullopt;
    if (!ms) return usage;
    s.watch_offered = true;
    s.leave_after_write_ms = *ms;
    return std::nullopt;
  }

  std::optional<std::string> Hub(const Tokens& t) {
    Setup& s = scenario_.setup;
    HubSetup hub;
    if (auto error = HubSetUpWords(t, hub)) return error;
    s.hub_present = hub.present;
    s.reg_f5 = hub.reg_f5;
    s.reg_f8 = hub.reg_f8;
    s.hub_identity = hub.identity;
    return std::nullopt;
  }

  // One line of the settings file, as written after the directive (a
  // comment cannot be given: '#' starts the scenario's own).
  std::optional<std::string> SettingsLine(const Tokens& t) {
    if (t.size() < 2) return std::string("'settings' takes a line of the settings file");
    seen_.try_emplace("settings", line_);
    const char* first = t[1].data();
    const char* last = t.back().data() + t.back().size();
    scenario_.setup.settings_lines.emplace_back(first, static_cast<size_t>(last - first));
    return std::nullopt;
  }

  std::optional<std::string> Fail(const Tokens& t) {
    static const std::array<std::pair<std::string_view, sim::HubFault>, 8> kSteps = {{
        {"matching", sim::HubFault::kMatching},
        {"lookup", sim::HubFault::kLookup},
        {"plugin", sim::HubFault::kPlugIn},
        {"query", sim::HubFault::kQuery},
        {"open", sim::HubFault::kOpen},
        {"read F8-008F", sim::HubFault::kReadF8},
        {"read F5-0000", sim::HubFault::kReadF5},
        {"write F5-0000", sim::HubFault::kWriteF5},
    }};
    const std::string step = JoinFrom(t, 1);
    for (const auto& [name, fault] : kSteps) {
      if (name != step) continue;
      auto& faults = scenario_.setup.faults;
      if (std::find(faults.begin(), faults.end(), fault) == faults.end()) faults.push_back(fault);
      return std::nullopt;
    }
    return "'fail' takes one of: matching, lookup, plugin, query, open, read F8-008F, "
           "read F5-0000, write F5-0000";
  }

  std::optional<std::string> Timeline(const Tokens& t) {
    timeline_started_ = true;
    if (end_line_) return "nothing can happen after the 'end' on line " + std::to_string(end_line_);
    if (t.size() < 3) return std::string("'at' takes a time in virtual ms and what happens");
    auto time = Decimal(t[1], kMaxScenarioMs);
    if (!time) {
      return "bad time " + Quote(t[1]) + ": a whole number of virtual ms up to " +
             std::to_string(kMaxScenarioMs);
    }
    if (!scenario_.timeline.empty() && *time < scenario_.timeline.back().t_ms) {
      return "time " + std::to_string(*time) + " comes before the previous line's " +
             std::to_string(scenario_.timeline.back().t_ms);
    }
    Step step;
    step.t_ms = *time;
    step.line = line_;
    Tokens what(t.begin() + 2, t.end());
    if (what[0] == "settings") return SettingsChange(what, step);
    if (auto error = Action(what, step)) return error;
    if (step.kind == Step::Kind::kEnd) end_line_ = line_;
    scenario_.timeline.push_back(step);
    return std::nullopt;
  }

  // "settings LINE" (the lines given at one time make up the new file,
  // written at once) or "settings-file none" (the file removed).
  std::optional<std::string> SettingsChange(const Tokens& w, Step& step) {
    if (w.size() < 2) return std::string("'settings' takes a line of the settings file");
    const char* first = w[1].data();
    const std::string line(first, static_cast<size_t>(w.back().data() + w.back().size() - first));
    std::vector<Step>& timeline = scenario_.timeline;
    if (!timeline.empty() && timeline.back().t_ms == step.t_ms &&
        timeline.back().kind == Step::Kind::kSettings && timeline.back().settings_text) {
      *timeline.back().settings_text += line + "\n";
      return std::nullopt;
    }
    step.kind = Step::Kind::kSettings;
    step.settings_text = line + "\n";
    timeline.push_back(step);
    return std::nullopt;
  }

  // Lowers one timeline action into `step`.
  std::optional<std::string> Action(const Tokens& w, Step& step) {
    const std::string_view a = w[0];
    auto fixed = [&](std::string_view rest, Step::Kind kind) -> std::optional<std::string> {
      if (w.size() != 2 || w[1] != rest) return Quote(a) + " takes " + Quote(rest);
      step.kind = kind;
      return std::nullopt;
    };
    if (a == "end") {
      if (w.size() != 1) return std::string("'end' takes nothing more");
      step.kind = Step::Kind::kEnd;
    } else if (a == "menu") {
      return fixed("exit", Step::Kind::kMenuExit);
    } else if (a == "tap") {
      return fixed("disabled", Step::Kind::kTapDisabled);
    } else if (a == "hub" || a == "hub-2") {
      return HubAction(w, step);
    } else if (a == "device") {
      return DeviceAction(w, step);
    } else if (a == "hold") {
      return HoldAction(w, step);
    } else if (a == "settings-file") {
      if (w.size() != 2 || (w[1] != "none" && w[1] != "empty")) {
        return std::string("'settings-file' takes 'none' or 'empty' in the timeline");
      }
      step.kind = Step::Kind::kSettings;
      if (w[1] == "empty") step.settings_text = "";
    } else if (a == "ctrl" || a == "ctrl-live" || a == "rctrl" || a == "rctrl-live") {
      auto ud = w.size() == 2 ? IndexOf(w[1], kUpDown) : std::nullopt;
      if (!ud) return Quote(a) + " takes 'down' or 'up'";
      step.live_control = *ud == 0;
      // `ctrl` is the left Control key; its event keeps key code 0, as
      // before the keys were told apart (the rules read the live state).
      step.right_control = a[0] == 'r';
      if (a == "ctrl") step.event = EventSpec{platform::kEventFlagsChanged, 0, 0};
      if (a == "rctrl") {
        step.event = EventSpec{platform::kEventFlagsChanged, platform::kKeyCodeRightControl, 0};
      }
    } else if (a == "key") {
      auto ud = w.size() == 3 ? IndexOf(w[1], kUpDown) : std::nullopt;
      auto code = w.size() == 3 ? Decimal(w[2], INT64_MAX) : std::nullopt;
      if (!ud || !code) return std::string("'key' takes 'down' or 'up' and a decimal key code");
      step.event = EventSpec{*ud == 0 ? platform::kEventKeyDown : platform::kEventKeyUp,
                             static_cast<int64_t>(*code), 0};
    } else if (a == "button" || a == "button-live" || a == "button-event") {
      auto b = w.size() == 3 ? IndexOf(w[1], kButtons) : std::nullopt;
      auto ud = w.size() == 3 ? IndexOf(w[2], kUpDown) : std::nullopt;
      if (!b || !ud) return Quote(a) + " takes 'left', 'right' or 'middle', then 'down' or 'up'";
      const auto button = static_cast<uint32_t>(*b);
      if (a != "button-event") step.live_button = LiveButton{button, *ud == 0};
      if (a != "button-live") step.event = EventSpec{kButtonTypes[*b][*ud], 0, button};
    } else if (a == "drag") {
      auto b = w.size() == 2 ? IndexOf(w[1], kButtons) : std::nullopt;
      if (!b) return std::string("'drag' takes 'left', 'right' or 'middle'");
      step.event = EventSpec{kButtonTypes[*b][2], 0, static_cast<int64_t>(*b)};
    } else {
      return "unknown action " + Quote(a);
    }
    return std::nullopt;
  }

  Scenario scenario_;
  int line_ = 0;
  bool timeline_started_ = false;
  int end_line_ = 0;
  std::map<std::string, int> seen_;           // directive: its line
  std::map<std::string, std::string> words_;  // directive: the line's words
};

}  // namespace

std::variant<Scenario, ParseError> ParseScenario(std::string_view text) {
  Parser parser;
  int number = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view line = text.substr(pos, eol - pos);
    ++number;
    pos = eol + 1;
    auto tokens = Tokenize(line);
    if (auto* what = std::get_if<std::string>(&tokens)) return ParseError{number, *what};
    const Tokens& t = std::get<Tokens>(tokens);
    if (t.empty()) continue;
    if (auto error = parser.Line(number, t)) return *error;
  }
  return parser.Finish();
}

uint64_t StopTimeMs(const Scenario& scenario) {
  if (scenario.timeline.empty()) return kQuietEndMs;
  const Step& last = scenario.timeline.back();
  return last.kind == Step::Kind::kEnd ? last.t_ms : last.t_ms + kQuietEndMs;
}

}  // namespace runner
