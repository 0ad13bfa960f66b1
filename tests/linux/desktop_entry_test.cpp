// The autostart entry: written, read back, and hostile files survived.
#include "platform/linux/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using linux_platform::ParseDesktopEntry;
using linux_platform::QuoteExec;
using linux_platform::SerializeDesktopEntry;
using linux_platform::SplitExec;

platform::AgentDefinition Agent(std::vector<std::string> arguments) {
  platform::AgentDefinition agent;
  agent.label = "org.example.tool";
  agent.program_arguments = std::move(arguments);
  return agent;
}

TEST(DesktopEntryTest, ArgumentsSurviveTheRoundTrip) {
  const std::vector<std::vector<std::string>> cases = {
      {"/usr/bin/tool", "--service"},
      {"/home/a b/My Tools/tool", "--service"},
      {"/opt/we\"ird/$HOME/`x`/back\\slash/100%/tool", "--service"},
      {"/tmp/tab\there/tool"},
  };
  for (const auto& arguments : cases) {
    if (arguments[0].find('\t') != std::string::npos) {
      EXPECT_FALSE(QuoteExec(arguments).ok());  // control characters cannot be written
      continue;
    }
    const auto bytes = SerializeDesktopEntry(Agent(arguments), "Tool");
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
  // A backslash is escaped for the quoted string and again for the value.
  exec = QuoteExec({"/a\\b"});
  ASSERT_TRUE(exec.ok());
  EXPECT_EQ(exec.value(), "\"/a\\\\\\\\b\"");
  exec = QuoteExec({"/50%"});
  ASSERT_TRUE(exec.ok());
  EXPECT_EQ(exec.value(), "/50%%");
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

TEST(DesktopEntryTest, AnAgentNotRunAtLoginIsHidden) {
  auto agent = Agent({"/bin/tool"});
  agent.run_at_load = false;
  const auto bytes = SerializeDesktopEntry(agent, "Tool");
  ASSERT_TRUE(bytes.ok());
  EXPECT_NE(bytes.value().find("\nHidden=true\n"), std::string::npos);
  agent.label = "bad\nlabel";
  EXPECT_FALSE(SerializeDesktopEntry(agent, "Tool").ok());
}

}  // namespace
