// Watching one USB device leave, through a udev monitor served by the main
// loop: no thread and no polling.
//
// The monitor is made once and kept: making one costs a dozen system calls
// and a read of the mount table, which would otherwise sit between the
// switch's last read and its write. Between watches nobody listens to it,
// so it wakes nobody; the events it queued meanwhile are dropped when the
// next watch starts.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/fd_watch.h"
#include "platform/usb.h"

struct udev;
struct udev_monitor;

namespace linux_platform {

// A udev monitor of USB devices (udev's own events: a device is gone from
// the system by the time its removal comes).
class UdevMonitor {
 public:
  // Null when udev cannot be reached.
  static std::shared_ptr<UdevMonitor> Create();
  ~UdevMonitor();
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  int fd() const;
  // Reads every queued event; true when one of them is the removal of the
  // device at `bus`, `address`. The socket is non-blocking.
  bool DrainFor(int bus, int address);

 private:
  UdevMonitor(struct udev* udev, struct udev_monitor* monitor) : udev_(udev), monitor_(monitor) {}
  struct udev* udev_;
  struct udev_monitor* monitor_;
};

class UdevRemovalWatch : public platform::UsbRemovalWatch {
 public:
  // Watches the device at bus `bus`, address `address`, whose sysfs name is
  // `sysfs_name` ("1-4", "1-4.2"; empty when unknown). Without a monitor
  // (udev cannot be reached, or no loop serves it) the watch still answers
  // Gone() from its device node (/dev/bus/usb/BBB/DDD) and its sysfs entry.
  // One watch at a time per monitor: each reads all of its events.
  static std::unique_ptr<UdevRemovalWatch> Create(FdWatcher* watcher,
                                                  std::shared_ptr<UdevMonitor> monitor, int bus,
                                                  int address, const std::string& sysfs_name,
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
  std::string node_;                      // the device node
  std::string sysfs_dir_;                 // its sysfs entry; empty when unknown
  std::shared_ptr<UdevMonitor> monitor_;  // kept while the watch lives
  std::unique_ptr<FdWatch> fd_watch_;
};

}  // namespace linux_platform
