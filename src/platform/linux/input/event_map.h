// How evdev input becomes the tool's events, in the words of
// platform/event_types.h.
#pragma once

#include <cstdint>

#include "platform/event_types.h"

namespace linux_platform {

// One delivered event; handed to the tap's callback as its EventRef.
struct LinuxEvent {
  uint32_t type = 0;
  int64_t button = 0;   // 0 left, 1 right, 2 middle
  int64_t keycode = 0;  // key code (platform::kKeyCode*)
  // When it happened on the tool's monotonic clock, where that is known.
  bool timed = false;
  int64_t sec = 0;
  int64_t usec = 0;
  // A release made up for a device that went away with the key held.
  bool synthesised = false;
};

// Maps an EV_KEY event (code, value 0 up / 1 down / 2 repeat) to the
// tool's event; false when the tool has no event for it (unknown buttons,
// Control repeats).
bool MapKeyEvent(uint16_t code, int32_t value, LinuxEvent* out);

// The virtual key code for an evdev key code: the reference codes for the
// keys the tool knows, and a code above the reference range (never 12) for
// every other key.
int64_t VirtualKeyCode(uint16_t code);

// The drag type for pointer motion with these buttons held; 0 for none.
uint32_t DragType(bool left, bool right, bool middle);

// The modifier flag of an evdev key code (Control, Shift, Option, Command
// as the reference platform has them); 0 for other keys.
uint64_t ModifierFlag(uint16_t code);

}  // namespace linux_platform
