#include "platform/linux/usb_linux.h"

#include <libusb.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/usb_removal_watch.h"

namespace linux_platform {
namespace {

// A device found by the lookup. Holds a reference on the libusb device;
// while opened, also the handle. Teardown order: the handle is closed
// (Close) before the device reference is dropped (destructor).
class LinuxUsbDevice : public platform::UsbDevice {
 public:
  LinuxUsbDevice(libusb_device* device, unsigned timeout_ms, FdWatcher* watcher)
      : device_(libusb_ref_device(device)), timeout_ms_(timeout_ms), watcher_(watcher) {}
  ~LinuxUsbDevice() override {
    Close();
    libusb_unref_device(device_);
  }
  LinuxUsbDevice(const LinuxUsbDevice&) = delete;
  LinuxUsbDevice& operator=(const LinuxUsbDevice&) = delete;

  bool Open(std::string* fix) override {
    if (handle_ != nullptr) return true;
    const int rc = libusb_open(device_, &handle_);
    if (rc == LIBUSB_SUCCESS) return true;
    handle_ = nullptr;
    if (rc == LIBUSB_ERROR_ACCESS && fix != nullptr) *fix = UsbAccessFix();
    return false;
  }

  platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest* request) override {
    if (handle_ == nullptr || request == nullptr)
      return UsbReturnFromLibusb(LIBUSB_ERROR_NO_DEVICE);
    if (request->wLength > 0 && request->pData == nullptr) {
      return UsbReturnFromLibusb(LIBUSB_ERROR_INVALID_PARAM);
    }
    const int rc = libusb_control_transfer(
        handle_, request->bmRequestType, request->bRequest, request->wValue, request->wIndex,
        static_cast<unsigned char*>(request->pData), request->wLength, timeout_ms_);
    if (rc >= 0) request->wLenDone = static_cast<uint32_t>(rc);
    return UsbReturnFromLibusb(rc);
  }

  void Close() override {
    if (handle_ != nullptr) libusb_close(handle_);
    handle_ = nullptr;
  }

  std::optional<platform::UsbLocation> Location() override {
    uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device_, ports, sizeof ports);
    platform::UsbLocation location;
    location.bus = libusb_get_bus_number(device_);
    for (int i = 0; i < depth; ++i) {
      if (i > 0) location.port += '.';
      location.port += std::to_string(ports[i]);
    }
    if (location.port.empty()) return std::nullopt;  // a root hub has no port
    return location;
  }

  std::unique_ptr<platform::UsbRemovalWatch> WatchRemoval(std::function<void()> removed) override {
    if (watcher_ == nullptr) return nullptr;
    // The kernel names a device by bus and port path: "1-4", "1-4.2".
    std::string sysfs_name;
    if (std::optional<platform::UsbLocation> at = Location()) {
      sysfs_name = std::to_string(at->bus) + "-" + at->port;
    }
    return UdevRemovalWatch::Create(watcher_, libusb_get_bus_number(device_),
                                    libusb_get_device_address(device_), sysfs_name,
                                    std::move(removed));
  }

 private:
  libusb_device* device_;
  libusb_device_handle* handle_ = nullptr;
  unsigned timeout_ms_;
  FdWatcher* watcher_;
};

// The device list of one lookup, freed (with its references) on every path.
class DeviceList {
 public:
  explicit DeviceList(libusb_context* context) : count_(libusb_get_device_list(context, &list_)) {}
  ~DeviceList() {
    if (list_ != nullptr) libusb_free_device_list(list_, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  bool ok() const { return count_ >= 0 && list_ != nullptr; }
  ssize_t size() const { return count_ < 0 ? 0 : count_; }
  libusb_device* operator[](ssize_t i) const { return list_[i]; }

 private:
  libusb_device** list_ = nullptr;
  ssize_t count_;
};

}  // namespace

std::string UsbAccessFix() {
  return "Permission denied on the hub: install the udev rule 70-quembrastella-switch.rules "
         "(sudo cmake --install), then unplug and replug the hub.";
}

platform::UsbReturn UsbReturnFromLibusb(int code) {
  if (code >= 0) return platform::kUsbSuccess;
  // libusb's codes are negative and distinct; keep them, so a trace can
  // tell a stall (-9) from a vanished device (-4) or a time-out (-7).
  return static_cast<platform::UsbReturn>(code);
}

LinuxUsb::LinuxUsb(unsigned transfer_timeout_ms) : transfer_timeout_ms_(transfer_timeout_ms) {}

libusb_context* LinuxUsb::Context() {
  if (context_ == nullptr && libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
  return context_;
}

LinuxUsb::~LinuxUsb() {
  if (context_ != nullptr) libusb_exit(context_);
}

platform::UsbFindResult LinuxUsb::FindDevice(uint16_t vendor_id, uint16_t product_id) {
  platform::UsbFindResult result;
  if (Context() == nullptr) {
    result.step = platform::UsbFindStep::kMatchingFailed;
    result.failure_line = "libusb_init failed";
    return result;
  }
  DeviceList list(context_);
  if (!list.ok()) {
    result.step = platform::UsbFindStep::kMatchingFailed;
    result.failure_line = "libusb_get_device_list failed";
    return result;
  }
  for (ssize_t i = 0; i < list.size(); ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != vendor_id || descriptor.idProduct != product_id) continue;
    result.step = platform::UsbFindStep::kFound;
    result.device = std::make_unique<LinuxUsbDevice>(list[i], transfer_timeout_ms_, watcher_);
    return result;
  }
  result.step = platform::UsbFindStep::kNotFound;
  return result;
}

}  // namespace linux_platform
