// A keyboard or a mouse made through /dev/uinput, as the kernel sees a
// real one: its events go through the input core and evdev to every reader.
#pragma once

#include <cstdint>
#include <string>

namespace vm {

class UinputDevice {
 public:
  enum class Kind { kKeyboard, kMouse };

  // Creates the device; ok() is false (and error() says why) when uinput
  // refused it.
  explicit UinputDevice(Kind kind);
  // Destroying it unplugs the device.
  ~UinputDevice();
  UinputDevice(const UinputDevice&) = delete;
  UinputDevice& operator=(const UinputDevice&) = delete;

  bool ok() const { return fd_ >= 0 && !node_.empty(); }
  const std::string& error() const { return error_; }
  // The evdev node the kernel made for it (/dev/input/eventN).
  const std::string& node() const { return node_; }

  // One event followed by a SYN_REPORT; false when the write failed.
  bool Key(uint16_t code, bool down);
  // A press and a release, `hold_ms` apart.
  bool Tap(uint16_t code, int hold_ms = 30);
  // One relative motion report (dx, dy) and its SYN_REPORT.
  bool Move(int32_t dx, int32_t dy);

 private:
  bool Emit(uint16_t type, uint16_t code, int32_t value);

  int fd_ = -1;
  std::string node_;
  std::string error_;
};

// Sleeps for `ms` milliseconds of monotonic time.
void SleepMs(int ms);
// The monotonic clock in nanoseconds.
uint64_t MonotonicNs();

}  // namespace vm
