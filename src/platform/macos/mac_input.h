// Global input through a CoreGraphics event tap, and the live modifier and
// button state of the HID system.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"
#include "platform/macos/listen_access.h"

namespace platform::macos {

// The macOS decoder, run inside the tap's callback: the event's type, its
// key code (key and flags-changed events) or button number (mouse events)
// through CGEventGetIntegerValueField, and its flags (CGEventGetFlags).
// Allocation-free; a null event or a tap-disabled notification gives the
// type alone.
InputEvent DecodeTapEvent(CGEventType type, CGEventRef event);

class MacInput final : public Input {
 public:
  // `access` answers for the Input Monitoring permission; none: the
  // system's own answers.
  explicit MacInput(std::unique_ptr<ListenAccess> access = nullptr);
  ~MacInput() override;

  // Without Input Monitoring the system may still make a listen-only tap,
  // for the events that need no permission, and drop every key: the Q
  // double-tap would never quit. So the permission is checked first; when
  // it is missing the system is asked for it once (its prompt) and the tap
  // is refused. Otherwise CGEventTapCreate at the session tap, head-insert,
  // listen-only; null when the system refuses it.
  std::unique_ptr<EventTap> CreateEventTap(uint64_t mask, EventCallback callback,
                                           void* user_info) override;
  // After a refusal for want of Input Monitoring: where to allow it. The
  // tool's own line and alert (Accessibility) stand above it.
  std::string RefusedTapFix() override;
  // Input Monitoring (CGPreflightListenEventAccess), which decides, and
  // Accessibility (AXIsProcessTrusted), which is reported; neither shows
  // the system's prompt.
  bool CheckInputAccess(std::string* detail, std::string* fix) override;
  // The tap delivers every change of Control (flags-changed) and of the
  // buttons (down and up), also under secure input, which withholds only
  // key-down and key-up. What happens while the system has the tap switched
  // off comes with no event; the tool reads the live state when it switches
  // the tap on again.
  bool StateChangesArriveAsEvents() const override { return true; }
  // CGEventSourceFlagsState on the HID system state.
  uint64_t FlagsState() override;
  // The same flags, with the device-dependent bits of the two Control keys
  // (NX_DEVICELCTLKEYMASK, NX_DEVICERCTLKEYMASK) set from each key's own
  // state, CGEventSourceKeyState on the HID system state for kVK_Control
  // and kVK_RightControl: the device-independent Control flag is one bit
  // for both keys, and the device-dependent bits of the state's flags are
  // not documented to be kept, so each key is asked.
  uint64_t FlagsStateWithControlKeys() override;
  // CGEventSourceButtonState on the HID system state.
  bool ButtonState(uint32_t button) override;

 private:
  std::unique_ptr<ListenAccess> access_;
  bool requested_ = false;  // the system was asked once this run
  bool no_listen_ = false;  // the last tap was refused for want of it
};

}  // namespace platform::macos
