// The Linux executable's command line: --help, --version and an unknown
// argument end the process at once with their answer, before the display,
// the devices or the lock are touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/hostile_support.h"

namespace {

class CommandLineLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.empty()); }

  hostile::ChildRun Tool(const std::vector<std::string>& args) {
    // With a display the tool would load its toolkit: there is none here, and
    // a display named anyway must not be reached for these answers.
    const std::map<std::string, std::optional<std::string>> env = {
        {"HOME", home_},
        {"XDG_CONFIG_HOME", std::nullopt},
        {"DISPLAY", ":99"},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"XDG_STATE_HOME", std::nullopt}};
    return hostile::Run(QS_TOOL_BINARY, args, hostile::Stdout::kCaptured, env);
  }

  hostile::TempFolder made_{"qs-command-line"};
  const std::string home_ = made_.path();
};

TEST_F(CommandLineLinuxTest, VersionAndHelpAnswerOnStandardOutputAndEndWithZero) {
  for (const char* flag : {"--version", "-V"}) {
    const hostile::ChildRun run = Tool({flag});
    ASSERT_TRUE(run.exited) << flag << " signal " << run.signal;
    EXPECT_EQ(run.status, 0) << flag;
    EXPECT_EQ(run.out, std::string("quembrastella-switch ") + QS_PROJECT_VERSION + "\n");
    EXPECT_EQ(run.err, "") << flag;
  }
  for (const char* flag : {"--help", "-h"}) {
    const hostile::ChildRun run = Tool({"--console", flag});
    ASSERT_TRUE(run.exited) << flag << " signal " << run.signal;
    EXPECT_EQ(run.status, 0) << flag;
    EXPECT_EQ(run.out.rfind("Usage: quembrastella-switch", 0), 0u) << run.out;
    // The places of this platform, under this HOME.
    EXPECT_NE(run.out.find(home_ + "/.config/autostart/"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(".lock"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  2  an argument the tool does not know"), std::string::npos);
    // Only the usage: no banner, no start-up question, no display warning.
    EXPECT_EQ(run.err, "") << flag;
  }
  // Nothing was installed or created for the user.
  EXPECT_FALSE(std::filesystem::exists(home_ + "/.config"));
  EXPECT_FALSE(std::filesystem::exists(home_ + "/.local"));
}

TEST_F(CommandLineLinuxTest, UnknownArgumentsEndWithTwoAndTheUsageOnStandardError) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                               {"--console", "-x"},
                                               {"--service=1"},
                                               {"file"},
                                               {"--help", "--Help"}}) {
    const hostile::ChildRun run = Tool(args);
    ASSERT_TRUE(run.exited) << args.back() << " signal " << run.signal;
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_EQ(run.out, "") << args.back();
    const std::string first_line = run.err.substr(0, run.err.find('\n'));
    EXPECT_NE(first_line.find("'" + args.back() + "'"), std::string::npos) << run.err;
    EXPECT_EQ(first_line.rfind("quembrastella-switch: ", 0), 0u) << run.err;
    // One line and the pointer to --help: no usage text.
    EXPECT_EQ(run.err.substr(first_line.size()),
              "\nTry 'quembrastella-switch --help' for more information.\n");
  }
  EXPECT_FALSE(std::filesystem::exists(home_ + "/.config"));
}

TEST_F(CommandLineLinuxTest, HelpShowsTheGestureTimesOfTheSettingsFile) {
  std::filesystem::create_directories(home_ + "/.config/quembrastella-switch");
  ASSERT_TRUE(hostile::Spit(home_ + "/.config/quembrastella-switch/config.toml",
                            "double_tap_ms = 450\nmouse_chord = false\n"));
  const hostile::ChildRun run = Tool({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("  Control, Control  tap twice within 450 ms: switch the hub\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  mouse chord       off\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  Q, Q              tap twice within 450 ms: quit\n"), std::string::npos);
  // A help reads the settings without a word about them.
  EXPECT_EQ(run.err, "");
}

TEST_F(CommandLineLinuxTest, AnswersThatCannotBeWrittenEndNonZero) {
  for (const char* flag : {"--version", "--help"}) {
    const hostile::ChildRun run =
        hostile::Run("/bin/sh", {"-c", "exec \"$0\" \"$1\" >/dev/full", QS_TOOL_BINARY, flag},
                     hostile::Stdout::kCaptured, {{"HOME", home_}, {"DISPLAY", ":99"}});
    ASSERT_TRUE(run.exited) << flag << " signal " << run.signal;
    EXPECT_NE(run.status, 0) << flag;
    EXPECT_NE(run.err.find("the output could not be written ("), std::string::npos)
        << flag << ": " << run.err;
  }
}

TEST_F(CommandLineLinuxTest, StartedInTheBackgroundOfATerminalWithTostopItWritesAndGoesOn) {
  // `stty tostop; quembrastella-switch ... &`: a terminal of its own, with
  // the tool in a background job of its session.
  const int result = hostile::InChild([] {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) return 100;
    const std::string name = ::ptsname(terminal);
    if (::setsid() < 0) return 101;
    const int tty = ::open(name.c_str(), O_RDWR);  // the session's controlling terminal
    termios settings{};
    if (tty < 0 || ::tcgetattr(tty, &settings) != 0) return 102;
    settings.c_lflag |= TOSTOP;
    if (::tcsetattr(tty, TCSANOW, &settings) != 0) return 103;
    const pid_t tool = ::fork();
    if (tool == 0) {
      ::setpgid(0, 0);
      ::signal(SIGTTOU, SIG_DFL);
      for (int fd = 0; fd <= 2; ++fd) ::dup2(tty, fd);
      ::execl(QS_TOOL_BINARY, QS_TOOL_BINARY, "--version", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::setpgid(tool, tool);
    int status = 0;
    // A stopped tool never ends: WUNTRACED tells the stop apart.
    if (::waitpid(tool, &status, WUNTRACED) != tool) return 104;
    if (WIFSTOPPED(status)) {
      ::kill(tool, SIGKILL);
      ::waitpid(tool, &status, 0);
      return 1;
    }
    char written[256] = {};
    const ssize_t n = ::read(terminal, written, sizeof written - 1);
    if (n <= 0 || std::string(written).find("quembrastella-switch ") == std::string::npos) return 2;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
