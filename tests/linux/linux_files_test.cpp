// Paths from the XDG variables, and the login agent as an autostart entry,
// written and checked by the tool's own agent code.
#include "platform/linux/files/linux_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"
#include "service/launch_agent.h"
#include "support/hostile_support.h"

namespace {

using linux_platform::LinuxFiles;
using linux_platform::XdgEnvironment;

using hostile::Slurp;

class LinuxFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.empty()); }
  void TearDown() override { platform::InstallServices(platform::Services{}); }
  void Install(LinuxFiles& files) {
    platform::Services services;
    services.files = &files;
    platform::InstallServices(services);
  }
  hostile::TempFolder made_{"qs-home"};
  const std::string home_ = made_.path();
};

TEST_F(LinuxFilesTest, FoldersFollowTheXdgVariablesAndIgnoreRelativeOnes) {
  LinuxFiles defaults(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  EXPECT_EQ(defaults.HomeDirectory(), home_);
  EXPECT_EQ(defaults.AgentDirectory(), home_ + "/.config/autostart");
  EXPECT_EQ(defaults.ApplicationSupportDirectory(), home_ + "/.local/state");
  EXPECT_EQ(defaults.AgentFileExtension(), ".desktop");

  LinuxFiles custom(XdgEnvironment{home_, "/cfg", "/state", std::nullopt});
  EXPECT_EQ(custom.AgentDirectory(), "/cfg/autostart");
  EXPECT_EQ(custom.ApplicationSupportDirectory(), "/state");

  LinuxFiles relative(XdgEnvironment{home_, "cfg", "", std::nullopt});
  EXPECT_EQ(relative.AgentDirectory(), home_ + "/.config/autostart");
  EXPECT_EQ(relative.ApplicationSupportDirectory(), home_ + "/.local/state");

  const auto exe = defaults.ExecutablePath();
  ASSERT_TRUE(exe.has_value());
  EXPECT_EQ((*exe)[0], '/');
  EXPECT_TRUE(defaults.IsExecutableFile(*exe));
}

TEST_F(LinuxFilesTest, AProgramReplacedWhileRunningIsNamedByItsInstalledPath) {
  const std::string program = home_ + "/quembrastella-switch";
  const std::string literal = home_ + "/odd (deleted)";
  ASSERT_EQ(system(("touch '" + program + "' '" + literal + "'").c_str()), 0);
  // Replaced by an upgrade: the new program lies at the old path.
  EXPECT_EQ(linux_platform::ExecutablePathFromLink(program + " (deleted)"), program);
  // A file that is really called so, and a path with nothing behind it, stay.
  EXPECT_EQ(linux_platform::ExecutablePathFromLink(literal), literal);
  EXPECT_EQ(linux_platform::ExecutablePathFromLink(home_ + "/gone (deleted)"),
            home_ + "/gone (deleted)");
  EXPECT_EQ(linux_platform::ExecutablePathFromLink(program), program);
}

TEST_F(LinuxFilesTest, InstalledEntryIsFoundAgainAndIsReadableByAll) {
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  Install(files);
  EXPECT_FALSE(LaunchAgentServiceExists());
  std::string message;
  ASSERT_TRUE(InstallLaunchAgent(&message)) << message;
  EXPECT_TRUE(LaunchAgentServiceExists());

  const std::string entry = LaunchAgentPlistPath();
  EXPECT_EQ(entry.rfind(home_ + "/.config/autostart/", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat(entry.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  const std::string first = Slurp(entry);
  EXPECT_NE(first.find("Exec=" + *files.ExecutablePath() + " --service --console\n"),
            std::string::npos);
  // Login start at a desktop: the entry starts the program only when it is
  // still installed.
  EXPECT_NE(first.find("\nTryExec=" + *files.ExecutablePath() + "\n"), std::string::npos) << first;
  // The session keeps the output: no log folder, nothing else in the home
  // folder but the entry (what a purge leaves, docs/linux.md).
  std::vector<std::string> made;
  for (const auto& item : std::filesystem::recursive_directory_iterator(home_)) {
    made.push_back(item.path().string().substr(home_.size()));
  }
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made,
            std::vector<std::string>({"/.config", "/.config/autostart",
                                      "/.config/autostart/org.quembrastella.switch.desktop"}));

  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_EQ(Slurp(entry), first);
}

TEST_F(LinuxFilesTest, UnderUmaskZeroEveryFileIsMadeWithItsFinalMode) {
  // Nothing may ever be open to another user's writes, not even for the
  // moment between creating a file and setting its mode.
  const mode_t umask_before = ::umask(0);
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt}, home_);
  const std::string entry = home_ + "/entry.desktop";
  const platform::Status first = files.WriteFileAtomically(entry, "[Desktop Entry]\n");
  const platform::Status again = files.WriteFileAtomically(entry, "[Desktop Entry]\nX=1\n");
  const platform::Status folders = files.CreateDirectories(home_ + "/a/b");
  const platform::LockAttempt lock = files.TakeInstanceLock("org.example.umask");
  ::umask(umask_before);
  ASSERT_TRUE(first.ok() && again.ok() && folders.ok() && lock.lock);
  struct Case {
    std::string path;
    mode_t mode;
  };
  for (const Case& c : {Case{entry, 0644}, Case{home_ + "/a", 0755}, Case{home_ + "/a/b", 0755},
                        Case{files.InstanceLockPath("org.example.umask"), 0600}}) {
    struct stat st {};
    ASSERT_EQ(stat(c.path.c_str(), &st), 0) << c.path;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.path;
  }
}

TEST_F(LinuxFilesTest, EntriesForAnotherProgramOrBrokenOnesDoNotCount) {
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  Install(files);
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  const std::string entry = LaunchAgentPlistPath();
  std::string text = Slurp(entry);
  const std::string exe = *files.ExecutablePath();
  // Exec names another program (TryExec, before it, is left as it is).
  const size_t exec = text.find("\nExec=");
  text.replace(text.find(exe, exec), exe.size(), "/usr/bin/elsewhere");
  std::ofstream(entry, std::ios::binary | std::ios::trunc) << text;
  EXPECT_FALSE(LaunchAgentServiceExists());

  std::ofstream(entry, std::ios::binary | std::ios::trunc) << std::string(
      "\x7f"
      "ELF\0\0\0",
      7);
  EXPECT_FALSE(LaunchAgentServiceExists());
  std::ofstream(entry, std::ios::binary | std::ios::trunc) << "[Desktop Entry]\nExec=\"" << exe;
  EXPECT_FALSE(LaunchAgentServiceExists());

  // Reinstalling repairs it.
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

TEST_F(LinuxFilesTest, AFileWhereTheAutostartFolderBelongsFailsTheInstall) {
  ASSERT_EQ(
      system(
          ("mkdir -p '" + home_ + "/.config' && touch '" + home_ + "/.config/autostart'").c_str()),
      0);
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  Install(files);
  std::string message;
  EXPECT_FALSE(InstallLaunchAgent(&message));
  // Named as what it is here, not as the reference platform's agent folder.
  EXPECT_EQ(message.rfind("Cannot create autostart folder: ", 0), 0u) << message;
  EXPECT_GT(message.size(), std::string("Cannot create autostart folder: ").size());
  struct stat st {};
  EXPECT_NE(stat((home_ + "/.local/state").c_str(), &st), 0);  // no log folder either
}

TEST_F(LinuxFilesTest, ReadingSkipsWhatIsNoRegularFile) {
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  EXPECT_FALSE(files.ReadAgentFile(home_).has_value());  // a folder
  EXPECT_FALSE(files.ReadAgentFile(home_ + "/missing.desktop").has_value());
  const std::string fifo = home_ + "/fifo.desktop";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(files.ReadAgentFile(fifo).has_value());  // and it does not hang
}

}  // namespace
