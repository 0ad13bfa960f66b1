// Nothing is lost when an install fails: the agent file is wholly the old
// one or wholly the new one, no temporary file is left behind, and what
// stands in the way of a folder is left as it was.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app_world_fixture.h"
#include "service/launch_agent.h"
#include "support/hostile_support.h"

namespace {

using hostile::Entries;
using hostile::Slurp;
using hostile::Spit;

class HostileInstallTest : public ToolWorldTest {
 protected:
  // An agent file left by an earlier install for another place, with the
  // mode a user gave it.
  void PlantPrevious() {
    platform::Files& f = *platform::Sys().files;
    ASSERT_TRUE(f.CreateDirectories(LaunchAgentDirectoryPath()).ok());
    platform::AgentDefinition old;
    old.label = "org.quembrastella.switch";
    old.program_arguments = {"/Applications/Old Place/quembrastella-switch", "--service"};
    old.process_type = "Interactive";
    const platform::Result<std::string> bytes = f.SerializeAgent(old);
    ASSERT_TRUE(bytes.ok());
    ASSERT_TRUE(Spit(LaunchAgentPlistPath(), bytes.value()));
    ASSERT_EQ(::chmod(LaunchAgentPlistPath().c_str(), 0640), 0);
    previous_ = bytes.value();
  }
  void ExpectPreviousIntact() {
    EXPECT_EQ(Slurp(LaunchAgentPlistPath()), previous_);
    struct stat st {};
    ASSERT_EQ(::stat(LaunchAgentPlistPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Only the agent file: no temporary file left beside it.
    EXPECT_EQ(Entries(LaunchAgentDirectoryPath()),
              std::vector<std::string>{"org.quembrastella.switch.plist"});
  }
  std::string previous_;
};

TEST_F(HostileInstallTest, AWriteThatFailsPartWayKeepsThePreviousFileWhole) {
  PlantPrevious();
  // The whole tool, started by hand, "Install as a Service" pressed; in a
  // child whose file-size limit makes the write of the new file fail after
  // 0, 1, 100 and all but one of its bytes.
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  const size_t full = Slurp(LaunchAgentPlistPath()).size();
  ASSERT_TRUE(Spit(LaunchAgentPlistPath(), previous_));
  ASSERT_EQ(::chmod(LaunchAgentPlistPath().c_str(), 0640), 0);
  ASSERT_GT(full, 100u);
  for (rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{100}, rlim_t(full - 1)}) {
    SCOPED_TRACE(limit);
    const int failures = hostile::InChild([this, limit] {
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      rlimit size{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &size);
      ui().SetChoice(0);
      int failed = RunTool({}) == 1 ? 0 : 1;
      const std::vector<std::string> alerts = AlertTexts();
      if (alerts.size() != 2 || alerts[1].rfind("Cannot write LaunchAgent plist: ", 0) != 0) {
        ++failed;
      }
      if (!LockFreeForOthers()) ++failed;  // released after the alert
      return failed;
    });
    EXPECT_EQ(failures, 0);
    ExpectPreviousIntact();
  }
  // Without the limit the same install goes through and replaces it.
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

TEST_F(HostileInstallTest, AnAgentFolderThatRefusesNewFilesKeepsThePreviousFile) {
  PlantPrevious();
  ASSERT_TRUE(platform::Sys().files->CreateDirectories(ApplicationSupportDirectoryPath()).ok());
  ASSERT_EQ(::chmod(files().Home().c_str(), 0755), 0);
  // Another user's process can read root's agent folder but create no
  // temporary file in it.
  const int failures = hostile::AsNobody([] {
    std::string message;
    int failed = InstallLaunchAgent(&message) ? 1 : 0;
    if (message.rfind("Cannot write LaunchAgent plist: Permission denied", 0) != 0) ++failed;
    return failed;
  });
  EXPECT_EQ(failures, 0);
  ExpectPreviousIntact();
}

TEST_F(HostileInstallTest, ALogFolderThatCannotBeMadeKeepsThePreviousFile) {
  PlantPrevious();
  // A plain file where the log folder's parent should be.
  const std::string support = files().Home() + "/Library/Application Support";
  ASSERT_EQ(::rmdir(support.c_str()), 0);
  ASSERT_TRUE(Spit(support, "not a folder"));

  ui().SetChoice(0);
  EXPECT_EQ(RunTool({}), 1);
  ASSERT_EQ(AlertTexts().size(), 2u);
  EXPECT_EQ(AlertTexts()[1].rfind("Cannot create log folder: Not a directory", 0), 0u)
      << AlertTexts()[1];
  EXPECT_EQ(Slurp(support), "not a folder");
  ExpectPreviousIntact();
}

TEST_F(HostileInstallTest, APlainFileWhereTheAgentFolderBelongsIsLeftAsItWas) {
  const std::string agents = LaunchAgentDirectoryPath();
  ASSERT_TRUE(Spit(agents, "someone's notes"));
  ui().SetChoice(0);
  EXPECT_EQ(RunTool({}), 1);
  ASSERT_EQ(AlertTexts().size(), 2u);
  EXPECT_EQ(AlertTexts()[1].rfind("Cannot create LaunchAgent folder: Not a directory", 0), 0u)
      << AlertTexts()[1];
  EXPECT_EQ(Slurp(agents), "someone's notes");
  EXPECT_TRUE(LockFreeForOthers());
}

}  // namespace
