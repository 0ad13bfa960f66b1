// How evdev input becomes the tool's events, in the words of
// platform/event_types.h.
#pragma once

#include <cstdint>

#include "platform/event_types.h"
#include "platform/input.h"

namespace linux_platform {

// The Linux decoder: maps an EV_KEY event (code, value 0 up / 1 down / 2
// repeat) to the tool's event, type and key code or button (the caller adds
// its time); false when the tool has no event for it (unknown buttons,
// Control repeats).
bool MapKeyEvent(uint16_t code, int32_t value, platform::InputEvent* out);

// The virtual key code for an evdev key code: the reference codes for the
// keys the tool knows, and a code above the reference range (never 12) for
// every other key.
int64_t VirtualKeyCode(uint16_t code);

// The drag type for pointer motion with these buttons held; 0 for none.
uint32_t DragType(bool left, bool right, bool middle);

// The modifier flag of an evdev key code (Control, Shift, Option, Command
// as the reference platform has them, with each Control key's own device
// bit); 0 for other keys.
uint64_t ModifierFlag(uint16_t code);

}  // namespace linux_platform
