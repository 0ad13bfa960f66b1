// The hooks on Linux: programs started and watched on the poll loop, the
// hub's coming and going on the udev monitor, and the real executable
// running a real hook script, and the documented ddcutil recipe, when the
// fake hub leaves and comes back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_hub.h"
#include "fake_input.h"
#include "platform/linux/loop/linux_processes.h"
#include "platform/linux/loop/poll_loop.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/posix/program_start.h"
#include "support/hostile_support.h"

namespace {

using linux_test::FakeHub;
using linux_test::Testbed;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

struct HookRun {
  std::vector<std::string> lines;
  std::optional<platform::ProcessEnd> end;
  std::unique_ptr<platform::Process> process;
};

class HooksLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qs-hooks-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/home/.config/quembrastella-switch");
    std::filesystem::create_directories(dir_ + "/bin");
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Serves the loop until `done` holds or `limit` has passed (a bound
  // against hanging, not a speed goal).
  void RunUntil(const std::function<bool()>& done, milliseconds limit = milliseconds(5000)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) loop_.RunOnce(milliseconds(50));
  }

  void Start(HookRun& run, const std::vector<std::string>& argv,
             const std::vector<std::string>& env = {}) {
    auto started = processes_.Start(argv, env,
                                    {[&run](const std::string& line) { run.lines.push_back(line); },
                                     [&run](const platform::ProcessEnd& end) { run.end = end; }});
    ASSERT_TRUE(started.ok()) << started.description();
    run.process = std::move(started.value());
  }

  // An executable script in the test's folder.
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/bin/" + name;
    EXPECT_TRUE(hostile::Spit(path, "#!/bin/sh\n" + body));
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

  std::string dir_;
  linux_platform::PollLoop loop_;
  linux_platform::LinuxProcesses processes_{&loop_};
};

TEST_F(HooksLinuxTest, OutputLinesEnvironmentAndStatusComeFromTheLoop) {
  // A descriptor the tool holds without close-on-exec stays with the tool.
  const int held = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(held, 3);
  HookRun run;
  Start(run,
        {"sh", "-c",
         "echo \"$QUEMBRASTELLA_HUB_EVENT\" \"$1\"; echo err >&2; ls /proc/$$/fd | tr '\\n' ' '; "
         "exit 3",
         "sh", "two words"},
        {"QUEMBRASTELLA_HUB_EVENT=left"});
  ::close(held);
  EXPECT_FALSE(run.end);  // started without waiting
  RunUntil([&] { return run.end.has_value(); });
  ASSERT_TRUE(run.end);
  EXPECT_FALSE(run.end->signalled);
  EXPECT_EQ(run.end->code, 3);
  EXPECT_EQ(run.lines,
            (std::vector<std::string>{"left two words", "err", "0 1 2 "}));  // no other descriptor
}

TEST_F(HooksLinuxTest, WhatTheToolSetForItselfIsGivenBackAsTheSessionHadIt) {
  ::setenv("QS_TEST_TOOLKIT", "the tool's", 1);
  ::setenv("QS_TEST_CHOSEN", "the tool's", 1);
  processes_.KeepForPrograms("QS_TEST_TOOLKIT", std::nullopt);  // the session had none
  processes_.KeepForPrograms("QS_TEST_CHOSEN", "the session's");
  HookRun run;
  Start(run, {"sh", "-c", "echo \"${QS_TEST_TOOLKIT-unset}|$QS_TEST_CHOSEN\""});
  RunUntil([&] { return run.end.has_value(); });
  ::unsetenv("QS_TEST_TOOLKIT");
  ::unsetenv("QS_TEST_CHOSEN");
  EXPECT_EQ(run.lines, std::vector<std::string>{"unset|the session's"});
}

