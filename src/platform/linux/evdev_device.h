// One input device under /dev/input, opened read-only (never grabbed) and
// read through libevdev, which keeps the device's live key state in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
};

class EvdevDevice {
 public:
  // Opens `path` (non-blocking, read-only). Null when it cannot be opened
  // or is no input device; `error` gets errno (0 when it opened but is not
  // an evdev device).
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
  bool KeyDown(uint16_t code) const;

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
};

}  // namespace linux_platform
