// Binary agent files whose strings hold a NUL: the simulated platform's
// reader counts them as no string, as the macOS one does, although libplist
// hands them back cut at the NUL.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/bplist_strings.h"
#include "platform/sim/sim_plist.h"
#include "support/hostile_support.h"

namespace {

std::string Ascii(const std::string& text) {
  std::string object;
  if (text.size() < 15) {
    object += static_cast<char>(0x50 | text.size());
  } else {
    object += "\x5F\x10";  // the length follows as a one-byte integer
    object += static_cast<char>(text.size());
  }
  return object + text;
}

std::string Utf16(const std::u16string& text) {
  std::string object(1, static_cast<char>(0x60 | text.size()));
  for (char16_t unit : text) {
    object += static_cast<char>(unit >> 8);
    object += static_cast<char>(unit & 0xFF);
  }
  return object;
}

// A binary property list of `objects` (object 0 the root), one-byte offsets
// and references.
std::string BinaryPlist(const std::vector<std::string>& objects) {
  std::string out = "bplist00";
  std::vector<size_t> offsets;
  for (const std::string& object : objects) {
    offsets.push_back(out.size());
    out += object;
  }
  const size_t table = out.size();
  for (size_t offset : offsets) out += static_cast<char>(offset);
  std::string trailer(32, '\0');
  trailer[6] = 1;  // offset size
  trailer[7] = 1;  // reference size
  trailer[15] = static_cast<char>(objects.size());
  trailer[31] = static_cast<char>(table);
  return out + trailer;
}

// { Label = `label`, ProgramArguments = [ "/bin/tool", `argument` ] }
std::string Agent(const std::string& label, const std::string& argument) {
  return BinaryPlist({"\xD2\x01\x02\x03\x04", Ascii("Label"), Ascii("ProgramArguments"), label,
                      std::string("\xA2\x05\x06", 3), Ascii("/bin/tool"), argument});
}

class SimBinaryPlistTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(made_.path().empty()); }
  std::optional<platform::AgentFileContents> Read(const std::string& bytes) {
    EXPECT_TRUE(hostile::Spit(path_, bytes));
    return sim::ReadAgentPlist(path_);
  }
  hostile::TempFolder made_{"qs-bplist"};
  const std::string path_ = made_.path() + "/agent.plist";
};

const std::string kLabel = "org.quembrastella.switch";
const std::string kCutLabel = kLabel + std::string(1, '\0') + "anything";

TEST_F(SimBinaryPlistTest, PlainStringsAreReadAsWritten) {
  const auto read = Read(Agent(Ascii(kLabel), Ascii("--service")));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->label, std::optional<std::string>(kLabel));
  ASSERT_TRUE(read->program_arguments);
  EXPECT_EQ(*read->program_arguments, (std::vector<std::string>{"/bin/tool", "--service"}));
}

TEST_F(SimBinaryPlistTest, ALabelOrAnArgumentWithANulIsNoString) {
  const auto label = Read(Agent(Ascii(kCutLabel), Ascii("--service")));
  ASSERT_TRUE(label);
  EXPECT_FALSE(label->label.has_value()) << *label->label;
  EXPECT_TRUE(label->program_arguments.has_value());

  const auto argument = Read(Agent(Ascii(kLabel), Ascii(std::string("--serv\0ice", 10))));
  ASSERT_TRUE(argument);
  EXPECT_EQ(argument->label, std::optional<std::string>(kLabel));
  EXPECT_FALSE(argument->program_arguments.has_value());

  const auto wide = Read(Agent(Utf16(std::u16string(u"org.q\u00e9\0x", 8)), Ascii("--service")));
  ASSERT_TRUE(wide);
  EXPECT_FALSE(wide->label.has_value()) << *wide->label;
}

TEST(CutStringsOfBinaryPlistTest, NamesEachCutStringAndNothingOfBrokenFiles) {
  const std::string agent = Agent(Ascii(kCutLabel), Utf16(std::u16string(u"a\u00e9\0b", 4)));
  EXPECT_EQ(sim::CutStringsOfBinaryPlist(agent), (std::vector<std::string>{kLabel, "a\xc3\xa9"}));
  EXPECT_TRUE(sim::CutStringsOfBinaryPlist(Agent(Ascii(kLabel), Ascii("x"))).empty());
  // Cut short anywhere: never a read outside the bytes (the sanitizer run
  // watches that), and nothing at all while no trailer fits.
  for (size_t size = 0; size < agent.size(); ++size) {
    const std::vector<std::string> cut = sim::CutStringsOfBinaryPlist(agent.substr(0, size));
    if (size < 40) {
      EXPECT_TRUE(cut.empty()) << size;
    }
  }
  std::string far = agent;
  far[far.size() - 1] = '\xF0';  // offset table beyond the trailer
  EXPECT_TRUE(sim::CutStringsOfBinaryPlist(far).empty());
  std::string many = agent;
  many[many.size() - 17] = '\x7F';  // more objects than the table holds
  EXPECT_TRUE(sim::CutStringsOfBinaryPlist(many).empty());
  EXPECT_TRUE(sim::CutStringsOfBinaryPlist("<?xml version=\"1.0\"?><plist/>").empty());
}

}  // namespace
