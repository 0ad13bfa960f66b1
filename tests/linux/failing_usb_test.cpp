// The hub failing in every way libusb can report: on open, on each of the
// three transfers of a switch, and by vanishing between the reads and the
// write. Each failure gives its console line, the rest of the switch goes
// on as the exchange prescribes, and the next switch works again.
#include <gtest/gtest.h>
#include <libusb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fake_hub.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/services.h"

namespace {

using linux_test::FakeHub;
using linux_test::HubFault;
using linux_test::Testbed;

constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.\n";
constexpr const char* kAbandonedLine =
    "Switch abandoned: the port register F5-0000 could not be read, so nothing was written\n";

// The console lines of a switch whose transfer `failed` (0: F8-008F read,
// 1: F5-0000 read, 2: the write; -1: none) failed, on a hub whose
// registers read F8=0x20 and F5=`f5`. Without the port register's value
// nothing is written.
std::string SwitchLines(int failed, int f5) {
  char f5_line[64];
  std::snprintf(f5_line, sizeof f5_line, "    Read-Reg F5-0000 = 0x%02X \n", f5);
  std::string out;
  out += failed == 0 ? "Read-Reg F8-008F Fail\n" : "    Read-Reg F8-008F = 0x20 \n";
  if (failed == 1) return out + "Read-Reg F5-0000 Fail\n" + kAbandonedLine + kReplugFix;
  out += f5_line;
  if (failed == 2) return out + "Write-Reg F5-0000 Fail\n" + kReplugFix;
  return out + "    Write-Reg F5-0000 OK\n";
}

class FailingUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    hub_ = std::make_unique<FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    hub_->SetRegister(0xF8, 0x008F, 0x20);
    hub_->SetRegister(0xF5, 0x0000, 0x00);
    usb_ = std::make_unique<linux_platform::LinuxUsb>(100);
    platform::Services services;
    services.usb = usb_.get();
    platform::InstallServices(services);
    gConsoleMode = true;
  }
  void TearDown() override {
    ReleaseSwitchLock();
    gConsoleMode = false;
    platform::InstallServices(platform::Services{});
    usb_.reset();
    hub_.reset();
  }
  // One switch; its result, with its console lines in `out`.
  bool SwitchCapturing(std::string* out) {
    ::testing::internal::CaptureStdout();
    const bool ok = Switch_XQ917_UpperPort();
    *out = ::testing::internal::GetCapturedStdout();
    return ok;
  }
  // The code one read of F8-008F gives on a freshly opened hub.
  int ReadCode() {
    platform::UsbFindResult found = usb_->FindDevice(0x2109, 0x8822);
    if (found.outcome != platform::UsbFindOutcome::kFound || !found.device->Open(nullptr)) return 1;
    uint8_t buffer[2] = {0, 0};
    platform::UsbDeviceRequest request{0xC0, 0xF8, 0x008F, 0, 1, buffer, 0};
    const int code = found.device->DeviceRequest(&request);
    found.device->Close();
    return code;
  }

  Testbed testbed_;
  std::unique_ptr<FakeHub> hub_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
};

// What the kernel may answer a control transfer with, and the libusb error
// it becomes.
struct KernelFailure {
  const char* name;
  int submit_errno;  // the submission fails with this errno
  int status_errno;  // or the transfer completes with this status
  int libusb_code;
};

