// The hub lookup on the real registry, with IDs no device carries.
#include <gtest/gtest.h>

#include "platform/macos/mac_usb.h"

namespace {

TEST(MacUsbTest, IdsThatNoAttachedDeviceCarriesAreNotFound) {
  platform::macos::MacUsb usb;
  // Vendor 0xFFFF is reserved: no real device reports it.
  platform::UsbFindResult result = usb.FindDevice(0xFFFF, 0xFFFE);
  EXPECT_EQ(result.step, platform::UsbFindStep::kNotFound);
  EXPECT_EQ(result.device, nullptr);
}

}  // namespace
