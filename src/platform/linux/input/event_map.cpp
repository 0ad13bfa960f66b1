#include "platform/linux/input/event_map.h"

#include <linux/input-event-codes.h>

namespace linux_platform {

int64_t VirtualKeyCode(uint16_t code) {
  switch (code) {
    case KEY_Q:
      return platform::kKeyCodeQ;
    case KEY_LEFTCTRL:
      return platform::kKeyCodeControl;
    case KEY_RIGHTCTRL:
      return platform::kKeyCodeRightControl;
    default:
      // The reference codes end at 0x7F; these start above them.
      return 0x100 + int64_t{code};
  }
}

uint64_t ModifierFlag(uint16_t code) {
  switch (code) {
    // Each Control key also sets its own device bit, as the reference
    // platform's flags carry it: the two keys are told apart.
    case KEY_LEFTCTRL:
      return platform::kEventFlagMaskControl | platform::kEventFlagMaskLeftControl;
    case KEY_RIGHTCTRL:
      return platform::kEventFlagMaskControl | platform::kEventFlagMaskRightControl;
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
      return platform::kEventFlagMaskShift;
    case KEY_LEFTALT:
    case KEY_RIGHTALT:
      return platform::kEventFlagMaskAlternate;
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
      return platform::kEventFlagMaskCommand;
    default:
      return 0;
  }
}

bool MapKeyEvent(uint16_t code, int32_t value, platform::InputEvent* out) {
  const bool down = value != 0;
  switch (code) {
    case BTN_LEFT:
      *out = {down ? platform::kEventLeftMouseDown : platform::kEventLeftMouseUp, 0, 0};
      return value != 2;
    case BTN_RIGHT:
      *out = {down ? platform::kEventRightMouseDown : platform::kEventRightMouseUp, 0, 1};
      return value != 2;
    case BTN_MIDDLE:
      *out = {down ? platform::kEventOtherMouseDown : platform::kEventOtherMouseUp, 0, 2};
      return value != 2;
    default:
      break;
  }
  // Other buttons (side, extra, touch, stylus) are no keys and mean
  // nothing to the tool.
  if (code >= BTN_MISC && code < KEY_OK) return false;
  if (code >= BTN_DPAD_UP && code <= BTN_DPAD_RIGHT) return false;
  if (code >= BTN_TRIGGER_HAPPY) return false;
  if (ModifierFlag(code) != 0) {
    // A modifier changes the flags; its auto-repeat changes nothing.
    *out = {platform::kEventFlagsChanged, VirtualKeyCode(code)};
    return value != 2;
  }
  *out = {down ? platform::kEventKeyDown : platform::kEventKeyUp, VirtualKeyCode(code)};
  return true;
}

uint32_t DragType(bool left, bool right, bool middle) {
  if (left) return platform::kEventLeftMouseDragged;
  if (right) return platform::kEventRightMouseDragged;
  if (middle) return platform::kEventOtherMouseDragged;
  return 0;
}

}  // namespace linux_platform