TEST_F(HooksLinuxTest, TermReachesTheWholeGroupAndKillWhatIgnoresIt) {
  HookRun gentle;
  HookRun stubborn;
  Start(gentle, {"sh", "-c", "sleep 30; echo never"});
  Start(stubborn, {"sh", "-c", "trap '' TERM; echo set; sleep 30"});
  RunUntil([&] { return !stubborn.lines.empty(); });
  gentle.process->Signal(platform::ProcessSignal::kTerminate);
  stubborn.process->Signal(platform::ProcessSignal::kTerminate);
  RunUntil([&] { return gentle.end.has_value(); });
  ASSERT_TRUE(gentle.end);
  EXPECT_TRUE(gentle.end->signalled);
  EXPECT_EQ(gentle.end->code, SIGTERM);
  EXPECT_TRUE(gentle.lines.empty());
  RunUntil([&] { return stubborn.end.has_value(); }, milliseconds(300));
  EXPECT_FALSE(stubborn.end);  // the shell ignores TERM (its sleep did not)
  stubborn.process->Signal(platform::ProcessSignal::kKill);
  RunUntil([&] { return stubborn.end.has_value(); });
  ASSERT_TRUE(stubborn.end);
  EXPECT_EQ(stubborn.end->code, SIGKILL);
}

// A program the tool lets go of while it runs (the tool quits, or the hooks
// restart) goes on to its end: more output than a pipe holds does not end
// it (SIGPIPE), and what reads it on holds none of the tool's descriptors
// (a lock like the single-instance one is free once the tool lets it go).
TEST_F(HooksLinuxTest, AProgramLetGoOfRunsToItsEndAndHoldsNoLockOfTheTool) {
  const std::string lock = dir_ + "/lock";
  int held = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const std::string finished = dir_ + "/finished";
  HookRun run;
  Start(run, {"sh", "-c",
              "echo started; sleep 0.3; i=0; while [ $i -lt 20000 ]; do echo line $i; "
              "i=$((i+1)); done; touch \"$1\"; sleep 2",
              "sh", finished});
  RunUntil([&] { return !run.lines.empty(); });
  ASSERT_EQ(run.lines, std::vector<std::string>{"started"});
  run.process.reset();
  ::close(held);
  const auto end = Clock::now() + milliseconds(5000);
  while (!std::filesystem::exists(finished) && Clock::now() < end) ::usleep(20000);
  EXPECT_TRUE(std::filesystem::exists(finished)) << "ended by its own output";
  // It sleeps on, and what reads its output waits for it: the lock is free
  // all the same.
  held = ::open(lock.c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  EXPECT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0) << "the lock is held by another process";
  ::close(held);
  EXPECT_FALSE(run.end);  // let go of: no call comes
}

TEST_F(HooksLinuxTest, ProgramsAreLocatedWithoutBeingRunAndRefusalsNamed) {
  const std::string plain = dir_ + "/bin/plain";
  ASSERT_TRUE(hostile::Spit(plain, "not a program\n"));
  const std::string runnable = Script("runnable", "exit 0\n");
  const std::string sh = processes_.Locate("sh").value();  // /usr/bin/sh or /bin/sh
  EXPECT_EQ(sh.substr(sh.size() - 3), "/sh");
  EXPECT_EQ(::access(sh.c_str(), X_OK), 0) << sh;
  EXPECT_EQ(processes_.Locate(runnable).value(), runnable);
  EXPECT_EQ(processes_.Locate("no-such-program-qs").description(), "no such program on PATH");
  EXPECT_EQ(processes_.Locate(dir_ + "/bin/none").description(), "no such file");
  EXPECT_EQ(processes_.Locate(plain).description(), "permission denied");
  EXPECT_EQ(processes_.Locate(dir_).description(), "not a file");
  auto refused = processes_.Start({plain}, {}, {});
  EXPECT_EQ(refused.description(), "permission denied");
}

