#include "gestures/rules/control_tap_rule.h"

#include "gestures/rules/tap_time.h"
#include "platform/event_types.h"
#include "shared/elapsed_ms.h"

namespace {

// The modifiers other than Control whose being held makes a shortcut.
constexpr uint64_t kOtherModifiers = platform::kEventFlagMaskShift |
                                     platform::kEventFlagMaskAlternate |
                                     platform::kEventFlagMaskCommand;

bool ControlIn(uint64_t flags) {
  return (flags & platform::kEventFlagMaskControl) != 0;
}

void ClearPending(ControlTapState& s) {
  s.pending_ms = 0;
  s.pending_stamp_ms = 0;
}

constexpr uint64_t kSideBits =
    platform::kEventFlagMaskLeftControl | platform::kEventFlagMaskRightControl;

// Bound to one key: whether this reading finds the other Control key down,
// or is that key's own flags-changed event (a press or a release, seen even
// when the live state has moved on again). A Control flag with neither
// key's bit (a device or a program that does not say which) counts as the
// other key: it is not the chosen one.
bool OtherControl(const ControlReading& r, ControlKey key) {
  if (key == ControlKey::kEither) return false;
  const bool left = key == ControlKey::kLeft;
  const uint64_t theirs =
      left ? platform::kEventFlagMaskRightControl : platform::kEventFlagMaskLeftControl;
  const int64_t their_code = left ? platform::kKeyCodeRightControl : platform::kKeyCodeControl;
  const bool unsided = ControlIn(r.flags) && (r.flags & kSideBits) == 0;
  return (r.flags & theirs) != 0 || unsided || (r.from_event && r.key_code == their_code);
}

}  // namespace

bool TapControlIn(uint64_t flags, ControlKey key) {
  switch (key) {
    case ControlKey::kLeft:
      return (flags & platform::kEventFlagMaskLeftControl) != 0;
    case ControlKey::kRight:
      return (flags & platform::kEventFlagMaskRightControl) != 0;
    case ControlKey::kEither:
      break;
  }
  return ControlIn(flags);
}

bool ControlReadingNeedsTime(const ControlTapState& state, const ControlReading& reading,
                             const ControlTapParams& params) {
  const bool released = state.down && !TapControlIn(reading.flags, params.key);
  return (released && !reading.made_up) || (!reading.from_event && state.pending_ms != 0);
}

bool ControlReadingCanAct(const ControlTapState& state, const ControlReading& reading,
                          const ControlTapParams& params) {
  const bool current = TapControlIn(reading.flags, params.key);
  if (current != state.down) return true;
  // The other Control key breaks a pending pair and spoils a press (one
  // not spoiled yet).
  if (OtherControl(reading, params.key) &&
      (state.pending_ms != 0 || ((current || state.down) && !state.spoiled))) {
    return true;
  }
  if (!reading.from_event && state.pending_ms != 0) return true;
  return params.taps == ControlTapRule::kClean && current && !state.spoiled;
}

ControlTapStep StepControlTap(const ControlTapState& state, const ControlReading& r,
                              const ControlTapParams& params) {
  // Worked on in place, in the step handed back.
  ControlTapStep step;
  step.state = state;
  ControlTapState& s = step.state;
  const bool current = TapControlIn(r.flags, params.key);
  const bool released = s.down && !current;
  if (released && r.made_up) {
    // The keyboard that held Control went away: Control is up, but nobody
    // let it go. Not a tap, and like a shortcut it breaks a pair begun
    // before it.
    s.spoiled = false;
    ClearPending(s);
    s.down = current;
    return step;
  }
  if (params.taps == ControlTapRule::kClean && current) {
    // Clean: nothing else held at any moment of the press, from its start
    // (a key or a modifier already down) to its end. A modifier counts
    // whoever sees it, the event or the poll tick.
    if (!s.down) s.spoiled = r.keys_held;
    if ((r.flags & kOtherModifiers) != 0) s.spoiled = true;
    // Another modifier changed while Control stayed down (its flags may
    // already be gone again). The key code tells Control's own change
    // apart when a poll tick saw the press before its event came.
    if (s.down && r.from_event && r.key_code != platform::kKeyCodeControl &&
        r.key_code != platform::kKeyCodeRightControl) {
      s.spoiled = true;
    }
  }
  if (OtherControl(r, params.key)) {
    // The other Control key between two taps breaks the pair; held while
    // the chosen key is down (before its press, during it, or still at its
    // release) it makes that press no tap. After the clean rule's reset at
    // the press, so that the two add up.
    ClearPending(s);
    if (current || s.down) s.spoiled = true;
  }
  bool recorded_now = false;
  if (released) {
    // Compared with this rule's own previous reading, so the event and the
    // poll tick act on one release once.
    if (s.spoiled) {
      // A shortcut, not a tap: it also breaks a pair begun before it.
      s.spoiled = false;
      ClearPending(s);
      s.down = current;
      return step;
    }
    // Judged on how far apart the two releases are, whichever came first:
    // with two keyboards, the one served second may have been typed first.
    if (s.pending_ms != 0 && TapsWithin({r.at_ms, r.stamp_ms}, {s.pending_ms, s.pending_stamp_ms},
                                        params.window_ms, true)) {
      // The debounce, too, goes by when the pair was complete.
      step.switch_now = true;
      step.switch_at_ms = r.at_ms > s.pending_ms ? r.at_ms : s.pending_ms;
      ClearPending(s);
    } else if (r.at_ms >= s.pending_ms) {
      s.pending_ms = r.at_ms;
      s.pending_stamp_ms = r.stamp_ms;
      recorded_now = true;
    }
    // An older release served after a newer pending one leaves that one
    // pending: it is the one a coming tap could pair with.
  }
  // A pending release older than the window is forgotten, by the poll tick
  // only: an event may come from a keyboard served before another whose
  // older tap is still waiting, and the tick runs once everything waiting
  // has been served. One recorded by this very reading is kept.
  if (s.pending_ms != 0 && !recorded_now && !r.from_event &&
      ElapsedMs(r.at_ms, s.pending_ms) > params.window_ms) {
    ClearPending(s);
  }
  s.down = current;
  return step;
}

namespace {

// Where `code` is in the list; `keys.count` when it is not listed.
size_t HeldAt(const HeldKeys& keys, int64_t code) {
  size_t at = 0;
  while (at < keys.count && keys.codes[at] != code) ++at;
  return at;
}

}  // namespace

bool CleanKeyCanAct(const HeldKeys& keys, const ControlTapState& state, uint32_t type,
                    int64_t code) {
  if (type != platform::kEventKeyDown && type != platform::kEventKeyUp) return false;
  if (state.down && !state.spoiled) return true;
  const size_t at = HeldAt(keys, code);
  return type == platform::kEventKeyDown ? at == keys.count && keys.count < HeldKeys::kMax
                                         : at < keys.count;
}

CleanKeyStep StepCleanKey(const HeldKeys& keys, ControlTapState state, uint32_t type,
                          int64_t code) {
  CleanKeyStep step{keys, state};
  HeldKeys& k = step.keys;
  const size_t at = HeldAt(k, code);
  if (type == platform::kEventKeyDown) {
    // An auto-repeat finds its key listed already.
    if (at == k.count && k.count < HeldKeys::kMax) k.codes[k.count++] = code;
  } else if (type == platform::kEventKeyUp) {
    if (at < k.count) k.codes[at] = k.codes[--k.count];
  } else {
    return step;
  }
  // A key going down, repeating or coming up while Control is held was
  // held at some moment of the press.
  if (step.state.down) step.state.spoiled = true;
  return step;
}
