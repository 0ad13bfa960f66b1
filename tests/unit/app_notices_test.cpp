// Desktop notices the tool gives beyond a gesture's failed switch: a
// failure of --switch and settings with mistakes, shown only where nobody
// reads standard error, and the text for a desktop without a tray.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "gestures/settings_start.h"
#include "notice_recorder.h"
#include "switch_test_support.h"

namespace {

using switch_test::NoticeRecorder;

// A settings file with one name the tool does not know and one value out
// of range.
class FaultySettings : public platform::SettingsSource {
 public:
  std::string Location() override { return home + "/.config/qs/config.toml"; }
  platform::SettingNames Names() override { return platform::SettingNames::kSnakeCase; }
  platform::SettingsRead Read() override {
    platform::SettingsRead read;
    platform::SettingValue number;
    number.kind = platform::SettingValue::Kind::kInteger;
    number.integer = 5;
    read.entries = {{"no_such_setting", number, 2}, {"double_tap_ms", number, 3}};
    return read;
  }
  std::string home;
};

class NoticesTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    switch_test::SimTest::SetUp();
    recorder_ = std::make_unique<NoticeRecorder>(platform::Sys().ui);
    settings_.home = platform::Sys().files->HomeDirectory();
    platform::Services services = platform::Sys();
    services.ui = recorder_.get();
    services.settings = &settings_;
    platform::InstallServices(services);
  }
  std::unique_ptr<NoticeRecorder> recorder_;
  FaultySettings settings_;
};

// Started from a terminal the lines on standard error are seen; from the
// desktop (standard error unseen) or at login (--service) one notice names
// the file and the first mistake.
TEST_F(NoticesTest, SettingsMistakesAreNoticedOnlyWhereStandardErrorIsUnseen) {
  struct Case {
    bool service;
    bool console_seen;
    size_t notices;
  };
  for (const Case& c : {Case{false, true, 0}, Case{false, false, 1}, Case{true, true, 1}}) {
    recorder_->notices.clear();
    recorder_->console_seen = c.console_seen;
    testing::internal::CaptureStderr();
    LoadGestureSettings(c.service);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no_such_setting"), std::string::npos) << err;
    EXPECT_NE(err.find("double_tap_ms"), std::string::npos) << "every mistake on stderr: " << err;
    ASSERT_EQ(recorder_->notices.size(), c.notices) << c.service << c.console_seen;
    if (c.notices == 0) continue;
    EXPECT_EQ(recorder_->notices[0].first, kSettingsNoticeKind);
    const std::string& text = recorder_->notices[0].second;
    EXPECT_EQ(text.rfind("Settings: 2 mistakes\n~/.config/qs/config.toml:2: ", 0), 0u) << text;
    EXPECT_NE(text.find("no_such_setting"), std::string::npos) << text;
    EXPECT_EQ(text.find(":3:"), std::string::npos) << "only the first: " << text;
    EXPECT_EQ(text.find("; "), std::string::npos) << "what applies instead stays out: " << text;
  }
}

// --switch from a desktop shortcut shows its failure as a notice as well;
// from a terminal only standard error has it.
TEST_F(NoticesTest, SwitchCommandFailureIsNoticedWhereStandardErrorIsUnseen) {
  Hub().SetPresent(false);
  for (const bool seen : {true, false}) {
    recorder_->notices.clear();
    recorder_->console_seen = seen;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunSwitchCommand(false), kCommandFailed);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("USB device not found"), std::string::npos) << "full line kept: " << err;
    // The settings' own notice (this source has mistakes) may come too.
    std::vector<std::string> switch_notices;
    for (const auto& [kind, text] : recorder_->notices) {
      if (kind == kSwitchNoticeKind) switch_notices.push_back(text);
    }
    ASSERT_EQ(switch_notices.size(), seen ? 0u : 1u);
    if (!seen) {
      EXPECT_EQ(switch_notices[0].rfind("Hub not found\n", 0), 0u);
    }
  }
}

TEST(NoTrayNoticeText, NamesOnlyTheGesturesOnAndHowToEnd) {
  struct Case {
    bool control, mouse, quit;
    const char* body;
    ControlKey key = ControlKey::kEither;
  };
  const Case cases[] = {
      {true, true, true,
       "Double-tap Control or hold the left and right mouse buttons to switch; double-tap Q to "
       "quit."},
      {true, false, true, "Double-tap Control to switch; double-tap Q to quit."},
      {true, false, true, "Double-tap right Control to switch; double-tap Q to quit.",
       ControlKey::kRight},
      {false, true, false,
       "Hold the left and right mouse buttons to switch; to end it, run quembrastella-switch "
       "--quit."},
      {false, false, false,
       "No gesture switches (both are off in the settings); to end it, run quembrastella-switch "
       "--quit."},
  };
  for (const Case& c : cases) {
    GestureSettings s;
    s.control_double_tap = c.control;
    s.mouse_chord = c.mouse;
    s.quit_double_tap = c.quit;
    s.control_key = c.key;
    EXPECT_EQ(NoTrayNoticeText(s), std::string("Running without a tray icon\n") + c.body);
  }
}

TEST(SettingsNoticeText, WritesTheHomeShortAndCountsTheMistakes) {
  const std::string file = "/home/u/.config/qs/config.toml";
  EXPECT_EQ(SettingsNoticeText({file + ":4: bad; the default applies"}, file, "/home/u"),
            "Settings: one mistake\n~/.config/qs/config.toml:4: bad");
  // A file outside the home folder is named in full.
  EXPECT_EQ(
      SettingsNoticeText({"/etc/qs.toml: bad", "/etc/qs.toml: worse"}, "/etc/qs.toml", "/home/u"),
      "Settings: 2 mistakes\n/etc/qs.toml: bad (all on standard error)");
}

}  // namespace
