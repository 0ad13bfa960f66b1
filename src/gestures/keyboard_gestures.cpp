#include "gestures/keyboard_gestures.h"

#include "gestures/gesture_settings.h"
#include "hub/port_switch.h"
#include "platform/event_types.h"
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

void UpdateControlComboState(platform::EventRef event) {
  if (!gGestureSettings.control_double_tap) return;
  UpdateControlComboStateFrom(IsControlKeyDown(), event);
}

void UpdateControlComboStateFrom(bool current, platform::EventRef event) {
  const GestureSettings& settings = gGestureSettings;
  // When this update happens: the event's own time where the platform
  // stamps events (one handled after the main thread was busy keeps its
  // place), else the clock; read only when needed, at most once.
  uint64_t now = 0;
  const auto when = [event, &now] {
    if (now == 0) now = event != nullptr ? GetEventMilliseconds(event) : GetMilliseconds();
    return now;
  };
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
    const uint64_t released = when();
    if (gLastControlReleaseMs != 0 &&
        ElapsedMs(released, gLastControlReleaseMs) <= settings.double_tap_ms) {
      gLastControlReleaseMs = 0;
      // The debounce, too, goes by when the second tap happened, where the
      // event says so; otherwise it reads the clock itself.
      TriggerSwitch("ctrl-ctrl", EventTimeMs(event));
    } else {
      gLastControlReleaseMs = released;
      recorded_now = true;
    }
  }
  // A pending release older than the window is forgotten. One recorded by
  // this very update is not, and needs no second clock read: every Control
  // release runs through here inside the event callback.
  if (gLastControlReleaseMs != 0 && !recorded_now &&
      ElapsedMs(when(), gLastControlReleaseMs) > settings.double_tap_ms) {
    gLastControlReleaseMs = 0;
  }
  gControlKeyDown = current;
}

void NoteKeyWhileControlHeld(uint32_t type, platform::EventRef event, bool control_down) {
  if (!gControlKeyDown || event == nullptr) return;
  if (type == platform::kEventKeyDown) {
    gControlTapSpoiled = true;
  } else if (type == platform::kEventFlagsChanged && control_down) {
    // The flags changed and Control is still down: another modifier (Shift,
    // Option, Command) went down or up with it, which makes a shortcut. The
    // key code tells Control's own change apart when a poll tick saw the
    // press before its event came.
    const int64_t code = KeyCodeOf(event);
    if (code != platform::kKeyCodeControl && code != platform::kKeyCodeRightControl)
      gControlTapSpoiled = true;
  }
}

bool UpdateQuitComboState(uint32_t type, platform::EventRef event) {
  const GestureSettings& settings = gGestureSettings;
  if (!settings.quit_double_tap) return false;
  // Stamped before the type is looked at.
  const uint32_t stamp = WallClockStampMs();
  if (event == nullptr) return false;
  if (type != platform::kEventKeyUp) {
    // Under the "consecutive" rule any other key between the two Qs, a
    // modifier included, breaks the pair; a Q going down does not.
    if (settings.quit_taps == QuitTapRule::kConsecutive && uKBTimeMs != 0 &&
        (type == platform::kEventFlagsChanged ||
         (type == platform::kEventKeyDown && KeyCodeOf(event) != platform::kKeyCodeQ))) {
      wPreKBKey = 0;
      uKBTimeMs = 0;
    }
    return false;
  }
  const auto code = static_cast<uint16_t>(KeyCodeOf(event));
  if (code != platform::kKeyCodeQ) {
    // Under the "any" rule other keys leave a pending tap alone.
    if (settings.quit_taps == QuitTapRule::kConsecutive) {
      wPreKBKey = 0;
      uKBTimeMs = 0;
    }
    return false;
  }

  // A Q that waited while the main thread was busy is stamped back by how
  // long it waited, so that two Qs typed apart are not taken for a pair
  // when they are handled together. Where the platform gives no event time
  // nothing is subtracted (and no other clock is read).
  const uint32_t tapped = stamp - static_cast<uint32_t>(EventAgeMs(event));
  if (uKBTimeMs == 0) {
    wPreKBKey = platform::kKeyCodeQ;
    uKBTimeMs = tapped;
    return false;
  }
  const uint32_t elapsed = tapped - uKBTimeMs;
  const bool quit = elapsed < settings.double_tap_ms && wPreKBKey == platform::kKeyCodeQ;
  // A late second tap does not become the first of a new pair.
  wPreKBKey = 0;
  uKBTimeMs = 0;
  return quit;
}
