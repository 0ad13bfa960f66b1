// Which agent files the property-list platforms read at all, and which
// string values count as strings: the checks macOS and the simulated platform
// share, run here on the simulated reader and on their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/posix/agent_file_bytes.h"
#include "platform/sim/sim_plist.h"
#include "support/hostile_support.h"

namespace {

using posix::AgentStringValue;
using posix::kMaxAgentFileBytes;
using posix::ReadAgentFileBytes;

class AgentFileBytesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }
  std::string Path(const char* name) const { return dir_ + "/" + name; }

  hostile::TempFolder made_{"qs-agent-bytes"};
  const std::string dir_ = made_.path();
};

std::string Agent(const std::string& label_xml, size_t padding = 0) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>Label</key>" +
         label_xml + std::string(padding, ' ') + "</dict></plist>\n";
}

TEST_F(AgentFileBytesTest, AFileOfExactlyTheLimitIsReadAndOneByteMoreIsNot) {
  const std::string small = Agent("<string>x.y.z</string>");
  const size_t padding = kMaxAgentFileBytes - small.size();
  ASSERT_TRUE(hostile::Spit(Path("limit.plist"), Agent("<string>x.y.z</string>", padding)));
  ASSERT_TRUE(hostile::Spit(Path("over.plist"), Agent("<string>x.y.z</string>", padding + 1)));

  const auto at_limit = ReadAgentFileBytes(Path("limit.plist"));
  ASSERT_TRUE(at_limit.ok()) << at_limit.description();
  EXPECT_EQ(at_limit.value().size(), kMaxAgentFileBytes);
  EXPECT_FALSE(ReadAgentFileBytes(Path("over.plist")).ok());

  // And so the property-list reader built on it.
  const auto read = sim::ReadAgentPlist(Path("limit.plist"));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->label, std::optional<std::string>("x.y.z"));
  EXPECT_FALSE(sim::ReadAgentPlist(Path("over.plist")));
}

TEST_F(AgentFileBytesTest, PipesDevicesAndFoldersFailWithoutBeingRead) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", Path("zero").c_str()), 0);
  // In a child with a hang guard: a reader that waited for a writer on the
  // pipe, or read /dev/zero to its end, would be killed and fail the test.
  const int failures = hostile::InChild(
      [this] {
        int failed = 0;
        for (const char* name : {"fifo", "zero", ""}) {
          if (ReadAgentFileBytes(Path(name)).ok()) ++failed;
        }
        return failed;
      },
      10);
  EXPECT_EQ(failures, 0);
}

TEST(AgentStringValueTest, AValueWithANulInsideIsNoString) {
  const std::string cut("org.quembrastella.switch\0anything", 33);
  EXPECT_FALSE(AgentStringValue(cut.data(), cut.size()));
  EXPECT_FALSE(AgentStringValue("\0", 1));
  EXPECT_FALSE(AgentStringValue("abc\0", 4));
  EXPECT_EQ(AgentStringValue("org.quembrastella.switch", 24),
            std::optional<std::string>("org.quembrastella.switch"));
  EXPECT_EQ(AgentStringValue(nullptr, 0), std::optional<std::string>(""));
  // Only `length` bytes are looked at.
  EXPECT_EQ(AgentStringValue("abc\0def", 3), std::optional<std::string>("abc"));
}

}  // namespace
