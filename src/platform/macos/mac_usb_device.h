// The hub's device interface as the tool uses it, made from an interface
// pointer (the lookup's, or a test's own function table).
#pragma once

#include <IOKit/usb/IOUSBLib.h>

#include <memory>

#include "platform/usb.h"

namespace platform::macos {

// Takes over one reference to `device`. Open: USBDeviceOpen, where
// kIOReturnExclusiveAccess (another driver has the device) still counts as
// success, without anything to close; DeviceRequest as is; Close and the
// destructor: USBDeviceClose only after an open of its own, then Release.
std::unique_ptr<UsbDevice> AdoptUsbDevice(IOUSBDeviceInterface** device);

}  // namespace platform::macos
