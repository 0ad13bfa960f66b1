// Watching one USB device leave, through a udev monitor served by the main
// loop: no thread and no polling.
//
// The monitor is made once and kept: making one costs a dozen system calls
// and a read of the mount table, which would otherwise sit between the
// switch's last read and its write. Between watches nobody listens to it
// (unless the hub's presence is watched, see usb_presence_watch), so it
// wakes nobody; the events it queued meanwhile are dropped when the next
// watch starts.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/linux/loop/fd_watch.h"
#include "platform/usb.h"

struct udev;
struct udev_monitor;

namespace linux_platform {

// One usb_device event as udev passes it on.
struct UdevUsbEvent {
  std::string action;   // "add", "remove" ("bind", "change", ... are passed on too)
  int bus = -1;         // BUSNUM; -1 when absent
  int address = -1;     // DEVNUM
  std::string sysname;  // "1-4.2": bus and port path
  int vendor_id = -1;   // from PRODUCT (vid/pid/bcd); -1 when absent
  int product_id = -1;
};

// A udev monitor of USB devices (udev's own events: a device is gone from
// the system by the time its removal comes; the kernel's where udevd does
// not run). Listeners share it: while one
// is there, the main loop serves the monitor and hands each event to every
// listener; while none is, nobody reads it and it wakes nobody.
class UdevMonitor {
 public:
  using Listener = std::function<void(const UdevUsbEvent&)>;

  // Null when udev cannot be reached.
  static std::shared_ptr<UdevMonitor> Create();
  ~UdevMonitor();
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  int fd() const;
  // Adds a listener, served by `watcher`'s loop; 0 when it cannot be
  // served. Listeners are called in the order they were added.
  uint64_t Listen(FdWatcher* watcher, Listener listener);
  // Removes a listener; it may be removed from inside a call.
  void Unlisten(uint64_t id);
  // Reads every queued event and hands each to the listeners there are now
  // (none: the events are dropped). The socket is non-blocking.
  void Dispatch();

 private:
  UdevMonitor(struct udev* udev, struct udev_monitor* monitor) : udev_(udev), monitor_(monitor) {}
  struct udev* udev_;
  struct udev_monitor* monitor_;
  std::map<uint64_t, Listener> listeners_;
  uint64_t next_id_ = 1;
  std::unique_ptr<FdWatch> fd_watch_;
};

class UdevRemovalWatch : public platform::UsbRemovalWatch {
 public:
  // Watches the device at bus `bus`, address `address`, whose sysfs name is
  // `sysfs_name` ("1-4", "1-4.2"; empty when unknown). Without a monitor
  // (udev cannot be reached, or no loop serves it) the watch still answers
  // Gone() from its device node (/dev/bus/usb/BBB/DDD) and its sysfs entry.
  static std::unique_ptr<UdevRemovalWatch> Create(FdWatcher* watcher,
                                                  std::shared_ptr<UdevMonitor> monitor, int bus,
                                                  int address, const std::string& sysfs_name,
                                                  std::function<void()> removed);
  ~UdevRemovalWatch() override;
  UdevRemovalWatch(const UdevRemovalWatch&) = delete;
  UdevRemovalWatch& operator=(const UdevRemovalWatch&) = delete;

  bool Gone() override;
  // Whether removals are reported as they happen (a monitor is up).
  bool monitoring() const { return listener_ != 0; }

 private:
  UdevRemovalWatch(int bus, int address, std::function<void()> removed);
  void OnEvent(const UdevUsbEvent& event);

  int bus_;
  int address_;
  std::function<void()> removed_;
  std::string node_;                      // the device node
  std::string sysfs_dir_;                 // its sysfs entry; empty when unknown
  std::shared_ptr<UdevMonitor> monitor_;  // kept while the watch lives
  uint64_t listener_ = 0;
};

}  // namespace linux_platform
