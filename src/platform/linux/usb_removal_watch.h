// Watching one USB device leave, through a udev monitor served by the main
// loop: no thread and no polling.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/fd_watch.h"
#include "platform/usb.h"

struct udev;
struct udev_monitor;

namespace linux_platform {

class UdevRemovalWatch : public platform::UsbRemovalWatch {
 public:
  // Watches the device at bus `bus`, address `address`, whose sysfs name is
  // `sysfs_name` ("1-4", "1-4.2"; empty when unknown). Without a monitor
  // (udev cannot be reached) the watch still answers Gone() from its device
  // node (/dev/bus/usb/BBB/DDD) and its sysfs entry.
  static std::unique_ptr<UdevRemovalWatch> Create(FdWatcher* watcher, int bus, int address,
                                                  const std::string& sysfs_name,
                                                  std::function<void()> removed);
  ~UdevRemovalWatch() override;
  UdevRemovalWatch(const UdevRemovalWatch&) = delete;
  UdevRemovalWatch& operator=(const UdevRemovalWatch&) = delete;

  bool Gone() override;
  // Whether removals are reported as they happen (a monitor is up).
  bool monitoring() const { return fd_watch_ != nullptr; }

 private:
  UdevRemovalWatch(int bus, int address, std::function<void()> removed);
  void OnReadable();

  int bus_;
  int address_;
  std::function<void()> removed_;
  std::string node_;       // the device node
  std::string sysfs_dir_;  // its sysfs entry; empty when unknown
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
  std::unique_ptr<FdWatch> fd_watch_;
};

}  // namespace linux_platform
