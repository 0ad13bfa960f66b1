// The checked switch with the real libusb and udev monitor against the fake
// hub: a hub that leaves after the write (its removal announced as udev
// does), one that stays, and the watch's last look when no removal came.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_hub.h"
#include "hub/port_switch.h"
#include "hub/switch_check.h"
#include "output/show_msg.h"
#include "platform/linux/loop/poll_loop.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/linux/usb/usb_removal_watch.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"

namespace {

using linux_test::FakeHub;
using linux_test::Testbed;

class CheckedSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    hub_ = std::make_unique<FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    hub_->SetRegister(0xF5, 0x0000, 0x01);
    usb_ = std::make_unique<linux_platform::LinuxUsb>(200);
    usb_->SetWatcher(&loop_);
    platform::Services services;
    services.clock = &clock_;
    services.run_loop = &loop_;
    services.usb = usb_.get();
    services.app = &loop_;
    platform::InstallServices(services);
  }
  void TearDown() override {
    CancelSwitchCheck();
    ReleaseSwitchLock();
    platform::InstallServices(platform::Services{});
    usb_.reset();
    hub_.reset();
  }

  // A checked switch; the verdict, once the loop has served it (none when
  // it did not come within `limit`).
  std::optional<SwitchCheckResult> SwitchAndWait(std::chrono::milliseconds limit) {
    std::optional<SwitchCheckResult> verdict;
    SwitchRequest request;
    request.checked = true;
    request.on_checked = [&verdict](SwitchCheckResult r) { verdict = r; };
    const SwitchOutcome outcome = SwitchHubPort(std::move(request));
    EXPECT_TRUE(outcome.written);
    EXPECT_TRUE(outcome.checking);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!verdict && std::chrono::steady_clock::now() < end) {
      loop_.RunOnce(std::chrono::milliseconds(50));
      if (leave_now_) {
        leave_now_ = false;
        hub_->Unplug();
      }
    }
    return verdict;
  }

  Testbed testbed_;
  std::unique_ptr<FakeHub> hub_;
  posix::SystemClock clock_;
  linux_platform::PollLoop loop_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
  bool leave_now_ = false;
};

TEST_F(CheckedSwitchTest, HubThatLeavesIsSeenThroughTheUdevMonitor) {
  leave_now_ = true;  // unplugged on the loop's first pass after the write
  gConsoleMode = true;
  testing::internal::CaptureStdout();
  const std::optional<SwitchCheckResult> verdict = SwitchAndWait(std::chrono::seconds(5));
  const std::string console = testing::internal::GetCapturedStdout();
  gConsoleMode = false;
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kLeft);
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x00);
  EXPECT_NE(console.find("Hub left this computer after "), std::string::npos) << console;
  EXPECT_FALSE(SwitchCheckPending());
}

TEST_F(CheckedSwitchTest, MadeAheadTheContextAndMonitorServeEverySwitch) {
  usb_->PrepareForSwitch();
  EXPECT_EQ(usb_->contexts_made(), 1);
  leave_now_ = true;
  std::optional<SwitchCheckResult> verdict = SwitchAndWait(std::chrono::seconds(5));
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kLeft);
  EXPECT_EQ(usb_->contexts_made(), 1);

  // Back, announced; the kept monitor, unwatched since, tells the second
  // removal too.
  hub_.reset();
  hub_ = std::make_unique<FakeHub>(testbed_);
  ASSERT_TRUE(hub_->plugged());
  leave_now_ = true;
  verdict = SwitchAndWait(std::chrono::seconds(5));
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kLeft);
}

TEST_F(CheckedSwitchTest, RemovalQueuedBeforeTheSwitchIsNotTakenForOneAfterIt) {
  // The kept monitor hears the hub leave and come back at the same address
  // while no switch is waiting; the next switch's hub then stays.
  usb_->PrepareForSwitch();
  hub_->Unplug();
  hub_.reset();
  hub_ = std::make_unique<FakeHub>(testbed_);
  ASSERT_TRUE(hub_->plugged());
  hub_->SetRegister(0xF5, 0x0000, 0x01);
  const std::optional<SwitchCheckResult> verdict = SwitchAndWait(std::chrono::seconds(5));
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kStayed);
}

TEST_F(CheckedSwitchTest, HubThatStaysIsReportedAfterTheDeadline) {
  const std::optional<SwitchCheckResult> verdict = SwitchAndWait(std::chrono::seconds(5));
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kStayed);
  EXPECT_TRUE(hub_->plugged());
}

TEST_F(CheckedSwitchTest, RemovalOfAnotherDeviceDoesNotCount) {
  // A second device on the same bus leaves; the hub stays.
  auto other = std::make_unique<FakeHub>(testbed_, 0x1234, 0x5678, 7);
  ASSERT_TRUE(other->plugged());
  std::optional<SwitchCheckResult> verdict;
  SwitchRequest request;
  request.checked = true;
  request.on_checked = [&verdict](SwitchCheckResult r) { verdict = r; };
  ASSERT_TRUE(SwitchHubPort(std::move(request)).checking);
  other->Unplug();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!verdict && std::chrono::steady_clock::now() < end) {
    loop_.RunOnce(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(verdict.has_value());
  EXPECT_EQ(*verdict, SwitchCheckResult::kStayed);
}

TEST_F(CheckedSwitchTest, WatchWithoutALoopStillTakesALastLookAtTheBus) {
  // No loop to serve a monitor: removals are not reported as they happen,
  // but the last look at the deadline tells a device that went.
  int calls = 0;
  auto watch = linux_platform::UdevRemovalWatch::Create(nullptr, nullptr, 1, 2, "1-2",
                                                        [&calls] { ++calls; });
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->monitoring());
  EXPECT_FALSE(watch->Gone());
  hub_->Unplug();
  EXPECT_TRUE(watch->Gone());
  EXPECT_EQ(calls, 0);
}

}  // namespace
