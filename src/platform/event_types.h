// The words of an input event, shared by the recognisers and every platform:
// event types, integer fields, modifier flags, key codes and the tap's mask,
// all numbered as the reference platform numbers them. A platform that reads
// input some other way (evdev) translates into these and no others.
#pragma once

#include <cstdint>

namespace platform {

// Event types.
inline constexpr uint32_t kEventNull = 0;
inline constexpr uint32_t kEventLeftMouseDown = 1;
inline constexpr uint32_t kEventLeftMouseUp = 2;
inline constexpr uint32_t kEventRightMouseDown = 3;
inline constexpr uint32_t kEventRightMouseUp = 4;
inline constexpr uint32_t kEventMouseMoved = 5;
inline constexpr uint32_t kEventLeftMouseDragged = 6;
inline constexpr uint32_t kEventRightMouseDragged = 7;
inline constexpr uint32_t kEventKeyDown = 10;
inline constexpr uint32_t kEventKeyUp = 11;
inline constexpr uint32_t kEventFlagsChanged = 12;
inline constexpr uint32_t kEventScrollWheel = 22;
inline constexpr uint32_t kEventOtherMouseDown = 25;
inline constexpr uint32_t kEventOtherMouseUp = 26;
inline constexpr uint32_t kEventOtherMouseDragged = 27;
// Notifications that the system has switched the tap off.
inline constexpr uint32_t kEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr uint32_t kEventTapDisabledByUserInput = 0xFFFFFFFF;

// The bit of an event type in a tap's mask.
constexpr uint64_t EventMaskBit(uint32_t type) {
  return uint64_t{1} << type;
}

// The twelve event types the tool's tap listens to: the buttons, their
// drags, and the keys; never plain motion or the wheel.
inline constexpr uint64_t kEventTapMask =
    EventMaskBit(kEventLeftMouseDown) | EventMaskBit(kEventLeftMouseUp) |
    EventMaskBit(kEventRightMouseDown) | EventMaskBit(kEventRightMouseUp) |
    EventMaskBit(kEventLeftMouseDragged) | EventMaskBit(kEventRightMouseDragged) |
    EventMaskBit(kEventKeyDown) | EventMaskBit(kEventKeyUp) | EventMaskBit(kEventFlagsChanged) |
    EventMaskBit(kEventOtherMouseDown) | EventMaskBit(kEventOtherMouseUp) |
    EventMaskBit(kEventOtherMouseDragged);

// Integer fields of an event.
enum class EventField : uint32_t {
  kMouseEventButtonNumber = 3,
  kKeyboardEventKeycode = 9,
};

// Mouse button numbers as carried in kMouseEventButtonNumber.
inline constexpr int64_t kMouseButtonLeft = 0;
inline constexpr int64_t kMouseButtonRight = 1;
inline constexpr int64_t kMouseButtonOther = 2;

// Live modifier flags.
inline constexpr uint64_t kEventFlagMaskShift = 0x20000;
inline constexpr uint64_t kEventFlagMaskControl = 0x40000;
inline constexpr uint64_t kEventFlagMaskAlternate = 0x80000;
inline constexpr uint64_t kEventFlagMaskCommand = 0x100000;
// The device-dependent bits that tell the two Control keys apart
// (NX_DEVICELCTLKEYMASK and NX_DEVICERCTLKEYMASK in IOKit's IOLLEvent.h),
// set beside kEventFlagMaskControl for each Control key that is down.
inline constexpr uint64_t kEventFlagMaskLeftControl = 0x1;
inline constexpr uint64_t kEventFlagMaskRightControl = 0x2000;

// Key codes as carried in kKeyboardEventKeycode: the key at the Q position
// and the two Control keys (kVK_Control, kVK_RightControl).
inline constexpr int64_t kKeyCodeQ = 12;
inline constexpr int64_t kKeyCodeControl = 0x3B;
inline constexpr int64_t kKeyCodeRightControl = 0x3E;

}  // namespace platform
