// The simulated hub: registers that keep what is written, the exchange's
// object lives in order, faults at every step, unplugging and replugging.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "support/usb_setup.h"

namespace {

using Calls = std::vector<std::string>;

class SimHubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = sim::World::Create(sim::Config{});
    ASSERT_NE(world_, nullptr);
  }
  platform::Usb& Usb() { return *world_->Services().usb; }
  sim::SimHub& Hub() { return world_->Hub(); }

  static platform::UsbReturn Read(platform::UsbDevice& d, uint8_t req, uint16_t addr,
                                  uint8_t* out) {
    uint8_t buffer[2] = {0, 0};
    platform::UsbDeviceRequest r;
    r.bmRequestType = 0xC0;
    r.bRequest = req;
    r.wValue = addr;
    r.wLength = 1;
    r.pData = buffer;
    const platform::UsbReturn rc = d.DeviceRequest(&r);
    *out = buffer[0];
    return rc;
  }
  static platform::UsbReturn Write(platform::UsbDevice& d, uint8_t req, uint16_t addr,
                                   uint8_t value) {
    uint8_t buffer[2] = {0, 0};
    platform::UsbDeviceRequest r;
    r.bmRequestType = 0x40;
    r.bRequest = req;
    r.wValue = addr;
    r.wIndex = value;
    r.pData = buffer;
    return d.DeviceRequest(&r);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& o : world_->Observations()) out.push_back(o.text);
    return out;
  }

  std::unique_ptr<sim::World> world_;
};

const Calls kFound = {"matching", "release numbers", "lookup",         "plugin",
                      "query",    "release plugin",  "release service"};

