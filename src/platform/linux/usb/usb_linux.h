// The hub through libusb: one context kept for the process, a fresh lookup
// for every switch, control transfers on endpoint 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/loop/fd_watch.h"
#include "platform/linux/usb/usb_access.h"
#include "platform/usb.h"

namespace linux_platform {

// How long one control transfer may take before it counts as failed. A hub
// that never answers must not freeze the tool's only thread.
inline constexpr unsigned kDefaultTransferTimeoutMs = 1000;

// Maps a libusb error code (negative) to the tool's non-zero return code;
// success (zero or a byte count) gives kUsbSuccess.
platform::UsbReturn UsbReturnFromLibusb(int code);

class UsbContext;
class UdevMonitor;

// The line a user reads when the hub was in the kept view of the bus but is
// on the bus no more.
std::string UsbGoneFix();

// The USB service. Keeps one libusb context and one udev monitor for the
// switch's removal check, made by PrepareForSwitch once the tool runs (or
// at the first switch): making them costs the first switch tenfold what a
// switch otherwise takes. libusb's own thread, started with the context,
// sleeps until a device is plugged or unplugged.
//
// The kept context's view of the bus follows hot-plug events, which only
// come while udevd runs; in a container or a minimal system it never learns
// that the hub left and came back (as it does on every switch). So a lookup
// that does not find the hub, or an open that fails because the device is
// gone, looks again on a context made for it, which reads the bus as it is
// now; that context is kept from then on.
//
// Destroy the service after every device it handed out (each device asks it
// for that second look).
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
  // Where the udev rule and logind's records are looked for (the tests give
  // their own).
  void SetAccessPlaces(UsbAccessPlaces places) { access_places_ = std::move(places); }

  // The fix for a refused open of the device node `node`: the cause on this
  // system, named (usb_access.h).
  std::string AccessFix(const std::string& node) const;
  // The udev rule: installed, and where.
  std::optional<bool> CheckAccessRule(std::string* detail, std::string* fix) override;

  // Every device with the IDs, each with its bus, port path and (from
  // sysfs, without opening it) serial number.
  platform::UsbFindResult FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                           const platform::UsbChooser& choose) override;
  void PrepareForSwitch() override;
  // Served by the removal check's udev monitor and the watcher's loop;
  // null without a watcher or udev.
  std::unique_ptr<platform::UsbPresenceWatch> WatchPresence(
      uint16_t vendor_id, uint16_t product_id,
      std::function<void(const platform::UsbPresenceChange&)> changed) override;

  // How many contexts were made so far (the first one and every fresh look).
  int contexts_made() const { return contexts_made_; }

 private:
  friend class LinuxUsbDevice;

  std::shared_ptr<UsbContext> Context();
  // Replaces the kept context with one made now; null (and the kept one
  // left in place) when libusb could not be initialised.
  std::shared_ptr<UsbContext> FreshContext();
  // The kept monitor, made now if there is none yet; null when udev cannot
  // be reached (tried again next time).
  std::shared_ptr<UdevMonitor> RemovalMonitor();
  platform::UsbFindResult Lookup(const std::shared_ptr<UsbContext>& context, bool fresh,
                                 uint16_t vendor_id, uint16_t product_id,
                                 const platform::UsbChooser& choose);

  std::shared_ptr<UsbContext> context_;
  std::shared_ptr<UdevMonitor> removal_monitor_;
  unsigned transfer_timeout_ms_;
  FdWatcher* watcher_ = nullptr;
  UsbAccessPlaces access_places_ = UsbAccessPlaces::ForThisSystem();
  int contexts_made_ = 0;
};

}  // namespace linux_platform
