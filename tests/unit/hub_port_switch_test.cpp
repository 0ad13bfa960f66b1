// The port switch on the simulated hub: the value written, the exchange's
// failure steps with what was released, and the debounce.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/usb_setup.h"
#include "switch_test_support.h"

namespace {

using sim::HubFault;
using Strings = std::vector<std::string>;

class PortSwitchTest : public switch_test::SimTest {};

constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.\n";
constexpr const char* kNotFoundFix =
    "Connect the hub to this computer (or switch it here from the other computer), then try "
    "again.\n";
// Every failure writes its fix under its line.
constexpr const char* kAbandonedLine =
    "Switch abandoned: the port register F5-0000 could not be read, so nothing was written\n"
    "Unplug the hub and plug it in again, then try again.\n";

// The platform objects of a lookup that found the hub, in the order they
// were made and released.
Strings FoundThen(const Strings& more) {
  Strings calls = {"matching", "release numbers", "lookup",         "plugin",
                   "query",    "release plugin",  "release service"};
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

TEST_F(PortSwitchTest, WritesBitZeroInvertedAndAllOtherBitsClear) {
  struct Case {
    uint8_t before;
    uint8_t written;
  };
  for (const Case c :
       {Case{0x01, 0x00}, Case{0x00, 0x01}, Case{0xFE, 0x01}, Case{0x03, 0x00}, Case{0xFF, 0x00}}) {
    SCOPED_TRACE(testing::Message() << "F5-0000 was 0x" << std::hex << int{c.before});
    Hub().ClearRecords();
    Hub().SetRegister(0xF5, 0x0000, c.before);
    EXPECT_TRUE(Switch_XQ917_UpperPort());
    EXPECT_EQ(WrittenPortSelects(), std::vector<uint16_t>{c.written});
    EXPECT_EQ(Hub().Register(0xF5, 0x0000), c.written);
  }
}

TEST_F(PortSwitchTest, ExchangeReadsTwoRegistersThenWritesAndTracesEachStep) {
  Hub().SetRegister(0xF8, 0x008F, 0x20);
  Hub().SetRegister(0xF5, 0x0000, 0x01);
  CaptureConsole();
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(Console(),
            "    Read-Reg F8-008F = 0x20 \n"
            "    Read-Reg F5-0000 = 0x01 \n"
            "    Write-Reg F5-0000 OK\n");
  EXPECT_EQ(usb_test::SetupsOf(Hub().Requests()),
            (std::vector<usb_test::Setup>{usb_test::kReadF8, usb_test::kReadF5,
                                          usb_test::WriteF5(0x00)}));
  // Opened once, closed and then released once, after the last transfer.
  EXPECT_EQ(Hub().Calls(), FoundThen({"open", "close", "release device"}));
}

TEST_F(PortSwitchTest, SuccessiveSwitchesToggleThePort) {
  Hub().SetRegister(0xF5, 0x0000, 0x00);
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(WrittenPortSelects(), (std::vector<uint16_t>{0x01, 0x00, 0x01}));
}

// Without the port-select register's value there is nothing sound to
// write: the switch is abandoned, said in one line, whatever the first read
// left, and the device is still closed and released.
TEST_F(PortSwitchTest, FailedPortSelectReadAbandonsTheSwitchWithoutWriting) {
  struct Case {
    bool status_read_fails;
    uint8_t status;
    const char* status_line;
  };
  for (const Case c : {Case{false, 0x20, "    Read-Reg F8-008F = 0x20 \n"},
                       Case{false, 0x21, "    Read-Reg F8-008F = 0x21 \n"},
                       Case{true, 0x01, "Read-Reg F8-008F Fail\n"}}) {
    SCOPED_TRACE(testing::Message() << "F8-008F 0x" << std::hex << int{c.status}
                                    << (c.status_read_fails ? " unreadable" : ""));
    Hub().ClearRecords();
    Hub().SetFault(HubFault::kReadF8, c.status_read_fails);
    Hub().SetFault(HubFault::kReadF5, true);
    Hub().SetRegister(0xF5, 0x0000, 0x01);
    Hub().SetRegister(0xF8, 0x008F, c.status);
    CaptureConsole();
    EXPECT_FALSE(Switch_XQ917_UpperPort());
    EXPECT_TRUE(WrittenPortSelects().empty());
    EXPECT_EQ(Hub().Register(0xF5, 0x0000), 0x01);
    EXPECT_EQ(Console(), std::string(c.status_line) + "Read-Reg F5-0000 Fail\n" + kAbandonedLine);
    EXPECT_EQ(Hub().Calls(), FoundThen({"open", "close", "release device"}));
  }
}

TEST_F(PortSwitchTest, FailedStatusReadAloneStillSwitchesFromThePortRegister) {
  Hub().SetFault(HubFault::kReadF8, true);
  Hub().SetRegister(0xF5, 0x0000, 0x01);
  CaptureConsole();
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  EXPECT_EQ(WrittenPortSelects(), std::vector<uint16_t>{0x00});
  EXPECT_EQ(Console(),
            "Read-Reg F8-008F Fail\n"
            "    Read-Reg F5-0000 = 0x01 \n"
            "    Write-Reg F5-0000 OK\n");
}

TEST_F(PortSwitchTest, FailedWriteStillClosesAndReleases) {
  Hub().SetFault(HubFault::kWriteF5, true);
  Hub().SetRegister(0xF5, 0x0000, 0x01);
  CaptureConsole();
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(Console(),
            "    Read-Reg F8-008F = 0x00 \n"
            "    Read-Reg F5-0000 = 0x01 \n"
            "Write-Reg F5-0000 Fail\n" +
                std::string(kReplugFix));
  EXPECT_EQ(Hub().Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(Hub().Calls(), FoundThen({"open", "close", "release device"}));
}

// Each lookup step that can fail: its one line, no transfer, and every
// object obtained so far released in order.
TEST_F(PortSwitchTest, EachLookupFailureWritesItsLineAndReleasesWhatItHad) {
  struct Case {
    HubFault fault;
    const char* line;
    const char* fix;
    Strings calls;
  };
  const Case cases[] = {
      {HubFault::kMatching, "IOServiceMatching failed\n", kReplugFix, {"matching fail"}},
      {HubFault::kLookup,
       "USB device not found (VID=0x2109 PID=0x8822)\n",
       kNotFoundFix,
       {"matching", "release numbers", "lookup fail"}},
      {HubFault::kPlugIn,
       "IOCreatePlugInInterfaceForService failed\n",
       kReplugFix,
       {"matching", "release numbers", "lookup", "plugin fail", "release service"}},
      {HubFault::kQuery,
       "QueryInterface (DeviceInterface) failed\n",
       kReplugFix,
       {"matching", "release numbers", "lookup", "plugin", "query fail", "release plugin",
        "release service"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Hub().ClearRecords();
    Hub().SetFault(c.fault, true);
    CaptureConsole();
    EXPECT_FALSE(Switch_XQ917_UpperPort());
    EXPECT_EQ(Console(), std::string(c.line) + c.fix);
    EXPECT_TRUE(Hub().Requests().empty());
    EXPECT_EQ(Hub().Calls(), c.calls);
    Hub().SetFault(c.fault, false);
  }
}

TEST_F(PortSwitchTest, FailedOpenReleasesWithoutClosing) {
  Hub().SetFault(HubFault::kOpen, true);
  CaptureConsole();
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(Console(),
            "USBDeviceOpen failed\n"
            "Close any other program that holds the hub open, then try again.\n");
  EXPECT_TRUE(Hub().Requests().empty());
  EXPECT_EQ(Hub().Calls(), FoundThen({"open fail", "release device"}));
}

// A platform in words of its own: a device that refuses to open (with a fix
// or without), a lookup that fails at a step the reference system does not
// have, and one that claims a find without an interface.
class OwnWordsUsb : public platform::Usb {
 public:
  class Device : public platform::UsbDevice {
   public:
    Device(Strings* calls, platform::UsbFailure refusal)
        : calls_(calls), refusal_(std::move(refusal)) {}
    ~Device() override { calls_->push_back("release device"); }
    bool Open(platform::UsbFailure* failure) override {
      calls_->push_back("open fail");
      *failure = refusal_;
      return false;
    }
    platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest*) override {
      calls_->push_back("request");
      return platform::kUsbSuccess;
    }
    void Close() override { calls_->push_back("close"); }

   private:
    Strings* calls_;
    platform::UsbFailure refusal_;
  };

  platform::UsbFailure refusal;
  platform::UsbFindOutcome outcome = platform::UsbFindOutcome::kFound;
  std::string lookup_line;
  bool without_interface = false;
  Strings calls;

  platform::UsbFindResult FindChosenDevice(uint16_t, uint16_t,
                                           const platform::UsbChooser&) override {
    platform::UsbFindResult r;
    r.outcome = outcome;
    r.line = lookup_line;
    if (outcome == platform::UsbFindOutcome::kFound && !without_interface) {
      r.device = std::make_unique<Device>(&calls, refusal);
    }
    return r;
  }
};

TEST_F(PortSwitchTest, ThePlatformsOwnWordsAreWrittenAsTheyCome) {
  OwnWordsUsb usb;
  platform::Services services = World().Services();
  services.usb = &usb;
  platform::InstallServices(services);
  CaptureConsole();
  usb.refusal = {"libusb_open refused", "Add yourself to the group that owns the hub."};
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  usb.refusal = {"Opening failed", ""};
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  usb.outcome = platform::UsbFindOutcome::kNoSearch;
  usb.lookup_line = "libusb_get_device_list failed";
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  // A find that broke its word (no interface, no words) writes nothing and
  // switches nothing.
  usb.outcome = platform::UsbFindOutcome::kFound;
  usb.lookup_line.clear();
  usb.without_interface = true;
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  EXPECT_EQ(Console(),
            "libusb_open refused\n"
            "Add yourself to the group that owns the hub.\n"
            "Opening failed\n"
            "Close any other program that holds the hub open, then try again.\n"
            "libusb_get_device_list failed\n" +
                std::string(kReplugFix));
  EXPECT_EQ(usb.calls, (Strings{"open fail", "release device", "open fail", "release device"}));
  World().Install();
}

TEST_F(PortSwitchTest, UnpluggedAndReplugged) {
  Hub().SetPresent(false);
  CaptureConsole();
  EXPECT_FALSE(Switch_XQ917_UpperPort());
  Hub().SetPresent(true);
  EXPECT_TRUE(Switch_XQ917_UpperPort());
  const std::string out = Console();
  EXPECT_EQ(out.rfind("USB device not found (VID=0x2109 PID=0x8822)\n", 0), 0u) << out;
  EXPECT_EQ(WrittenPortSelects(), std::vector<uint16_t>{0x01});
}

// The debounce, in virtual time. T = 1000 is the first request so that no
// stored time is 0.
class TriggerSwitchTest : public switch_test::SimTest {
 protected:
  void RequestAt(uint64_t t, const char* source = "ctrl-ctrl") {
    RunAt(t, [source] { TriggerSwitch(source); });
  }
};

TEST_F(TriggerSwitchTest, AnnouncesTheSourceThenSwitches) {
  CaptureConsole();
  gDbgMsg = false;
  RequestAt(1000, "ctrl-ctrl");
  RequestAt(2000, "mouse");
  RequestAt(3000, nullptr);
  EXPECT_EQ(Console(), "Switch (ctrl-ctrl)\nSwitch (mouse)\nSwitch\n");
  EXPECT_EQ(WrittenPortSelects(), (std::vector<uint16_t>{0x01, 0x00, 0x01}));
}

TEST_F(TriggerSwitchTest, SecondRequestWithin499MsIsDroppedSilently) {
  CaptureConsole();
  gDbgMsg = false;
  RequestAt(1000);
  RequestAt(1499);
  EXPECT_EQ(Console(), "Switch (ctrl-ctrl)\n");
  EXPECT_EQ(WrittenPortSelects().size(), 1u);
}

TEST_F(TriggerSwitchTest, RequestExactly500MsLaterIsAccepted) {
  RequestAt(1000);
  RequestAt(1500);
  EXPECT_EQ(WrittenPortSelects().size(), 2u);
}

TEST_F(TriggerSwitchTest, DroppedRequestDoesNotMoveTheWindow) {
  RequestAt(1000);
  RequestAt(1300);  // dropped
  RequestAt(1600);  // 600 ms after the accepted one, 300 after the dropped one
  EXPECT_EQ(WrittenPortSelects().size(), 2u);
}

TEST_F(TriggerSwitchTest, WindowStartsAlsoWhenTheSwitchFails) {
  Hub().SetPresent(false);
  CaptureConsole();
  RequestAt(1000);
  RequestAt(1200);
  RequestAt(2000);
  EXPECT_EQ(Console(), "Switch (ctrl-ctrl)\nUSB device not found (VID=0x2109 PID=0x8822)\n" +
                           std::string(kNotFoundFix) +
                           "Switch (ctrl-ctrl)\nUSB device not found (VID=0x2109 PID=0x8822)\n" +
                           kNotFoundFix);
}

TEST_F(TriggerSwitchTest, AGestureIsActedOnWhenItHappensOrNotAtAll) {
  // Each request is handled `age` ms after its gesture was completed.
  struct Case {
    uint64_t age;
    bool switches;
  };
  for (const Case c : {Case{0, true}, Case{1000, true}, Case{1001, false}, Case{9000, false}}) {
    SCOPED_TRACE(c.age);
    ResetPortSwitch();
    Hub().ClearRecords();
    CaptureConsole();
    gDbgMsg = false;
    RunAt(10000 + c.age * 10, [&c] { TriggerSwitch("ctrl-ctrl", GetMilliseconds() - c.age); });
    EXPECT_EQ(WrittenPortSelects().size(), c.switches ? 1u : 0u);
    const std::string late = "Not switched: the gesture (ctrl-ctrl) was read " +
                             std::to_string(c.age) + " ms after it was made\n";
    EXPECT_EQ(Console(), c.switches ? "Switch (ctrl-ctrl)\n" : late);
  }
}

}  // namespace