TEST_F(SimHubTest, WrittenValueIsReadBackAndEveryBlockIsRecorded) {
  Hub().SetRegister(0xF8, 0x008F, 0x20);
  auto found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
  ASSERT_NE(found.device, nullptr);
  ASSERT_TRUE(found.device->Open(nullptr));
  uint8_t b = 0xAA;
  EXPECT_EQ(Read(*found.device, 0xF8, 0x008F, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0x20);
  EXPECT_EQ(Read(*found.device, 0xF5, 0x0000, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0x00);
  EXPECT_EQ(Write(*found.device, 0xF5, 0x0000, 0x01), platform::kUsbSuccess);
  EXPECT_EQ(Hub().Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(Read(*found.device, 0xF5, 0x0000, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0x01);
  found.device->Close();
  found.device.reset();

  Calls expected = kFound;
  expected.insert(expected.end(), {"open", "close", "release device"});
  EXPECT_EQ(Hub().Calls(), expected);
  EXPECT_EQ(usb_test::SetupsOf(Hub().Requests()),
            (std::vector<usb_test::Setup>{usb_test::kReadF8, usb_test::kReadF5,
                                          usb_test::WriteF5(0x01), usb_test::kReadF5}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"usb read F8-008F 20", "usb read F5-0000 00",
                                               "usb write F5-0000 01", "usb read F5-0000 01"}));
  Hub().ClearRecords();
  EXPECT_TRUE(Hub().Calls().empty());
  EXPECT_TRUE(Hub().Requests().empty());
}

TEST_F(SimHubTest, EachLookupFaultReleasesWhatWasObtainedInOrder) {
  struct Case {
    sim::HubFault fault;
    platform::UsbFindOutcome outcome;
    const char* line;
    Calls calls;
  } cases[] = {
      {sim::HubFault::kMatching,
       platform::UsbFindOutcome::kNoSearch,
       "IOServiceMatching failed",
       {"matching fail"}},
      {sim::HubFault::kLookup,
       platform::UsbFindOutcome::kNotAttached,
       "USB device not found (VID=0x2109 PID=0x8822)",
       {"matching", "release numbers", "lookup fail"}},
      {sim::HubFault::kPlugIn,
       platform::UsbFindOutcome::kNoInterface,
       "IOCreatePlugInInterfaceForService failed",
       {"matching", "release numbers", "lookup", "plugin fail", "release service"}},
      {sim::HubFault::kQuery,
       platform::UsbFindOutcome::kNoInterface,
       "QueryInterface (DeviceInterface) failed",
       {"matching", "release numbers", "lookup", "plugin", "query fail", "release plugin",
        "release service"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    Hub().ClearRecords();
    Hub().SetFault(c.fault, true);
    auto found = Usb().FindDevice(0x2109, 0x8822);
    EXPECT_EQ(found.outcome, c.outcome);
    EXPECT_EQ(found.line, c.line);
    EXPECT_EQ(found.device, nullptr);
    EXPECT_EQ(Hub().Calls(), c.calls);
    Hub().SetFault(c.fault, false);
  }
  Hub().ClearRecords();
  EXPECT_EQ(Usb().FindDevice(0x2109, 0x8822).outcome, platform::UsbFindOutcome::kFound);
  const platform::UsbFindResult other = Usb().FindDevice(0x2109, 0x8823);
  EXPECT_EQ(other.outcome, platform::UsbFindOutcome::kNotAttached);
  EXPECT_EQ(other.line, "USB device not found (VID=0x2109 PID=0x8823)");
}

TEST_F(SimHubTest, TransferFaultsFailOnlyTheirRegisterAndLeaveTheBufferAlone) {
  Hub().SetRegister(0xF8, 0x008F, 0x20);
  Hub().SetRegister(0xF5, 0x0000, 0x01);
  Hub().SetFault(sim::HubFault::kReadF5, true);
  Hub().SetFault(sim::HubFault::kWriteF5, true);
  auto found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_TRUE(found.device->Open(nullptr));
  uint8_t b = 0;
  EXPECT_EQ(Read(*found.device, 0xF8, 0x008F, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0x20);
  EXPECT_NE(Read(*found.device, 0xF5, 0x0000, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0x00) << "a failed read must not fill the buffer";
  EXPECT_NE(Write(*found.device, 0xF5, 0x0000, 0x00), platform::kUsbSuccess);
  EXPECT_EQ(Hub().Register(0xF5, 0x0000), 0x01) << "a failed write must not change the hub";
  EXPECT_EQ(Texts(), (std::vector<std::string>{"usb read F8-008F 20", "usb read F5-0000 fail",
                                               "usb write F5-0000 fail"}));
}

TEST_F(SimHubTest, OpenFaultAndRequestsOnAnUnopenedDevice) {
  Hub().SetFault(sim::HubFault::kOpen, true);
  auto found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_EQ(found.outcome, platform::UsbFindOutcome::kFound);
  platform::UsbFailure refused{"stale", "stale"};
  EXPECT_FALSE(found.device->Open(&refused));
  EXPECT_EQ(refused.line, "USBDeviceOpen failed");
  EXPECT_EQ(refused.fix, "");
  uint8_t b = 0;
  EXPECT_NE(Read(*found.device, 0xF5, 0x0000, &b), platform::kUsbSuccess);
  found.device.reset();
  EXPECT_EQ(Hub().Calls().back(), "release device");
  EXPECT_EQ(Hub().Calls()[Hub().Calls().size() - 2], "open fail");
}

TEST_F(SimHubTest, UnpluggedHubIsNotFoundAndFailsAnOpenDevice) {
  auto found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_TRUE(found.device->Open(nullptr));
  Hub().SetPresent(false);
  uint8_t b = 7;
  EXPECT_NE(Read(*found.device, 0xF5, 0x0000, &b), platform::kUsbSuccess);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(Usb().FindDevice(0x2109, 0x8822).outcome, platform::UsbFindOutcome::kNotAttached);

  // Plugged in again: the old interface stays stale, a new lookup works.
  Hub().SetPresent(true);
  EXPECT_NE(Write(*found.device, 0xF5, 0x0000, 1), platform::kUsbSuccess);
  auto again = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_EQ(again.outcome, platform::UsbFindOutcome::kFound);
  ASSERT_TRUE(again.device->Open(nullptr));
  EXPECT_EQ(Write(*again.device, 0xF5, 0x0000, 1), platform::kUsbSuccess);
  EXPECT_EQ(Hub().Register(0xF5, 0x0000), 1);
}

TEST_F(SimHubTest, ReadWithoutDataStageStoresNothing) {
  Hub().SetRegister(0xF5, 0x0000, 0x01);
  auto found = Usb().FindDevice(0x2109, 0x8822);
  ASSERT_TRUE(found.device->Open(nullptr));
  uint8_t buffer[2] = {0x55, 0x55};
  platform::UsbDeviceRequest r;
  r.bmRequestType = 0xC0;
  r.bRequest = 0xF5;
  r.wLength = 0;
  r.pData = buffer;
  EXPECT_EQ(found.device->DeviceRequest(&r), platform::kUsbSuccess);
  EXPECT_EQ(buffer[0], 0x55);
  EXPECT_EQ(r.wLenDone, 0u);
}

}  // namespace
