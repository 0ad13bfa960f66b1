// The console lines of a USB lookup or open that failed, for the platforms
// to give in UsbFindResult::line and UsbFailure::line. Every platform names
// a device that is not on the bus alike; the reference system names each
// other failure after the call that failed, and the simulated platform,
// which stands in for it, names them the same.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

inline std::string UsbNotFoundLine(uint16_t vendor_id, uint16_t product_id) {
  char line[64];
  std::snprintf(line, sizeof line, "USB device not found (VID=0x%04X PID=0x%04X)", vendor_id,
                product_id);
  return line;
}

inline constexpr const char* kUsbMatchingFailedLine = "IOServiceMatching failed";
inline constexpr const char* kUsbSearchFailedLine = "IOServiceGetMatchingServices failed";
inline constexpr const char* kUsbPlugInFailedLine = "IOCreatePlugInInterfaceForService failed";
inline constexpr const char* kUsbQueryFailedLine = "QueryInterface (DeviceInterface) failed";
inline constexpr const char* kUsbOpenFailedLine = "USBDeviceOpen failed";

}  // namespace platform
