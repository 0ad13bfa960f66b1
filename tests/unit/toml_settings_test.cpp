// The settings file: what the TOML reader hands on, with its lines, and the
// files it refuses unread.
#include "platform/toml/toml_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/hostile_support.h"

namespace {

using platform::SettingValue;
using toml_settings::ParseSettingsText;
using toml_settings::TomlSettingsFile;

TEST(TomlSettingsTest, TopLevelKeysComeInTheFilesOrderWithTheirKindsAndLines) {
  const platform::SettingsRead read = ParseSettingsText(
      "# gestures\n"
      "mouse_chord = false\n"
      "\n"
      "chord_hold_ms = 1500   # ms\n"
      "control_taps = \"clean\"\n"
      "double_tap_ms = 4.5e2\n"
      "extra = [1, 2]\n"
      "when = 2024-01-01\n"
      "[quit]\n"
      "taps = 1\n");
  ASSERT_FALSE(read.failure.has_value());
  ASSERT_EQ(read.entries.size(), 7u);
  EXPECT_EQ(read.entries[0].key, "mouse_chord");
  EXPECT_EQ(read.entries[0].line, 2);
  EXPECT_EQ(read.entries[0].value.kind, SettingValue::Kind::kBoolean);
  EXPECT_FALSE(read.entries[0].value.boolean);
  EXPECT_EQ(read.entries[1].line, 4);
  EXPECT_EQ(read.entries[1].value.kind, SettingValue::Kind::kInteger);
  EXPECT_EQ(read.entries[1].value.integer, 1500);
  EXPECT_EQ(read.entries[2].value.kind, SettingValue::Kind::kText);
  EXPECT_EQ(read.entries[2].value.text, "clean");
  // Everything else is named for the message that refuses it.
  EXPECT_EQ(read.entries[3].value.kind, SettingValue::Kind::kOther);
  EXPECT_EQ(read.entries[3].value.text, "a fractional number");
  // An array is a list of its items' values.
  EXPECT_EQ(read.entries[4].value.kind, SettingValue::Kind::kList);
  ASSERT_EQ(read.entries[4].value.items.size(), 2u);
  EXPECT_EQ(read.entries[4].value.items[1].integer, 2);
  EXPECT_EQ(read.entries[5].value.text, "a date or time");
  EXPECT_EQ(read.entries[6].key, "quit");
  EXPECT_EQ(read.entries[6].value.text, "a table");
  EXPECT_EQ(read.entries[6].line, 9);
}

TEST(TomlSettingsTest, LettersBeyondAsciiInStringsAndCommentsReadAsWritten) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;  // null: not a string
    int line;
  };
  for (const Case& c : {
           Case{"\xEF\xBB\xBF# Zo\xC3\xAB's settings, caf\xC3\xA9\nname = \"caf\xC3\xA9\"\n",
                "name", "caf\xC3\xA9", 2},
           Case{"name = 'C:\\Users\\Zo\xC3\xAB \"home\"' # \xE2\x82\xAC\n", "name",
                "C:\\Users\\Zo\xC3\xAB \"home\"", 1},
           Case{"name = \"tab\\t \\\"\xC3\xA9\\\" \\u00e9 \xF0\x9F\x98\x80\"\n", "name",
                "tab\t \"\xC3\xA9\" \xC3\xA9 \xF0\x9F\x98\x80", 1},
           Case{"\n\nname = \"\"\"\nZo\xC3\xAB \"\"said\"\" \\\n  \xE2\x82\xAC\"\"\"\"\n", "name",
                "Zo\xC3\xAB \"\"said\"\" \xE2\x82\xAC\"", 3},
           Case{"name = '''\nit's Zo\xC3\xAB's \\ \"\"\" ''''\n", "name",
                "it's Zo\xC3\xAB's \\ \"\"\" '", 1},
           Case{"'cl\xC3\xA9' = 1\n", "cl\xC3\xA9", nullptr, 1},
           Case{"[t]\n\"cl\xC3\xA9\" = '\xC3\xA9'\n", "t", nullptr, 1},
       }) {
    const platform::SettingsRead read = ParseSettingsText(c.text);
    ASSERT_FALSE(read.failure.has_value()) << c.text << ": " << *read.failure;
    ASSERT_EQ(read.entries.size(), 1u) << c.text;
    EXPECT_EQ(read.entries[0].key, c.key);
    EXPECT_EQ(read.entries[0].line, c.line) << c.text;
    if (c.value != nullptr) {
      EXPECT_EQ(read.entries[0].value.text, c.value) << c.text;
    }
  }
}