const KernelFailure kKernelFailures[] = {
    {"stall", 0, EPIPE, LIBUSB_ERROR_PIPE},
    {"overflow", 0, EOVERFLOW, LIBUSB_ERROR_OVERFLOW},
    {"gone during the transfer", 0, ENODEV, LIBUSB_ERROR_NO_DEVICE},
    {"shut down during the transfer", 0, ESHUTDOWN, LIBUSB_ERROR_NO_DEVICE},
    {"protocol error", 0, EPROTO, LIBUSB_ERROR_IO},
    {"bad sequence", 0, EILSEQ, LIBUSB_ERROR_IO},
    {"time-out in the hub", 0, ETIME, LIBUSB_ERROR_IO},
    {"communication error", 0, ECOMM, LIBUSB_ERROR_IO},
    {"out of streams", 0, ENOSR, LIBUSB_ERROR_IO},
    {"unknown status", 0, EXDEV, LIBUSB_ERROR_IO},
    {"gone before submitting", ENODEV, 0, LIBUSB_ERROR_NO_DEVICE},
    {"no memory to submit", ENOMEM, 0, LIBUSB_ERROR_IO},
    {"submission refused", EINVAL, 0, LIBUSB_ERROR_IO},
};

TEST_F(FailingUsbTest, EachKernelFailureIsTheLibusbErrorItStandsFor) {
  for (const KernelFailure& f : kKernelFailures) {
    SCOPED_TRACE(f.name);
    hub_->FailRequestWithErrno(0, f.submit_errno, f.status_errno);
    EXPECT_EQ(ReadCode(), f.libusb_code);
    EXPECT_EQ(ReadCode(), platform::kUsbSuccess);  // the hub answers again
  }
  // A transfer that never completes is cancelled after the time-out.
  hub_->FailRequest(0, HubFault::kHang);
  EXPECT_EQ(ReadCode(), LIBUSB_ERROR_TIMEOUT);
  EXPECT_EQ(ReadCode(), platform::kUsbSuccess);
}

TEST_F(FailingUsbTest, EachFailureOnEachTransferGivesItsLineAndOnlyTheStatusReadLetsTheSwitchGoOn) {
  int faults = 0;
  for (int position = 0; position < 3; ++position) {
    for (const KernelFailure& f : kKernelFailures) {
      SCOPED_TRACE(std::string(f.name) + " at transfer " + std::to_string(position));
      const uint8_t before = hub_->Register(0xF5, 0x0000);
      hub_->FailRequestWithErrno(position, f.submit_errno, f.status_errno);
      std::string out;
      const bool ok = SwitchCapturing(&out);
      ++faults;
      EXPECT_EQ(out, SwitchLines(position, before));
      EXPECT_EQ(ok, position == 0);
      // Only a failed F8 read leaves the switch to go on; its value is never used.
      const uint8_t expected = position == 0 ? before ^ 1 : before;
      EXPECT_EQ(hub_->Register(0xF5, 0x0000), expected);

      // Nothing is left half-done: the next switch goes through.
      const uint8_t now = hub_->Register(0xF5, 0x0000);
      EXPECT_TRUE(SwitchCapturing(&out));
      EXPECT_EQ(out, SwitchLines(-1, now));
      EXPECT_EQ(hub_->Register(0xF5, 0x0000), now ^ 1);
    }
  }
  RecordProperty("faults_injected", faults);
}

TEST_F(FailingUsbTest, HubUnpluggedBetweenTheReadsAndBeforeTheWrite) {
  // Gone after the first read: the second read fails and nothing is sent.
  hub_->FailRequest(1, HubFault::kVanished);
  std::string out;
  EXPECT_FALSE(SwitchCapturing(&out));
  EXPECT_EQ(out, SwitchLines(1, 0x00));
  // Only the F8-008F read reached the hub (the vanished one was refused).
  ASSERT_EQ(hub_->Requests().size(), 1u);
  EXPECT_EQ(hub_->Requests()[0].bmRequestType, 0xC0);
  // Gone after both reads, before the write.
  hub_->FailRequest(2, HubFault::kVanished);
  EXPECT_FALSE(SwitchCapturing(&out));
  EXPECT_EQ(out, SwitchLines(2, 0x00));
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x00);

  // Then really unplugged: once libusb has seen the removal, the next
  // switch reports the hub missing. It learns of it on its own thread.
  hub_->Unplug();
  for (int i = 0;
       i < 200 && usb_->FindDevice(0x2109, 0x8822).outcome == platform::UsbFindOutcome::kFound;
       ++i) {
    usleep(10000);
  }
  EXPECT_FALSE(SwitchCapturing(&out));
  EXPECT_EQ(
      out,
      "USB device not found (VID=0x2109 PID=0x8822)\n"
      "Connect the hub to this computer (or switch it here from the other computer), then try "
      "again.\n");

  // Plugged in again (a new device number): switching works at once.
  hub_.reset();
  FakeHub back(testbed_, 0x2109, 0x8822, 5);
  back.SetRegister(0xF8, 0x008F, 0x20);
  back.SetRegister(0xF5, 0x0000, 0x01);
  for (int i = 0;
       i < 200 && usb_->FindDevice(0x2109, 0x8822).outcome != platform::UsbFindOutcome::kFound;
       ++i) {
    usleep(10000);
  }
  EXPECT_TRUE(SwitchCapturing(&out));
  EXPECT_EQ(out, SwitchLines(-1, 0x01));
  EXPECT_EQ(back.Register(0xF5, 0x0000), 0x00);
}

