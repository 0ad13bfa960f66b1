#include "minimal_switch.h"

#include <libusb.h>

namespace bench {

bool MinimalSwitch(libusb_context* context) {
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0) return false;
  libusb_device_handle* handle = nullptr;
  for (ssize_t i = 0; i < count && handle == nullptr; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
    if (descriptor.idVendor != 0x2109 || descriptor.idProduct != 0x8822) continue;
    if (libusb_open(list[i], &handle) != 0) handle = nullptr;
    break;
  }
  libusb_free_device_list(list, 1);
  if (handle == nullptr) return false;
  unsigned char data[2] = {0, 0};
  libusb_control_transfer(handle, 0xC0, 0xF8, 0x008F, 0, data, 1, 1000);
  libusb_control_transfer(handle, 0xC0, 0xF5, 0x0000, 0, data, 1, 1000);
  const uint16_t value = static_cast<uint16_t>((data[0] & 1u) ^ 1u);
  const int rc = libusb_control_transfer(handle, 0x40, 0xF5, 0x0000, value, data, 0, 1000);
  libusb_close(handle);
  return rc >= 0;
}

}  // namespace bench