// What the fake hub and the real executable need: the umockdev preload.
class HubHooksLinuxTest : public HooksLinuxTest {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    HooksLinuxTest::SetUp();
  }

  // The real executable with `args`, HOME in the test's folder and no
  // display; its output read by the test.
  void StartTool(const std::vector<std::string>& args, const std::string& path_prefix = "") {
    std::vector<std::string> argv = {QS_TOOL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    const char* path = std::getenv("PATH");
    auto started = posix::StartProgram(
        argv, posix::EnvironmentWith({"HOME=" + dir_ + "/home", "XDG_CONFIG_HOME=",
                                      "XDG_RUNTIME_DIR=" + dir_, "DISPLAY=", "WAYLAND_DISPLAY=",
                                      "PATH=" + path_prefix + (path ? path : "/usr/bin:/bin")}));
    ASSERT_TRUE(started.ok()) << started.description();
    tool_ = std::move(started.value());
  }
  // Reads the tool's output until `text` shows or `limit` has passed.
  bool ToolSays(const std::string& text, milliseconds limit = milliseconds(8000)) {
    const auto end = Clock::now() + limit;
    for (;;) {
      (void)posix::ReadLines(tool_.output.get(), pending_,
                             [this](const std::string& line) { said_ += line + "\n"; });
      if (said_.find(text) != std::string::npos) return true;
      if (Clock::now() >= end) return false;
      ::usleep(20000);
    }
  }
  // Waits for the tool's end; its exit status, or -1.
  int ToolStatus() {
    int status = 0;
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(tool_.pid, &status, WNOHANG) == tool_.pid) {
        tool_.pid = -1;
        (void)ToolSays("", milliseconds(0));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(20000);
    }
    return -1;
  }
  void TearDown() override {
    if (tool_.pid > 0) {
      ::kill(tool_.pid, SIGKILL);
      ::waitpid(tool_.pid, nullptr, 0);
    }
    hub_.reset();
    HooksLinuxTest::TearDown();
  }
  void Settings(const std::string& text) {
    ASSERT_TRUE(hostile::Spit(dir_ + "/home/.config/quembrastella-switch/config.toml", text));
  }
  // Writes its arguments and the hook variables to `file`, then a line.
  std::string RecordingHook() {
    return Script("record",
                  "out=\"$1\"; shift\n"
                  "{ printf 'args:'; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo\n"
                  "  env | grep '^QUEMBRASTELLA_HUB_' | sort; } >> \"$out\"\n"
                  "echo recorded\n");
  }
  // Unplugs the hub once the tool has written the port register.
  void UnplugWhenSwitched(milliseconds limit = milliseconds(8000)) {
    const auto end = Clock::now() + limit;
    while (hub_->Register(0xF5, 0x0000) == 0x00 && Clock::now() < end) ::usleep(10000);
    hub_->Unplug();
  }

  Testbed testbed_;
  std::unique_ptr<FakeHub> hub_;
  posix::StartedProgram tool_;
  std::string pending_;
  std::string said_;
};

TEST_F(HubHooksLinuxTest, PresenceWatchSeesTheHubLeaveAndArriveWithItsPort) {
  hub_ = std::make_unique<FakeHub>(testbed_);
  linux_platform::LinuxUsb usb(200);
  usb.SetWatcher(&loop_);
  std::vector<platform::UsbPresenceChange> changes;
  auto watch = usb.WatchPresence(
      0x2109, 0x8822, [&changes](const platform::UsbPresenceChange& c) { changes.push_back(c); });
  ASSERT_NE(watch, nullptr);
  loop_.RunOnce(milliseconds(100));
  EXPECT_TRUE(changes.empty());                // there at start: no arrival
  FakeHub other(testbed_, 0x1234, 0x5678, 5);  // another device: nothing
  hub_->Unplug();
  RunUntil([&] { return !changes.empty(); });
  hub_ = std::make_unique<FakeHub>(testbed_, 0x2109, 0x8822, 7);
  RunUntil([&] { return changes.size() >= 2; });
  loop_.RunOnce(milliseconds(100));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_FALSE(changes[0].arrived);
  ASSERT_TRUE(changes[0].location);
  EXPECT_EQ(changes[0].location->bus, 1);
  EXPECT_EQ(changes[0].location->port, "2");
  EXPECT_TRUE(changes[1].arrived);
  EXPECT_EQ(changes[1].location->port, "7");
  watch.reset();
}

