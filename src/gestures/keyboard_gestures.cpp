#include "gestures/keyboard_gestures.h"

#include "gestures/event_types.h"
#include "hub/port_switch.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

bool gControlKeyDown = false;
uint64_t gLastControlReleaseMs = 0;
int32_t wPreKBKey = 0;
uint32_t uKBTimeMs = 0;

void ResetKeyboardGestures() {
  gControlKeyDown = false;
  gLastControlReleaseMs = 0;
  wPreKBKey = 0;
  uKBTimeMs = 0;
}

namespace {

// Wall-clock milliseconds, kept to their low 32 bits: the Q recogniser's
// stamps. Differences are taken in 32-bit arithmetic, so the wrap-around of
// the stamp does not matter.
uint32_t WallClockStampMs() {
  const platform::TimeSpec t = platform::Sys().clock->Realtime();
  const uint64_t ms =
      static_cast<uint64_t>(t.sec) * 1000u + static_cast<uint64_t>(t.nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace

bool IsControlKeyDown() {
  return (platform::Sys().input->FlagsState() & platform::kEventFlagMaskControl) != 0;
}

void UpdateControlComboState() {
  const bool current = IsControlKeyDown();
  bool recorded_now = false;
  if (gControlKeyDown && !current) {
    // Control has just been released. Compared with this recogniser's own
    // previous reading, so the event and the poll tick act on it once.
    const uint64_t now = GetMilliseconds();
    if (gLastControlReleaseMs != 0 && now - gLastControlReleaseMs <= kDoubleTapWindowMs) {
      gLastControlReleaseMs = 0;
      TriggerSwitch("ctrl-ctrl");
    } else {
      gLastControlReleaseMs = now;
      recorded_now = true;
    }
  }
  // A pending release older than the window is forgotten. One recorded by
  // this very update is not, and needs no second clock read: every Control
  // release runs through here inside the event callback.
  if (gLastControlReleaseMs != 0 && !recorded_now &&
      GetMilliseconds() - gLastControlReleaseMs > kDoubleTapWindowMs) {
    gLastControlReleaseMs = 0;
  }
  gControlKeyDown = current;
}

bool UpdateQuitComboState(uint32_t type, platform::EventRef event) {
  // Stamped before the type is looked at.
  const uint32_t stamp = WallClockStampMs();
  if (type != kEventKeyUp || event == nullptr) return false;
  const auto code = static_cast<uint16_t>(
      platform::Sys().input->EventIntegerField(event, platform::EventField::kKeyboardEventKeycode));
  if (code != kQKeyCode) return false;  // other keys leave a pending tap alone

  if (uKBTimeMs == 0) {
    wPreKBKey = kQKeyCode;
    uKBTimeMs = stamp;
    return false;
  }
  const uint32_t elapsed = stamp - uKBTimeMs;
  const bool quit = elapsed < kDoubleTapWindowMs && wPreKBKey == kQKeyCode;
  // A late second tap does not become the first of a new pair.
  wPreKBKey = 0;
  uKBTimeMs = 0;
  return quit;
}
