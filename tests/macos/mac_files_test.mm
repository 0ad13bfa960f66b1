// The agent file and folders through Foundation, in a scratch folder.
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/macos/agent_program.h"
#include "platform/macos/mac_files.h"

namespace {

using platform::AgentDefinition;
using platform::macos::MacFiles;

class MacFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NSString* name = [NSString stringWithFormat:@"qs-files-%@", [NSUUID UUID].UUIDString];
    dir_ = std::string([NSTemporaryDirectory() stringByAppendingPathComponent:name].UTF8String);
    ASSERT_TRUE(files_.CreateDirectories(dir_).ok());
  }
  void TearDown() override {
    [[NSFileManager defaultManager] removeItemAtPath:@(dir_.c_str()) error:nil];
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  void Write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(files_.WriteFileAtomically(path, text).ok());
  }
  static AgentDefinition Agent() {
    AgentDefinition agent;
    agent.label = "org.example.agent";
    agent.program_arguments = {"/Applications/Tool.app/Contents/MacOS/Tool", "--service"};
    agent.process_type = "Interactive";
    agent.standard_out_path = "/tmp/out log";
    agent.standard_error_path = "/tmp/err log";
    return agent;
  }

  MacFiles files_;
  std::string dir_;
};

// The install is refused, with what to do, for a program launchd could not
// start at the next login; nothing is serialised.
TEST_F(MacFilesTest, AnAgentForADiskImageATranslocatedCopyOrABareProgramIsRefused) {
  for (const char* program :
       {"/Volumes/Tool/Tool.app/Contents/MacOS/Tool",
        "/private/var/folders/ab/cd/T/AppTranslocation/1234/d/Tool.app/Contents/MacOS/Tool",
        "/Users/ann/build/quembrastella-switch"}) {
    SCOPED_TRACE(program);
    AgentDefinition agent = Agent();
    agent.program_arguments.front() = program;
    const platform::Result<std::string> bytes = files_.SerializeAgent(agent);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.description(), *platform::macos::AgentProgramProblem(program));
  }
}

TEST_F(MacFilesTest, AWrittenAgentReadsBackWithItsLabelAndArguments) {
  platform::Result<std::string> bytes = files_.SerializeAgent(Agent());
  ASSERT_TRUE(bytes.ok()) << bytes.description();
  EXPECT_NE(bytes.value().find("<?xml"), std::string::npos);
  EXPECT_NE(bytes.value().find("<key>RunAtLoad</key>\n\t<true/>"), std::string::npos);
  EXPECT_NE(bytes.value().find("<key>KeepAlive</key>\n\t<false/>"), std::string::npos);

  const std::string path = Path("agent.plist");
  Write(path, bytes.value());
  std::optional<platform::AgentFileContents> read = files_.ReadAgentFile(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->label, std::optional<std::string>("org.example.agent"));
  ASSERT_TRUE(read->program_arguments.has_value());
  EXPECT_EQ(*read->program_arguments, Agent().program_arguments);
}

