// Which one-shot command the arguments ask for, and how the command line
// refuses a mix. What each command does is shown end to end by the cmd_*
// scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/command_line.h"
#include "commands/commands.h"

namespace {

CommandChoice Choose(std::vector<std::string> args) {
  args.insert(args.begin(), "quembrastella-switch");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return ChooseCommand(
      ParseCommandLine(static_cast<int>(args.size()), argv.data(), UnknownArguments::kIgnore));
}

TEST(ChooseCommandTest, EachCommandInAnyPositionBesideTheFlags) {
  EXPECT_EQ(Choose({}).command, ToolCommand::kNone);
  EXPECT_EQ(Choose({"--console", "--service"}).command, ToolCommand::kNone);
  EXPECT_EQ(Choose({"--switch"}).command, ToolCommand::kSwitch);
  EXPECT_EQ(Choose({"--console", "--switch"}).command, ToolCommand::kSwitch);
  EXPECT_EQ(Choose({"--diagnose", "--console"}).command, ToolCommand::kDiagnose);
  const CommandChoice status = Choose({"--json", "--status"});
  EXPECT_EQ(status.command, ToolCommand::kStatus);
  EXPECT_TRUE(status.json);
  EXPECT_TRUE(status.error.empty());
}

TEST(ChooseCommandTest, OnlyTheExactSpellingCounts) {
  for (const char* near : {"--Switch", "-switch", "--switch=1", "switch", "--status "}) {
    SCOPED_TRACE(near);
    const CommandChoice c = Choose({near});
    EXPECT_EQ(c.command, ToolCommand::kNone);
    EXPECT_TRUE(c.error.empty());
  }
}

TEST(ChooseCommandTest, TwoCommandsOrAStrayJsonAreRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--switch", "--status"}, {"--diagnose", "--switch"}, {"--status", "--diagnose"}}) {
    const CommandChoice c = Choose(args);
    EXPECT_EQ(c.command, ToolCommand::kNone);
    EXPECT_FALSE(c.error.empty());
  }
  // The same command twice is still one command.
  EXPECT_EQ(Choose({"--switch", "--switch"}).command, ToolCommand::kSwitch);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--json"}, {"--switch", "--json"}, {"--diagnose", "--json"}}) {
    const CommandChoice c = Choose(args);
    EXPECT_EQ(c.command, ToolCommand::kNone);
    EXPECT_NE(c.error.find("--json"), std::string::npos);
  }
}

TEST(ChooseCommandTest, TheCommandLineAnswersAMixBeforeAnythingStarts) {
  const UsageContext context{"/home/u/.config/autostart/x.desktop", "/tmp/x.lock",
                             UnknownArguments::kRefuse, "", GestureSettings{}};
  std::vector<std::string> args = {"quembrastella-switch", "--status", "--diagnose"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  const auto answer = AnswerCommandLine(
      ParseCommandLine(static_cast<int>(argv.size()), argv.data(), UnknownArguments::kRefuse),
      context);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 2);
  EXPECT_EQ(answer->standard_output, "");
  EXPECT_EQ(answer->standard_error.rfind("quembrastella-switch: give one of", 0), 0u)
      << answer->standard_error;

  // A command alone is not answered: the tool starts and runs it.
  args = {"quembrastella-switch", "--status", "--json"};
  argv.clear();
  for (std::string& a : args) argv.push_back(a.data());
  EXPECT_FALSE(AnswerCommandLine(
      ParseCommandLine(static_cast<int>(argv.size()), argv.data(), UnknownArguments::kRefuse),
      context));
}

TEST(ChooseCommandTest, HelpListsTheCommandsTheirStatusesAndAKeyBinding) {
  const std::string text =
      UsageText({"/a", "/b", UnknownArguments::kRefuse, "", GestureSettings{}});
  for (const char* expected :
       {"  --switch ", "  --status ", "  --json ", "  --diagnose ",
        "quembrastella-switch --switch\n", "  3  --switch: the hub did not leave",
        "--status found the hub but could not open"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

}  // namespace
