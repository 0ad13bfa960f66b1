#include "hub/hub_registers.h"

#include <cstdio>
#include <string>

#include "output/show_msg.h"

namespace {

// bmRequestType: vendor request to the device, device-to-host for a read,
// host-to-device for a write.
constexpr uint8_t kVendorDeviceToHost = 0xC0;
constexpr uint8_t kVendorHostToDevice = 0x40;

void TraceFailure(RegisterTransfer transfer, uint8_t request, uint16_t address) {
  showMsg("%s\n", RegisterFailLine(transfer, request, address).c_str());
}

}  // namespace

std::string RegisterFailLine(RegisterTransfer transfer, uint8_t request, uint16_t address) {
  char line[32];
  std::snprintf(
      line, sizeof line,
      transfer == RegisterTransfer::kRead ? "Read-Reg %02X-%04X Fail" : "Write-Reg %02X-%04X Fail",
      request, address);
  return line;
}

bool Hub_Read_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                       uint8_t* value) {
  const bool trace = gDbgMsg;
  if (device == nullptr || value == nullptr) {
    TraceFailure(RegisterTransfer::kRead, request, address);
    return false;
  }
  // Two bytes cleared: a read that completes without a data byte yields 0.
  uint8_t data[2] = {0, 0};
  platform::UsbDeviceRequest block;
  block.bmRequestType = kVendorDeviceToHost;
  block.bRequest = request;
  block.wValue = address;
  block.wIndex = 0;
  block.wLength = 1;
  block.pData = data;
  // Success is the return code alone, never the byte count.
  if (device->DeviceRequest(&block) != platform::kUsbSuccess) {
    TraceFailure(RegisterTransfer::kRead, request, address);
    return false;
  }
  *value = data[0];
  if (trace) showMsg("    Read-Reg %02X-%04X = 0x%02X \n", request, address, data[0]);
  return true;
}

bool Hub_Write_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                        uint8_t value) {
  const bool trace = gDbgMsg;
  if (device == nullptr) {
    TraceFailure(RegisterTransfer::kWrite, request, address);
    return false;
  }
  // No data stage: the value travels in wIndex.
  uint8_t data[2] = {0, 0};
  platform::UsbDeviceRequest block;
  block.bmRequestType = kVendorHostToDevice;
  block.bRequest = request;
  block.wValue = address;
  block.wIndex = value;
  block.wLength = 0;
  block.pData = data;
  if (device->DeviceRequest(&block) != platform::kUsbSuccess) {
    TraceFailure(RegisterTransfer::kWrite, request, address);
    return false;
  }
  if (trace) showMsg("    Write-Reg %02X-%04X OK\n", request, address);
  return true;
}
