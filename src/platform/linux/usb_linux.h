// The hub through libusb: one context for the process, a fresh lookup for
// every switch, control transfers on endpoint 0.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/fd_watch.h"
#include "platform/usb.h"

struct libusb_context;

namespace linux_platform {

// How long one control transfer may take before it counts as failed. A hub
// that never answers must not freeze the tool's only thread.
inline constexpr unsigned kDefaultTransferTimeoutMs = 1000;

// The line a user reads when opening the hub was refused for want of
// permission.
std::string UsbAccessFix();

// Maps a libusb error code (negative) to the tool's non-zero return code;
// success (zero or a byte count) gives kUsbSuccess.
platform::UsbReturn UsbReturnFromLibusb(int code);

// The USB service. Owns the process's one libusb context, made at the first
// lookup and kept from then on: libusb starts a thread of its own when a
// context is made, which an idle tool that never switches does not need.
// Destroy the service after every device it handed out (each device keeps a
// reference into the context).
class LinuxUsb : public platform::Usb {
 public:
  explicit LinuxUsb(unsigned transfer_timeout_ms = kDefaultTransferTimeoutMs);
  ~LinuxUsb() override;
  LinuxUsb(const LinuxUsb&) = delete;
  LinuxUsb& operator=(const LinuxUsb&) = delete;

  // Makes the context if there is none yet. False when libusb could not be
  // initialised; every lookup then fails at its first step (and the next
  // one tries again).
  bool ok() { return Context() != nullptr; }

  // The loop that serves removal watches (not owned; it outlives every
  // device). Without one, devices offer no watch.
  void SetWatcher(FdWatcher* watcher) { watcher_ = watcher; }

  platform::UsbFindResult FindDevice(uint16_t vendor_id, uint16_t product_id) override;

 private:
  libusb_context* Context();

  libusb_context* context_ = nullptr;
  unsigned transfer_timeout_ms_;
  FdWatcher* watcher_ = nullptr;
};

}  // namespace linux_platform
