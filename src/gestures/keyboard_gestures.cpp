#include "gestures/keyboard_gestures.h"

#include "gestures/gesture_settings.h"
#include "hub/port_switch.h"
#include "platform/event_types.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

bool gControlKeyDown = false;
uint64_t gLastControlReleaseMs = 0;
uint64_t gLastControlReleaseStampMs = 0;
int32_t wPreKBKey = 0;
uint32_t uKBTimeMs = 0;
uint64_t uKBAtMs = 0;
uint64_t uKBStampMs = 0;
bool gControlTapSpoiled = false;
int64_t gKeysHeld[kMaxKeysHeld] = {};
size_t gKeysHeldCount = 0;

void ResetKeyboardGestures() {
  gControlKeyDown = false;
  gLastControlReleaseMs = 0;
  gLastControlReleaseStampMs = 0;
  wPreKBKey = 0;
  uKBTimeMs = 0;
  uKBAtMs = 0;
  uKBStampMs = 0;
  gControlTapSpoiled = false;
  ForgetKeysHeld();
}

namespace {

// The modifiers other than Control whose being held makes a shortcut.
constexpr uint64_t kOtherModifiers = platform::kEventFlagMaskShift |
                                     platform::kEventFlagMaskAlternate |
                                     platform::kEventFlagMaskCommand;

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

bool IsMadeUp(platform::EventRef event) {
  return event != nullptr && platform::Sys().input->IsSynthesisedRelease(event);
}

// A tap's time two ways: `at`, when it happened as far as the tool can
// trust it (never later than it was handled), and `stamp`, what its device
// said (0: nothing).
struct TapTime {
  uint64_t at = 0;
  uint64_t stamp = 0;
  bool Ahead() const { return stamp > at; }
};

TapTime TimeOfTap(platform::EventRef event) {
  if (event == nullptr) return {GetMilliseconds(), 0};
  return {GetEventMilliseconds(event), EventTimeMs(event)};
}

// Whether two taps are within `window` of each other, whichever came first.
// A stamp ahead of the clock is taken as the moment it was handled, which
// says little of a tap that waited: two taps stamped ahead (a keyboard whose
// clock runs fast) are judged by their stamps alone, which keep their
// spacing; a tap stamped ahead and one that is not (two keyboards whose
// clocks disagree) pair only when both measures agree.
bool TapsWithin(TapTime a, TapTime b, uint64_t window, bool inclusive) {
  const auto within = [window, inclusive](uint64_t x, uint64_t y) {
    const uint64_t apart = DistanceMs(x, y);
    return inclusive ? apart <= window : apart < window;
  };
  if (a.Ahead() && b.Ahead()) return within(a.stamp, b.stamp);
  if (!within(a.at, b.at)) return false;
  return a.stamp == 0 || b.stamp == 0 || within(a.stamp, b.stamp);
}

void ClearPendingQuitTap() {
  wPreKBKey = 0;
  uKBTimeMs = 0;
  uKBAtMs = 0;
  uKBStampMs = 0;
}

void ClearPendingControlRelease() {
  gLastControlReleaseMs = 0;
  gLastControlReleaseStampMs = 0;
}

}  // namespace

bool IsControlKeyDown() {
  return (platform::Sys().input->FlagsState() & platform::kEventFlagMaskControl) != 0;
}

void UpdateControlComboState(platform::EventRef event) {
  if (!gGestureSettings.control_double_tap) return;
  UpdateControlComboStateWith(platform::Sys().input->FlagsState(), event);
}

