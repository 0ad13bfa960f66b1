// Global input through a CoreGraphics event tap, and the live modifier and
// button state of the HID system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"

namespace platform::macos {

class MacInput final : public Input {
 public:
  // CGEventTapCreate at the session tap, head-insert, listen-only. Null when
  // the system refuses it (the program lacks the Accessibility permission).
  std::unique_ptr<EventTap> CreateEventTap(uint64_t mask, EventCallback callback,
                                           void* user_info) override;
  // CGPreflightListenEventAccess (Input Monitoring, macOS 10.15 and later)
  // and AXIsProcessTrusted (Accessibility): neither shows the system's
  // prompt.
  bool CheckInputAccess(std::string* detail, std::string* fix) override;
  // CGEventSourceFlagsState on the HID system state.
  uint64_t FlagsState() override;
  // CGEventSourceButtonState on the HID system state.
  bool ButtonState(uint32_t button) override;
  // CGEventGetIntegerValueField; 0 for no event.
  int64_t EventIntegerField(EventRef event, EventField field) override;
};

}  // namespace platform::macos
