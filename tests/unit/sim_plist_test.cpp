// Agent files as real property lists: what the sim writes, plistutil reads,
// and what plistutil writes (binary too), the sim reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_files.h"
#include "platform/sim/sim_world.h"

namespace {

class SimPlistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = sim::World::Create(sim::Config{});
    ASSERT_NE(world_, nullptr);
    files_ = world_->Services().files;
    dir_ = world_->FilesControl().Home();
  }
  static platform::AgentDefinition Agent() {
    platform::AgentDefinition a;
    a.label = "org.example.tool";
    a.program_arguments = {"/Apps/Some Tool & <Co>/tool", "--service"};
    a.run_at_load = true;
    a.keep_alive = false;
    a.process_type = "Interactive";
    a.standard_out_path = "/logs/Some_Tool.out.log";
    a.standard_error_path = "/logs/Some_Tool.err.log";
    return a;
  }
  // Runs plistutil; its exit status.
  static int PlistUtil(const std::string& args) {
    const std::string command = "plistutil " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    EXPECT_TRUE(posix::WriteFileAtomically(path, bytes).ok());
    return path;
  }

  std::unique_ptr<sim::World> world_;
  platform::Files* files_ = nullptr;
  std::string dir_;
};

TEST_F(SimPlistTest, WrittenXmlIsReadByPlistutilAndBackInBinaryForm) {
  auto xml = files_->SerializeAgent(Agent());
  ASSERT_TRUE(xml.ok()) << xml.description();
  EXPECT_EQ(xml.value().rfind("<?xml", 0), 0u);
  EXPECT_NE(xml.value().find("<key>RunAtLoad</key>"), std::string::npos);
  EXPECT_NE(xml.value().find("&amp; &lt;Co&gt;"), std::string::npos);
  const std::string path = Write("agent.plist", xml.value());

  // plistutil converts it to binary: both it and the sim read what was
  // written, and the sim reads the binary form the same way.
  const std::string binary = dir_ + "/agent.bin.plist";
  ASSERT_EQ(PlistUtil("-i '" + path + "' -o '" + binary + "' -f bin"), 0);
  ASSERT_EQ(posix::ReadWholeFile(binary).value().rfind("bplist00", 0), 0u);
  for (const std::string& p : {path, binary}) {
    SCOPED_TRACE(p);
    auto read = files_->ReadAgentFile(p);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->label, "org.example.tool");
    EXPECT_EQ(read->program_arguments, Agent().program_arguments);
  }
  // And back to XML through plistutil gives the same seven entries.
  const std::string again = dir_ + "/agent.again.plist";
  ASSERT_EQ(PlistUtil("-i '" + binary + "' -o '" + again + "' -f xml"), 0);
  const std::string text = posix::ReadWholeFile(again).value();
  for (const char* key : {"Label", "ProgramArguments", "RunAtLoad", "KeepAlive", "ProcessType",
                          "StandardOutPath", "StandardErrorPath"}) {
    EXPECT_NE(text.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;
  }
  EXPECT_NE(text.find("<false/>"), std::string::npos);
  EXPECT_NE(text.find("<true/>"), std::string::npos);
}

TEST_F(SimPlistTest, MissingMalformedOrNonDictionaryFilesGiveNone) {
  EXPECT_FALSE(files_->ReadAgentFile(dir_ + "/missing.plist").has_value());
  EXPECT_FALSE(files_->ReadAgentFile(Write("empty.plist", "")).has_value());
  EXPECT_FALSE(files_->ReadAgentFile(Write("junk.plist", "<plist><dict><key>")).has_value());
  EXPECT_FALSE(files_->ReadAgentFile(dir_).has_value()) << "a folder is no file";
  const std::string array =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
      "<array><string>x</string></array></plist>\n";
  EXPECT_FALSE(files_->ReadAgentFile(Write("array.plist", array)).has_value());
}

TEST_F(SimPlistTest, EntriesOfTheWrongTypeAreLeftOut) {
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Label</key><integer>7</integer>"
      "<key>ProgramArguments</key><array><string>/a</string><integer>1</integer></array>"
      "</dict></plist>\n";
  auto read = files_->ReadAgentFile(Write("types.plist", body));
  ASSERT_TRUE(read.has_value());
  EXPECT_FALSE(read->label.has_value());
  EXPECT_FALSE(read->program_arguments.has_value());

  const std::string empty_args =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Label</key><string>l</string><key>ProgramArguments</key><array/>"
      "</dict></plist>\n";
  read = files_->ReadAgentFile(Write("empty-args.plist", empty_args));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->label, "l");
  ASSERT_TRUE(read->program_arguments.has_value());
  EXPECT_TRUE(read->program_arguments->empty());
}

TEST_F(SimPlistTest, StringsWithANulByteAreLeftOut) {
  // libplist's plain string getter aborts the process on such a string, and
  // a copy cut at the NUL would pass for the plain label. (libplist's binary
  // reader cuts such strings itself, out of the tool's sight.)
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Label</key><string>org.example.tool@x</string>"
      "<key>ProgramArguments</key><array><string>/a@b</string></array>"
      "</dict></plist>\n";
  for (char& c : xml) c = c == '@' ? '\0' : c;
  auto read = files_->ReadAgentFile(Write("nul.plist", xml));
  ASSERT_TRUE(read.has_value());
  EXPECT_FALSE(read->label.has_value());
  EXPECT_FALSE(read->program_arguments.has_value());
}

}  // namespace
