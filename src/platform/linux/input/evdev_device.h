// One input device under /dev/input, opened read-only (never grabbed) and
// read through libevdev, which keeps the device's live key state in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

struct libevdev;

namespace linux_platform {

// What one read step gave.
enum class ReadStatus {
  kEvent,    // `event` holds the next event
  kSync,     // `event` holds a state change replayed after a SYN_DROPPED
  kDrained,  // nothing more to read now
  kGone,     // the device was removed (or failed for good): drop it
};

struct RawEvent {
  uint16_t type = 0;
  uint16_t code = 0;
  int32_t value = 0;
  // When the kernel saw it, on the tool's monotonic clock; false where the
  // device could not be set to that clock.
  bool timed = false;
  int64_t sec = 0;
  int64_t usec = 0;
};

class EvdevDevice {
 public:
  // Opens `path` (non-blocking, read-only), asks the kernel to stamp its
  // events with the tool's monotonic clock and to pass on only the gesture
  // keys and buttons. Null when it cannot be opened or is
  // no input device; `error` gets errno (0 when it opened but is not an
  // evdev device).
  static std::unique_ptr<EvdevDevice> Open(const std::string& path, int* error);

  // Teardown order: the libevdev object is freed before the descriptor it
  // reads is closed.
  ~EvdevDevice();
  EvdevDevice(const EvdevDevice&) = delete;
  EvdevDevice& operator=(const EvdevDevice&) = delete;

  const std::string& path() const { return path_; }
  int fd() const { return fd_.get(); }
  // Whether the device has the keys or buttons the tool listens to
  // (Control, Q, or the left, right or middle button).
  bool IsKeyboardOrPointer() const;
  // The live state of a key or button, as far as events have been read.
  // A key the kernel leaves out reads as up.
  bool KeyDown(uint16_t code) const;
  // Every key and button that is down, as far as events have been read.
  std::vector<uint16_t> HeldKeys() const;
  // Asks the kernel to pass on every key (true) or only the gesture keys
  // and buttons (false); motion, wheels, scan codes, LEDs and the like
  // never. False, and everything passed on as before, where the kernel
  // cannot filter (it has no EVIOCSMASK).
  bool FilterKeys(bool all_keys);
  // Whether the kernel filters this device's events.
  bool filtered() const { return filtered_; }
  // Whether its events carry their time on the tool's monotonic clock.
  bool timed() const { return timed_; }

  // Reads the next event. After a SYN_DROPPED the device's state is
  // fetched again from the kernel and the differences are returned as
  // kSync events until the device is in step again.
  ReadStatus Next(RawEvent* event);

 private:
  EvdevDevice(std::string path, posix::UniqueFd fd, libevdev* dev);

  std::string path_;
  posix::UniqueFd fd_;
  libevdev* dev_;
  bool syncing_ = false;
  bool filtered_ = false;
  bool all_keys_ = true;
  bool timed_ = false;
};

// Whether `code` is a key or button the gesture recognisers read.
bool IsGestureKey(uint16_t code);

}  // namespace linux_platform
