// Where a USB device sits on the bus, as the kernel numbers it: what tells
// apart two devices with the same IDs.
#pragma once

#include <libusb.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/usb.h"

namespace linux_platform {

// Bus and port path of a device; none for a root hub, which has no port.
std::optional<platform::UsbLocation> LocationOf(libusb_device* device);
// A device's place as numbers, for ordering: its bus, then each port.
std::vector<int> PlaceKey(const platform::UsbCandidate& candidate);
// The serial number the kernel read from the device when it arrived, from
// sysfs: no open, so no permission, is needed. Empty when it has none.
std::string SerialOf(const std::optional<platform::UsbLocation>& location);

}  // namespace linux_platform
