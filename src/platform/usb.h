// Access to a USB device by vendor and product ID, for vendor control
// requests on its default control endpoint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The hub's switch lock while this process holds it: read, invert and
// write happen under it, and it is kept for the debounce after a write, so
// that a switch asked for meanwhile by any process is dropped instead of
// putting the port back. Destroying it gives the lock back; the system also
// drops it when the process ends.
class UsbSwitchLock {
 public:
  virtual ~UsbSwitchLock() = default;
};

struct UsbSwitchLockAttempt {
  // Another process holds the lock: a switch of this hub is under way or
  // came within the debounce.
  bool busy = false;
  // Set when taken. Null with `busy` false where the platform has no lock
  // to take (the switch then goes on unlocked).
  std::unique_ptr<UsbSwitchLock> lock;
};

// A control request, field by field as the reference platform's USB device
// request record has it.
struct UsbDeviceRequest {
  uint8_t bmRequestType = 0;
  uint8_t bRequest = 0;
  uint16_t wValue = 0;
  uint16_t wIndex = 0;
  uint16_t wLength = 0;
  void* pData = nullptr;
  uint32_t wLenDone = 0;  // filled by the platform
};

// The return code of a device operation; 0 is success.
using UsbReturn = int32_t;
inline constexpr UsbReturn kUsbSuccess = 0;

// Where a device sits on the bus, for platforms that number buses and ports.
struct UsbLocation {
  int bus = 0;
  std::string port;  // the port path from the root hub, "4" or "1.4"
};

// A watch for one device leaving this computer, armed before the request
// that should make it leave, so that no removal between the two is missed.
// Destroying it stops the watch; it may be destroyed from inside its own
// callback.
class UsbRemovalWatch {
 public:
  virtual ~UsbRemovalWatch() = default;
  // A last look at the bus, asked once when the wait is over: true when the
  // device is gone although no removal was reported.
  virtual bool Gone() = 0;
};

// A device with the watched IDs that left this computer or arrived on it.
struct UsbPresenceChange {
  bool arrived = false;                 // false: it left
  std::optional<UsbLocation> location;  // where the platform numbers ports
};

// A watch for devices with given IDs coming and going, whoever moved them.
// Destroying it stops the watch; it may be destroyed from inside its own
// callback.
class UsbPresenceWatch {
 public:
  virtual ~UsbPresenceWatch() = default;
};

// A refused open, in the platform's own words.
struct UsbFailure {
  std::string line;  // the console line, without its newline
  // One line telling the user how to mend it (a permission, a rule, a
  // group); empty when the platform knows none.
  std::string fix;
};

// A device interface on a found device. Destroying it releases it; close it
// first when it was opened.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  // Opens the device for exclusive use. On failure `failure`, when given,
  // receives the platform's words for it.
  virtual bool Open(UsbFailure* failure) = 0;
  // Sends one control request synchronously on the default endpoint.
  virtual UsbReturn DeviceRequest(UsbDeviceRequest* request) = 0;
  // Closes a device that Open opened.
  virtual void Close() = 0;
  // Takes the hub's switch lock without waiting. Every process that
  // switches this hub, whoever runs it, takes the same lock.
  virtual UsbSwitchLockAttempt LockForSwitch() { return {}; }
  // Bus and port of the device; none where the platform does not number
  // them.
  virtual std::optional<UsbLocation> Location() { return std::nullopt; }
  // Starts watching for this device's removal: `removed` runs once, on the
  // main thread from the run loop, when it has left. Null where the
  // platform cannot watch (the switch is then not checked).
  virtual std::unique_ptr<UsbRemovalWatch> WatchRemoval(std::function<void()> removed) {
    (void)removed;
    return nullptr;
  }
};

// How far a lookup got, in terms every platform shares. What each failure
// is called is the platform's own business (UsbFindResult::line).
enum class UsbFindOutcome {
  kFound,        // a device interface was obtained
  kNotAttached,  // the bus was searched: no device with these IDs is on it
  kNoSearch,     // the bus could not be searched
  kNoInterface,  // the device is there, but no interface could be made for it
  kNotChosen,    // devices with these IDs are there; the chooser took none
};

// One attached device with the looked-for IDs, as a lookup tells it apart
// from the others before it makes an interface for any.
struct UsbCandidate {
  std::optional<UsbLocation> location;  // where the platform numbers ports
  std::optional<uint32_t> location_id;  // the registry's location ID (macOS)
  std::string serial;                   // its serial number; empty when none
};

// Picks the device to use from those found (at least one, in the order the
// bus lists them): an index into `candidates`, or none to use none.
using UsbChooser =
    std::function<std::optional<size_t>(const std::vector<UsbCandidate>& candidates)>;

// The first device found: for callers that know there is at most one.
inline std::optional<size_t> FirstUsbDevice(const std::vector<UsbCandidate>& candidates) {
  (void)candidates;
  return 0;
}

struct UsbFindResult {
  UsbFindOutcome outcome = UsbFindOutcome::kNotAttached;
  std::unique_ptr<UsbDevice> device;  // set exactly when kFound
  // For every other outcome: the console line, in the platform's own words
  // and without its newline (empty for kNotChosen: the chooser has words).
  std::string line;
  // Every device with the IDs the search found, in the bus's order, and the
  // one the chooser took (none when it took none or was not asked).
  std::vector<UsbCandidate> candidates;
  std::optional<size_t> chosen;
};

class Usb {
 public:
  virtual ~Usb() = default;
  // Finds every attached device with these IDs, lets `choose` pick one
  // (asked only when there is at least one) and makes a device interface for
  // that one, releasing every intermediate object on every path.
  virtual UsbFindResult FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                         const UsbChooser& choose) = 0;
  // The same, taking the first device found.
  UsbFindResult FindDevice(uint16_t vendor_id, uint16_t product_id) {
    return FindChosenDevice(vendor_id, product_id, &FirstUsbDevice);
  }
  // Makes, ahead of the first switch, what the platform keeps from one
  // switch to the next, so that the first switch is as quick as the rest.
  // Nothing is looked up or opened; a failure here is met again, and told,
  // by the switch.
  virtual void PrepareForSwitch() {}
  // Whether the system rule that gives this user the hub is installed,
  // asked without opening anything: true or false with `detail` (where it
  // is, or where it was looked for) and, when false, `fix`. None where the
  // platform has no such rule.
  virtual std::optional<bool> CheckAccessRule(std::string* detail, std::string* fix) {
    (void)detail;
    (void)fix;
    return std::nullopt;
  }
  // Starts watching for devices with these IDs leaving or arriving:
  // `changed` runs on the main thread, from the run loop, once per change
  // from now on (a device attached already is no arrival). Costs nothing
  // while the bus is quiet. Null where the platform cannot watch.
  virtual std::unique_ptr<UsbPresenceWatch> WatchPresence(
      uint16_t vendor_id, uint16_t product_id,
      std::function<void(const UsbPresenceChange&)> changed) {
    (void)vendor_id;
    (void)product_id;
    (void)changed;
    return nullptr;
  }
};

}  // namespace platform
