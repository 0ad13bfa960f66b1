// "Install as a Service" on each kind of session: a desktop that starts
// autostart entries is told it starts at every login; a compositor that
// does not is never told so, and gets the line for its own configuration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/files/desktop_entry.h"
#include "platform/linux/files/login_start.h"

namespace {

using linux_platform::AutostartRunner;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(LoginStartTest, EachSessionIsToldWhatReallyStartsTheTool) {
  const std::string entry = "/home/ann/.config/autostart/org.quembrastella.switch.desktop";
  const std::string program = "/usr/bin/quembrastella-switch";
  struct Case {
    std::string desktop;
    AutostartRunner runner;
    std::vector<std::string> says;
  };
  const std::vector<Case> cases = {
      {"GNOME", AutostartRunner::kDesktop, {"starts by itself every time you log in", entry}},
      {"ubuntu:GNOME", AutostartRunner::kDesktop, {"every time you log in"}},
      {"KDE", AutostartRunner::kDesktop, {"every time you log in"}},
      {"XFCE", AutostartRunner::kDesktop, {"every time you log in"}},
      {"X-Cinnamon", AutostartRunner::kDesktop, {"every time you log in"}},
      {"sway",
       AutostartRunner::kCompositor,
       {"will not start by itself", "sway does not start login entries",
        "~/.config/sway/config:\nexec /usr/bin/quembrastella-switch --service --console"}},
      {"Hyprland", AutostartRunner::kCompositor, {"exec-once = /usr/bin/quembrastella-switch"}},
      {"i3", AutostartRunner::kCompositor, {"exec --no-startup-id /usr/bin/"}},
      {"", AutostartRunner::kUnknown, {"if yours does not", program + " --service --console"}},
      {"SomethingNew", AutostartRunner::kUnknown, {"if yours does not"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linux_platform::AutostartRunnerFor(c.desktop), c.runner) << c.desktop;
    const std::string notice = linux_platform::InstalledNotice(c.desktop, entry, program);
    for (const std::string& part : c.says)
      EXPECT_TRUE(Has(notice, part)) << c.desktop << ": " << notice;
    // Only a session that starts the entry is told that it starts at login.
    EXPECT_EQ(Has(notice, "starts by itself"), c.runner == AutostartRunner::kDesktop) << notice;
    EXPECT_FALSE(Has(notice, "successfully")) << notice;
  }
}

TEST(LoginStartTest, TheEntryTellsSessionRunnersWhichProgramMustExist) {
  platform::AgentDefinition agent;
  agent.label = "org.quembrastella.switch";
  agent.name = "Quembrastella USB-C Switch";
  agent.program_arguments = {"/opt/my tools/quembrastella-switch", "--service"};
  const auto entry = linux_platform::SerializeDesktopEntry(agent);
  ASSERT_TRUE(entry.ok());
  // A plain string value: not quoted as Exec is; a blank stays a blank.
  EXPECT_TRUE(Has(entry.value(), "\nTryExec=/opt/my tools/quembrastella-switch\n"))
      << entry.value();
  EXPECT_TRUE(Has(entry.value(), "\nExec=\"/opt/my tools/quembrastella-switch\" --service\n"))
      << entry.value();
}

}  // namespace
