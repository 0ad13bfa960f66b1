// The hub exchange with the real libusb against a fake hub in umockdev.
#include "platform/linux/usb/usb_linux.h"

#include <gtest/gtest.h>
#include <libusb.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_hub.h"
#include "hub/port_switch.h"
#include "platform/services.h"
#include "support/usb_setup.h"

namespace {

using linux_platform::LinuxUsb;
using linux_test::FakeHub;
using linux_test::HubFault;
using linux_test::Testbed;

class UsbLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  }
  // Builds the service after the fake devices exist, as a switch finds the
  // hub afresh each time anyway.
  LinuxUsb& Usb(unsigned timeout_ms = 200) {
    if (!usb_) usb_ = std::make_unique<LinuxUsb>(timeout_ms);
    platform::Services services;
    services.usb = usb_.get();
    platform::InstallServices(services);
    return *usb_;
  }
  void TearDown() override {
    ReleaseSwitchLock();
    platform::InstallServices(platform::Services{});
    usb_.reset();
  }

  Testbed testbed_;
  std::unique_ptr<LinuxUsb> usb_;
};

TEST_F(UsbLinuxTest, SwitchesEachWayAndSendsTheThreeRequests) {
  FakeHub hub(testbed_);
  ASSERT_TRUE(hub.plugged());
  hub.SetRegister(0xF5, 0x0000, 0x01);
  hub.SetRegister(0xF8, 0x008F, 0x20);
  ASSERT_TRUE(Usb().ok());

  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub.Register(0xF5, 0x0000), 0x00);
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub.Register(0xF5, 0x0000), 0x01);

  // Read F8-008F, read F5-0000, then the write with the value in wIndex and
  // no data stage; twice.
  EXPECT_EQ(usb_test::SetupsOf(hub.Requests()),
            (std::vector<usb_test::Setup>{usb_test::kReadF8, usb_test::kReadF5,
                                          usb_test::WriteF5(0x00), usb_test::kReadF8,
                                          usb_test::kReadF5, usb_test::WriteF5(0x01)}));
}

TEST_F(UsbLinuxTest, OtherDevicesAreNotTheHub) {
  FakeHub other(testbed_, 0x2109, 0x0817, 3);
  ASSERT_TRUE(other.plugged());
  platform::UsbFindResult found = Usb().FindDevice(0x2109, 0x8822);
  EXPECT_EQ(found.outcome, platform::UsbFindOutcome::kNotAttached);
  EXPECT_EQ(found.device, nullptr);
  EXPECT_EQ(found.line, "USB device not found (VID=0x2109 PID=0x8822)");
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_TRUE(other.Requests().empty());
}

TEST_F(UsbLinuxTest, ReadReturnsTheRegisterByteAndItsLength) {
  FakeHub hub(testbed_);
  hub.SetRegister(0xF8, 0x008F, 0x5A);
  platform::UsbFindResult found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
  platform::UsbFailure untouched{"line", "fix"};
  ASSERT_TRUE(found.device->Open(&untouched));
  EXPECT_EQ(untouched.line, "line");
  uint8_t buffer[2] = {0, 0};
  platform::UsbDeviceRequest request{0xC0, 0xF8, 0x008F, 0, 1, buffer, 0};
  EXPECT_EQ(found.device->DeviceRequest(&request), platform::kUsbSuccess);
  EXPECT_EQ(buffer[0], 0x5A);
  EXPECT_EQ(request.wLenDone, 1u);
  found.device->Close();
}

TEST_F(UsbLinuxTest, StalledAndFailedTransfersAreFailuresAndNothingIsWrittenBlind) {
  FakeHub hub(testbed_);
  hub.SetRegister(0xF5, 0x0000, 0x01);
  hub.SetRegister(0xF8, 0x008F, 0x20);
  hub.FailRequest(1, HubFault::kStall);  // the F5-0000 read
  Usb();
  // The port-select read failed: no write follows.
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub.Register(0xF5, 0x0000), 0x01);
  ASSERT_EQ(hub.Requests().size(), 2u);

  hub.FailRequest(2, HubFault::kIoError);  // the next write
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub.Register(0xF5, 0x0000), 0x01);
}

TEST_F(UsbLinuxTest, AHungTransferTimesOutAndIsCancelled) {
  FakeHub hub(testbed_);
  hub.FailRequest(0, HubFault::kHang);
  platform::UsbFindResult found = Usb(50).FindDevice(0x2109, 0x8822);
  ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
  ASSERT_TRUE(found.device->Open(nullptr));
  uint8_t buffer[2] = {0x77, 0};
  platform::UsbDeviceRequest request{0xC0, 0xF8, 0x008F, 0, 1, buffer, 0};
  EXPECT_EQ(found.device->DeviceRequest(&request), LIBUSB_ERROR_TIMEOUT);
  EXPECT_EQ(hub.DiscardCount(), 1);
  EXPECT_EQ(buffer[0], 0x77);
  // The device answers again once the hung request is gone.
  request.pData = buffer;
  EXPECT_EQ(found.device->DeviceRequest(&request), platform::kUsbSuccess);
  found.device->Close();
}

TEST_F(UsbLinuxTest, HubVanishingDuringASwitchFailsEveryLaterStep) {
  FakeHub hub(testbed_);
  hub.SetRegister(0xF5, 0x0000, 0x00);
  hub.FailRequest(1, HubFault::kVanished);
  hub.FailRequest(2, HubFault::kVanished);
  Usb();
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub.Register(0xF5, 0x0000), 0x00);
  EXPECT_EQ(hub.Requests().size(), 1u);

  // Gone for good: once libusb has seen the removal, the lookup does not
  // find it. libusb learns of it on its own monitor thread, so wait for it.
  hub.Unplug();
  platform::UsbFindOutcome outcome = platform::UsbFindOutcome::kFound;
  for (int i = 0; i < 200 && outcome == platform::UsbFindOutcome::kFound; ++i) {
    outcome = Usb().FindDevice(0x2109, 0x8822).outcome;
    if (outcome == platform::UsbFindOutcome::kFound) usleep(10000);
  }
  EXPECT_EQ(outcome, platform::UsbFindOutcome::kNotAttached);
}

// Every libusb error code is checked in failing_usb_test.cpp, the access
// fix in usb_access_test.cpp.
TEST_F(UsbLinuxTest, ErrorMappingKeepsSuccess) {
  EXPECT_EQ(linux_platform::UsbReturnFromLibusb(0), platform::kUsbSuccess);
  EXPECT_EQ(linux_platform::UsbReturnFromLibusb(1), platform::kUsbSuccess);
}

}  // namespace
