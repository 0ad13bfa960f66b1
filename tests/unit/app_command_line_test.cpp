// The command line: which arguments are the tool's options, what is refused
// and what is skipped, and what --help, --version and a refused argument
// answer before anything starts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app_world_fixture.h"
#include "commands/command_line.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"

namespace {

CommandLine Parse(std::vector<std::string> args, UnknownArguments unknown) {
  args.insert(args.begin(), "quembrastella-switch");
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(args.size()), argv.data(), unknown);
}

const UsageContext kContext{"/home/u/.config/autostart/x.desktop", "/tmp/x.lock",
                            UnknownArguments::kRefuse, "", GestureSettings{}};

TEST(ParseCommandLineTest, FindsEveryOptionInAnyPositionLongOrShort) {
  for (UnknownArguments unknown : {UnknownArguments::kRefuse, UnknownArguments::kIgnore}) {
    const CommandLine all = Parse({"--service", "-V", "--console", "-h"}, unknown);
    EXPECT_TRUE(all.console && all.service && all.help && all.version);
    EXPECT_FALSE(all.unknown);

    const CommandLine long_names = Parse({"--help", "--version", "--help"}, unknown);
    EXPECT_TRUE(long_names.help && long_names.version);
    EXPECT_FALSE(long_names.console || long_names.service);

    const CommandLine none = Parse({}, unknown);
    EXPECT_FALSE(none.console || none.service || none.help || none.version || none.unknown);
  }
}

TEST(ParseCommandLineTest, NearMissesAreNotOptions) {
  for (const char* near_miss : {"--Console", "-console", "--console=1", "--console ", "-H", "-v",
                                "--ver", "-hV", "", "--", "-"}) {
    const CommandLine ignored = Parse({near_miss}, UnknownArguments::kIgnore);
    EXPECT_FALSE(ignored.console || ignored.help || ignored.version) << near_miss;
    EXPECT_FALSE(ignored.unknown) << near_miss;

    const CommandLine refused = Parse({near_miss}, UnknownArguments::kRefuse);
    EXPECT_FALSE(refused.console || refused.help || refused.version) << near_miss;
    ASSERT_TRUE(refused.unknown) << near_miss;
    EXPECT_EQ(*refused.unknown, near_miss);
  }
}

TEST(ParseCommandLineTest, RefusalNamesTheFirstUnknownAndStillReadsTheRest) {
  const CommandLine c =
      Parse({"--console", "file.txt", "--bogus", "--help"}, UnknownArguments::kRefuse);
  ASSERT_TRUE(c.unknown);
  EXPECT_EQ(*c.unknown, "file.txt");
  EXPECT_TRUE(c.console);
  EXPECT_TRUE(c.help);
}

TEST(ParseCommandLineTest, SystemArgumentsOfAnApplicationAreSkippedWhenIgnoring) {
  const CommandLine c = Parse({"-psn_0_12345", "-NSDocumentRevisionsDebugMode", "YES",
                               "-AppleLanguages", "(en)", "--console"},
                              UnknownArguments::kIgnore);
  EXPECT_TRUE(c.console);
  EXPECT_FALSE(c.service || c.help || c.version || c.unknown);
}

TEST(ParseCommandLineTest, TheProgramNameAndMissingEntriesAreNeverRead) {
  char program[] = "--help";
  char console[] = "--console";
  char* with_null[] = {program, nullptr, console, nullptr};
  const CommandLine c = ParseCommandLine(3, with_null, UnknownArguments::kRefuse);
  EXPECT_FALSE(c.help);
  EXPECT_TRUE(c.console);
  EXPECT_FALSE(c.unknown);
  EXPECT_FALSE(ParseCommandLine(1, with_null, UnknownArguments::kRefuse).help);
  EXPECT_FALSE(ParseCommandLine(0, nullptr, UnknownArguments::kRefuse).unknown);
  EXPECT_FALSE(ParseCommandLine(-3, with_null, UnknownArguments::kRefuse).console);
}

TEST(AnswerCommandLineTest, StartsTheToolWhenNothingIsAsked) {
  EXPECT_FALSE(
      AnswerCommandLine(Parse({"--console", "--service"}, UnknownArguments::kRefuse), kContext));
  EXPECT_FALSE(AnswerCommandLine(Parse({"--whatever"}, UnknownArguments::kIgnore), kContext));
}

TEST(AnswerCommandLineTest, VersionIsTheProgramAndTheProjectVersion) {
  const auto answer = AnswerCommandLine(Parse({"-V"}, UnknownArguments::kRefuse), kContext);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 0);
  EXPECT_EQ(answer->standard_output,
            std::string("quembrastella-switch ") + QS_PROJECT_VERSION + "\n");
  EXPECT_EQ(answer->standard_error, "");
}

TEST(AnswerCommandLineTest, HelpListsOptionsGesturesPlacesAndStatuses) {
  const auto answer =
      AnswerCommandLine(Parse({"--version", "--help"}, UnknownArguments::kRefuse), kContext);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 0);
  EXPECT_EQ(answer->standard_error, "");
  const std::string& text = answer->standard_output;
  EXPECT_EQ(text.rfind("Usage: quembrastella-switch [OPTION]...\n", 0), 0u) << text;
  for (const char* expected :
       {"  --console ", "  --service ", "  -h, --help ", "  -V, --version ", "Control, Control",
        "left and right (or middle)", "Q, Q", "/home/u/.config/autostart/x.desktop", "/tmp/x.lock",
        "  2  an argument the tool does not know"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  // Every line fits a terminal of 80 columns.
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
  }

  UsageContext ignoring = kContext;
  ignoring.unknown_arguments = UnknownArguments::kIgnore;
  EXPECT_EQ(UsageText(ignoring).find("does not know"), std::string::npos);
}

