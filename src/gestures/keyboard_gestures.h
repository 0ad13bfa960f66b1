// The Control double-tap (switch) and the Q double-tap (quit): thin shells
// over the pure rules in gestures/rules/, which read the platform once,
// run the rule, keep its state and act on its decision.
#pragma once

#include <cstdint>

#include "platform/input.h"

// The Control state seen at the previous update.
extern bool gControlKeyDown;
// GetMilliseconds time of the pending first Control release, never later
// than when it was handled; 0 = none.
extern uint64_t gLastControlReleaseMs;
// Key code of the pending first Q tap (12 while one is pending); 0 = none.
extern int32_t wPreKBKey;
// Wall-clock ms, truncated to 32 bits, of the pending first Q tap; 0 = none.
extern uint32_t uKBTimeMs;
// Puts the variables above, and what the recognisers keep beyond them,
// back to their start values.
void ResetKeyboardGestures();

// Forgets the pending first Control and Q taps. `control_down` is Control as
// it is now: held, it is no tap when it is let go.
void ForgetPendingTaps(bool control_down);

// Whether the Control key that taps is down now: either Control, or the
// chosen one when the double-tap is bound to one key.
bool IsControlKeyDown();
// One step of the Control recogniser, from the live state. `event` is the
// flags-changed event that asked for it: its own time then times the
// release, so that taps handled late, or out of order, keep the spacing
// they were typed with. Null (the poll tick) reads the clock. A release the
// platform made up (its keyboard went away) clears the state and is no tap.
void UpdateControlComboState(platform::EventRef event = nullptr);
// A key-down or key-up (modifiers come as flags-changed): under the "clean"
// tap rule it keeps the list of keys held, and spoils the tap of a Control
// being held. Nothing under the other rule.
void NoteKeyForCleanTap(uint32_t type, platform::EventRef event);
// Forgets the keys held (key events may have been lost).
void ForgetKeysHeld();
// Whether time alone can change the Control recogniser's outcome: Control
// is down or a release is pending.
bool ControlTapUnderWay();
// One step of the Q recogniser for any delivered event; true = quit
// requested. A Q handled late is stamped back by its age.
bool UpdateQuitComboState(uint32_t type, platform::EventRef event);
