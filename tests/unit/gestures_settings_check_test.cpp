// Checking what a settings source holds: names, types, ranges, the problem
// lines, and that one bad setting costs only itself.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gestures/gesture_settings.h"

namespace {

using platform::SettingEntry;
using platform::SettingNames;
using platform::SettingsRead;
using platform::SettingValue;

SettingEntry Bool(const std::string& key, bool v, int line = 1) {
  SettingEntry e{key, {}, line};
  e.value.kind = SettingValue::Kind::kBoolean;
  e.value.boolean = v;
  return e;
}
SettingEntry Int(const std::string& key, int64_t v, int line = 1) {
  SettingEntry e{key, {}, line};
  e.value.kind = SettingValue::Kind::kInteger;
  e.value.integer = v;
  return e;
}
SettingEntry Text(const std::string& key, const std::string& v, int line = 1) {
  SettingEntry e{key, {}, line};
  e.value.kind = SettingValue::Kind::kText;
  e.value.text = v;
  return e;
}
SettingEntry Other(const std::string& key, const std::string& what, int line = 1) {
  SettingEntry e{key, {}, line};
  e.value.text = what;
  return e;
}

SettingsOutcome Check(std::vector<SettingEntry> entries,
                      SettingNames names = SettingNames::kSnakeCase) {
  SettingsRead read;
  read.entries = std::move(entries);
  return CheckSettings(read, names, "/cfg/config.toml");
}

TEST(SettingsCheckTest, EveryNameAppliesInTheSourcesSpelling) {
  GestureSettings expected;
  expected.control_double_tap = false;
  expected.control_taps = ControlTapRule::kClean;
  expected.mouse_chord = false;
  expected.chord_hold_ms = 1500;
  expected.quit_double_tap = false;
  expected.quit_taps = QuitTapRule::kConsecutive;
  expected.double_tap_ms = 400;
  expected.control_key = ControlKey::kRight;

  const SettingsOutcome snake = Check(
      {Bool("control_double_tap", false), Text("control_taps", "clean"), Bool("mouse_chord", false),
       Int("chord_hold_ms", 1500), Bool("quit_double_tap", false), Text("quit_taps", "consecutive"),
       Int("double_tap_ms", 400), Text("control_key", "right")});
  EXPECT_TRUE(snake.problems.empty());
  EXPECT_EQ(snake.settings, expected);

  const SettingsOutcome camel =
      Check({Bool("ControlDoubleTap", false), Text("ControlTaps", "clean"),
             Bool("MouseChord", false), Int("ChordHoldMs", 1500), Bool("QuitDoubleTap", false),
             Text("QuitTaps", "consecutive"), Int("DoubleTapMs", 400), Text("ControlKey", "right")},
            SettingNames::kCamelCase);
  EXPECT_TRUE(camel.problems.empty());
  EXPECT_EQ(camel.settings, expected);

  // Each source knows only its own spelling.
  const SettingsOutcome mixed = Check({Bool("MouseChord", false)});
  EXPECT_TRUE(mixed.settings.mouse_chord);
  ASSERT_EQ(mixed.problems.size(), 1u);
}

TEST(SettingsCheckTest, EmptySourceAndChoicesBackToTheirDefaultsChangeNothing) {
  EXPECT_EQ(Check({}).settings, GestureSettings{});
  EXPECT_TRUE(Check({}).problems.empty());
  const SettingsOutcome outcome = Check({Text("control_taps", "any"), Text("quit_taps", "any"),
                                         Int("double_tap_ms", 700), Text("control_key", "either")});
  EXPECT_TRUE(outcome.problems.empty());
  EXPECT_EQ(outcome.settings, GestureSettings{});
  EXPECT_EQ(Check({Text("control_key", "left")}).settings.control_key, ControlKey::kLeft);
}

TEST(SettingsCheckTest, RangesIncludeTheirBoundsAndAreNeverClamped) {
  EXPECT_EQ(Check({Int("chord_hold_ms", 300)}).settings.chord_hold_ms, 300u);
  EXPECT_EQ(Check({Int("chord_hold_ms", 5000)}).settings.chord_hold_ms, 5000u);
  EXPECT_EQ(Check({Int("double_tap_ms", 200)}).settings.double_tap_ms, 200u);
  EXPECT_EQ(Check({Int("double_tap_ms", 2000)}).settings.double_tap_ms, 2000u);

  for (int64_t bad : {int64_t{299}, int64_t{5001}, int64_t{-1000}, int64_t{1} << 40}) {
    const SettingsOutcome outcome = Check({Int("chord_hold_ms", bad, 7)});
    EXPECT_EQ(outcome.settings.chord_hold_ms, 1000u) << bad;
    ASSERT_EQ(outcome.problems.size(), 1u);
    EXPECT_EQ(outcome.problems[0], "/cfg/config.toml:7: chord_hold_ms = " + std::to_string(bad) +
                                       " is out of range (300 to 5000 ms); it stays 1000");
  }
  const SettingsOutcome low = Check({Int("double_tap_ms", 199, 2)});
  EXPECT_EQ(low.settings.double_tap_ms, 700u);
  EXPECT_EQ(low.problems.at(0),
            "/cfg/config.toml:2: double_tap_ms = 199 is out of range (200 to 2000 ms); it stays "
            "700");
}

TEST(SettingsCheckTest, WrongTypesAreNamedAndKeepTheDefault) {
  const SettingsOutcome outcome = Check({
      Text("mouse_chord", "no", 1),
      Int("quit_double_tap", 0, 2),
      Other("chord_hold_ms", "a fractional number", 3),
      Text("double_tap_ms", "500", 4),
      Bool("control_taps", true, 5),
      Text("quit_taps", "strict", 6),
      Text("control_key", "Right", 7),
  });
  EXPECT_EQ(outcome.settings, GestureSettings{});
  const std::vector<std::string> expected = {
      "/cfg/config.toml:1: mouse_chord must be true or false, not the string \"no\"; it stays "
      "true",
      "/cfg/config.toml:2: quit_double_tap must be true or false, not the number 0; it stays "
      "true",
      "/cfg/config.toml:3: chord_hold_ms must be a whole number of milliseconds from 300 to "
      "5000, not a fractional number; it stays 1000",
      "/cfg/config.toml:4: double_tap_ms must be a whole number of milliseconds from 200 to "
      "2000, not the string \"500\"; it stays 700",
      "/cfg/config.toml:5: control_taps must be \"any\" or \"clean\", not true; it stays \"any\"",
      "/cfg/config.toml:6: quit_taps must be \"any\" or \"consecutive\", not the string "
      "\"strict\"; it stays \"any\"",
      "/cfg/config.toml:7: control_key must be \"either\", \"left\" or \"right\", not the "
      "string \"Right\"; it stays \"either\"",
  };
  EXPECT_EQ(outcome.problems, expected);
}

TEST(SettingsCheckTest, OneBadSettingCostsOnlyItself) {
  const SettingsOutcome outcome = Check({
      Bool("mouse_chord", false, 1),
      Bool("chord_hold", true, 2),  // a misspelt name
      Int("double_tap_ms", 50, 3),
      Text("quit_taps", "consecutive", 4),
  });
  EXPECT_FALSE(outcome.settings.mouse_chord);
  EXPECT_EQ(outcome.settings.double_tap_ms, 700u);
  EXPECT_EQ(outcome.settings.quit_taps, QuitTapRule::kConsecutive);
  ASSERT_EQ(outcome.problems.size(), 2u);
  EXPECT_EQ(
      outcome.problems[0],
      "/cfg/config.toml:2: unknown setting \"chord_hold\", ignored; the settings are "
      "control_double_tap, control_taps, control_key, mouse_chord, chord_hold_ms, quit_double_tap, "
      "quit_taps, double_tap_ms, on_hub_left, on_hub_arrived, hub");
  EXPECT_EQ(outcome.problems[1].rfind("/cfg/config.toml:3: double_tap_ms = 50", 0), 0u);
}

TEST(SettingsCheckTest, ASourceThatCannotBeReadGivesOneLineAndEveryDefault) {
  SettingsRead read;
  read.entries = {Bool("mouse_chord", false)};  // ignored beside a failure
  read.failure = "not a valid settings file (Error while parsing key)";
  read.failure_line = 3;
  const SettingsOutcome parsed = CheckSettings(read, SettingNames::kSnakeCase, "/c.toml");
  EXPECT_EQ(parsed.settings, GestureSettings{});
  EXPECT_EQ(parsed.problems,
            std::vector<std::string>{"/c.toml:3: not a valid settings file (Error while parsing "
                                     "key); every setting keeps its default"});

  read.failure = "cannot be read (not a regular file)";
  read.failure_line = 0;
  EXPECT_EQ(CheckSettings(read, SettingNames::kSnakeCase, "/c.toml").problems.at(0),
            "/c.toml: cannot be read (not a regular file); every setting keeps its default");
}

TEST(SettingsCheckTest, SourcesWithoutLinesAndHostileNamesStayOnOneLine) {
  SettingsRead read;
  read.entries = {Int("ChordHoldMs", 100, 0),
                  Bool(std::string("evil\nkey\x1b[2J") + std::string(100, 'x'), true, 0)};
  const SettingsOutcome outcome =
      CheckSettings(read, SettingNames::kCamelCase, "user defaults org.example");
  ASSERT_EQ(outcome.problems.size(), 2u);
  EXPECT_EQ(outcome.problems[0],
            "user defaults org.example: ChordHoldMs = 100 is out of range (300 to 5000 ms); it "
            "stays 1000");
  const std::string& hostile = outcome.problems[1];
  EXPECT_EQ(hostile.find('\n'), std::string::npos);
  EXPECT_EQ(hostile.find('\x1b'), std::string::npos);
  EXPECT_NE(hostile.find("\"evil\\x0Akey\\x1B[2J"), std::string::npos);
  EXPECT_NE(hostile.find("...\", ignored"), std::string::npos);  // cut short
}

TEST(SettingsCheckTest, OnlyTheStrictTapRulesOfGesturesThatAreOnNeedEveryKey) {
  GestureSettings s;
  EXPECT_FALSE(GesturesNeedEveryKey(s));
  s.control_taps = ControlTapRule::kClean;
  EXPECT_TRUE(GesturesNeedEveryKey(s));
  s.control_double_tap = false;
  EXPECT_FALSE(GesturesNeedEveryKey(s));
  s.quit_taps = QuitTapRule::kConsecutive;
  EXPECT_TRUE(GesturesNeedEveryKey(s));
  s.quit_double_tap = false;
  EXPECT_FALSE(GesturesNeedEveryKey(s));
}

}  // namespace

