// The least a program can do to switch the hub with libusb: find the first
// 2109:8822, open it, read F8-008F and F5-0000, write F5-0000 with bit 0
// inverted, close it. The yardstick for the tool's whole switch.
#pragma once

struct libusb_context;

namespace bench {

// One switch on `context`; true when the final write was accepted.
bool MinimalSwitch(libusb_context* context);

}  // namespace bench
