// The message routine: where text goes under each switch, cutting, the
// debug log, the banner, and a standard output whose reader has gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "output/keep_running.h"
#include "output/show_msg.h"
#include "platform/sim/sim_world.h"
#include "support/hostile_support.h"

namespace {

namespace fs = std::filesystem;

using hostile::Slurp;

// Runs each test in a fresh working directory (the debug log is relative)
// with the three switches at their start values.
class ShowMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    ASSERT_FALSE(made_.path().empty());
    fs::current_path(dir_);
    ResetMessageOutput();
  }
  void TearDown() override {
    if (capturing_) (void)testing::internal::GetCapturedStdout();
    ResetMessageOutput();
    fs::current_path(old_cwd_);
  }
  void Capture() {
    testing::internal::CaptureStdout();
    capturing_ = true;
  }
  std::string Console() {
    capturing_ = false;
    return testing::internal::GetCapturedStdout();
  }
  fs::path Log() const { return dir_ / "hubdebug.log"; }

  fs::path old_cwd_;
  hostile::TempFolder made_{"qs-output"};
  const fs::path dir_ = made_.path();
  bool capturing_ = false;
};

TEST_F(ShowMsgTest, BothSwitchesOffWritesNothingAnywhere) {
  Capture();
  showMsg("Switch (%s)\n", "ctrl-ctrl");
  showMsg("Quit\n");
  EXPECT_EQ(Console(), "");
  EXPECT_FALSE(fs::exists(Log()));
}

TEST_F(ShowMsgTest, ConsoleGetsTheFormattedTextOnly) {
  gConsoleMode = true;
  Capture();
  showMsg("USB device not found (VID=0x%04X PID=0x%04X)\n", 0x2109, 0x8822);
  EXPECT_EQ(Console(), "USB device not found (VID=0x2109 PID=0x8822)\n");
  EXPECT_FALSE(fs::exists(Log()));
}

TEST_F(ShowMsgTest, PerCentInTheFormattedTextSurvivesConsoleAndLog) {
  gConsoleMode = true;
  gLogFile = true;
  Capture();
  // The argument carries "%d %s": printed again as a format it would read
  // garbage; printed as text it appears unchanged.
  showMsg("%s\n", "100% done %d %s");
  showMsg("50%% left\n");
  EXPECT_EQ(Console(), "100% done %d %s\n50% left\n");
  EXPECT_EQ(Slurp(Log()), "100% done %d %s\n50% left\n");
}

TEST_F(ShowMsgTest, LongMessageIsCutTo499Bytes) {
  gConsoleMode = true;
  gLogFile = true;
  std::string long_text;
  for (int i = 0; i < 600; ++i) long_text += static_cast<char>('a' + i % 26);
  Capture();
  showMsg("%s", long_text.c_str());
  const std::string out = Console();
  EXPECT_EQ(out.size(), 499u);
  EXPECT_EQ(out, long_text.substr(0, 499));
  EXPECT_EQ(Slurp(Log()), long_text.substr(0, 499));
}

TEST_F(ShowMsgTest, LogOnlyAppendsWithoutTouchingTheConsole) {
  gLogFile = true;
  {
    std::ofstream earlier(Log());
    earlier << "earlier run\n";
  }
  Capture();
  showMsg("first\n");
  EXPECT_EQ(Console(), "");
  EXPECT_EQ(Slurp(Log()), "earlier run\nfirst\n");
}

TEST_F(ShowMsgTest, LogFileIsClosedAfterEveryMessage) {
  gLogFile = true;
  showMsg("one\n");
  // With the file still open from the first message, the second would go to
  // the removed file and no new one would appear.
  fs::remove(Log());
  showMsg("two\n");
  EXPECT_EQ(Slurp(Log()), "two\n");
}

TEST_F(ShowMsgTest, UnopenableLogChangesNothingVisible) {
  gConsoleMode = true;
  gLogFile = true;
  // A folder where the log should be: opening it for appending fails for
  // every user, the superuser included.
  fs::create_directory(Log());
  Capture();
  showMsg("still %s\n", "here");
  EXPECT_EQ(Console(), "still here\n");
  EXPECT_TRUE(fs::is_directory(Log()));
  DbgLogPrint("direct\n");  // silent as well
}

// The banner reads the local time from the platform's clock.
class ToolHeaderTest : public ShowMsgTest {
 protected:
  void Start(const std::tm& local) {
    sim::Config config;
    config.start_local = local;
    world_ = sim::World::Create(config);
    world_->Install();
  }
  void TearDown() override {
    ShowMsgTest::TearDown();
    world_.reset();
  }
  std::unique_ptr<sim::World> world_;
};

TEST_F(ToolHeaderTest, SixFixedLinesThenTheLocalTime) {
  Start(std::tm{});  // the default start: 2025-03-05 09:07:03
  gConsoleMode = true;
  Capture();
  ShowToolHeader();
  const std::string out = Console();
  EXPECT_EQ(out,
            "=========================================\n"
            "=     Quembrastella USB-C Switch v0.1   =\n"
            "=                                       =\n"
            "=              Zentrivoxalm             =\n"
            "=               2025.12.02              =\n"
            "=========================================\n"
            "==== LocalTime: 2025/03/05, 09:07:03 ====\n");
  std::istringstream lines(out);
  std::string line;
  for (int i = 0; i < 6 && std::getline(lines, line); ++i) {
    EXPECT_EQ(line.size(), 41u) << "line " << i + 1;
  }
}

TEST_F(ToolHeaderTest, EveryFieldIsZeroPadded) {
  std::tm local{};
  local.tm_year = 2031 - 1900;
  local.tm_mon = 0;  // January
  local.tm_mday = 2;
  local.tm_hour = 3;
  local.tm_min = 4;
  local.tm_sec = 5;
  local.tm_isdst = -1;
  Start(local);
  gConsoleMode = true;
  gLogFile = true;
  Capture();
  ShowToolHeader();
  const std::string out = Console();
  const std::string last = "==== LocalTime: 2031/01/02, 03:04:05 ====\n";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
  EXPECT_EQ(Slurp(Log()), out);
}

// Standard output on a pipe whose reader has gone: without the guard the
// first message ends the process; with it the tool carries on.
void WriteToAPipeWithoutReader() {
  int ends[2];
  if (pipe(ends) != 0) std::_Exit(3);
  close(ends[0]);
  if (dup2(ends[1], STDOUT_FILENO) < 0) std::_Exit(4);
  gConsoleMode = true;
  showMsg("Switch (%s)\n", "mouse");
  showMsg("Quit\n");
  std::_Exit(0);
}

TEST(KeepRunningWhenOutputGoesDeathTest, PipeWithoutReaderDoesNotEndTheTool) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::signal(SIGPIPE, SIG_DFL);
        KeepRunningWhenOutputGoes();
        WriteToAPipeWithoutReader();
      },
      testing::ExitedWithCode(0), "");
  // The same writes without the guard: proves the pipe really is broken.
  EXPECT_EXIT(
      {
        std::signal(SIGPIPE, SIG_DFL);
        WriteToAPipeWithoutReader();
      },
      testing::KilledBySignal(SIGPIPE), "");
}

}  // namespace