TEST(AnswerCommandLineTest, AnUnknownArgumentIsNamedOnStandardErrorWithStatusTwo) {
  const auto option =
      AnswerCommandLine(Parse({"--help", "--bogus"}, UnknownArguments::kRefuse), kContext);
  ASSERT_TRUE(option);
  EXPECT_EQ(option->status, 2);
  EXPECT_EQ(option->standard_output, "");
  // One line and the pointer to --help, not the whole usage.
  EXPECT_EQ(option->standard_error,
            "quembrastella-switch: unknown option '--bogus'\n"
            "Try 'quembrastella-switch --help' for more information.\n");

  const auto operand = AnswerCommandLine(Parse({"notes.txt"}, UnknownArguments::kRefuse), kContext);
  ASSERT_TRUE(operand);
  EXPECT_EQ(operand->status, 2);
  EXPECT_EQ(operand->standard_error.substr(0, operand->standard_error.find('\n')),
            "quembrastella-switch: unexpected argument 'notes.txt'");
}

TEST(AnswerCommandLineTest, HelpShowsTheGestureTimesInEffectAndEachStatusOnce) {
  UsageContext context = kContext;
  context.settings = "/home/u/.config/quembrastella-switch/config.toml";
  context.gestures.double_tap_ms = 500;
  context.gestures.control_taps = ControlTapRule::kClean;
  context.gestures.control_key = ControlKey::kRight;
  context.gestures.chord_hold_ms = 1500;
  context.gestures.quit_double_tap = false;
  const std::string text = UsageText(context);
  for (const char* expected :
       {"Gestures (as the settings set them):\n",
        "  Control, Control  tap twice within 500 ms, no other key, right key only: switch the "
        "hub\n",
        "hold left and right (or middle) button for 1500 ms: switch\n",
        "  Q, Q              off (quit from the tray's Exit, or with --quit)\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  context.gestures = GestureSettings{};
  context.gestures.chord_hold_ms = 2000;
  EXPECT_NE(UsageText(context).find("button for 2 s: switch"), std::string::npos);
  // Each exit status has one entry.
  for (const char* status : {"\n  0  ", "\n  1  ", "\n  2  ", "\n  3  "}) {
    const size_t first = text.find(status);
    EXPECT_NE(first, std::string::npos) << status;
    EXPECT_EQ(text.find(status, first + 1), std::string::npos) << status << "\n" << text;
  }
}

TEST(AnswerCommandLineTest, StatusJsonGetsItsObjectEvenForARefusedCommandLine) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--status", "--json", "--bogus"},
        {"--json", "--status", "--switch"}}) {
    const auto answer = AnswerCommandLine(Parse(args, UnknownArguments::kRefuse), kContext);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 2);
    EXPECT_EQ(answer->standard_output.rfind("{\"hub\":\"2109:8822\",\"error\":\"", 0), 0u)
        << answer->standard_output;
    EXPECT_EQ(answer->standard_output.find('\n'), answer->standard_output.size() - 1);
  }
  // Without --json, nothing on standard output.
  EXPECT_EQ(AnswerCommandLine(Parse({"--status", "--bogus"}, UnknownArguments::kRefuse), kContext)
                ->standard_output,
            "");
}

class AnswerBeforeStartTest : public ToolWorldTest {
 protected:
  std::optional<int> Answer(std::vector<std::string> args, UnknownArguments unknown) {
    args.insert(args.begin(), "quembrastella-switch");
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    return AnswerBeforeStart(static_cast<int>(args.size()), argv.data(), unknown,
                             *platform::Sys().files, platform::Sys().settings);
  }
};

TEST_F(AnswerBeforeStartTest, HelpNamesThePlatformsPlacesAndLeavesTheServicesAsTheyWere) {
  const platform::Services before = platform::Sys();
  testing::internal::CaptureStdout();
  const std::optional<int> status = Answer({"-h"}, UnknownArguments::kIgnore);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0);
  EXPECT_NE(out.find(LaunchAgentPlistPath()), std::string::npos) << out;
  EXPECT_NE(out.find(SingleInstanceLockPath()), std::string::npos) << out;
  EXPECT_NE(out.find("  settings          " + platform::Sys().settings->Location() + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(platform::Sys().files, before.files);
  EXPECT_EQ(platform::Sys().settings, before.settings);
  EXPECT_EQ(platform::Sys().ui, before.ui);
  EXPECT_EQ(platform::Sys().app, before.app);
  // Nothing was shown and no lock was taken.
  EXPECT_TRUE(ui().Alerts().empty());
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
}

TEST_F(AnswerBeforeStartTest, RefusalGoesToStandardErrorAndAPlainStartIsLeftAlone) {
  testing::internal::CaptureStderr();
  const std::optional<int> refused = Answer({"--frobnicate"}, UnknownArguments::kRefuse);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(refused);
  EXPECT_EQ(*refused, 2);
  EXPECT_EQ(err,
            "quembrastella-switch: unknown option '--frobnicate'\n"
            "Try 'quembrastella-switch --help' for more information.\n");

  EXPECT_FALSE(Answer({"--frobnicate"}, UnknownArguments::kIgnore));
  EXPECT_FALSE(Answer({"--console", "--service"}, UnknownArguments::kRefuse));
}

}  // namespace
