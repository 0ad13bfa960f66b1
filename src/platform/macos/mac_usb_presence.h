// Devices with given IDs coming and going, through IOKit's matching and
// termination notifications, delivered by the main run loop in its common
// modes (an open menu or alert does not hold them up). No thread, no
// polling: the notification port wakes the loop only when the registry
// changes for a matching device.
#pragma once

#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/usb.h"

namespace platform::macos {

class MacUsbPresenceWatch final : public UsbPresenceWatch {
 public:
  // Null when the port or either notification cannot be made.
  static std::unique_ptr<MacUsbPresenceWatch> Create(
      uint16_t vendor_id, uint16_t product_id,
      std::function<void(const UsbPresenceChange&)> changed);
  // Releases both iterators, then takes the port's source off the run loop
  // and destroys the port.
  ~MacUsbPresenceWatch() override;
  MacUsbPresenceWatch(const MacUsbPresenceWatch&) = delete;
  MacUsbPresenceWatch& operator=(const MacUsbPresenceWatch&) = delete;

 private:
  MacUsbPresenceWatch() = default;
  static void OnMatched(void* refcon, io_iterator_t iterator);
  static void OnTerminated(void* refcon, io_iterator_t iterator);
  // Empties `iterator` (which re-arms its notification), releasing each
  // object; how many there were.
  static int Drain(io_iterator_t iterator);
  void Tell(bool arrived, int count);

  IONotificationPortRef port_ = nullptr;
  io_iterator_t matched_ = IO_OBJECT_NULL;
  io_iterator_t terminated_ = IO_OBJECT_NULL;
  std::function<void(const UsbPresenceChange&)> changed_;
  // Set while the watch lives; a callback that destroys it clears it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform::macos
