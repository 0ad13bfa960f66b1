// The hub found afresh when no hot-plug event tells libusb that it left and
// came back, as on a system without udevd: the fake hub leaves and arrives
// with no uevent at all.
#include <dirent.h>
#include <gtest/gtest.h>
#include <libusb.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "fake_hub.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/services.h"

namespace {

using linux_test::FakeHub;
using linux_test::Testbed;

constexpr uint16_t kVendor = 0x2109;
constexpr uint16_t kProduct = 0x8822;

// The event and timer descriptors of this process: each libusb context has
// its own. Sockets are not counted: the fakes' plumbing keeps a few for
// every open of a node that vanished, which is also why the round trips
// below are few.
int ContextDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    char target[256] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
        std::string(target).rfind("anon_inode:", 0) == 0) {
      ++count;
    }
  }
  ::closedir(dir);
  return count;
}

class UsbFreshViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    usb_ = std::make_unique<linux_platform::LinuxUsb>(200);
    platform::Services services;
    services.usb = usb_.get();
    platform::InstallServices(services);
  }
  void TearDown() override {
    ReleaseSwitchLock();
    gConsoleMode = false;
    platform::InstallServices(platform::Services{});
    usb_.reset();
  }
  // Plugs the hub in with no uevent.
  std::unique_ptr<FakeHub> Plug(int devnum, uint8_t port) {
    auto hub = std::make_unique<FakeHub>(testbed_, kVendor, kProduct, devnum, false);
    hub->SetRegister(0xF8, 0x008F, 0x20);
    hub->SetRegister(0xF5, 0x0000, port);
    return hub;
  }
  std::string SwitchLines(bool* ok) {
    gConsoleMode = true;
    ::testing::internal::CaptureStdout();
    *ok = Switch_XQ917_UpperPort();
    gConsoleMode = false;
    return ::testing::internal::GetCapturedStdout();
  }

  Testbed testbed_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
};

TEST_F(UsbFreshViewTest, HubBackAtANewAddressIsSwitchedAndTheFreshViewIsKept) {
  std::unique_ptr<FakeHub> hub = Plug(2, 0x00);
  ASSERT_TRUE(Switch_XQ917_UpperPort());
  ASSERT_EQ(hub->Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(usb_->contexts_made(), 1);

  // The switch took the hub away; it comes back at another address, and
  // nobody says so.
  hub->UnplugSilently();
  hub.reset();
  std::unique_ptr<FakeHub> back = Plug(7, 0x01);
  bool ok = false;
  EXPECT_EQ(SwitchLines(&ok),
            "    Read-Reg F8-008F = 0x20 \n    Read-Reg F5-0000 = 0x01 \n"
            "    Write-Reg F5-0000 OK\n");
  EXPECT_TRUE(ok);
  EXPECT_EQ(back->Register(0xF5, 0x0000), 0x00);
  EXPECT_EQ(usb_->contexts_made(), 2);

  // The fresh view is the kept one now: the next switch needs no other.
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(back->Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(usb_->contexts_made(), 2);
  EXPECT_EQ(back->Requests().size(), 6u);
}

TEST_F(UsbFreshViewTest, ManyRoundTripsLeaveNoContextOrDescriptorBehind) {
  std::unique_ptr<FakeHub> hub = Plug(2, 0x00);
  ASSERT_TRUE(Switch_XQ917_UpperPort());
  // One round trip first, so that the count below includes whatever a
  // fresh look keeps for the rest of the process.
  hub->UnplugSilently();
  hub = Plug(3, 0x00);
  ASSERT_TRUE(Switch_XQ917_UpperPort());
  const int descriptors = ContextDescriptors();
  ASSERT_GT(descriptors, 0);
  for (int devnum = 4; devnum < 9; ++devnum) {
    SCOPED_TRACE(devnum);
    hub->UnplugSilently();
    hub = Plug(devnum, 0x00);
    ASSERT_TRUE(Switch_XQ917_UpperPort());
    EXPECT_EQ(hub->Register(0xF5, 0x0000), 0x01);
  }
  EXPECT_EQ(usb_->contexts_made(), 7);
  EXPECT_EQ(ContextDescriptors(), descriptors);
}

TEST_F(UsbFreshViewTest, HubPluggedInAfterALookupThatMissedItIsFound) {
  // The first lookup made the context while the hub was away.
  EXPECT_EQ(usb_->FindDevice(kVendor, kProduct).outcome, platform::UsbFindOutcome::kNotAttached);
  std::unique_ptr<FakeHub> hub = Plug(5, 0x01);
  platform::UsbFindResult found = usb_->FindDevice(kVendor, kProduct);
  ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
  ASSERT_TRUE(found.device->Open(nullptr));
  found.device->Close();
  found.device.reset();
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(hub->Register(0xF5, 0x0000), 0x00);
}

TEST_F(UsbFreshViewTest, HubGoneForGoodIsReportedWithItsFixAndNothingIsSent) {
  std::unique_ptr<FakeHub> hub = Plug(2, 0x00);
  ASSERT_TRUE(Switch_XQ917_UpperPort());
  hub->UnplugSilently();

  // The kept view still lists it: the open fails, the fresh look finds
  // nothing, and the user reads why.
  bool ok = true;
  EXPECT_EQ(SwitchLines(&ok), std::string("Cannot open the hub: ") +
                                  libusb_strerror(LIBUSB_ERROR_NO_DEVICE) + "\n" +
                                  linux_platform::UsbGoneFix() + "\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(hub->Requests().size(), 3u);

  // From the fresh view on, it is simply not there.
  EXPECT_EQ(
      SwitchLines(&ok),
      "USB device not found (VID=0x2109 PID=0x8822)\n"
      "Connect the hub to this computer (or switch it here from the other computer), then try "
      "again.\n");
  EXPECT_FALSE(ok);
}

}  // namespace
