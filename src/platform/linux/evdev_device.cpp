#include "platform/linux/evdev_device.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <utility>

namespace linux_platform {

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
  return std::unique_ptr<EvdevDevice>(new EvdevDevice(path, std::move(fd), dev));
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
  return libevdev_get_event_value(dev_, EV_KEY, code) != 0;
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
    *event = {ev.type, ev.code, ev.value};
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