namespace {

// Read again while other settings are in force: a value that cannot be used
// keeps the one in force (and says it), one left out has its default.
TEST(SettingsCheckTest, ARereadKeepsTheValueInForceForEachMistake) {
  GestureSettings kept;
  kept.control_taps = ControlTapRule::kClean;
  kept.mouse_chord = false;
  kept.chord_hold_ms = 1500;
  kept.double_tap_ms = 300;
  kept.control_key = ControlKey::kLeft;
  HubHooks kept_hooks;
  kept_hooks.on_left = {"ddcutil", "setvcp"};
  SettingEntry hook = Text("on_hub_left", "ddcutil");
  struct Case {
    SettingEntry entry;
    std::string says;  // the end of the problem line
    GestureSettings expected;
  };
  const GestureSettings defaults;
  auto with = [](auto change) {
    GestureSettings s;
    change(s);
    return s;
  };
  const std::vector<Case> cases = {
      {Int("chord_hold_ms", 20), "it stays 1500",
       with([](GestureSettings& s) { s.chord_hold_ms = 1500; })},
      {Text("double_tap_ms", "wide"), "it stays 300",
       with([](GestureSettings& s) { s.double_tap_ms = 300; })},
      {Int("mouse_chord", 1), "it stays false",
       with([](GestureSettings& s) { s.mouse_chord = false; })},
      {Text("control_taps", "tidy"), "it stays \"clean\"",
       with([](GestureSettings& s) { s.control_taps = ControlTapRule::kClean; })},
      {Text("quit_taps", "tidy"), "it stays \"any\"", defaults},
      {Int("control_key", 2), "it stays \"left\"",
       with([](GestureSettings& s) { s.control_key = ControlKey::kLeft; })},
      {hook, "the hook stays as it was", defaults},
  };
  for (const Case& c : cases) {
    SettingsRead read;
    read.entries = {c.entry};
    const SettingsOutcome out =
        CheckSettings(read, SettingNames::kSnakeCase, "/cfg/config.toml", kept, kept_hooks);
    ASSERT_EQ(out.problems.size(), 1u) << c.entry.key;
    const std::string& line = out.problems[0];
    EXPECT_EQ(line.substr(line.size() - c.says.size()), c.says) << line;
    EXPECT_EQ(out.settings, c.expected) << c.entry.key;
    // The hook in force stays only where its own setting is wrong.
    EXPECT_EQ(out.hooks.on_left,
              c.entry.key == "on_hub_left" ? kept_hooks.on_left : std::vector<std::string>{})
        << c.entry.key;
  }
  // A hook that was off stays off, in the words used at start.
  SettingsRead read;
  read.entries = {hook};
  const SettingsOutcome off = CheckSettings(read, SettingNames::kSnakeCase, "/c", kept);
  ASSERT_EQ(off.problems.size(), 1u);
  EXPECT_NE(off.problems[0].find("; the hook stays off"), std::string::npos) << off.problems[0];
  EXPECT_TRUE(off.hooks.on_left.empty());
}

TEST(SettingsCheckTest, AnUnreadableRereadChangesNothing) {
  GestureSettings kept;
  kept.double_tap_ms = 300;
  kept.control_key = ControlKey::kLeft;
  HubHooks kept_hooks;
  kept_hooks.on_arrived = {"true"};
  SettingsRead broken;
  broken.failure = "not a valid settings file (expected a value)";
  broken.failure_line = 4;
  const SettingsOutcome out =
      CheckSettings(broken, SettingNames::kSnakeCase, "/c", kept, kept_hooks);
  EXPECT_EQ(out.settings, kept);
  EXPECT_EQ(out.hooks, kept_hooks);
  ASSERT_EQ(out.problems.size(), 1u);
  EXPECT_EQ(out.problems[0],
            "/c:4: not a valid settings file (expected a value); every setting stays as it was");
}

}  // namespace
