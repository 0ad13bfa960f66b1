// The login agent: the paths, the check against this executable, and the
// install with each of its failures.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app_world_fixture.h"
#include "forwarding_files.h"
#include "service/launch_agent.h"
#include "support/hostile_support.h"

namespace {

using hostile::Slurp;

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// An XML property list with this dictionary body.
std::string Plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n" +
         body + "</dict>\n</plist>\n";
}

class LaunchAgentTest : public ToolWorldTest {
 protected:
  platform::Files& sys_files() { return *platform::Sys().files; }
  std::string Exe() { return files().ExecutablePathValue(); }

  // Writes an agent file as some other program (or the user) left it.
  void WriteAgent(const std::string& bytes) {
    ASSERT_TRUE(sys_files().CreateDirectories(LaunchAgentDirectoryPath()).ok());
    ASSERT_TRUE(sys_files().WriteFileAtomically(LaunchAgentPlistPath(), bytes).ok());
  }
  void WriteAgent(const std::string& label, const std::vector<std::string>& args) {
    platform::AgentDefinition agent;
    agent.label = label;
    agent.program_arguments = args;
    agent.process_type = "Interactive";
    platform::Result<std::string> bytes = sys_files().SerializeAgent(agent);
    ASSERT_TRUE(bytes.ok());
    WriteAgent(bytes.value());
  }
};

TEST_F(LaunchAgentTest, PathsJoinWithOneSlash) {
  const std::string agents = sys_files().AgentDirectory();
  EXPECT_EQ(LaunchAgentDirectoryPath(), agents);
  EXPECT_EQ(LaunchAgentPlistPath(), agents + "/org.quembrastella.switch.plist");
  const std::string support = *sys_files().ApplicationSupportDirectory();
  EXPECT_EQ(ApplicationSupportDirectoryPath(), support + "/Quembrastella USB-C Switch");
  EXPECT_FALSE(Exists(ApplicationSupportDirectoryPath()));  // not created by asking
}

