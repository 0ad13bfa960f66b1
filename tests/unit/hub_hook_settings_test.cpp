// The two hook settings as a settings file holds them: what applies, and
// the one line for each value that cannot (the hook then stays off).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gestures/gesture_settings.h"
#include "platform/toml/toml_settings.h"

namespace {

SettingsOutcome FromFile(const std::string& text) {
  return CheckSettings(toml_settings::ParseSettingsText(text), platform::SettingNames::kSnakeCase,
                       "/cfg/config.toml");
}

TEST(HookSettingsTest, ArgumentListsApplyAndAnEmptyOneIsOff) {
  const SettingsOutcome outcome = FromFile(
      "on_hub_left = [\"ddcutil\", \"--display\", \"1\", \"setvcp\", \"60\", \"0x0f\"]\n"
      "on_hub_arrived = []\n"
      "mouse_chord = false\n");
  EXPECT_TRUE(outcome.problems.empty()) << outcome.problems[0];
  EXPECT_EQ(outcome.hooks.on_left,
            (std::vector<std::string>{"ddcutil", "--display", "1", "setvcp", "60", "0x0f"}));
  EXPECT_TRUE(outcome.hooks.on_arrived.empty());
  EXPECT_FALSE(outcome.settings.mouse_chord);  // the gestures' settings still apply
}

TEST(HookSettingsTest, EachBadValueIsOneLineAndTheHookStaysOff) {
  struct Case {
    const char* line;
    const char* problem;
  };
  const std::string long_arg(kMaxHookArgumentBytes + 1, 'a');
  std::string many = "on_hub_left = [";
  for (size_t i = 0; i <= kMaxHookArguments; ++i) many += "\"x\",";
  many += "]";
  const std::string too_long = "on_hub_left = [\"sh\", \"" + long_arg + "\"]";
  const std::vector<Case> cases = {
      {"on_hub_left = \"ddcutil setvcp 60 0x0f\"",
       "/cfg/config.toml:2: on_hub_left must be an array of strings, the program and its "
       "arguments (on_hub_left = [\"ddcutil\", \"setvcp\", \"60\", \"0x0f\"]), not a single "
       "string; the hook stays off"},
      {"on_hub_left = true", "on_hub_left must be an array of strings"},
      {"on_hub_left = [\"ddcutil\", 60]",
       "/cfg/config.toml:2: on_hub_left item 2 must be a string, not the number 60; the hook "
       "stays off"},
      {"on_hub_left = [[\"sh\"]]", "on_hub_left item 1 must be a string, not an array; "},
      {"on_hub_left = [\"\", \"x\"]",
       "on_hub_left names no program (its first item is empty); the hook stays off"},
      {"on_hub_left = [\"a\\u0000b\"]", "item 1 holds a zero byte"},
      {many.c_str(), "on_hub_left has 65 items, more than 64; the hook stays off"},
      {too_long.c_str(), "on_hub_left item 2 is longer than 4096 bytes"},
      {"on_hub_left = { program = \"x\" }", "not a table; the hook stays off"},
  };
  for (const Case& c : cases) {
    const SettingsOutcome outcome = FromFile(std::string("on_hub_arrived = [\"true\"]\n") + c.line);
    ASSERT_EQ(outcome.problems.size(), 1u) << c.line;
    EXPECT_NE(outcome.problems[0].find(c.problem), std::string::npos)
        << c.line << "\n  gave: " << outcome.problems[0];
    EXPECT_TRUE(outcome.hooks.on_left.empty()) << c.line;
    EXPECT_EQ(outcome.hooks.on_arrived, std::vector<std::string>{"true"}) << c.line;
  }
}

TEST(HookSettingsTest, UserDefaultsSpellTheNamesInCamelCase) {
  platform::SettingsRead read;
  platform::SettingEntry entry{"OnHubArrived", {}, 0};
  entry.value.kind = platform::SettingValue::Kind::kList;
  entry.value.items.resize(2);
  for (auto& item : entry.value.items) item.kind = platform::SettingValue::Kind::kText;
  entry.value.items[0].text = "m1ddc";
  entry.value.items[1].text = "set";
  read.entries = {entry, {"on_hub_left", {}, 0}};
  const SettingsOutcome outcome =
      CheckSettings(read, platform::SettingNames::kCamelCase, "user defaults x.y.z");
  EXPECT_EQ(outcome.hooks.on_arrived, (std::vector<std::string>{"m1ddc", "set"}));
  ASSERT_EQ(outcome.problems.size(), 1u);
  EXPECT_NE(outcome.problems[0].find("unknown setting \"on_hub_left\""), std::string::npos);
  EXPECT_NE(outcome.problems[0].find("OnHubLeft, OnHubArrived"), std::string::npos);
}

}  // namespace