TEST_F(FailingUsbTest, HubGoneBetweenTheLookupAndTheOpenSendsNothing) {
  // The node vanishes after the lookup (ENOENT, NO_DEVICE to libusb), or
  // something that is no device node takes its place (EISDIR, an I/O
  // error): the open fails with no fix to name, and nothing is sent.
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder at the node" : "node gone");
    hub_.reset();
    hub_ = std::make_unique<FakeHub>(testbed_, 0x2109, 0x8822, folder ? 3 : 2);
    const std::string node =
        testbed_.Root() + (folder ? "/dev/bus/usb/001/003" : "/dev/bus/usb/001/002");
    platform::UsbFindResult found = usb_->FindDevice(0x2109, 0x8822);
    ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
    ASSERT_EQ(unlink(node.c_str()), 0);
    if (folder) {
      ASSERT_EQ(mkdir(node.c_str(), 0755), 0);
    }
    platform::UsbFailure refused;
    EXPECT_FALSE(found.device->Open(&refused));
    // Linux words: libusb's text for the error, no call of another system.
    EXPECT_EQ(refused.line.rfind("Cannot open the hub: ", 0), 0u) << refused.line;
    EXPECT_EQ(refused.fix, "");  // only a refused permission has a fix to name
    found.device.reset();
    std::string out;
    EXPECT_FALSE(SwitchCapturing(&out));
    EXPECT_TRUE(out.rfind("Cannot open the hub: ", 0) == 0 ||
                out.rfind("USB device not found (VID=0x2109 PID=0x8822)\n", 0) == 0)
        << out;
    EXPECT_EQ(out.find("USBDeviceOpen"), std::string::npos) << out;
    EXPECT_TRUE(hub_->Requests().empty());
    if (folder) rmdir(node.c_str());
  }
}

TEST(FailingUsbCodes, EveryLibusbErrorStaysAFailureOfItsOwn) {
  // Codes the kernel cannot provoke above still reach the core as failures
  // that a trace tells apart.
  const int codes[] = {
      LIBUSB_ERROR_IO,          LIBUSB_ERROR_INVALID_PARAM, LIBUSB_ERROR_ACCESS,
      LIBUSB_ERROR_NO_DEVICE,   LIBUSB_ERROR_NOT_FOUND,     LIBUSB_ERROR_BUSY,
      LIBUSB_ERROR_TIMEOUT,     LIBUSB_ERROR_OVERFLOW,      LIBUSB_ERROR_PIPE,
      LIBUSB_ERROR_INTERRUPTED, LIBUSB_ERROR_NO_MEM,        LIBUSB_ERROR_NOT_SUPPORTED,
      LIBUSB_ERROR_OTHER};
  for (int code : codes) {
    EXPECT_EQ(linux_platform::UsbReturnFromLibusb(code), code) << libusb_error_name(code);
    EXPECT_NE(linux_platform::UsbReturnFromLibusb(code), platform::kUsbSuccess);
  }
}

}  // namespace
