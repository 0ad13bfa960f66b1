// Opening the hub's device interface, on a function table the test fills
// in: what each answer of USBDeviceOpen leads to.
#include <IOKit/usb/IOUSBLib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/macos/mac_usb_device.h"

namespace {

struct Calls {
  IOReturn open_result = kIOReturnSuccess;
  int opens = 0;
  int closes = 0;
  int requests = 0;
  int releases = 0;
};
Calls gCalls;

// An interface whose entries count their calls; those the tool never uses
// stay null.
IOUSBDeviceInterface MakeTable() {
  IOUSBDeviceInterface table{};
  table.AddRef = [](void*) -> ULONG { return 2; };
  table.Release = [](void*) -> ULONG {
    ++gCalls.releases;
    return 0;
  };
  table.USBDeviceOpen = [](void*) -> IOReturn {
    ++gCalls.opens;
    return gCalls.open_result;
  };
  table.USBDeviceClose = [](void*) -> IOReturn {
    ++gCalls.closes;
    return kIOReturnSuccess;
  };
  table.DeviceRequest = [](void*, IOUSBDevRequest* request) -> IOReturn {
    ++gCalls.requests;
    request->wLenDone = request->wLength;
    return kIOReturnSuccess;
  };
  return table;
}

TEST(MacUsbDeviceTest, ExclusiveAccessGoesOnWithoutAnOpenAndOtherRefusalsStop) {
  const struct {
    IOReturn open_result;
    bool opened;
    int closes;
  } cases[] = {
      {kIOReturnSuccess, true, 1},
      {kIOReturnExclusiveAccess, true, 0},  // another driver has it: nothing to close
      {kIOReturnNotPermitted, false, 0},
      {kIOReturnNoDevice, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.open_result);
    gCalls = Calls{};
    gCalls.open_result = c.open_result;
    IOUSBDeviceInterface table = MakeTable();
    IOUSBDeviceInterface* pointer = &table;
    {
      std::unique_ptr<platform::UsbDevice> device = platform::macos::AdoptUsbDevice(&pointer);
      platform::UsbFailure failure{"untouched", ""};
      ASSERT_EQ(device->Open(&failure), c.opened);
      EXPECT_EQ(failure.line, c.opened ? "untouched" : "USBDeviceOpen failed");
      if (c.opened) {
        uint8_t byte[2] = {};
        platform::UsbDeviceRequest request{};
        request.bmRequestType = 0xC0;
        request.bRequest = 0xF5;
        request.wLength = 1;
        request.pData = byte;
        EXPECT_EQ(device->DeviceRequest(&request), 0);
        device->Close();
        device->Close();
      }
    }
    EXPECT_EQ(gCalls.opens, 1);
    EXPECT_EQ(gCalls.requests, c.opened ? 1 : 0);
    EXPECT_EQ(gCalls.closes, c.closes) << "closed only what it opened, once";
    EXPECT_EQ(gCalls.releases, 1);
  }
}

}  // namespace
