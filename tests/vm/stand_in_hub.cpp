// A stand-in for the hub on a real kernel: the FunctionFS side of a USB
// gadget that answers the hub's vendor control requests from a table of
// registers. Read requests (0xC0) return the register named by bRequest and
// wValue; write requests (0x40, no data stage) store wIndex into it.
//
//   vm-stand-in-hub FFS_DIR LOG_FILE CONTROL_DIR
//
// Every request is appended to LOG_FILE as one line with the monotonic time
// at which the setup packet reached this program:
//   <ns> read F8-008F 00
//   <ns> write F5-0000 01
//   <ns> stall F5-0000
// While CONTROL_DIR/stall exists, every request is answered with a stall.
// CONTROL_DIR/ready is created once the descriptors are written.
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <utility>

namespace {

struct __attribute__((packed)) Descriptors {
  usb_functionfs_descs_head_v2 header;
  uint32_t fs_count;
  uint32_t hs_count;
  usb_interface_descriptor fs_intf;
  usb_interface_descriptor hs_intf;
};

struct __attribute__((packed)) Strings {
  usb_functionfs_strings_head header;
  uint16_t lang;
  char name[sizeof("vendor registers")];
};

usb_interface_descriptor VendorInterface() {
  usb_interface_descriptor d{};
  d.bLength = USB_DT_INTERFACE_SIZE;
  d.bDescriptorType = USB_DT_INTERFACE;
  d.bNumEndpoints = 0;
  d.bInterfaceClass = USB_CLASS_VENDOR_SPEC;
  d.iInterface = 1;
  return d;
}

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

bool WriteAll(int fd, const void* data, size_t size) {
  return ::write(fd, data, size) == static_cast<ssize_t>(size);
}

class Hub {
 public:
  Hub(int ep0, FILE* log, std::string control)
      : ep0_(ep0), log_(log), control_(std::move(control)) {}

  void OnSetup(const usb_ctrlrequest& setup) {
    const uint64_t at = NowNs();
    const uint8_t request = setup.bRequest;
    const uint16_t address = le16toh(setup.wValue);
    const uint16_t length = le16toh(setup.wLength);
    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
    const bool vendor = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_VENDOR;
    if (!vendor || ::access((control_ + "/stall").c_str(), F_OK) == 0) {
      std::fprintf(log_, "%llu stall %02X-%04X\n", static_cast<unsigned long long>(at), request,
                   address);
      Stall(in);
      return;
    }
    const uint32_t key = (uint32_t{request} << 16) | address;
    if (in) {
      uint8_t reply[64] = {};
      reply[0] = registers_[key];
      const size_t n = length < sizeof(reply) ? length : sizeof(reply);
      (void)WriteAll(ep0_, reply, n);
      std::fprintf(log_, "%llu read %02X-%04X %02X\n", static_cast<unsigned long long>(at), request,
                   address, reply[0]);
    } else {
      registers_[key] = static_cast<uint8_t>(le16toh(setup.wIndex));
      // A zero-length read completes the status stage.
      (void)::read(ep0_, nullptr, 0);
      std::fprintf(log_, "%llu write %02X-%04X %02X\n", static_cast<unsigned long long>(at),
                   request, address, registers_[key]);
    }
    std::fflush(log_);
  }

 private:
  // FunctionFS stalls the request when the data stage is driven the wrong
  // way round.
  void Stall(bool in) {
    if (in) {
      (void)::read(ep0_, nullptr, 0);
    } else {
      (void)::write(ep0_, nullptr, 0);
    }
    std::fflush(log_);
  }

  int ep0_;
  FILE* log_;
  std::string control_;
  std::map<uint32_t, uint8_t> registers_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FFS_DIR LOG_FILE CONTROL_DIR\n", argv[0]);
    return 2;
  }
  const std::string ep0_path = std::string(argv[1]) + "/ep0";
  const int ep0 = ::open(ep0_path.c_str(), O_RDWR);
  if (ep0 < 0) {
    std::fprintf(stderr, "stand-in hub: cannot open %s: %s\n", ep0_path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  Descriptors descs{};
  descs.header.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  descs.header.length = htole32(sizeof(descs));
  // Every control request not handled by the gadget core reaches this
  // program, those addressed to the device included.
  descs.header.flags =
      htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC | FUNCTIONFS_ALL_CTRL_RECIP);
  descs.fs_count = htole32(1);
  descs.hs_count = htole32(1);
  descs.fs_intf = VendorInterface();
  descs.hs_intf = VendorInterface();
  Strings strings{};
  strings.header.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
  strings.header.length = htole32(sizeof(strings));
  strings.header.str_count = htole32(1);
  strings.header.lang_count = htole32(1);
  strings.lang = htole16(0x0409);
  std::memcpy(strings.name, "vendor registers", sizeof(strings.name));
  if (!WriteAll(ep0, &descs, sizeof(descs)) || !WriteAll(ep0, &strings, sizeof(strings))) {
    std::fprintf(stderr, "stand-in hub: descriptors refused: %s\n", std::strerror(errno));
    return 1;
  }
  FILE* log = std::fopen(argv[2], "a");
  if (log == nullptr) return 1;
  const std::string control = argv[3];
  const std::string ready = control + "/ready";
  const int ready_fd = ::open(ready.c_str(), O_CREAT | O_WRONLY, 0644);
  if (ready_fd >= 0) ::close(ready_fd);

  Hub hub(ep0, log, control);
  for (;;) {
    usb_functionfs_event events[4];
    const ssize_t n = ::read(ep0, events, sizeof(events));
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      std::fprintf(stderr, "stand-in hub: ep0 read failed: %s\n", std::strerror(errno));
      return 1;
    }
    for (size_t i = 0; i < static_cast<size_t>(n) / sizeof(events[0]); ++i) {
      if (events[i].type == FUNCTIONFS_SETUP) hub.OnSetup(events[i].u.setup);
    }
  }
}
