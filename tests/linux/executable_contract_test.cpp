// The real executable's promises to scripts and service managers, against
// umockdev's fake devices: --status --json prints one JSON object and
// nothing else on standard output in every outcome, --console or not;
// --quit ends the running instance in order (0) or finds none (1); a run
// that can read no input device ends with status 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake_hub.h"
#include "fake_input.h"
#include "platform/linux/files/instance_quit.h"
#include "support/hostile_support.h"

namespace {

using Env = std::map<std::string, std::optional<std::string>>;

class ExecutableContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!linux_test::Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    char pattern[] = "/tmp/qs-contract-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/home");
    std::filesystem::create_directories(dir_ + "/runtime");
    ASSERT_EQ(::chmod((dir_ + "/runtime").c_str(), 0700), 0);
    // The lock in a folder of the test's own, so that no instance of the
    // machine's user is met (and none is disturbed).
    env_ = {{"HOME", dir_ + "/home"},
            {"XDG_CONFIG_HOME", std::nullopt},
            {"XDG_RUNTIME_DIR", dir_ + "/runtime"},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }
  void TearDown() override {
    hub_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  hostile::ChildRun Tool(const std::vector<std::string>& args) {
    return hostile::Run(QS_TOOL_BINARY, args, hostile::Stdout::kCaptured, env_);
  }

  void PlugHub() {
    hub_ = std::make_unique<linux_test::FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    hub_->SetRegister(0xF8, 0x008F, 0x20);
    hub_->SetRegister(0xF5, 0x0000, 0x01);
  }

  linux_test::Testbed testbed_;
  std::unique_ptr<linux_test::FakeHub> hub_;
  std::string dir_;
  Env env_;
};

// One line that is one JSON object: braces around, no line break inside.
bool OneJsonObject(const std::string& out) {
  return out.size() > 2 && out.front() == '{' && out.substr(out.size() - 2) == "}\n" &&
         out.find('\n') == out.size() - 1;
}

TEST_F(ExecutableContractTest, StatusJsonIsOneObjectInEveryOutcome) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string out_has;
  };
  const std::vector<Case> without_hub = {
      {"no hub", {"--status", "--json"}, 1, "\"error\":\"USB device not found"},
      {"no hub, console", {"--console", "--status", "--json"}, 1, "\"fix\":\"Connect the hub"},
      {"unknown option", {"--status", "--json", "--bogus"}, 2, "\"error\":\"unknown option"},
      {"two commands", {"--status", "--json", "--switch"}, 2, "\"error\":\"give one of"},
  };
  const std::vector<Case> with_hub = {
      {"read", {"--status", "--json"}, 0, "\"f5\":1,\"upstream_port\":1,\"f8\":32}"},
      {"read, console", {"--json", "--console", "--status"}, 0, "\"upstream_port\":1"},
  };
  auto check = [this](const Case& c) {
    const hostile::ChildRun run = Tool(c.args);
    ASSERT_TRUE(run.exited) << c.what;
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_TRUE(OneJsonObject(run.out)) << c.what << ": " << run.out;
    EXPECT_NE(run.out.find(c.out_has), std::string::npos) << c.what << ": " << run.out;
    EXPECT_EQ(run.out.rfind("{\"hub\":\"2109:8822\"", 0), 0u) << c.what << ": " << run.out;
  };
  for (const Case& c : without_hub) check(c);
  PlugHub();
  for (const Case& c : with_hub) check(c);
  // The register traces of --console went to standard error, once each.
  const hostile::ChildRun run = Tool({"--console", "--status", "--json"});
  const std::string trace = "    Read-Reg F5-0000 = 0x01 \n";
  const size_t first = run.err.find(trace);
  EXPECT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(trace, first + 1), std::string::npos) << run.err;

  // A port register that cannot be read: status 2, the error as JSON.
  hub_->FailRequest(1, linux_test::HubFault::kStall);
  const hostile::ChildRun stalled = Tool({"--status", "--json", "--console"});
  EXPECT_EQ(stalled.status, 2);
  EXPECT_TRUE(OneJsonObject(stalled.out)) << stalled.out;
  EXPECT_NE(stalled.out.find("\"error\":\"Read-Reg F5-0000 Fail\""), std::string::npos)
      << stalled.out;
}

TEST_F(ExecutableContractTest, AFailureIsPrintedOnceWithConsole) {
  const hostile::ChildRun run = Tool({"--switch", "--console"});
  EXPECT_EQ(run.status, 1);
  const std::string both = run.out + run.err;
  const std::string line = "USB device not found (VID=0x2109 PID=0x8822)\n";
  const size_t first = both.find(line);
  ASSERT_NE(first, std::string::npos) << both;
  EXPECT_EQ(both.find(line, first + 1), std::string::npos) << both;
  // With its fix under it, as every failure.
  EXPECT_NE(run.out.find(line + "Connect the hub"), std::string::npos) << run.out;
}

