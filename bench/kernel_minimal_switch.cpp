// The yardstick for the latency on the real kernel: the least a program can
// do to switch on a key. It blocks in read(2) on one keyboard node (which
// it grabs) and, at every second Control release, switches the hub with
// libusb (find, open, read, read, write, close), as the tool does on a
// Control double-tap.
//
//   vm-minimal-switch EVENT_NODE
#include <fcntl.h>
#include <libusb.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "minimal_switch.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s EVENT_NODE\n", argv[0]);
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  // Its own keyboard, grabbed: the tool reads every keyboard, and must not
  // act on these taps while the two are timed in turn.
  if (::ioctl(fd, EVIOCGRAB, 1) != 0) {
    std::perror("EVIOCGRAB");
    return 1;
  }
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) return 1;
  std::printf("Running...\n");
  std::fflush(stdout);
  int releases = 0;
  input_event ev{};
  while (::read(fd, &ev, sizeof(ev)) == static_cast<ssize_t>(sizeof(ev))) {
    if (ev.type != EV_KEY || ev.value != 0) continue;
    if (ev.code != KEY_LEFTCTRL && ev.code != KEY_RIGHTCTRL) continue;
    if (++releases % 2 == 0 && !bench::MinimalSwitch(context)) {
      std::printf("switch failed\n");
      std::fflush(stdout);
    }
  }
  libusb_exit(context);
  ::close(fd);
  return 0;
}
