#include "platform/linux/input/evdev_device.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <utility>

#include "platform/posix/posix_clock.h"

namespace linux_platform {
namespace {

// What the kernel passes on while no rule needs every key. Both Control
// keys, whichever one the double-tap is bound to (control_key): the other
// one breaks a pair and spoils a tap, so it must be seen too.
constexpr uint16_t kGestureKeys[] = {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_Q,
                                     BTN_LEFT,     BTN_RIGHT,     BTN_MIDDLE};

// A kernel bitmap of `bits` bits, in the longs the input ioctls take.
template <size_t bits>
struct Bitmap {
  static constexpr size_t kLongBits = sizeof(unsigned long) * CHAR_BIT;
  unsigned long words[(bits + kLongBits - 1) / kLongBits] = {};
  void Set(unsigned bit) { words[bit / kLongBits] |= 1ul << (bit % kLongBits); }
  void SetAll() {
    for (unsigned long& w : words) w = ~0ul;
  }
};

template <size_t bits>
bool SetMask(int fd, unsigned type, Bitmap<bits>& mask) {
  input_mask request{};
  request.type = type;
  request.codes_size = sizeof(mask.words);
  request.codes_ptr = reinterpret_cast<uintptr_t>(mask.words);
  return ::ioctl(fd, EVIOCSMASK, &request) == 0;
}

}  // namespace

bool IsGestureKey(uint16_t code) {
  for (uint16_t key : kGestureKeys) {
    if (key == code) return true;
  }
  return false;
}

std::unique_ptr<EvdevDevice> EvdevDevice::Open(const std::string& path, int* error) {
  *error = 0;
  posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    *error = errno;
    return nullptr;
  }
  libevdev* dev = nullptr;
  const int rc = libevdev_new_from_fd(fd.get(), &dev);
  if (rc < 0) {
    // A permission problem shows up at open; anything here means the node
    // is no evdev device (or vanished meanwhile).
    return nullptr;
  }
  std::unique_ptr<EvdevDevice> device(new EvdevDevice(path, std::move(fd), dev));
  // The kernel stamps events with the real-time clock unless told
  // otherwise; on the tool's own clock their times compare with its
  // readings, so that events read late are timed by when they happened. A
  // kernel that refuses leaves this device's events to be timed when they
  // are handled, as if they had come at once: nothing the user can change.
  device->timed_ = libevdev_set_clock_id(dev, posix::MonotonicClockId()) == 0;
  (void)device->FilterKeys(false);
  return device;
}

EvdevDevice::EvdevDevice(std::string path, posix::UniqueFd fd, libevdev* dev)
    : path_(std::move(path)), fd_(std::move(fd)), dev_(dev) {}

EvdevDevice::~EvdevDevice() {
  libevdev_free(dev_);
  fd_.Reset();
}

bool EvdevDevice::IsKeyboardOrPointer() const {
  if (!libevdev_has_event_type(dev_, EV_KEY)) return false;
  for (unsigned code : {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_Q, BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
    if (libevdev_has_event_code(dev_, EV_KEY, code)) return true;
  }
  return false;
}

bool EvdevDevice::KeyDown(uint16_t code) const {
  // libevdev's copy of a key the kernel no longer passes on is stale.
  if (filtered_ && !all_keys_ && !IsGestureKey(code)) return false;
  return libevdev_get_event_value(dev_, EV_KEY, code) != 0;
}

bool EvdevDevice::FilterKeys(bool all_keys) {
  // The keys first: should the kernel refuse the second call, the device
  // is left passing on every type, as before.
  Bitmap<KEY_CNT> keys;
  if (all_keys) {
    keys.SetAll();
  } else {
    for (uint16_t key : kGestureKeys) keys.Set(key);
  }
  // EV_SYN is never filtered; a report left empty by the mask wakes no
  // reader.
  Bitmap<EV_CNT> types;
  types.Set(EV_KEY);
  if (!SetMask(fd_.get(), EV_KEY, keys) || !SetMask(fd_.get(), 0, types)) return false;
  filtered_ = true;
  all_keys_ = all_keys;
  return true;
}

std::vector<uint16_t> EvdevDevice::HeldKeys() const {
  std::vector<uint16_t> held;
  for (unsigned code = 0; code <= KEY_MAX; ++code) {
    // KeyDown: a key the kernel no longer passes on is not taken as held.
    if (KeyDown(static_cast<uint16_t>(code))) held.push_back(static_cast<uint16_t>(code));
  }
  return held;
}

ReadStatus EvdevDevice::Next(RawEvent* event) {
  input_event ev{};
  for (;;) {
    const unsigned flags = syncing_ ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL;
    const int rc = libevdev_next_event(dev_, flags, &ev);
    if (rc == -EAGAIN) {
      if (syncing_) {
        // The replay is over; normal events follow.
        syncing_ = false;
        continue;
      }
      return ReadStatus::kDrained;
    }
    if (rc == -EINTR) continue;
    if (rc < 0) return ReadStatus::kGone;
    *event = {ev.type,
              ev.code,
              ev.value,
              timed_,
              static_cast<int64_t>(ev.input_event_sec),
              static_cast<int64_t>(ev.input_event_usec)};
    if (rc == LIBEVDEV_READ_STATUS_SYNC) {
      if (!syncing_) {
        // The SYN_DROPPED itself: from here libevdev replays the changes.
        syncing_ = true;
        continue;
      }
      return ReadStatus::kSync;
    }
    return ReadStatus::kEvent;
  }
}

}  // namespace linux_platform
