// The real executable, resident with fake devices, while its settings file
// changes: renamed into place, written in place, broken, removed. Each
// change is read once and put in force without a restart (what the new
// values then do to the gestures is the simulated platform's to show: the
// fake keyboard answers this process only).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "fake_hub.h"
#include "fake_input.h"
#include "support/hostile_support.h"
#include "tool_run_fixture.h"

namespace {

class SettingsFollowTest : public linux_test::ToolRunTest {
 protected:
  void SetUp() override {
    ToolRunTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    hub_ = std::make_unique<linux_test::FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    keyboard_ =
        std::make_unique<linux_test::FakeInput>(testbed_, linux_test::FakeKind::kKeyboard, 7);
  }

  std::string File() const { return SettingsFile(); }
  // In place: the file itself truncated and written, as `echo >` does.
  void WriteInPlace(const std::string& text) {
    const int fd = ::open(File().c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }

  std::unique_ptr<linux_test::FakeHub> hub_;
  std::unique_ptr<linux_test::FakeInput> keyboard_;
  const std::string config_dir_ = dir_ + "/home/.config/quembrastella-switch";
};

TEST_F(SettingsFollowTest, EveryKindOfChangeAppliesWhileTheToolRuns) {
  ASSERT_TRUE(StartResident()) << Out() << Err();
  const std::string read_again = "Settings: read " + File() + " again.\n";

  // An editor's save: a new file renamed over the place of the old.
  ASSERT_TRUE(hostile::Spit(config_dir_ + "/.config.toml.swp",
                            "control_double_tap = false\ndouble_tap_ms = 300\n"));
  ASSERT_EQ(::rename((config_dir_ + "/.config.toml.swp").c_str(), File().c_str()), 0);
  ASSERT_TRUE(WaitFor("out", read_again +
                                 "Hold mouse L+R buttons for 1 second to trigger USB-C switch.\n"
                                 "Or, double-tap 'Q' (Q, Q) within 300 ms to quit this tool.\n"))
      << Out();
  // Written in place: the double-tap back on, with clean taps, for which
  // the tool now lets every key through its kernel filter.
  WriteInPlace("double_tap_ms = 400\ncontrol_taps = \"clean\"\n");
  const std::string clean =
      "Hold mouse L+R buttons for 1 second OR double-tap Control without "
      "other keys (Ctrl, Ctrl) within 400 ms";
  ASSERT_TRUE(WaitFor("out", read_again + clean)) << Out();

  // Broken while being edited: the line named, nothing changed.
  WriteInPlace("double_tap_ms =\n");
  EXPECT_TRUE(WaitFor("err", File() + ":1: not a valid settings file"));
  EXPECT_TRUE(WaitFor("err", "; every setting stays as it was\n")) << Err();
  EXPECT_TRUE(WaitFor("out", read_again + clean)) << Out();

  // Removed: every default.
  ASSERT_EQ(::unlink(File().c_str()), 0);
  EXPECT_TRUE(WaitFor("out", "Settings: " + File() +
                                 " is gone; every setting is back to its default.\n"
                                 "Hold mouse L+R buttons for 1 second OR double-tap Control "
                                 "(Ctrl, Ctrl) to trigger USB-C switch.\n"))
      << Out();
  // Each change was read once: an editor's steps and a write's pieces are
  // one burst.
  const std::string out = Out();
  size_t reads = 0;
  for (size_t at = out.find("Settings: "); at != std::string::npos;
       at = out.find("Settings: ", at + 1)) {
    ++reads;
  }
  EXPECT_EQ(reads, 4u) << out;
}

}  // namespace
