// The real executable with two fake devices with the hub's IDs (ports 1-2
// and 1-3): never a guess between them. Refused without the hub setting,
// the one the setting names (port path or serial) is the only one used, and
// a named hub that is absent is told as absent, the other left alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_hub.h"
#include "support/hostile_support.h"
#include "tool_run_fixture.h"

namespace {

class TwoHubsTest : public linux_test::ToolRunTest {
 protected:
  void SetUp() override {
    ToolRunTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    first_ = std::make_unique<linux_test::FakeHub>(testbed_, 0x2109, 0x8822, 2, true, "A1");
    second_ = std::make_unique<linux_test::FakeHub>(testbed_, 0x2109, 0x8822, 3, true);
    for (linux_test::FakeHub* hub : {first_.get(), second_.get()}) {
      ASSERT_TRUE(hub->plugged());
      hub->SetRegister(0xF8, 0x008F, 0x20);
      hub->SetRegister(0xF5, 0x0000, 0x01);
    }
  }

  static bool Wrote(linux_test::FakeHub& hub) {
    for (const linux_test::RecordedRequest& r : hub.Requests()) {
      if (r.bmRequestType == 0x40) return true;
    }
    return false;
  }

  std::unique_ptr<linux_test::FakeHub> first_;
  std::unique_ptr<linux_test::FakeHub> second_;
};

TEST_F(TwoHubsTest, WithoutTheSettingNeitherIsOpenedAndBothAreNamed) {
  const hostile::ChildRun run = Tool({"--switch"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("2 hubs 2109:8822 are attached (port 1-2 serial A1; port 1-3) and none "
                         "is chosen, so none is used\n"
                         "Choose the one to use: set hub = \"1-2\" (or another one named above) "
                         "in ~/.config/quembrastella-switch/config.toml, then try again.\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(first_->Requests().empty());
  EXPECT_TRUE(second_->Requests().empty());

  // --status says the same, with every candidate in the one object.
  const hostile::ChildRun status = Tool({"--status", "--json"});
  EXPECT_EQ(status.status, 1);
  EXPECT_NE(status.out.find("\"candidates\":[{\"bus\":1,\"port\":\"2\",\"serial\":\"A1\","
                            "\"used\":false},{\"bus\":1,\"port\":\"3\",\"used\":false}]}\n"),
            std::string::npos)
      << status.out;
}

TEST_F(TwoHubsTest, TheHubSettingChoosesByPortPathOrSerial) {
  Settings("hub = \"1-3\"\n");
  const hostile::ChildRun status = Tool({"--status"});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(status.out,
            "hub 2109:8822 on bus 1 port 3: upstream port 1 (F5-0000 = 0x01)\n"
            "candidate port 1-2 serial A1\n"
            "candidate port 1-3: used (hub = \"1-3\")\n");
  EXPECT_TRUE(first_->Requests().empty());

  // The switch writes the chosen hub only (and, as the hub stays here,
  // reports that the switch did not take effect).
  const hostile::ChildRun run = Tool({"--switch"});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_TRUE(Wrote(*second_));
  EXPECT_TRUE(first_->Requests().empty());

  Settings("hub = \"A1\"\n");
  const hostile::ChildRun by_serial = Tool({"--status"});
  EXPECT_EQ(by_serial.out.rfind("hub 2109:8822 on bus 1 port 2:", 0), 0u) << by_serial.out;
}

TEST_F(TwoHubsTest, AChosenHubThatIsAbsentIsNeverReplaced) {
  Settings("hub = \"1-4\"\n");
  const hostile::ChildRun run = Tool({"--switch"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The chosen hub \"1-4\" is not attached (attached: port 1-2 serial A1; "
                         "port 1-3); no other is used in its place\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(first_->Requests().empty());
  EXPECT_TRUE(second_->Requests().empty());

  // Also with a single other device on the bus.
  second_.reset();
  const hostile::ChildRun alone = Tool({"--switch"});
  EXPECT_EQ(alone.status, 1);
  EXPECT_NE(alone.err.find("The chosen hub \"1-4\" is not attached (attached: port 1-2 serial A1)"),
            std::string::npos)
      << alone.err;
  EXPECT_TRUE(first_->Requests().empty());

  const hostile::ChildRun diagnose = Tool({"--diagnose"});
  EXPECT_NE(diagnose.out.find("FAIL  hub present: The chosen hub \"1-4\" is not attached"),
            std::string::npos)
      << diagnose.out;
}

}  // namespace
