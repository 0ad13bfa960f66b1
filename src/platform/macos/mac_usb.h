// The hub through IOKit's USB device user client.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/usb.h"

namespace platform::macos {

class MacUsb final : public Usb {
 public:
  // Matching on the registry class "IOUSBDevice" and the two IDs, every
  // matching service with its location ID and serial number, then the
  // chosen one's plug-in and first-generation device interface.
  UsbFindResult FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                 const UsbChooser& choose) override;
  // IOKit's first-match and terminated notifications on the main run loop
  // (mac_usb_presence).
  std::unique_ptr<UsbPresenceWatch> WatchPresence(
      uint16_t vendor_id, uint16_t product_id,
      std::function<void(const UsbPresenceChange&)> changed) override;
};

}  // namespace platform::macos
