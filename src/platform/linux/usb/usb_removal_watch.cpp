#include "platform/linux/usb/usb_removal_watch.h"

#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace linux_platform {
namespace {

// A udev property holding a decimal number ("001" for bus 1); -1 when absent.
int NumberProperty(struct udev_device* device, const char* name) {
  const char* text = udev_device_get_property_value(device, name);
  if (text == nullptr || *text == '\0') return -1;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (end != nullptr && *end == '\0' && value >= 0 && value < 100000) ? static_cast<int>(value)
                                                                          : -1;
}

}  // namespace

std::shared_ptr<UdevMonitor> UdevMonitor::Create() {
  struct udev* udev = udev_new();
  if (udev == nullptr) return nullptr;
  // Events as udev passes them on: the device is gone from the system by
  // then. Where udevd does not run, nobody passes any on: the kernel's own
  // then (each of its events wakes the monitor; the filter is applied on
  // reading).
  const bool udevd_runs = ::access("/run/udev/control", F_OK) == 0;
  struct udev_monitor* monitor =
      udev_monitor_new_from_netlink(udev, udevd_runs ? "udev" : "kernel");
  if (monitor == nullptr) {
    udev_unref(udev);
    return nullptr;
  }
  std::shared_ptr<UdevMonitor> made(new UdevMonitor(udev, monitor));
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0) {
    return nullptr;
  }
  return made;
}

UdevMonitor::~UdevMonitor() {
  udev_monitor_unref(monitor_);
  udev_unref(udev_);
}

int UdevMonitor::fd() const {
  return udev_monitor_get_fd(monitor_);
}

uint64_t UdevMonitor::Listen(FdWatcher* watcher, Listener listener) {
  if (!fd_watch_) {
    if (watcher == nullptr) return 0;
    fd_watch_ = watcher->WatchReadable(fd(), [this] { Dispatch(); });
    if (!fd_watch_) return 0;
  }
  const uint64_t id = next_id_++;
  listeners_[id] = std::move(listener);
  return id;
}

void UdevMonitor::Unlisten(uint64_t id) {
  listeners_.erase(id);
  // Off the loop with the last listener: an idle monitor wakes nobody.
  if (listeners_.empty()) fd_watch_.reset();
}

void UdevMonitor::Dispatch() {
  while (struct udev_device* device = udev_monitor_receive_device(monitor_)) {
    UdevUsbEvent event;
    const char* action = udev_device_get_action(device);
    event.action = action != nullptr ? action : "";
    event.bus = NumberProperty(device, "BUSNUM");
    event.address = NumberProperty(device, "DEVNUM");
    const char* sysname = udev_device_get_sysname(device);
    event.sysname = sysname != nullptr ? sysname : "";
    // The kernel's PRODUCT is "vid/pid/bcd" in hex without leading zeros,
    // in the removal's event too.
    if (const char* product = udev_device_get_property_value(device, "PRODUCT")) {
      unsigned vendor = 0, id = 0;
      if (std::sscanf(product, "%x/%x/", &vendor, &id) == 2 && vendor <= 0xFFFF && id <= 0xFFFF) {
        event.vendor_id = static_cast<int>(vendor);
        event.product_id = static_cast<int>(id);
      }
    }
    udev_device_unref(device);
    // A listener may remove any listener, itself included.
    std::vector<uint64_t> ids;
    for (const auto& entry : listeners_) ids.push_back(entry.first);
    for (uint64_t id : ids) {
      auto it = listeners_.find(id);
      if (it == listeners_.end()) continue;
      Listener listener = it->second;
      listener(event);
    }
  }
}

UdevRemovalWatch::UdevRemovalWatch(int bus, int address, std::function<void()> removed)
    : bus_(bus), address_(address), removed_(std::move(removed)) {}

std::unique_ptr<UdevRemovalWatch> UdevRemovalWatch::Create(FdWatcher* watcher,
                                                           std::shared_ptr<UdevMonitor> monitor,
                                                           int bus, int address,
                                                           const std::string& sysfs_name,
                                                           std::function<void()> removed) {
  std::unique_ptr<UdevRemovalWatch> watch(new UdevRemovalWatch(bus, address, std::move(removed)));
  char node[64];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, address);
  watch->node_ = node;
  if (!sysfs_name.empty()) watch->sysfs_dir_ = "/sys/bus/usb/devices/" + sysfs_name;
  if (watcher == nullptr || !monitor) return watch;
  // What came before this watch is about other switches (or another device
  // that had this address): it goes to the listeners there are already,
  // not to this watch.
  monitor->Dispatch();
  UdevRemovalWatch* self = watch.get();
  watch->listener_ =
      monitor->Listen(watcher, [self](const UdevUsbEvent& event) { self->OnEvent(event); });
  if (watch->listener_ != 0) watch->monitor_ = std::move(monitor);
  return watch;
}

UdevRemovalWatch::~UdevRemovalWatch() {
  if (monitor_ && listener_ != 0) monitor_->Unlisten(listener_);  // before the monitor may go
}

bool UdevRemovalWatch::Gone() {
  struct stat st {};
  if (::stat(node_.c_str(), &st) != 0) return true;
  return !sysfs_dir_.empty() && ::stat(sysfs_dir_.c_str(), &st) != 0;
}

void UdevRemovalWatch::OnEvent(const UdevUsbEvent& event) {
  if (event.action != "remove" || event.bus != bus_ || event.address != address_ || !removed_) {
    return;
  }
  // Called once; the callback may destroy this watch.
  std::function<void()> removed = std::move(removed_);
  removed_ = nullptr;
  monitor_->Unlisten(listener_);
  listener_ = 0;
  removed();
}

}  // namespace linux_platform
