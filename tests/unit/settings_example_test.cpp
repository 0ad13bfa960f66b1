// The example settings file the package installs: every setting the tool
// knows is in it, each value it shows is one the tool takes, and the values
// of the settings that have a default are those defaults.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "gestures/gesture_settings.h"
#include "platform/settings.h"
#include "platform/toml/toml_settings.h"

namespace {

// The example with every "# key = value" line taken in, its prose left out.
std::string Uncommented(const std::string& text) {
  std::istringstream lines(text);
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find(" = ");
    if (line.rfind("# ", 0) != 0 || eq == std::string::npos) continue;
    const std::string key = line.substr(2, eq - 2);
    if (key.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") == std::string::npos) {
      out += line.substr(2) + "\n";
    }
  }
  return out;
}

// The names the tool knows, from what it says of an unknown one.
std::set<std::string> KnownNames() {
  platform::SettingsRead read;
  read.entries.push_back({"no_such_setting", {}, 1});
  const std::string problem =
      CheckSettings(read, platform::SettingNames::kSnakeCase, "f").problems.at(0);
  const std::string marker = "the settings are ";
  std::istringstream names(problem.substr(problem.find(marker) + marker.size()));
  std::set<std::string> known;
  for (std::string name; std::getline(names, name, ',');) {
    known.insert(name.substr(name.find_first_not_of(' ')));
  }
  return known;
}

TEST(SettingsExample, ShowsEverySettingWithAValueTheToolTakes) {
  std::ifstream file(QS_SOURCE_DIR "/resources/linux/config.toml.example");
  ASSERT_TRUE(file) << "resources/linux/config.toml.example";
  std::stringstream text;
  text << file.rdbuf();

  // As shipped, every line is a comment: it changes nothing.
  const platform::SettingsRead shipped = toml_settings::ParseSettingsText(text.str());
  EXPECT_FALSE(shipped.failure);
  EXPECT_TRUE(shipped.entries.empty());

  const platform::SettingsRead read = toml_settings::ParseSettingsText(Uncommented(text.str()));
  ASSERT_FALSE(read.failure) << *read.failure;
  std::set<std::string> shown;
  for (const platform::SettingEntry& entry : read.entries) shown.insert(entry.key);
  EXPECT_EQ(shown, KnownNames());

  const SettingsOutcome outcome = CheckSettings(read, platform::SettingNames::kSnakeCase, "f");
  EXPECT_TRUE(outcome.problems.empty()) << outcome.problems.front();
  EXPECT_EQ(outcome.settings, GestureSettings{});
}

}  // namespace
