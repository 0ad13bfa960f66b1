// The real executable, resident with fake devices, while its settings file
// changes: renamed into place, written in place, broken, removed. Each
// change is read once and put in force without a restart (what the new
// values then do to the gestures is the simulated platform's to show: the
// fake keyboard answers this process only).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "fake_hub.h"
#include "fake_input.h"
#include "support/hostile_support.h"

namespace {

class SettingsFollowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!linux_test::Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    char pattern[] = "/tmp/qs-follow-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    config_dir_ = dir_ + "/home/.config/quembrastella-switch";
    std::filesystem::create_directories(config_dir_);
    std::filesystem::create_directories(dir_ + "/runtime");
    ASSERT_EQ(::chmod((dir_ + "/runtime").c_str(), 0700), 0);
    hub_ = std::make_unique<linux_test::FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    keyboard_ =
        std::make_unique<linux_test::FakeInput>(testbed_, linux_test::FakeKind::kKeyboard, 7);
  }
  void TearDown() override {
    if (tool_ > 0) {
      ::kill(tool_, SIGTERM);
      int status = 0;
      ::waitpid(tool_, &status, 0);
    }
    keyboard_.reset();
    hub_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  void StartTool() {
    const std::string out = dir_ + "/out", err = dir_ + "/err";
    tool_ = ::fork();
    if (tool_ == 0) {
      ::setenv("HOME", (dir_ + "/home").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
      ::unsetenv("XDG_CONFIG_HOME");
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      if (o < 0 || e < 0 || in < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::dup2(in, 0) < 0)
        _exit(120);
      ::execl(QS_TOOL_BINARY, QS_TOOL_BINARY, "--service", "--console", nullptr);
      _exit(121);
    }
    ASSERT_GT(tool_, 0);
    ASSERT_TRUE(WaitFor("out", "Running...\n")) << Out();
  }

  std::string Out() const { return hostile::Slurp(dir_ + "/out"); }
  std::string Err() const { return hostile::Slurp(dir_ + "/err"); }

  // Waits up to 10 s for `text` in the tool's standard output ("out") or
  // error ("err") after what earlier waits found there.
  bool WaitFor(const std::string& which, const std::string& text) {
    size_t& from = which == "out" ? out_seen_ : err_seen_;
    for (int i = 0; i < 200; ++i) {
      const std::string all = hostile::Slurp(dir_ + "/" + which);
      const size_t at = all.find(text, from);
      if (at != std::string::npos) {
        from = at + text.size();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string File() const { return config_dir_ + "/config.toml"; }
  // In place: the file itself truncated and written, as `echo >` does.
  void WriteInPlace(const std::string& text) {
    const int fd = ::open(File().c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }

  linux_test::Testbed testbed_;
  std::unique_ptr<linux_test::FakeHub> hub_;
  std::unique_ptr<linux_test::FakeInput> keyboard_;
  std::string dir_, config_dir_;
  pid_t tool_ = -1;
  size_t out_seen_ = 0, err_seen_ = 0;
};

TEST_F(SettingsFollowTest, EveryKindOfChangeAppliesWhileTheToolRuns) {
  StartTool();
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
