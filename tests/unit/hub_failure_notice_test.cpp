// A switch that fails is told to the user through the platform's notice,
// with the kind of failure and the text that names its fix; one that works
// shows nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "switch_test_support.h"

namespace {

using sim::HubFault;

// The simulated user interface, with every failure notice recorded.
class NoticeRecorder : public platform::Ui {
 public:
  explicit NoticeRecorder(platform::Ui* inner) : inner_(inner) {}
  std::unique_ptr<platform::StatusItem> CreateStatusItem() override {
    return inner_->CreateStatusItem();
  }
  std::unique_ptr<platform::Menu> CreateMenu(const std::string& title) override {
    return inner_->CreateMenu(title);
  }
  std::shared_ptr<platform::Image> LoadImage(const std::string& path) override {
    return inner_->LoadImage(path);
  }
  std::optional<std::string> BundleResourcePath(const std::string& name,
                                                const std::string& type) override {
    return inner_->BundleResourcePath(name, type);
  }
  void ActivateIgnoringOtherApps() override { inner_->ActivateIgnoringOtherApps(); }
  int RunModalAlert(const platform::AlertSpec& alert) override {
    return inner_->RunModalAlert(alert);
  }
  void ShowFailureNotice(const std::string& kind, const std::string& text) override {
    notices.emplace_back(kind, text);
  }
  std::vector<std::pair<std::string, std::string>> notices;

 private:
  platform::Ui* inner_;
};

class FailureNoticeTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    switch_test::SimTest::SetUp();
    recorder_ = std::make_unique<NoticeRecorder>(platform::Sys().ui);
    platform::Services services = platform::Sys();
    services.ui = recorder_.get();
    platform::InstallServices(services);
  }
  // One gesture's switch, clear of the previous one's debounce window.
  void SwitchOnce() {
    gLastSwitchMs = 0;
    TriggerSwitch("ctrl-ctrl");
  }
  const std::vector<std::pair<std::string, std::string>>& Notices() { return recorder_->notices; }

  std::unique_ptr<NoticeRecorder> recorder_;
};

TEST_F(FailureNoticeTest, EachFailureKindIsToldWithItsFix) {
  Hub().SetPresent(false);
  SwitchOnce();
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].first, "USB device not found (VID=0x2109 PID=0x8822)");
  EXPECT_NE(Notices()[0].second.find("Connect the hub to this computer"), std::string::npos)
      << Notices()[0].second;

  Hub().SetPresent(true);
  Hub().SetFault(HubFault::kOpen, true);
  SwitchOnce();
  ASSERT_EQ(Notices().size(), 2u);
  EXPECT_EQ(Notices()[1].first, "USBDeviceOpen failed");
  EXPECT_NE(Notices()[1].second.find("then try again"), std::string::npos) << Notices()[1].second;

  Hub().SetFault(HubFault::kOpen, false);
  Hub().SetFault(HubFault::kWriteF5, true);
  SwitchOnce();
  ASSERT_EQ(Notices().size(), 3u);
  EXPECT_EQ(Notices()[2].first, "Write-Reg F5-0000 Fail");
  EXPECT_NE(Notices()[2].second.find("plug it in again"), std::string::npos) << Notices()[2].second;
}

TEST_F(FailureNoticeTest, AFailedF8ReadAloneStillSwitchesQuietly) {
  SwitchOnce();
  // The F8-008F value is never used: its read failing still leads to a
  // write the hub takes, so nothing is shown.
  Hub().SetFault(HubFault::kReadF8, true);
  SwitchOnce();
  EXPECT_EQ(WrittenPortSelects().size(), 2u);
  EXPECT_TRUE(Notices().empty());
}

TEST_F(FailureNoticeTest, AnUnreadablePortRegisterIsAFailureWithItsFix) {
  // Without the port register's value there is nothing to invert: no write,
  // and the user hears why.
  Hub().SetFault(HubFault::kReadF5, true);
  SwitchOnce();
  EXPECT_TRUE(WrittenPortSelects().empty());
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_NE(Notices()[0].first.find("Switch abandoned"), std::string::npos) << Notices()[0].first;
  EXPECT_NE(Notices()[0].second.find("try again"), std::string::npos) << Notices()[0].second;
}

TEST_F(FailureNoticeTest, AHookThatCannotStartIsToldOnceAndTheSwitchGoesOn) {
  gHubHooks.on_left = {"no-such-monitor-tool", "dp1"};
  StartHubHooks(platform::SettingNames::kSnakeCase);
  for (int i = 0; i < 3; ++i) {  // the other computer takes the hub, and gives it back
    Hub().SetPresent(false);
    Hub().SetPresent(true);
  }
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].first, "hook on_hub_left");
  EXPECT_EQ(Notices()[0].second.rfind("The hook on_hub_left: cannot start no-such-monitor-tool: "
                                      "no such program on PATH. Check that no-such-monitor-tool is "
                                      "installed and can be run, or correct on_hub_left in ",
                                      0),
            0u)
      << Notices()[0].second;
  SwitchOnce();
  EXPECT_EQ(WrittenPortSelects().size(), 1u);
  EXPECT_EQ(Notices().size(), 1u);
}

}  // namespace
