#include "gestures/keyboard_gestures.h"

#include "gestures/event_types.h"
#include "gestures/gesture_settings.h"
#include "hub/port_switch.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

bool gControlKeyDown = false;
uint64_t gLastControlReleaseMs = 0;
int32_t wPreKBKey = 0;
uint32_t uKBTimeMs = 0;
bool gControlTapSpoiled = false;

void ResetKeyboardGestures() {
  gControlKeyDown = false;
  gLastControlReleaseMs = 0;
  wPreKBKey = 0;
  uKBTimeMs = 0;
  gControlTapSpoiled = false;
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

int64_t KeyCodeOf(platform::EventRef event) {
  return platform::Sys().input->EventIntegerField(event,
                                                  platform::EventField::kKeyboardEventKeycode);
}

}  // namespace

bool IsControlKeyDown() {
  return (platform::Sys().input->FlagsState() & platform::kEventFlagMaskControl) != 0;
}

void UpdateControlComboState() {
  if (!gGestureSettings.control_double_tap) return;
  UpdateControlComboState(IsControlKeyDown());
}

void UpdateControlComboState(bool current) {
  const GestureSettings& settings = gGestureSettings;
  if (!settings.control_double_tap) return;
  bool recorded_now = false;
  if (gControlKeyDown && !current) {
    // Control has just been released. Compared with this recogniser's own
    // previous reading, so the event and the poll tick act on it once.
    if (gControlTapSpoiled) {
      // A shortcut, not a tap: it also breaks a pair begun before it.
      gControlTapSpoiled = false;
      gLastControlReleaseMs = 0;
      gControlKeyDown = current;
      return;
    }
    const uint64_t now = GetMilliseconds();
    if (gLastControlReleaseMs != 0 && now - gLastControlReleaseMs <= settings.double_tap_ms) {
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
      GetMilliseconds() - gLastControlReleaseMs > settings.double_tap_ms) {
    gLastControlReleaseMs = 0;
  }
  gControlKeyDown = current;
}

void NoteKeyWhileControlHeld(uint32_t type, platform::EventRef event, bool control_down) {
  if (!gControlKeyDown || event == nullptr) return;
  if (type == kEventKeyDown) {
    gControlTapSpoiled = true;
  } else if (type == kEventFlagsChanged && control_down) {
    // The flags changed and Control is still down: another modifier (Shift,
    // Option, Command) went down or up with it, which makes a shortcut. The
    // key code tells Control's own change apart when a poll tick saw the
    // press before its event came.
    const int64_t code = KeyCodeOf(event);
    if (code != kControlKeyCode && code != kRightControlKeyCode) gControlTapSpoiled = true;
  }
}

bool UpdateQuitComboState(uint32_t type, platform::EventRef event) {
  const GestureSettings& settings = gGestureSettings;
  if (!settings.quit_double_tap) return false;
  // Stamped before the type is looked at.
  const uint32_t stamp = WallClockStampMs();
  if (event == nullptr) return false;
  if (type != kEventKeyUp) {
    // Under the "consecutive" rule any other key between the two Qs, a
    // modifier included, breaks the pair; a Q going down does not.
    if (settings.quit_taps == QuitTapRule::kConsecutive && uKBTimeMs != 0 &&
        (type == kEventFlagsChanged || (type == kEventKeyDown && KeyCodeOf(event) != kQKeyCode))) {
      wPreKBKey = 0;
      uKBTimeMs = 0;
    }
    return false;
  }
  const auto code = static_cast<uint16_t>(KeyCodeOf(event));
  if (code != kQKeyCode) {
    // Under the "any" rule other keys leave a pending tap alone.
    if (settings.quit_taps == QuitTapRule::kConsecutive) {
      wPreKBKey = 0;
      uKBTimeMs = 0;
    }
    return false;
  }

  if (uKBTimeMs == 0) {
    wPreKBKey = kQKeyCode;
    uKBTimeMs = stamp;
    return false;
  }
  const uint32_t elapsed = stamp - uKBTimeMs;
  const bool quit = elapsed < settings.double_tap_ms && wPreKBKey == kQKeyCode;
  // A late second tap does not become the first of a new pair.
  wPreKBKey = 0;
  uKBTimeMs = 0;
  return quit;
}
