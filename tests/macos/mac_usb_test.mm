// The hub lookup on the real registry, with IDs no device carries.
#include <gtest/gtest.h>

#include "platform/macos/mac_usb.h"

namespace {

TEST(MacUsbTest, IdsThatNoAttachedDeviceCarriesAreNotFound) {
  platform::macos::MacUsb usb;
  // Vendor 0xFFFF is reserved: no real device reports it.
  platform::UsbFindResult result = usb.FindDevice(0xFFFF, 0xFFFE);
  EXPECT_EQ(result.outcome, platform::UsbFindOutcome::kNotAttached);
  EXPECT_EQ(result.device, nullptr);
  EXPECT_EQ(result.line, "USB device not found (VID=0xFFFF PID=0xFFFE)");
}

}  // namespace
