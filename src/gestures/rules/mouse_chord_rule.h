// The held mouse chord as a pure rule: the recogniser's state and one
// reading of the buttons in, the new state and what to do with the hold
// timer (and whether to switch) out. No clock is read here, and the timer
// itself is the caller's: the rule only says when it is due.
#pragma once

#include <cstdint>

#include "platform/event_types.h"

// Buttons tracked from events: 0x10 left held, 0x01 right or middle held.
inline constexpr uint8_t kChordLeftBit = 0x10;
inline constexpr uint8_t kChordRightBit = 0x01;

struct ChordParams {
  uint32_t hold_ms = 1000;
};

struct ChordState {
  uint8_t buttons = 0;         // the tracked bits
  bool armed = false;          // a hold timer is pending
  bool triggered = false;      // a hold fired and the chord was not seen released since
  uint64_t due_ms = 0;         // when the pending hold is complete; 0 none
  uint64_t last_press_ms = 0;  // the latest press served, never later than it was served; 0 none

  bool operator==(const ChordState&) const = default;
};

// One look at the buttons: a mouse event, or the poll tick (no event).
struct ChordReading {
  bool from_event = false;
  uint32_t type = 0;      // the event's type
  int64_t button = 0;     // its button number (0 left, 1 right, 2 middle)
  bool made_up = false;   // a release the platform made up
  uint64_t stamp_ms = 0;  // its own time; 0 where the platform cannot tell
  uint32_t live = 0;      // the live buttons: bit n set while button n is down
  uint64_t now_ms = 0;    // needed only where ChordReadingNeedsTime says so
};

enum class HoldTimer : uint8_t { kKeep, kArm, kStop };

struct ChordStep {
  ChordState state;
  HoldTimer timer = HoldTimer::kKeep;
  uint64_t arm_in_ms = 0;  // kArm: the timer fires this long from now
  bool switch_now = false;
  uint64_t switch_at_ms = 0;  // when the hold was complete
};

// The button presses and releases (drags are neither).
inline bool IsButtonPress(uint32_t type) {
  return type == platform::kEventLeftMouseDown || type == platform::kEventRightMouseDown ||
         type == platform::kEventOtherMouseDown;
}
inline bool IsButtonRelease(uint32_t type) {
  return type == platform::kEventLeftMouseUp || type == platform::kEventRightMouseUp ||
         type == platform::kEventOtherMouseUp;
}

// The tracked bits after one event: presses set, releases clear, drags
// and other types change nothing.
inline uint8_t TrackChordButtons(uint8_t buttons, uint32_t type, int64_t button) {
  const bool press = IsButtonPress(type);
  const bool release = IsButtonRelease(type);
  if (!press && !release) return buttons;
  const bool left = button == platform::kMouseButtonLeft;
  const bool right = button == platform::kMouseButtonRight || button == platform::kMouseButtonOther;
  if (type == platform::kEventLeftMouseDown || (press && left)) {
    buttons |= kChordLeftBit;
  } else if (type == platform::kEventLeftMouseUp || (release && left)) {
    buttons &= static_cast<uint8_t>(~kChordLeftBit);
  }
  if (type == platform::kEventRightMouseDown || (press && right)) {
    buttons |= kChordRightBit;
  } else if (type == platform::kEventRightMouseUp || (release && right)) {
    buttons &= static_cast<uint8_t>(~kChordRightBit);
  }
  return buttons;
}

// The tracked bits the poll tick keeps: a bit whose button `live` shows
// up is cleared; none is ever set.
inline uint8_t ForgetReleasedChordButtons(uint8_t buttons, uint32_t live) {
  if ((live & 1u) == 0) buttons &= static_cast<uint8_t>(~kChordLeftBit);
  if ((live & 6u) == 0) buttons &= static_cast<uint8_t>(~kChordRightBit);
  return buttons;
}

// The chord predicate: both tracked bits, or live left with live right or
// middle.
inline bool ChordDown(uint8_t buttons, uint32_t live) {
  const uint8_t both = kChordLeftBit | kChordRightBit;
  if ((buttons & both) == both) return true;
  return (live & 1u) != 0 && (live & 6u) != 0;
}

// The tracked bits after this reading: an event's press or release, or
// what the poll tick forgets.
inline uint8_t ChordButtonsAfter(uint8_t buttons, const ChordReading& r) {
  return r.from_event ? TrackChordButtons(buttons, r.type, r.button)
                      : ForgetReleasedChordButtons(buttons, r.live);
}

// Whether StepChord can do more for this reading than set the tracked bits
// to ChordButtonsAfter: false with no hold armed, fired or due, no press
// carrying its own time (remembered for the next hold) and no chord after
// it. The caller may then skip the step and its clock read.
inline bool ChordReadingCanAct(const ChordState& s, const ChordReading& r) {
  if (s.armed || s.triggered || s.due_ms != 0) return true;
  if (r.from_event && IsButtonPress(r.type) && r.stamp_ms != 0) return true;
  return ChordDown(ChordButtonsAfter(s.buttons, r), r.live);
}

bool ChordReadingNeedsTime(const ChordState& state, const ChordReading& reading,
                           const ChordParams& params);
ChordStep StepChord(ChordState state, const ChordReading& reading, const ChordParams& params);
// The arming part of a step (no timer pending, no hold fired): due the hold
// time after the chord was made, by `stamp_ms` (the event's own time, 0
// none) but never later than `now_ms` and never before the last press.
ChordStep ArmChordHold(ChordState state, uint64_t stamp_ms, uint64_t now_ms,
                       const ChordParams& params);

// The hold timer's expiry. `own_timer`: it is the pending one (it is then
// forgotten). Switches when the chord is still down and no hold fired yet;
// `switch_at_ms` is when the hold was due (0 when no hold was pending).
ChordStep StepChordExpiry(ChordState state, bool own_timer, uint32_t live);
