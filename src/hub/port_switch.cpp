#include "hub/port_switch.h"

#include <memory>
#include <string>
#include <utility>

#include "hub/hub_registers.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

uint64_t gLastSwitchMs = 0;

namespace {

constexpr uint64_t kSwitchDebounceMs = 500;

// The port-select register (bit 0 picks the upper port) and the register
// read ahead of it.
constexpr uint8_t kPortSelectRequest = 0xF5;
constexpr uint16_t kPortSelectAddress = 0x0000;
constexpr uint8_t kStatusRequest = 0xF8;
constexpr uint16_t kStatusAddress = 0x008F;

// A device interface that was opened. Teardown order: the device is closed
// first, then the interface is released (by destroying it).
class OpenedDevice {
 public:
  explicit OpenedDevice(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}
  OpenedDevice(const OpenedDevice&) = delete;
  OpenedDevice& operator=(const OpenedDevice&) = delete;
  ~OpenedDevice() {
    device_->Close();
    device_.reset();
  }
  platform::UsbDevice* get() const { return device_.get(); }

 private:
  std::unique_ptr<platform::UsbDevice> device_;
};

// Finds the hub and opens it; null after writing the failure line of the
// step that failed. Every intermediate object is released by the lookup.
std::unique_ptr<platform::UsbDevice> FindAndOpenHub() {
  platform::UsbFindResult found = platform::Sys().usb->FindDevice(kHubVendorId, kHubProductId);
  if (found.step != platform::UsbFindStep::kFound && !found.failure_line.empty()) {
    // This platform has no counterpart of the failed step: its own words.
    showMsg("%s\n", found.failure_line.c_str());
    return nullptr;
  }
  switch (found.step) {
    case platform::UsbFindStep::kFound:
      break;
    case platform::UsbFindStep::kMatchingFailed:
      showMsg("IOServiceMatching failed\n");
      return nullptr;
    case platform::UsbFindStep::kNotFound:
      showMsg("USB device not found (VID=0x%04X PID=0x%04X)\n", kHubVendorId, kHubProductId);
      return nullptr;
    case platform::UsbFindStep::kPlugInFailed:
      showMsg("IOCreatePlugInInterfaceForService failed\n");
      return nullptr;
    case platform::UsbFindStep::kQueryFailed:
      showMsg("QueryInterface (DeviceInterface) failed\n");
      return nullptr;
  }
  if (!found.device) {
    // Found without an interface: the query yielded nothing after all.
    showMsg("QueryInterface (DeviceInterface) failed\n");
    return nullptr;
  }
  std::string fix;
  if (!found.device->Open(&fix)) {
    showMsg("USBDeviceOpen failed\n");
    if (!fix.empty()) {
      showMsg(fix.back() == '\n' ? "%s" : "%s\n", fix.c_str());
    }
    return nullptr;  // the unopened interface is released here, not closed
  }
  return std::move(found.device);
}

}  // namespace

void TriggerSwitch(const char* source_name) {
  const uint64_t now = GetMilliseconds();
  // The window runs from the last accepted request; a dropped one does not
  // move it. Exactly 500 ms later a request is accepted again.
  if (gLastSwitchMs != 0 && now - gLastSwitchMs < kSwitchDebounceMs) return;
  gLastSwitchMs = now;
  if (source_name != nullptr) {
    showMsg("Switch (%s)\n", source_name);
  } else {
    showMsg("Switch\n");
  }
  (void)Switch_XQ917_UpperPort();
}

bool Switch_XQ917_UpperPort() {
  std::unique_ptr<platform::UsbDevice> opened = FindAndOpenHub();
  if (!opened) return false;
  const OpenedDevice hub(std::move(opened));

  // Both reads land in the same byte: when the port-select read fails, the
  // write is derived from what the first read left (0 when it failed too).
  uint8_t value = 0;
  (void)Hub_Read_Register(hub.get(), kStatusRequest, kStatusAddress, &value);
  (void)Hub_Read_Register(hub.get(), kPortSelectRequest, kPortSelectAddress, &value);
  value = static_cast<uint8_t>((value & 1u) ^ 1u);
  return Hub_Write_Register(hub.get(), kPortSelectRequest, kPortSelectAddress, value);
}
