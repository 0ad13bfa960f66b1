// A umockdev test bed for the linux platform's tests: a sandboxed /sys and
// /dev in which fake devices appear and vanish. The test binary must run
// under umockdev's preload library (umockdev-wrapper).
#pragma once

#include <string>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace linux_test {

class Testbed {
 public:
  Testbed();
  ~Testbed();
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  // Whether the preload library is active; without it nothing here works.
  static bool InMockEnvironment();

  // Adds a device from umockdev's text description; returns its sysfs path.
  // Listeners hear of it by an "add" uevent, unless `announce` is false (as
  // on a system without udevd).
  std::string Add(const std::string& description, const std::string& syspath, bool announce = true);
  // Routes ioctl, read and write calls on `devnode` to `handler`.
  bool Attach(const std::string& devnode, UMockdevIoctlBase* handler);
  void Detach(const std::string& devnode);
  // Sends a uevent ("add", "remove") for the device.
  void Uevent(const std::string& syspath, const std::string& action);
  // Removes the device and its node, as an unplug does, announced by one
  // "remove" uevent for listeners such as libusb unless `announce` is false
  // (as on a system without udevd).
  void Remove(const std::string& syspath, bool announce);
  // The sandbox's root folder (its dev folder is root + "/dev").
  std::string Root() const;

 private:
  UMockdevTestbed* testbed_;
};

}  // namespace linux_test
