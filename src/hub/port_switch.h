// The debounced port switch: find the hub, invert its port-select bit.
#pragma once

#include <cstdint>

inline constexpr uint16_t kHubVendorId = 0x2109;
inline constexpr uint16_t kHubProductId = 0x8822;

// GetMilliseconds time of the last accepted switch request; 0 = none yet.
extern uint64_t gLastSwitchMs;

// Requests a switch on behalf of gesture `source_name` (or none); requests
// within 500 ms of the last accepted one are dropped.
void TriggerSwitch(const char* source_name);
// One exchange with the hub; true when the final register write succeeded.
bool Switch_XQ917_UpperPort();
