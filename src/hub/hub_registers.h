// The hub's vendor register protocol: one byte read or written per request.
#pragma once

#include <cstdint>
#include <string>

#include "platform/usb.h"

// Reads register RR-AAAA into *value; false (and *value untouched) on failure.
bool Hub_Read_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                       uint8_t* value);
// Writes `value` to register RR-AAAA (it travels in wIndex); true when accepted.
bool Hub_Write_Register(platform::UsbDevice* device, uint8_t request, uint16_t address,
                        uint8_t value);

enum class RegisterTransfer { kRead, kWrite };
// The line a failed transfer writes, without its newline:
// "Read-Reg RR-AAAA Fail" or "Write-Reg RR-AAAA Fail".
std::string RegisterFailLine(RegisterTransfer transfer, uint8_t request, uint16_t address);
