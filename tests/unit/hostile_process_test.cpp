// The whole tool as a process in hostile surroundings: standard output
// closed or a pipe nobody reads, HOME unset or relative, and a home (so an
// executable path) with blanks, quotes and non-ASCII letters. Each runs the
// real scenario runner as a child process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/hostile_support.h"

namespace {

namespace fs = std::filesystem;
using hostile::ChildRun;
using hostile::Stdout;

constexpr const char* kLockName = "org.quembrastella.switch.lock";

// Console mode, a Control double-tap that switches, a mouse chord that
// switches back, then a Q double-tap that quits: many console lines.
constexpr const char* kBusyRun =
    "args --console\n"
    "choice start\n"
    "hub F5=00 F8=20\n"
    "at 200 ctrl down\nat 300 ctrl up\nat 500 ctrl down\nat 600 ctrl up\n"
    "at 2000 button left down\nat 2100 button right down\n"
    "at 3400 button right up\nat 3450 button left up\n"
    "at 5000 key down 12\nat 5050 key up 12\nat 5300 key down 12\nat 5350 key up 12\n";

constexpr const char* kInstall = "choice install\n";
constexpr const char* kStart = "choice start\n";

class HostileProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }
  std::string Scenario(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    EXPECT_TRUE(hostile::Spit(path, text));
    return path;
  }
  ChildRun Sim(const std::vector<std::string>& args, Stdout out,
               const std::map<std::string, std::optional<std::string>>& env = {},
               const std::string& cwd = "") {
    return hostile::Run(QS_SIM_BINARY, args, out, env, cwd);
  }
  // The record the runner writes for a run of kBusyRun that went all the way.
  static void ExpectWholeBusyRun(const ChildRun& run) {
    EXPECT_TRUE(run.exited) << "ended by signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("sim: 600 usb write F5-0000 01"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("sim: 3100 usb write F5-0000 00"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("sim: 5350 terminate"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("sim: 5350 exit 0"), std::string::npos) << run.err;
  }

  hostile::TempFolder made_{"qs-hostile"};
  const std::string dir_ = made_.path();
};

TEST_F(HostileProcessTest, ClosedStandardOutputChangesNothingAndWritesIntoNoFile) {
  const std::string home = dir_ + "/home";
  const ChildRun run = Sim({"--home", home, Scenario("busy.scenario", kBusyRun)}, Stdout::kClosed);
  ExpectWholeBusyRun(run);
  // Descriptor 1 must not have been handed to a file the tool opened: the
  // console lines would have gone into it.
  struct stat st {};
  ASSERT_EQ(::stat((home + "/tmp/" + kLockName).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0) << hostile::Slurp(home + "/tmp/" + kLockName);
}

TEST_F(HostileProcessTest, PipeWhoseReaderHasGoneDoesNotEndTheTool) {
  const ChildRun run = Sim({Scenario("busy.scenario", kBusyRun)}, Stdout::kReaderGone);
  EXPECT_NE(run.signal, SIGPIPE);
  ExpectWholeBusyRun(run);

  // The same run with a reader prints the console lines: the writes that
  // failed above were real ones.
  const ChildRun seen = Sim({Scenario("busy.scenario", kBusyRun)}, Stdout::kCaptured);
  ExpectWholeBusyRun(seen);
  EXPECT_NE(seen.out.find("Switch (ctrl-ctrl)\n"), std::string::npos) << seen.out;
  EXPECT_NE(seen.out.find("Switch (mouse)\n"), std::string::npos) << seen.out;
}

TEST_F(HostileProcessTest, HomeUnsetOrRelativeLeavesTheSandboxHomeInCharge) {
  // The simulated platform's home is its sandbox; whatever HOME says, the
  // install lands there and nothing is made in the working folder.
  const std::optional<std::string> homes[] = {std::nullopt, std::string("relative/home"),
                                              std::string("")};
  int n = 0;
  for (const std::optional<std::string>& value : homes) {
    SCOPED_TRACE(value ? "HOME=" + *value : "HOME unset");
    const std::string cwd = dir_ + "/cwd" + std::to_string(n);
    const std::string home = dir_ + "/home" + std::to_string(n++);
    ASSERT_TRUE(fs::create_directory(cwd));
    const ChildRun run = Sim({"--home", home, Scenario("install.scenario", kInstall)},
                             Stdout::kCaptured, {{"HOME", value}}, cwd);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("alert Installed as a service and started successfully."),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(fs::is_regular_file(home + "/Library/LaunchAgents/org.quembrastella.switch.plist"));
    EXPECT_TRUE(hostile::Entries(cwd).empty());
  }
}

TEST_F(HostileProcessTest, ExecutablePathWithBlanksQuotesAndNonAsciiIsInstalledAndFoundAgain) {
  // The executable lies inside the home: its path carries all of these.
  const std::string home = dir_ + "/Zoë Ñandú's \"Macs\" & <Co> $HOME 日本";
  const ChildRun install =
      Sim({"--home", home, Scenario("install.scenario", kInstall)}, Stdout::kCaptured);
  EXPECT_EQ(install.status, 0) << install.err;
  EXPECT_NE(install.err.find("sim: 0 choice"), std::string::npos) << install.err;
  EXPECT_NE(install.err.find("alert Installed as a service and started successfully."),
            std::string::npos)
      << install.err;

  // The next start finds its agent: no choice, the started notice.
  const ChildRun again =
      Sim({"--home", home, Scenario("start.scenario", kStart)}, Stdout::kCaptured);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err.find("choice"), std::string::npos) << again.err;
  EXPECT_NE(again.err.find("alert Quembrastella USB-C Switch started successfully."),
            std::string::npos)
      << again.err;
}

}  // namespace
