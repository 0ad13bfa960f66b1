// The hub as the tool knows it: its USB IDs and the two registers a switch
// reads, the second of which it writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

inline constexpr uint16_t kHubVendorId = 0x2109;
inline constexpr uint16_t kHubProductId = 0x8822;

// The port-select register (bit 0 picks the upper port) and the register
// read ahead of it, whose value the switch does not use.
inline constexpr uint8_t kPortSelectRequest = 0xF5;
inline constexpr uint16_t kPortSelectAddress = 0x0000;
inline constexpr uint8_t kStatusRequest = 0xF8;
inline constexpr uint16_t kStatusAddress = 0x008F;

// The hub's IDs as the tool names it to the user: "2109:8822".
inline std::string HubIdText() {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", kHubVendorId, kHubProductId);
  return text;
}
