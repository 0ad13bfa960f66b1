#include "platform/linux/usb/usb_presence_watch.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace linux_platform {

std::optional<platform::UsbLocation> LocationFromSysname(const std::string& sysname) {
  const size_t dash = sysname.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 >= sysname.size()) return std::nullopt;
  platform::UsbLocation location;
  for (size_t i = 0; i < dash; ++i) {
    if (sysname[i] < '0' || sysname[i] > '9') return std::nullopt;
  }
  location.bus = std::atoi(sysname.substr(0, dash).c_str());
  location.port = sysname.substr(dash + 1);
  for (char c : location.port) {
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;  // "1-4:1.0" is an interface
  }
  return location;
}

std::unique_ptr<UdevPresenceWatch> UdevPresenceWatch::Create(
    FdWatcher* watcher, std::shared_ptr<UdevMonitor> monitor, uint16_t vendor_id,
    uint16_t product_id, std::function<void(const platform::UsbPresenceChange&)> changed) {
  if (watcher == nullptr || !monitor) return nullptr;
  std::unique_ptr<UdevPresenceWatch> watch(new UdevPresenceWatch());
  watch->vendor_id_ = vendor_id;
  watch->product_id_ = product_id;
  watch->changed_ = std::move(changed);
  // Only what happens from now on is a change: what was queued before is
  // handed to the listeners there are (or dropped).
  monitor->Dispatch();
  UdevPresenceWatch* self = watch.get();
  watch->listener_ =
      monitor->Listen(watcher, [self](const UdevUsbEvent& event) { self->OnEvent(event); });
  if (watch->listener_ == 0) return nullptr;
  watch->monitor_ = std::move(monitor);
  return watch;
}

UdevPresenceWatch::~UdevPresenceWatch() {
  if (monitor_) monitor_->Unlisten(listener_);
}

void UdevPresenceWatch::OnEvent(const UdevUsbEvent& event) {
  if (event.vendor_id != vendor_id_ || event.product_id != product_id_) return;
  if (event.action != "add" && event.action != "remove") return;  // bind, change, ...
  platform::UsbPresenceChange change;
  change.arrived = event.action == "add";
  change.location = LocationFromSysname(event.sysname);
  // May destroy this watch.
  auto changed = changed_;
  changed(change);
}

}  // namespace linux_platform
