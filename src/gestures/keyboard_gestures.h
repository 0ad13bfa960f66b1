// The Control double-tap (switch) and the Q double-tap (quit).
#pragma once

#include <cstdint>

#include "platform/input.h"

// The Control state seen at the previous update.
extern bool gControlKeyDown;
// GetMilliseconds time of the pending first Control release; 0 = none.
extern uint64_t gLastControlReleaseMs;
// Key code of the pending first Q tap (12 while one is pending); 0 = none.
extern int32_t wPreKBKey;
// Wall-clock ms, truncated to 32 bits, of the pending first Q tap; 0 = none.
extern uint32_t uKBTimeMs;
// Another key went down while Control was held: the coming release is no
// tap (kept only under the "clean" tap rule).
extern bool gControlTapSpoiled;
// Puts every variable above back to its start value.
void ResetKeyboardGestures();

// Whether the live modifier flags include Control.
bool IsControlKeyDown();
// One step of the Control recogniser, from the live state. `event` is the
// flags-changed event that asked for it: its own time then times the
// release, so that taps handled late keep the spacing they were typed
// with. Null (the poll tick) reads the clock.
void UpdateControlComboState(platform::EventRef event = nullptr);
// The same step from a reading of the live Control state the caller has
// just made (the event callback reads it once for this and the clean rule),
// called only while the Control double-tap is on.
void UpdateControlComboStateFrom(bool control_down, platform::EventRef event);
// Under the "clean" tap rule, a key event that spoils the tap of a Control
// being held: a key going down, or another modifier changing. Called for
// key-down and flags-changed events before the recogniser's own update;
// `control_down` is the live Control state read for a flags-changed event.
void NoteKeyWhileControlHeld(uint32_t type, platform::EventRef event, bool control_down);
// One step of the Q recogniser for any delivered event; true = quit
// requested. A Q handled late is stamped back by its age.
bool UpdateQuitComboState(uint32_t type, platform::EventRef event);
