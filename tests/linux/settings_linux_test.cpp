// The settings file on Linux: found through $XDG_CONFIG_HOME (or ~/.config)
// by the platform's own start, read into the settings the recognisers use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "gestures/gesture_settings.h"
#include "gestures/settings_start.h"
#include "platform/linux/files/linux_files.h"
#include "platform/linux/tool_runner.h"
#include "support/hostile_support.h"

namespace {

// Sets or unsets a variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// What the tool's main saw, from inside the platform's start.
GestureSettings g_seen;
std::string g_source_line;

int LoadOnly(int /*argc*/, char* /*argv*/[]) {
  LoadGestureSettings(false);
  g_seen = GestureSettingsInForce();
  g_source_line = SettingsSourceLine();
  return 0;
}

class LinuxSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/qs-settings-home-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    home_ = dir;
    ResetGestureSettings();
  }
  void TearDown() override {
    ResetGestureSettings();
    std::system(("rm -rf '" + home_ + "'").c_str());
  }
  void Write(const std::string& config_dir, const std::string& text) {
    const std::string folder = config_dir + "/quembrastella-switch";
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    ASSERT_TRUE(hostile::Spit(folder + "/config.toml", text));
  }
  // Runs the platform's start headless, with the tool's main replaced.
  std::string RunAndCaptureStderr() {
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    char name[] = "quembrastella-switch";
    char* argv[] = {name, nullptr};
    testing::internal::CaptureStderr();
    const int status = linux_platform::RunTool(1, argv, LoadOnly);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    return err;
  }
  std::string home_;
};

TEST_F(LinuxSettingsTest, TheFileIsFoundThroughXdgConfigHome) {
  const std::string config = home_ + "/elsewhere";
  Write(config, "mouse_chord = false\nchord_hold_ms = 100\n");
  // A file in ~/.config that must not be read while XDG_CONFIG_HOME is set.
  Write(home_ + "/.config", "quit_double_tap = false\n");
  ScopedEnv home("HOME", home_);
  ScopedEnv xdg("XDG_CONFIG_HOME", config);

  const std::string err = RunAndCaptureStderr();
  const std::string path = config + "/quembrastella-switch/config.toml";
  EXPECT_FALSE(g_seen.mouse_chord);
  EXPECT_TRUE(g_seen.quit_double_tap);
  EXPECT_EQ(g_seen.chord_hold_ms, 1000u);
  EXPECT_EQ(err,
            path + ":2: chord_hold_ms = 100 is out of range (300 to 5000 ms); it stays 1000\n");
  EXPECT_EQ(g_source_line, "Settings: " + path);
}

TEST_F(LinuxSettingsTest, WithoutXdgConfigHomeTheFileIsInDotConfig) {
  Write(home_ + "/.config", "quit_taps = \"consecutive\"\n");
  ScopedEnv home("HOME", home_);
  for (std::optional<std::string> xdg :
       {std::optional<std::string>{}, std::optional<std::string>{"relative/cfg"}}) {
    ScopedEnv unset("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(RunAndCaptureStderr(), "");
    EXPECT_EQ(g_seen.quit_taps, QuitTapRule::kConsecutive);
    EXPECT_EQ(g_source_line, "Settings: " + home_ + "/.config/quembrastella-switch/config.toml");
  }
}

TEST_F(LinuxSettingsTest, NoFileMeansEveryDefaultAndNoWord) {
  ScopedEnv home("HOME", home_);
  ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(RunAndCaptureStderr(), "");
  EXPECT_EQ(g_seen, GestureSettings{});
}

}  // namespace
