#include "platform/linux/usb/usb_place.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace linux_platform {

std::optional<platform::UsbLocation> LocationOf(libusb_device* device) {
  uint8_t ports[8];
  const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
  platform::UsbLocation location;
  location.bus = libusb_get_bus_number(device);
  for (int i = 0; i < depth; ++i) {
    if (i > 0) location.port += '.';
    location.port += std::to_string(ports[i]);
  }
  if (location.port.empty()) return std::nullopt;
  return location;
}

std::vector<int> PlaceKey(const platform::UsbCandidate& candidate) {
  std::vector<int> key;
  if (!candidate.location) return key;
  key.push_back(candidate.location->bus);
  const std::string& port = candidate.location->port;
  for (size_t at = 0; at < port.size();) {
    const size_t dot = port.find('.', at);
    key.push_back(std::atoi(port.substr(at, dot - at).c_str()));
    at = dot == std::string::npos ? port.size() : dot + 1;
  }
  return key;
}

std::string SerialOf(const std::optional<platform::UsbLocation>& location) {
  if (!location) return "";
  const std::string path =
      "/sys/bus/usb/devices/" + std::to_string(location->bus) + "-" + location->port + "/serial";
  std::FILE* file = std::fopen(path.c_str(), "re");
  if (file == nullptr) return "";
  char buffer[256];
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  std::string serial(buffer, n);
  while (!serial.empty() && (serial.back() == '\n' || serial.back() == ' ')) serial.pop_back();
  return serial;
}

}  // namespace linux_platform
