// The setup fields of a USB control request as one value that compares
// whole and prints in hex, for the tests that check what was sent to the
// hub: any record with the usual field names (the platform's request
// block, the simulated hub's record, the fake Linux hub's record) has one.
#pragma once

#include <ios>
#include <ostream>
#include <vector>

namespace usb_test {

struct Setup {
  int type;     // bmRequestType
  int request;  // bRequest
  int value;    // wValue
  int index;    // wIndex
  int length;   // wLength
  bool operator==(const Setup&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Setup& s) {
  return os << std::hex << "{0x" << s.type << " 0x" << s.request << " 0x" << s.value << " 0x"
            << s.index << " 0x" << s.length << "}" << std::dec;
}

template <typename Request>
Setup SetupOf(const Request& r) {
  return {r.bmRequestType, r.bRequest, r.wValue, r.wIndex, r.wLength};
}

template <typename Requests>
std::vector<Setup> SetupsOf(const Requests& requests) {
  std::vector<Setup> setups;
  for (const auto& r : requests) setups.push_back(SetupOf(r));
  return setups;
}

// The exchange of a switch: the two reads (one byte each), then the write
// with the value in wIndex and no data stage.
inline constexpr Setup kReadF8{0xC0, 0xF8, 0x008F, 0, 1};
inline constexpr Setup kReadF5{0xC0, 0xF5, 0x0000, 0, 1};
inline constexpr Setup WriteF5(int value) {
  return {0x40, 0xF5, 0x0000, value, 0};
}

}  // namespace usb_test