TEST_F(ExecutableContractTest, QuitEndsTheRunningInstanceInOrderAndThenFindsNone) {
  const std::string out_file = dir_ + "/resident.out";
  const pid_t resident = fork();
  if (resident == 0) {
    for (const auto& [name, value] : env_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(in, 0) < 0) _exit(120);
    ::execl(QS_TOOL_BINARY, QS_TOOL_BINARY, "--service", "--console", static_cast<char*>(nullptr));
    _exit(121);
  }
  ASSERT_GT(resident, 0);
  // Running once its banner is out: the lock is held by then.
  bool running = false;
  for (int i = 0; i < 200 && !running; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running = hostile::Slurp(out_file).find("Running...\n") != std::string::npos;
  }
  if (!running) ::kill(resident, SIGKILL);
  ASSERT_TRUE(running) << hostile::Slurp(out_file);

  const hostile::ChildRun quit = Tool({"--quit"});
  EXPECT_EQ(quit.status, 0) << quit.err;
  EXPECT_EQ(quit.out, "");
  EXPECT_EQ(quit.err, "");
  int status = 0;
  ASSERT_EQ(::waitpid(resident, &status, 0), resident);
  // Ended by its own terminate request, not by the signal's default.
  EXPECT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const hostile::ChildRun none = Tool({"--quit"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("is not running"), std::string::npos) << none.err;
  // The instance's own lock is free: a new start would take it.
  const hostile::ChildRun diagnose = Tool({"--diagnose"});
  EXPECT_NE(diagnose.out.find("info  running instance: none"), std::string::npos) << diagnose.out;
}

TEST_F(ExecutableContractTest, NoReadableInputDeviceEndsWithStatusOne) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
  linux_test::FakeInput keyboard(testbed_, linux_test::FakeKind::kKeyboard, 5);
  ASSERT_EQ(std::system(("chmod -R a+rwX '" + testbed_.Root() + "' '" + dir_ + "'").c_str()), 0);
  ASSERT_EQ(::chmod((testbed_.Root() + keyboard.devnode()).c_str(), 0600), 0);
  env_["XDG_RUNTIME_DIR"] = std::nullopt;  // the runtime folder is root's
  const std::string result = dir_ + "/result";
  const int status = hostile::AsNobody([&] {
    const hostile::ChildRun run = Tool({"--service", "--console"});
    if (!run.exited) return 50;
    return hostile::Spit(result, run.out + "\x1f" + run.err) ? run.status : 51;
  });
  const std::string text = hostile::Slurp(result);
  EXPECT_EQ(status, 1) << text;
  EXPECT_EQ(text.rfind("Cannot read any input device (keyboard or mouse)\n", 0), 0u) << text;
  EXPECT_NE(text.find("Cannot read the keyboard and mouse"), std::string::npos) << text;
  EXPECT_EQ(text.find("event tap"), std::string::npos) << text;
  // The alert is on the terminal too (no display): its fix is read once.
  const std::string fix = "No input device can be read: ";
  const size_t first = text.find(fix);
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find(fix, first + 1), std::string::npos) << text;
}

// --quit asks only the process that holds the lock: a whole-file lock on
// that very file, not a waiter, not a record lock, not another file.
TEST(FlockHolderTest, OnlyTheHolderOfAWholeFileLockOnThatFile) {
  const std::string locks =
      "1: POSIX  ADVISORY  WRITE 900 00:2a:77 0 EOF\n"
      "2: FLOCK  ADVISORY  WRITE 1234 00:2a:77 0 EOF\n"
      "2: -> FLOCK  ADVISORY  WRITE 1300 00:2a:77 0 EOF\n"
      "3: FLOCK  ADVISORY  WRITE 555 fd:01:77 0 EOF\n"
      "4: OFDLCK ADVISORY  READ  -1 00:2a:80 0 EOF\n";
  EXPECT_EQ(linux_platform::FlockHolder(locks, makedev(0, 0x2a), 77), 1234);
  EXPECT_EQ(linux_platform::FlockHolder(locks, makedev(0xfd, 1), 77), 555);
  EXPECT_EQ(linux_platform::FlockHolder(locks, makedev(0, 0x2a), 78), std::nullopt);
  EXPECT_EQ(linux_platform::FlockHolder(locks, makedev(0, 0x2a), 80), std::nullopt);
  EXPECT_EQ(linux_platform::FlockHolder("1: POSIX  ADVISORY  WRITE 900 00:2a:77 0 EOF\n",
                                        makedev(0, 0x2a), 77),
            std::nullopt);
}

}  // namespace
