#include "uinput_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace vm {
namespace {

// The event node under /sys/devices/virtual/input/<sysname>, once the
// kernel has made it and devtmpfs shows it.
std::string FindEventNode(const std::string& sysname) {
  const std::string dir = "/sys/devices/virtual/input/" + sysname;
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (DIR* d = ::opendir(dir.c_str())) {
      std::string found;
      while (dirent* entry = ::readdir(d)) {
        if (std::strncmp(entry->d_name, "event", 5) == 0) found = entry->d_name;
      }
      ::closedir(d);
      const std::string node = "/dev/input/" + found;
      if (!found.empty() && ::access(node.c_str(), F_OK) == 0) return node;
    }
    SleepMs(10);
  }
  return "";
}

}  // namespace

void SleepMs(int ms) {
  timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
  }
}

uint64_t MonotonicNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

UinputDevice::UinputDevice(Kind kind) {
  fd_ = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::string("/dev/uinput: ") + std::strerror(errno);
    return;
  }
  uinput_setup setup{};
  setup.id.bustype = BUS_USB;
  setup.id.vendor = 0x1d6b;
  if (kind == Kind::kKeyboard) {
    ::ioctl(fd_, UI_SET_EVBIT, EV_KEY);
    ::ioctl(fd_, UI_SET_EVBIT, EV_MSC);
    ::ioctl(fd_, UI_SET_MSCBIT, MSC_SCAN);
    for (int code = KEY_ESC; code <= KEY_COMPOSE; ++code) ::ioctl(fd_, UI_SET_KEYBIT, code);
    setup.id.product = 1;
    std::strcpy(setup.name, "test keyboard");
  } else {
    ::ioctl(fd_, UI_SET_EVBIT, EV_KEY);
    for (int code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) ::ioctl(fd_, UI_SET_KEYBIT, code);
    ::ioctl(fd_, UI_SET_EVBIT, EV_REL);
    for (int code : {REL_X, REL_Y, REL_WHEEL}) ::ioctl(fd_, UI_SET_RELBIT, code);
    setup.id.product = 2;
    std::strcpy(setup.name, "test mouse");
  }
  if (::ioctl(fd_, UI_DEV_SETUP, &setup) < 0 || ::ioctl(fd_, UI_DEV_CREATE) < 0) {
    error_ = std::string("uinput create: ") + std::strerror(errno);
    return;
  }
  char sysname[64] = {};
  if (::ioctl(fd_, UI_GET_SYSNAME(sizeof(sysname)), sysname) < 0) {
    error_ = std::string("uinput sysname: ") + std::strerror(errno);
    return;
  }
  node_ = FindEventNode(sysname);
  if (node_.empty()) error_ = std::string("no event node for ") + sysname;
}

UinputDevice::~UinputDevice() {
  if (fd_ < 0) return;
  ::ioctl(fd_, UI_DEV_DESTROY);
  ::close(fd_);
}

bool UinputDevice::Emit(uint16_t type, uint16_t code, int32_t value) {
  input_event ev{};
  ev.type = type;
  ev.code = code;
  ev.value = value;
  return ::write(fd_, &ev, sizeof(ev)) == static_cast<ssize_t>(sizeof(ev));
}

bool UinputDevice::Key(uint16_t code, bool down) {
  // A keyboard reports the scan code ahead of the key, as real ones do.
  if (code < BTN_MISC && !Emit(EV_MSC, MSC_SCAN, code)) return false;
  return Emit(EV_KEY, code, down ? 1 : 0) && Emit(EV_SYN, SYN_REPORT, 0);
}

bool UinputDevice::Tap(uint16_t code, int hold_ms) {
  if (!Key(code, true)) return false;
  SleepMs(hold_ms);
  return Key(code, false);
}

bool UinputDevice::Move(int32_t dx, int32_t dy) {
  return Emit(EV_REL, REL_X, dx) && Emit(EV_REL, REL_Y, dy) && Emit(EV_SYN, SYN_REPORT, 0);
}

}  // namespace vm