TEST_F(MacFilesTest, MissingMalformedOrNonDictionaryFilesReadAsNothing) {
  EXPECT_FALSE(files_.ReadAgentFile(Path("absent.plist")).has_value());

  Write(Path("garbage.plist"), "this is <not a property list");
  EXPECT_FALSE(files_.ReadAgentFile(Path("garbage.plist")).has_value());

  Write(Path("array.plist"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>"
        "<string>Label</string></array></plist>\n");
  EXPECT_FALSE(files_.ReadAgentFile(Path("array.plist")).has_value());
}

TEST_F(MacFilesTest, EntriesOfTheWrongTypeReadAsAbsentWithoutEndingTheRead) {
  Write(Path("typed.plist"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Label</key><integer>4</integer>"
        "<key>ProgramArguments</key><array><string>/bin/sh</string><integer>1</integer></array>"
        "</dict></plist>\n");
  std::optional<platform::AgentFileContents> read = files_.ReadAgentFile(Path("typed.plist"));
  ASSERT_TRUE(read.has_value());
  EXPECT_FALSE(read->label.has_value());
  EXPECT_FALSE(read->program_arguments.has_value());

  Write(Path("empty.plist"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Label</key><string>x.y.z</string>"
        "<key>ProgramArguments</key><array/></dict></plist>\n");
  read = files_.ReadAgentFile(Path("empty.plist"));
  ASSERT_TRUE(read.has_value());
  ASSERT_TRUE(read->program_arguments.has_value());
  EXPECT_TRUE(read->program_arguments->empty());
}

// A binary property list whose Label is "org.example.agent" + NUL + `tail`,
// as the system's own serialiser writes it.
std::string LabelWithNul(const char* tail) {
  NSMutableString* label = [NSMutableString stringWithString:@"org.example.agent"];
  const unichar nul = 0;
  [label appendString:[NSString stringWithCharacters:&nul length:1]];
  [label appendString:@(tail)];
  NSDictionary* root = @{@"Label" : label, @"ProgramArguments" : @[ @"/bin/tool", label ]};
  NSData* data = [NSPropertyListSerialization dataWithPropertyList:root
                                                            format:NSPropertyListBinaryFormat_v1_0
                                                           options:0
                                                             error:nil];
  return data ? std::string(static_cast<const char*>(data.bytes), data.length) : std::string();
}

TEST_F(MacFilesTest, AStringWithANulInsideIsNoString) {
  const std::string bytes = LabelWithNul("anything");
  ASSERT_FALSE(bytes.empty());
  Write(Path("nul.plist"), bytes);
  std::optional<platform::AgentFileContents> read = files_.ReadAgentFile(Path("nul.plist"));
  ASSERT_TRUE(read.has_value());
  EXPECT_FALSE(read->label.has_value());
  EXPECT_FALSE(read->program_arguments.has_value());
}

TEST_F(MacFilesTest, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
  // A named pipe with no writer: the read must come back at once, not wait.
  const std::string fifo = Path("fifo.plist");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(files_.ReadAgentFile(fifo).has_value());

  EXPECT_FALSE(files_.ReadAgentFile(dir_).has_value());

  // The same valid agent, once padded to the limit and once past it.
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Label</key><string>x.y.z</string>";
  const std::string tail = "</dict></plist>\n";
  const size_t limit = size_t{1} << 20;
  const size_t padding = limit - head.size() - tail.size();
  Write(Path("limit.plist"), head + std::string(padding, ' ') + tail);
  std::optional<platform::AgentFileContents> read = files_.ReadAgentFile(Path("limit.plist"));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->label, std::optional<std::string>("x.y.z"));

  Write(Path("huge.plist"), head + std::string(padding + 1, ' ') + tail);
  EXPECT_FALSE(files_.ReadAgentFile(Path("huge.plist")).has_value());
}

TEST_F(MacFilesTest, FoldersAreMadeWithTheirParentsAndAPlainFileInTheWayIsDescribed) {
  EXPECT_TRUE(files_.CreateDirectories(Path("a/b/c")).ok());
  EXPECT_TRUE(files_.CreateDirectories(Path("a/b/c")).ok());  // already there

  Write(Path("plain"), "x");
  platform::Status blocked = files_.CreateDirectories(Path("plain/sub"));
  EXPECT_FALSE(blocked.ok());
  EXPECT_FALSE(blocked.description().empty());
}

TEST_F(MacFilesTest, AtomicWritesReplaceTheWholeFileAndFailIntoAMissingFolder) {
  const std::string path = Path("data");
  Write(path, "a much longer first version");
  Write(path, "second");
  NSString* text = [NSString stringWithContentsOfFile:@(path.c_str())
                                             encoding:NSUTF8StringEncoding
                                                error:nil];
  EXPECT_TRUE([text isEqualToString:@"second"]);

  platform::Status failed = files_.WriteFileAtomically(Path("none/data"), "x");
  EXPECT_FALSE(failed.ok());
  EXPECT_FALSE(failed.description().empty());
}

TEST_F(MacFilesTest, PermissionsDecideWhetherAFileIsExecutable) {
  const std::string path = Path("tool");
  Write(path, "#!/bin/sh\n");
  ASSERT_TRUE(files_.SetPermissions(path, 0644));
  EXPECT_FALSE(files_.IsExecutableFile(path));
  ASSERT_TRUE(files_.SetPermissions(path, 0755));
  EXPECT_TRUE(files_.IsExecutableFile(path));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(static_cast<unsigned>(info.st_mode & 0777), 0755u);

  EXPECT_FALSE(files_.IsExecutableFile(Path("absent")));
  EXPECT_FALSE(files_.SetPermissions(Path("absent"), 0644));
}

TEST_F(MacFilesTest, PathsAreAbsoluteAndTheAgentFolderLiesInTheHomeFolder) {
  const std::string home = files_.HomeDirectory();
  ASSERT_FALSE(home.empty());
  EXPECT_EQ(home.front(), '/');
  EXPECT_EQ(files_.AgentDirectory(), home + "/Library/LaunchAgents");
  std::optional<std::string> support = files_.ApplicationSupportDirectory();
  ASSERT_TRUE(support.has_value());
  EXPECT_EQ(support->front(), '/');  // tilde expanded
  EXPECT_EQ(files_.AgentFileExtension(), ".plist");
}

TEST_F(MacFilesTest, TheLockFileIsSharedInTmpAndTheLockGoesWithItsHandle) {
  const std::string name = "org.quembrastella.switch-test-" + std::to_string(::getpid());
  const std::string path = "/tmp/" + name + ".lock";
  platform::LockAttempt first = files_.TakeInstanceLock(name);
  ASSERT_NE(first.lock, nullptr) << first.reason;
  EXPECT_EQ(::access(path.c_str(), F_OK), 0);
  // A second open file description is refused while the first holds it.
  platform::LockAttempt second = files_.TakeInstanceLock(name);
  EXPECT_EQ(second.lock, nullptr);
  EXPECT_EQ(second.refusal, platform::LockRefusal::kHeld);
  first.lock.reset();
  EXPECT_NE(files_.TakeInstanceLock(name).lock, nullptr);
  ::unlink(path.c_str());
}

}  // namespace