TEST_F(LaunchAgentTest, InstalledAgentMatchesThisExecutableOnly) {
  EXPECT_FALSE(LaunchAgentServiceExists());  // no file yet
  std::string message = "untouched";
  ASSERT_TRUE(InstallLaunchAgent(&message));
  EXPECT_EQ(message, "untouched");
  EXPECT_TRUE(LaunchAgentServiceExists());

  const std::optional<platform::AgentFileContents> read =
      sys_files().ReadAgentFile(LaunchAgentPlistPath());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->label, "org.quembrastella.switch");
  EXPECT_EQ(read->program_arguments, std::vector<std::string>({Exe(), "--service"}));

  const std::string xml = Slurp(LaunchAgentPlistPath());
  const std::string logs = ApplicationSupportDirectoryPath();
  EXPECT_NE(xml.find(logs + "/Quembrastella_USB-C_Switch.out.log"), std::string::npos);
  EXPECT_NE(xml.find(logs + "/Quembrastella_USB-C_Switch.err.log"), std::string::npos);
  EXPECT_NE(xml.find("<string>Interactive</string>"), std::string::npos);
  EXPECT_TRUE(IsDirectory(logs));

  struct stat st {};
  ASSERT_EQ(::stat(LaunchAgentPlistPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(LaunchAgentTest, AgentNamingAnotherProgramOrLabelDoesNotMatch) {
  WriteAgent("org.quembrastella.switch", {Exe() + "-old", "--service"});
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent("org.quembrastella.Switch", {Exe(), "--service"});
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent("org.quembrastella.switch", {});
  EXPECT_FALSE(LaunchAgentServiceExists());

  // Installing again rewrites it for this executable.
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

TEST_F(LaunchAgentTest, ExecutableThatLostItsPermissionOrIsGoneDoesNotMatch) {
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  files().SetExecutable(sim::SimFiles::Exe::kNotExecutable);
  EXPECT_FALSE(LaunchAgentServiceExists());

  files().SetExecutable(sim::SimFiles::Exe::kPresent);
  EXPECT_TRUE(LaunchAgentServiceExists());
  ASSERT_EQ(::unlink(Exe().c_str()), 0);
  EXPECT_FALSE(LaunchAgentServiceExists());
}

TEST_F(LaunchAgentTest, OnlyLabelAndFirstArgumentAreLookedAt) {
  WriteAgent(
      Plist("<key>Label</key><string>org.quembrastella.switch</string>\n"
            "<key>ProgramArguments</key><array><string>" +
            Exe() + "</string><string>--other</string></array>\n"));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

TEST_F(LaunchAgentTest, WrongTypesOrBrokenFilesCountAsNoAgent) {
  const std::string args = "<key>ProgramArguments</key><array><string>" + Exe() +
                           "</string><string>--service</string></array>\n";
  const std::string label = "<key>Label</key><string>org.quembrastella.switch</string>\n";

  WriteAgent(Plist("<key>Label</key><integer>7</integer>\n" + args));
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent(Plist(label + "<key>ProgramArguments</key><string>" + Exe() + "</string>\n"));
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent(Plist(label + "<key>ProgramArguments</key><array><integer>1</integer></array>\n"));
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent(Plist(args));  // no Label at all
  EXPECT_FALSE(LaunchAgentServiceExists());
  WriteAgent("<plist version=\"1.0\"><dict><key>Label</key>");  // cut short
  EXPECT_FALSE(LaunchAgentServiceExists());

  // The well-formed file with the same pieces does match.
  WriteAgent(Plist(label + args));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

TEST_F(LaunchAgentTest, InstallingTwiceGivesOneIdenticalFile) {
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  const std::string first = Slurp(LaunchAgentPlistPath());
  ASSERT_TRUE(InstallLaunchAgent(nullptr));  // both folders exist now
  EXPECT_EQ(Slurp(LaunchAgentPlistPath()), first);
  EXPECT_FALSE(first.empty());
}

TEST_F(LaunchAgentTest, WithoutApplicationSupportTheLogsGoUnderHome) {
  files().SetApplicationSupport(false);
  const std::string logs = files().Home() + "/Quembrastella USB-C Switch";
  EXPECT_EQ(ApplicationSupportDirectoryPath(), logs);
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_TRUE(IsDirectory(logs));
  EXPECT_NE(Slurp(LaunchAgentPlistPath()).find(logs + "/Quembrastella_USB-C_Switch.out.log"),
            std::string::npos);
}

TEST_F(LaunchAgentTest, BlockedAgentFolderStopsBeforeTheLogFolder) {
  const std::string agents = LaunchAgentDirectoryPath();
  ASSERT_TRUE(sys_files().CreateDirectories(agents.substr(0, agents.rfind('/'))).ok());
  std::ofstream(agents) << "a plain file";

  std::string message;
  EXPECT_FALSE(InstallLaunchAgent(&message));
  EXPECT_EQ(message.rfind("Cannot create LaunchAgent folder: ", 0), 0u);
  EXPECT_GT(message.size(), std::string("Cannot create LaunchAgent folder: ").size());
  EXPECT_FALSE(Exists(ApplicationSupportDirectoryPath()));

  // Without a place for the message the result is the same.
  EXPECT_FALSE(InstallLaunchAgent(nullptr));
  EXPECT_FALSE(Exists(ApplicationSupportDirectoryPath()));
}

TEST_F(LaunchAgentTest, FailedWriteKeepsThePreviousFile) {
  WriteAgent("org.example.previous", {"/bin/true"});
  const std::string before = Slurp(LaunchAgentPlistPath());
  files().SetAgentWriteFails(true);

  std::string message;
  EXPECT_FALSE(InstallLaunchAgent(&message));
  EXPECT_EQ(message.rfind("Cannot write LaunchAgent plist: ", 0), 0u);
  EXPECT_EQ(Slurp(LaunchAgentPlistPath()), before);
  EXPECT_TRUE(IsDirectory(ApplicationSupportDirectoryPath()));
}

TEST_F(LaunchAgentTest, MissingExecutablePathIsReportedAfterBothFolders) {
  for (sim::SimFiles::Exe exe : {sim::SimFiles::Exe::kNone, sim::SimFiles::Exe::kEmpty}) {
    files().SetExecutable(exe);
    std::string message;
    EXPECT_FALSE(InstallLaunchAgent(&message));
    EXPECT_EQ(message, "Cannot find this program's executable path.");
    EXPECT_TRUE(IsDirectory(LaunchAgentDirectoryPath()));
    EXPECT_TRUE(IsDirectory(ApplicationSupportDirectoryPath()));
    EXPECT_FALSE(Exists(LaunchAgentPlistPath()));
    EXPECT_FALSE(LaunchAgentServiceExists());
  }
}

// The sandbox's files with serialisation or chmod made to fail; every other
// call goes to the sandbox.
class FailingAgentFiles : public test_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  platform::Result<std::string> SerializeAgent(const platform::AgentDefinition& a) override {
    if (serialise_fails) return platform::Result<std::string>::Fail("no room for the list");
    return ForwardingFiles::SerializeAgent(a);
  }
  platform::Status WriteFileAtomically(const std::string& p, const std::string& b) override {
    ++writes;
    return ForwardingFiles::WriteFileAtomically(p, b);
  }
  bool SetPermissions(const std::string& p, unsigned m) override {
    if (chmod_fails) return false;
    return ForwardingFiles::SetPermissions(p, m);
  }

  bool serialise_fails = false;
  bool chmod_fails = false;
  int writes = 0;
};

class LaunchAgentFailureTest : public LaunchAgentTest {
 protected:
  void SetUp() override {
    LaunchAgentTest::SetUp();
    platform::Services services = world().Services();
    failing_ = std::make_unique<FailingAgentFiles>(services.files);
    services.files = failing_.get();
    platform::InstallServices(services);
  }
  void TearDown() override {
    world().Install();
    failing_.reset();
    LaunchAgentTest::TearDown();
  }
  std::unique_ptr<FailingAgentFiles> failing_;
};

TEST_F(LaunchAgentFailureTest, FailedSerialisationWritesNothingAndSaysWhy) {
  failing_->serialise_fails = true;
  std::string message;
  EXPECT_FALSE(InstallLaunchAgent(&message));
  EXPECT_EQ(message, "Cannot create LaunchAgent plist: no room for the list");
  EXPECT_EQ(failing_->writes, 0);
  EXPECT_TRUE(IsDirectory(LaunchAgentDirectoryPath()));
  EXPECT_TRUE(IsDirectory(ApplicationSupportDirectoryPath()));
  EXPECT_FALSE(Exists(LaunchAgentPlistPath()));
}

TEST_F(LaunchAgentFailureTest, PermissionsThatCannotBeSetDoNotUndoTheInstall) {
  failing_->chmod_fails = true;
  std::string message = "untouched";
  EXPECT_TRUE(InstallLaunchAgent(&message));
  EXPECT_EQ(message, "untouched");
  EXPECT_TRUE(LaunchAgentServiceExists());
}

}  // namespace