TEST_F(HubHooksLinuxTest, ExecutableRunsTheHookWhenItsSwitchMovesTheHubAway) {
  hub_ = std::make_unique<FakeHub>(testbed_);
  hub_->SetRegister(0xF5, 0x0000, 0x00);
  const std::string record = RecordingHook();
  Settings("on_hub_left = [\"" + record + "\", \"" + dir_ + "/left.txt\", \"a b\", \"\"]\n");
  StartTool({"--switch", "--console"});
  UnplugWhenSwitched();
  EXPECT_EQ(ToolStatus(), 0) << said_;
  EXPECT_EQ(hostile::Slurp(dir_ + "/left.txt"),
            "args: [a b] []\n"
            "QUEMBRASTELLA_HUB_BUS=1\n"
            "QUEMBRASTELLA_HUB_EVENT=left\n"
            "QUEMBRASTELLA_HUB_ID=2109:8822\n"
            "QUEMBRASTELLA_HUB_PORT=2\n"
            "QUEMBRASTELLA_HUB_SEEN_BY=switch\n");
  EXPECT_NE(said_.find("on_hub_left: recorded\non_hub_left: exited with status 0\n"),
            std::string::npos)
      << said_;
}

TEST_F(HubHooksLinuxTest, ResidentExecutableRunsTheHooksWhenTheHubLeavesAndReturns) {
  linux_test::FakeInput keyboard(testbed_, linux_test::FakeKind::kKeyboard, 3);
  hub_ = std::make_unique<FakeHub>(testbed_);
  const std::string record = RecordingHook();
  Settings("on_hub_left = [\"" + record + "\", \"" + dir_ + "/left.txt\"]\n" +
           "on_hub_arrived = [\"" + record + "\", \"" + dir_ + "/arrived.txt\"]\n");
  StartTool({"--console", "--service"});
  ASSERT_TRUE(ToolSays("Running...\n")) << said_;
  hub_->Unplug();  // the other computer took it
  ASSERT_TRUE(ToolSays("on_hub_left: exited with status 0\n")) << said_;
  hub_ = std::make_unique<FakeHub>(testbed_, 0x2109, 0x8822, 4);  // and gave it back
  ASSERT_TRUE(ToolSays("on_hub_arrived: exited with status 0\n")) << said_;
  ::kill(tool_.pid, SIGTERM);
  (void)ToolStatus();
  EXPECT_EQ(hostile::Slurp(dir_ + "/left.txt"),
            "args:\nQUEMBRASTELLA_HUB_BUS=1\nQUEMBRASTELLA_HUB_EVENT=left\n"
            "QUEMBRASTELLA_HUB_ID=2109:8822\nQUEMBRASTELLA_HUB_PORT=2\n"
            "QUEMBRASTELLA_HUB_SEEN_BY=bus\n");
  EXPECT_EQ(hostile::Slurp(dir_ + "/arrived.txt"),
            "args:\nQUEMBRASTELLA_HUB_BUS=1\nQUEMBRASTELLA_HUB_EVENT=arrived\n"
            "QUEMBRASTELLA_HUB_ID=2109:8822\nQUEMBRASTELLA_HUB_PORT=4\n"
            "QUEMBRASTELLA_HUB_SEEN_BY=bus\n");
  // A hub there at start is no arrival: one line each.
  EXPECT_EQ(said_.find("Hub arrived on this computer"),
            said_.rfind("Hub arrived on this computer"));
}