void UpdateControlComboStateWith(uint64_t flags, platform::EventRef event) {
  const GestureSettings& settings = gGestureSettings;
  const bool current = (flags & platform::kEventFlagMaskControl) != 0;
  if (gControlKeyDown && !current && IsMadeUp(event)) {
    // The keyboard that held Control went away: Control is up, but nobody
    // let it go. Not a tap, and like a shortcut it breaks a pair begun
    // before it.
    gControlTapSpoiled = false;
    ClearPendingControlRelease();
    gControlKeyDown = current;
    return;
  }
  if (settings.control_taps == ControlTapRule::kClean && current) {
    // Clean: nothing else held at any moment of the press, from its start
    // (a key or a modifier already down) to its end. A modifier counts
    // whoever sees it, the event or the poll tick.
    if (!gControlKeyDown) gControlTapSpoiled = gKeysHeldCount != 0;
    if ((flags & kOtherModifiers) != 0) gControlTapSpoiled = true;
    if (gControlKeyDown && event != nullptr) {
      // Another modifier changed while Control stayed down (its flags may
      // already be gone again). The key code tells Control's own change
      // apart when a poll tick saw the press before its event came.
      const int64_t code = KeyCodeOf(event);
      if (code != platform::kKeyCodeControl && code != platform::kKeyCodeRightControl)
        gControlTapSpoiled = true;
    }
  }
  // When this update happens: the event's own time where the platform
  // stamps events (one handled after the main thread was busy keeps its
  // place), else the clock; never later than now. Read at most once.
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
      ClearPendingControlRelease();
      gControlKeyDown = current;
      return;
    }
    const uint64_t released = when();
    const uint64_t stamp = EventTimeMs(event);
    // Judged on how far apart the two releases are, whichever came first:
    // with two keyboards, the one served second may have been typed first.
    if (gLastControlReleaseMs != 0 &&
        TapsWithin({released, stamp}, {gLastControlReleaseMs, gLastControlReleaseStampMs},
                   settings.double_tap_ms, true)) {
      const uint64_t completed =
          released > gLastControlReleaseMs ? released : gLastControlReleaseMs;
      ClearPendingControlRelease();
      // The debounce, too, goes by when the pair was complete.
      TriggerSwitch("ctrl-ctrl", completed);
    } else if (released >= gLastControlReleaseMs) {
      gLastControlReleaseMs = released;
      gLastControlReleaseStampMs = stamp;
      recorded_now = true;
    }
    // An older release served after a newer pending one leaves that one
    // pending: it is the one a coming tap could pair with.
  }
  // A pending release older than the window is forgotten, by the poll tick
  // only: an event may come from a keyboard served before another whose
  // older tap is still waiting, and the tick runs once everything waiting
  // has been served. One recorded by this very update is kept.
  if (gLastControlReleaseMs != 0 && !recorded_now && event == nullptr &&
      ElapsedMs(when(), gLastControlReleaseMs) > settings.double_tap_ms) {
    ClearPendingControlRelease();
  }
  gControlKeyDown = current;
}

void ForgetKeysHeld() {
  gKeysHeldCount = 0;
}

void NoteKeyForCleanTap(uint32_t type, platform::EventRef event) {
  if (event == nullptr) return;
  const int64_t code = KeyCodeOf(event);
  size_t at = 0;
  while (at < gKeysHeldCount && gKeysHeld[at] != code) ++at;
  if (type == platform::kEventKeyDown) {
    // An auto-repeat finds its key listed already.
    if (at == gKeysHeldCount && gKeysHeldCount < kMaxKeysHeld) gKeysHeld[gKeysHeldCount++] = code;
  } else if (type == platform::kEventKeyUp) {
    if (at < gKeysHeldCount) gKeysHeld[at] = gKeysHeld[--gKeysHeldCount];
  } else {
    return;
  }
  // A key going down, repeating or coming up while Control is held was
  // held at some moment of the press.
  if (gControlKeyDown) gControlTapSpoiled = true;
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
      ClearPendingQuitTap();
    }
    return false;
  }
  const auto code = static_cast<uint16_t>(KeyCodeOf(event));
  if (code != platform::kKeyCodeQ) {
    // Under the "any" rule other keys leave a pending tap alone.
    if (settings.quit_taps == QuitTapRule::kConsecutive) ClearPendingQuitTap();
    return false;
  }
  if (IsMadeUp(event)) {
    // The keyboard went away with Q held: no tap, and the pair is broken.
    ClearPendingQuitTap();
    return false;
  }

  // A Q that waited while the main thread was busy is stamped back by how
  // long it waited, so that two Qs typed apart are not taken for a pair
  // when they are handled together. Where the platform gives no event time
  // nothing is subtracted (and no other clock is read); a time ahead of the
  // clock subtracts nothing either.
  const uint32_t tapped = stamp - static_cast<uint32_t>(EventAgeMs(event));
  const TapTime time = TimeOfTap(event);
  if (uKBTimeMs == 0) {
    wPreKBKey = platform::kKeyCodeQ;
    uKBTimeMs = tapped;
    uKBAtMs = time.at;
    uKBStampMs = time.stamp;
    return false;
  }
  // How far apart, whichever was typed first (32-bit arithmetic), and by the
  // monotonic measures, which tell about device clocks.
  const uint32_t after = tapped - uKBTimeMs;
  const uint32_t before = uKBTimeMs - tapped;
  const uint32_t apart = after < before ? after : before;
  const TapTime pending{uKBAtMs, uKBStampMs};
  const bool within = TapsWithin(time, pending, settings.double_tap_ms, false) &&
                      ((time.Ahead() && pending.Ahead()) || apart < settings.double_tap_ms);
  const bool quit = within && wPreKBKey == platform::kKeyCodeQ;
  // A late second tap does not become the first of a new pair.
  ClearPendingQuitTap();
  return quit;
}
