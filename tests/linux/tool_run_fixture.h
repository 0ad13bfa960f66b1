// The fixture of the tests that run the real executable against umockdev's
// fake devices as its user would: in a folder of the test's own, with HOME
// there (and its settings folder), a runtime folder of its own for the
// single-instance lock (so that no instance of the machine's user is met,
// and none is disturbed) and no display.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/hostile_support.h"
#include "testbed.h"

namespace linux_test {

class ToolRunTest : public ::testing::Test {
 protected:
  using Env = std::map<std::string, std::optional<std::string>>;

  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    ASSERT_FALSE(dir_.empty());
    std::filesystem::create_directories(dir_ + "/home/.config/quembrastella-switch");
    std::filesystem::create_directories(dir_ + "/runtime");
    ASSERT_EQ(::chmod((dir_ + "/runtime").c_str(), 0700), 0);
    env_ = {{"HOME", dir_ + "/home"},
            {"XDG_CONFIG_HOME", std::nullopt},
            {"XDG_RUNTIME_DIR", dir_ + "/runtime"},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }
  // Ends a resident tool still running.
  void TearDown() override {
    if (resident_ <= 0) return;
    ::kill(resident_, SIGTERM);
    (void)WaitResident();
  }

  // The tool with `args`, run to its end, its output captured.
  hostile::ChildRun Tool(const std::vector<std::string>& args) const {
    return hostile::Run(QS_TOOL_BINARY, args, hostile::Stdout::kCaptured, env_);
  }

  std::string SettingsFile() const {
    return dir_ + "/home/.config/quembrastella-switch/config.toml";
  }
  void Settings(const std::string& text) const { std::ofstream(SettingsFile()) << text; }

  // Starts `--service --console` in the background, its standard output and
  // error in Out() and Err(), and waits for its banner (the lock is held by
  // then). False when it did not come up.
  bool StartResident() {
    const std::string out = dir_ + "/out", err = dir_ + "/err";
    resident_ = ::fork();
    if (resident_ == 0) {
      for (const auto& [name, value] : env_) {
        if (value) {
          ::setenv(name.c_str(), value->c_str(), 1);
        } else {
          ::unsetenv(name.c_str());
        }
      }
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      if (o < 0 || e < 0 || in < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::dup2(in, 0) < 0)
        _exit(120);
      ::execl(QS_TOOL_BINARY, QS_TOOL_BINARY, "--service", "--console", nullptr);
      _exit(121);
    }
    return resident_ > 0 && WaitFor("out", "Running...\n");
  }
  std::string Out() const { return hostile::Slurp(dir_ + "/out"); }
  std::string Err() const { return hostile::Slurp(dir_ + "/err"); }

  // Waits up to 10 s for `text` in the resident's standard output ("out") or
  // error ("err") after what earlier waits found there.
  bool WaitFor(const std::string& which, const std::string& text) {
    size_t& from = which == "out" ? out_seen_ : err_seen_;
    for (int i = 0; i < 200; ++i) {
      const size_t at = hostile::Slurp(dir_ + "/" + which).find(text, from);
      if (at != std::string::npos) {
        from = at + text.size();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Waits for the resident's end: its wait status, -1 when none is running.
  int WaitResident() {
    int status = 0;
    const pid_t ended = resident_ > 0 ? ::waitpid(resident_, &status, 0) : -1;
    resident_ = -1;
    return ended > 0 ? status : -1;
  }

  Testbed testbed_;
  hostile::TempFolder made_{"qs-tool-run"};
  const std::string dir_ = made_.path();
  Env env_;  // what the tool's environment changes; a test may add to it

 private:
  pid_t resident_ = -1;
  size_t out_seen_ = 0, err_seen_ = 0;
};

}  // namespace linux_test