// Two devices with the hub's IDs, the second chosen by its port path: the
// first one's going and coming is not the hub's, and runs no hook.
TEST_F(HubHooksLinuxTest, WithTwoDevicesOnlyTheChosenOneRunsTheHooks) {
  linux_test::FakeInput keyboard(testbed_, linux_test::FakeKind::kKeyboard, 5);
  hub_ = std::make_unique<FakeHub>(testbed_);  // port 1-2
  auto chosen = std::make_unique<FakeHub>(testbed_, 0x2109, 0x8822, 3);
  const std::string record = RecordingHook();
  Settings(
      "hub = \"1-3\"\n"
      "on_hub_left = [\"" +
      record + "\", \"" + dir_ + "/left.txt\"]\n" + "on_hub_arrived = [\"" + record + "\", \"" +
      dir_ + "/arrived.txt\"]\n");
  StartTool({"--console", "--service"});
  ASSERT_TRUE(ToolSays("Running...\n")) << said_;
  hub_->Unplug();
  hub_.reset();
  hub_ = std::make_unique<FakeHub>(testbed_);
  chosen->Unplug();
  ASSERT_TRUE(ToolSays("on_hub_left: exited with status 0\n")) << said_;
  chosen.reset();
  chosen = std::make_unique<FakeHub>(testbed_, 0x2109, 0x8822, 3);
  ASSERT_TRUE(ToolSays("on_hub_arrived: exited with status 0\n")) << said_;
  ::kill(tool_.pid, SIGTERM);
  (void)ToolStatus();
  // One run each, both for port 3.
  EXPECT_EQ(hostile::Slurp(dir_ + "/left.txt"),
            "args:\nQUEMBRASTELLA_HUB_BUS=1\nQUEMBRASTELLA_HUB_EVENT=left\n"
            "QUEMBRASTELLA_HUB_ID=2109:8822\nQUEMBRASTELLA_HUB_PORT=3\n"
            "QUEMBRASTELLA_HUB_SEEN_BY=bus\n");
  EXPECT_EQ(hostile::Slurp(dir_ + "/arrived.txt"),
            "args:\nQUEMBRASTELLA_HUB_BUS=1\nQUEMBRASTELLA_HUB_EVENT=arrived\n"
            "QUEMBRASTELLA_HUB_ID=2109:8822\nQUEMBRASTELLA_HUB_PORT=3\n"
            "QUEMBRASTELLA_HUB_SEEN_BY=bus\n");
  EXPECT_EQ(said_.find("Hub left this computer"), said_.rfind("Hub left this computer"));
  chosen.reset();
}

// The recipe of docs/hooks.md, as it stands there, with a stand-in ddcutil.
TEST_F(HubHooksLinuxTest, DocumentedDdcutilRecipeMovesTheMonitorOnASwitchAway) {
  const std::string doc = hostile::Slurp(std::string(QS_SOURCE_DIR) + "/docs/hooks.md");
  const size_t marker =
      doc.find("<!-- The block below is run as it stands by the Linux tests. -->");
  ASSERT_NE(marker, std::string::npos);
  const size_t open = doc.find("```toml\n", marker);
  const size_t close = doc.find("```", open + 8);
  ASSERT_NE(close, std::string::npos);
  Settings(doc.substr(open + 8, close - open - 8));
  Script("ddcutil", "echo \"ddcutil $*\" >> \"" + dir_ + "/ddcutil.txt\"\necho 'VCP 60 set'\n");
  hub_ = std::make_unique<FakeHub>(testbed_);
  hub_->SetRegister(0xF5, 0x0000, 0x00);
  StartTool({"--switch", "--console"}, dir_ + "/bin:");
  UnplugWhenSwitched();
  EXPECT_EQ(ToolStatus(), 0) << said_;
  EXPECT_EQ(hostile::Slurp(dir_ + "/ddcutil.txt"), "ddcutil --display 1 setvcp 60 0x0f\n");
  EXPECT_NE(said_.find("on_hub_left: VCP 60 set\n"), std::string::npos) << said_;
  // And --diagnose finds it, without running it.
  const hostile::ChildRun diagnosis =
      hostile::Run(QS_TOOL_BINARY, {"--diagnose"}, hostile::Stdout::kCaptured,
                   {{"HOME", dir_ + "/home"},
                    {"XDG_CONFIG_HOME", std::nullopt},
                    {"PATH", dir_ + "/bin:/usr/bin:/bin"},
                    {"DISPLAY", std::nullopt}});
  EXPECT_NE(
      diagnosis.out.find("ok    hook on_hub_left: ddcutil can be run (" + dir_ + "/bin/ddcutil)\n"),
      std::string::npos)
      << diagnosis.out;
  EXPECT_EQ(hostile::Slurp(dir_ + "/ddcutil.txt"), "ddcutil --display 1 setvcp 60 0x0f\n");
}

}  // namespace
