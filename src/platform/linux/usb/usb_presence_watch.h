// Watching devices with given IDs come and go, on the udev monitor the
// switch check uses: served by the main loop, no thread, no polling, and no
// wake-up while nothing happens on the USB bus (with udevd, the monitor's
// socket carries usb_device events only, filtered in the kernel; without,
// every kernel event, filtered on reading).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/loop/fd_watch.h"
#include "platform/linux/usb/usb_removal_watch.h"
#include "platform/usb.h"

namespace linux_platform {

class UdevPresenceWatch : public platform::UsbPresenceWatch {
 public:
  // Null when the monitor cannot be served by `watcher`.
  static std::unique_ptr<UdevPresenceWatch> Create(
      FdWatcher* watcher, std::shared_ptr<UdevMonitor> monitor, uint16_t vendor_id,
      uint16_t product_id, std::function<void(const platform::UsbPresenceChange&)> changed);
  ~UdevPresenceWatch() override;
  UdevPresenceWatch(const UdevPresenceWatch&) = delete;
  UdevPresenceWatch& operator=(const UdevPresenceWatch&) = delete;

 private:
  UdevPresenceWatch() = default;
  void OnEvent(const UdevUsbEvent& event);

  std::shared_ptr<UdevMonitor> monitor_;
  uint64_t listener_ = 0;
  uint16_t vendor_id_ = 0;
  uint16_t product_id_ = 0;
  std::function<void(const platform::UsbPresenceChange&)> changed_;
};

// Bus and port of a usb_device from its sysfs name ("1-4.2": bus 1, port
// 4.2); none for a root hub ("usb1") or a name that is not one.
std::optional<platform::UsbLocation> LocationFromSysname(const std::string& sysname);

}  // namespace linux_platform
