#include "tool_run_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace linux_test {

void ToolRunTest::SetUp() {
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

void ToolRunTest::TearDown() {
  if (resident_ > 0) {
    ::kill(resident_, SIGTERM);
    (void)WaitResident();
  }
}

hostile::ChildRun ToolRunTest::Tool(const std::vector<std::string>& args) const {
  return hostile::Run(QS_TOOL_BINARY, args, hostile::Stdout::kCaptured, env_);
}

std::string ToolRunTest::SettingsFile() const {
  return dir_ + "/home/.config/quembrastella-switch/config.toml";
}

void ToolRunTest::Settings(const std::string& text) const {
  std::ofstream(SettingsFile()) << text;
}

bool ToolRunTest::StartResident() {
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
    ::execl(QS_TOOL_BINARY, QS_TOOL_BINARY, "--service", "--console", static_cast<char*>(nullptr));
    _exit(121);
  }
  return resident_ > 0 && WaitFor("out", "Running...\n");
}

std::string ToolRunTest::Out() const {
  return hostile::Slurp(dir_ + "/out");
}
std::string ToolRunTest::Err() const {
  return hostile::Slurp(dir_ + "/err");
}

bool ToolRunTest::WaitFor(const std::string& which, const std::string& text) {
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

int ToolRunTest::WaitResident() {
  if (resident_ <= 0) return -1;
  int status = 0;
  const pid_t ended = ::waitpid(resident_, &status, 0);
  resident_ = -1;
  return ended > 0 ? status : -1;
}

}  // namespace linux_test
