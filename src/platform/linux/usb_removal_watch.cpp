#include "platform/linux/usb_removal_watch.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

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
  // Events as udev passes them on: the device is gone from the system by then.
  struct udev_monitor* monitor = udev_monitor_new_from_netlink(udev, "udev");
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

bool UdevMonitor::DrainFor(int bus, int address) {
  bool left = false;
  while (struct udev_device* device = udev_monitor_receive_device(monitor_)) {
    const char* action = udev_device_get_action(device);
    if (action != nullptr && std::strcmp(action, "remove") == 0 &&
        NumberProperty(device, "BUSNUM") == bus && NumberProperty(device, "DEVNUM") == address) {
      left = true;
    }
    udev_device_unref(device);
  }
  return left;
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
  // that had this address): dropped unread.
  (void)monitor->DrainFor(-1, -1);
  watch->monitor_ = std::move(monitor);
  UdevRemovalWatch* self = watch.get();
  watch->fd_watch_ = watcher->WatchReadable(watch->monitor_->fd(), [self] { self->OnReadable(); });
  return watch;
}

UdevRemovalWatch::~UdevRemovalWatch() {
  fd_watch_.reset();  // off the loop before the monitor may go
}

bool UdevRemovalWatch::Gone() {
  struct stat st {};
  if (::stat(node_.c_str(), &st) != 0) return true;
  return !sysfs_dir_.empty() && ::stat(sysfs_dir_.c_str(), &st) != 0;
}

void UdevRemovalWatch::OnReadable() {
  const bool left = monitor_->DrainFor(bus_, address_);
  if (!left || !removed_) return;
  // Called once; the callback may destroy this watch.
  std::function<void()> removed = std::move(removed_);
  removed_ = nullptr;
  fd_watch_.reset();
  removed();
}

}  // namespace linux_platform
