// The autostart entry: written, read back, and hostile files survived.
#include "platform/linux/files/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using linux_platform::ParseDesktopEntry;
using linux_platform::QuoteExec;
using linux_platform::SerializeDesktopEntry;
using linux_platform::SplitExec;

platform::AgentDefinition Agent(std::vector<std::string> arguments) {
  platform::AgentDefinition agent;
  agent.label = "org.example.tool";
  agent.name = "Tool";
  agent.program_arguments = std::move(arguments);
  return agent;
}

TEST(DesktopEntryTest, ArgumentsSurviveTheRoundTrip) {
  const std::vector<std::vector<std::string>> cases = {
      {"/usr/bin/tool", "--service"},
      {"/home/a b/My Tools/tool", "--service"},
      {"/opt/we\"ird/$HOME/`x`/tool", "--service"},
      {"/tmp/tab\there/tool"},
  };
  for (const auto& arguments : cases) {
    if (arguments[0].find('\t') != std::string::npos) {
      EXPECT_FALSE(QuoteExec(arguments).ok());  // control characters cannot be written
      continue;
    }
    const auto bytes = SerializeDesktopEntry(Agent(arguments));
    ASSERT_TRUE(bytes.ok()) << arguments[0];
    const auto parsed = ParseDesktopEntry(bytes.value());
    ASSERT_TRUE(parsed.has_value());
    ASSERT_TRUE(parsed->label.has_value());
    EXPECT_EQ(*parsed->label, "org.example.tool");
    ASSERT_TRUE(parsed->program_arguments.has_value());
    EXPECT_EQ(*parsed->program_arguments, arguments);
  }
}

TEST(DesktopEntryTest, ExecQuotingFollowsTheFormat) {
  auto exec = QuoteExec({"/a b/tool", "--service"});
  ASSERT_TRUE(exec.ok());
  EXPECT_EQ(exec.value(), "\"/a b/tool\" --service");
  exec = QuoteExec({"/a$b/tool"});
  ASSERT_TRUE(exec.ok());
  EXPECT_EQ(exec.value(), "\"/a\\\\$b/tool\"");
  // Per-cent signs and backslashes are refused rather than escaped: the
  // desktop's readers disagree on them.
  EXPECT_FALSE(QuoteExec({"/a\\b"}).ok());
  EXPECT_FALSE(QuoteExec({"/50%"}).ok());
}

TEST(DesktopEntryTest, SplitsWhatOtherWritersWrite) {
  EXPECT_EQ(SplitExec("tool  --service %U"), (std::vector<std::string>{"tool", "--service", ""}));
  EXPECT_EQ(SplitExec("\"/a b/t\" x"), (std::vector<std::string>{"/a b/t", "x"}));
  EXPECT_EQ(SplitExec(""), std::vector<std::string>{});
  EXPECT_FALSE(SplitExec("\"/unterminated").has_value());
  EXPECT_FALSE(SplitExec("tool\\").has_value());
  EXPECT_FALSE(SplitExec("tool %").has_value());
}

TEST(DesktopEntryTest, HostileOrForeignFilesGiveNoAgent) {
  EXPECT_FALSE(ParseDesktopEntry("").has_value());
  EXPECT_FALSE(ParseDesktopEntry("not an entry at all\n").has_value());
  EXPECT_FALSE(ParseDesktopEntry(std::string("[Desktop Entry]\nExec=a\0b\n", 25)).has_value());
  EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nExec=\xff\xfe\n").has_value());
  std::string huge = "[Desktop Entry]\nExec=/bin/tool\n";
  huge += std::string(linux_platform::kMaxEntryBytes, '#');
  EXPECT_FALSE(ParseDesktopEntry(huge).has_value());
}

TEST(DesktopEntryTest, OnlyWellFormedUtf8IsWrittenOrRead) {
  // The desktop refuses a file that is not well-formed UTF-8: encoded
  // surrogates, overlong forms and code points above U+10FFFF are not,
  // however like UTF-8 their bytes look.
  for (const char* path : {"/a\xED\xA0\x80", "/a\xED\xBF\xBF", "/\xE0\x80\xAF", "/\xE0\x9F\xBF",
                           "/\xF0\x82\x82\xAC", "/\xF0\x8F\xBF\xBF", "/\xF4\x90\x80\x80",
                           "/\xF5\x80\x80\x80", "/\xC1\xBF", "/cut\xE2\x82", "/cut\xF0\x9F\x98"}) {
    EXPECT_FALSE(QuoteExec({path, "--service"}).ok()) << path;
    EXPECT_FALSE(ParseDesktopEntry(std::string("[Desktop Entry]\nExec=") + path + "\n").has_value())
        << path;
  }
  // The edges of what is well formed.
  for (const char* path : {"/\xC2\x80", "/\xE0\xA0\x80", "/\xED\x9F\xBF", "/\xEE\x80\x80",
                           "/\xEF\xBF\xBF", "/\xF0\x90\x80\x80", "/\xF4\x8F\xBF\xBF"}) {
    const auto bytes = SerializeDesktopEntry(Agent({path, "--service"}));
    ASSERT_TRUE(bytes.ok()) << path;
    const auto parsed = ParseDesktopEntry(bytes.value());
    ASSERT_TRUE(parsed.has_value()) << path;
    EXPECT_EQ(parsed->program_arguments, (std::vector<std::string>{path, "--service"}));
  }
}

TEST(DesktopEntryTest, OnlyTheDesktopEntryGroupAndFirstKeysCount) {
  const auto parsed = ParseDesktopEntry(
      "# comment\n[Desktop Action x]\nExec=/evil\n[Desktop Entry]\n"
      "X-Quembrastella-Label = org.example.tool\nExec=/good --service\nExec=/later\n"
      "Exec[de]=/localized\n");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->label, "org.example.tool");
  EXPECT_EQ(parsed->program_arguments, (std::vector<std::string>{"/good", "--service"}));

  const auto no_label = ParseDesktopEntry("[Desktop Entry]\nExec=\"/bad\n");
  ASSERT_TRUE(no_label.has_value());
  EXPECT_FALSE(no_label->label.has_value());
  EXPECT_FALSE(no_label->program_arguments.has_value());
}

TEST(DesktopEntryTest, TheEntryIsShownUnderTheAgentsNameAndHiddenWhenNotRunAtLogin) {
  auto agent = Agent({"/bin/tool"});
  agent.name = "Some Tool";
  agent.run_at_load = false;
  const auto bytes = SerializeDesktopEntry(agent);
  ASSERT_TRUE(bytes.ok());
  EXPECT_NE(bytes.value().find("\nName=Some Tool\n"), std::string::npos) << bytes.value();
  EXPECT_NE(bytes.value().find("\nHidden=true\n"), std::string::npos);
  agent.name = "bad\nname";
  EXPECT_FALSE(SerializeDesktopEntry(agent).ok());
  agent.name = "Tool";
  agent.label = "bad\nlabel";
  EXPECT_FALSE(SerializeDesktopEntry(agent).ok());
}

}  // namespace
