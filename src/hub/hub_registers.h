// The hub's vendor register protocol: one byte read or written per request.
#pragma once

#include <cstdint>

#include "platform/usb.h"

// Reads register RR-AAAA into *value; false (and *value untouched) on failure.
bool Hub_Read_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                       uint8_t* value);
// Writes `value` to register RR-AAAA (it travels in wIndex); true when accepted.
bool Hub_Write_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                        uint8_t value);
