// The held mouse chord as a pure rule: the recogniser's state and one
// reading of the buttons in, the new state and what to do with the hold
// timer (and whether to switch) out. No clock is read here, and the timer
// itself is the caller's: the rule only says when it is due.
#pragma once

#include <cstdint>

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

// The tracked bits after one event: presses set, releases clear, drags
// and other types change nothing.
uint8_t TrackChordButtons(uint8_t buttons, uint32_t type, int64_t button);
// The tracked bits the poll tick keeps: a bit whose button `live` shows
// up is cleared; none is ever set.
uint8_t ForgetReleasedChordButtons(uint8_t buttons, uint32_t live);
// The chord predicate: both tracked bits, or live left with live right or
// middle.
bool ChordDown(uint8_t buttons, uint32_t live);

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