TEST(TomlSettingsTest, TextThatIsNotUtf8OrALetterOutsideTextFailsAtItsLine) {
  struct Case {
    std::string text;
    int line;
    const char* why;  // null: the parser's own words
  };
  for (const Case& c : {
           Case{"\"]aTnb\" = 1\xC7\xA3t\n", 1, "a letter beyond ASCII outside a string or comment"},
           Case{"mouse_chord = false\nx =\xC2\xA1 1\n", 2, "a letter beyond ASCII outside"},
           Case{"a = 1\n# \xC3\n", 2, "not UTF-8 text"},
           Case{"a = \"caf\xE9\"\n", 1, "not UTF-8 text"},
           Case{"a = \"\xED\xA0\x80\"\n", 1, "not UTF-8 text"},  // a surrogate
           Case{"a = \"\xC0\xAF\"\n", 1, "not UTF-8 text"},      // overlong
           Case{"a = \"\\\xC3\xA9\"\n", 1, nullptr},             // no such escape
           Case{"a = 1\x08\"\\u000b[2J\xEF\xB9\xBF\"\n", 1, nullptr},
       }) {
    const platform::SettingsRead read = ParseSettingsText(c.text);
    ASSERT_TRUE(read.failure.has_value()) << c.text;
    EXPECT_EQ(read.failure_line, c.line) << c.text;
    EXPECT_TRUE(read.entries.empty());
    if (c.why != nullptr) {
      EXPECT_NE(read.failure->find(c.why), std::string::npos) << *read.failure;
    }
  }
}

TEST(TomlSettingsTest, SyntaxErrorsAndBinaryBytesFailTheWholeFileWithALine) {
  const platform::SettingsRead duplicate =
      ParseSettingsText("mouse_chord = false\nmouse_chord = true\n");
  ASSERT_TRUE(duplicate.failure.has_value());
  EXPECT_EQ(duplicate.failure_line, 2);
  EXPECT_TRUE(duplicate.entries.empty());

  const platform::SettingsRead unquoted = ParseSettingsText("a = 1\ncontrol_taps = clean\n");
  ASSERT_TRUE(unquoted.failure.has_value());
  EXPECT_EQ(unquoted.failure_line, 2);
  EXPECT_EQ(unquoted.failure->rfind("not a valid settings file (", 0), 0u);

  const std::string binary(
      "\x7F"
      "ELF\x02\x01\x01\0\0\0\xFF\xFE\n\x1b[2J",
      17);
  const platform::SettingsRead garbage = ParseSettingsText(binary);
  ASSERT_TRUE(garbage.failure.has_value());
  for (char c : *garbage.failure) {
    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << static_cast<int>(c) << " in the message";
  }
}

class TomlSettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/qs-settings-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/config.toml";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  platform::SettingsRead Read() { return TomlSettingsFile(path_).Read(); }
  std::string dir_, path_;
};

TEST_F(TomlSettingsFileTest, NoFileIsNoSettingsAndAFileIsOnlyRead) {
  const platform::SettingsRead none = Read();
  EXPECT_FALSE(none.failure.has_value());
  EXPECT_TRUE(none.entries.empty());

  const std::string text = "mouse_chord = false\n";
  ASSERT_TRUE(hostile::Spit(path_, text));
  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  const platform::SettingsRead read = Read();
  ASSERT_EQ(read.entries.size(), 1u);
  EXPECT_EQ(TomlSettingsFile(path_).Location(), path_);
  // Left exactly as it was: same content, same file.
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(hostile::Slurp(path_), text);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST_F(TomlSettingsFileTest, HostileFilesAreRefusedUnread) {
  auto expect_refused = [this](const std::string& what, const std::string& reason) {
    const int child = hostile::InChild(
        [this] {
          const platform::SettingsRead read = Read();
          return read.failure.has_value() && read.entries.empty() ? 0 : 1;
        },
        10);
    EXPECT_EQ(child, 0) << what << ": not refused, or the reader hung";
    const platform::SettingsRead read = Read();
    ASSERT_TRUE(read.failure.has_value()) << what;
    EXPECT_EQ(*read.failure, "cannot be read (" + reason + ")") << what;
  };

  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // no writer: a blocking open would wait
  expect_refused("a named pipe", "not a regular file");
  ASSERT_EQ(::unlink(path_.c_str()), 0);

  ASSERT_EQ(::symlink("/dev/zero", path_.c_str()), 0);  // never ends
  expect_refused("a link to /dev/zero", "not a regular file");
  ASSERT_EQ(::unlink(path_.c_str()), 0);

  ASSERT_EQ(::mkdir(path_.c_str(), 0700), 0);
  expect_refused("a folder", "Is a directory");
  ASSERT_EQ(::rmdir(path_.c_str()), 0);

  std::string huge;
  while (huge.size() <= toml_settings::kMaxSettingsBytes) huge += "# padding padding padding\n";
  ASSERT_TRUE(hostile::Spit(path_, huge));
  expect_refused("a file over the size limit", "File too large");
}

}  // namespace
