// The Control double-tap (switch) and the Q double-tap (quit).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/input.h"

// The Control state seen at the previous update.
extern bool gControlKeyDown;
// GetMilliseconds time of the pending first Control release, never later
// than when it was handled; 0 = none.
extern uint64_t gLastControlReleaseMs;
// That release's own time as its device stamped it (0 = not stamped), kept
// to judge a pair whose stamp ran ahead of the clock.
extern uint64_t gLastControlReleaseStampMs;
// Key code of the pending first Q tap (12 while one is pending); 0 = none.
extern int32_t wPreKBKey;
// Wall-clock ms, truncated to 32 bits, of the pending first Q tap; 0 = none.
extern uint32_t uKBTimeMs;
// The pending Q on the monotonic clock: when it happened (never later than
// it was handled), and as its device stamped it (0 = not stamped).
extern uint64_t uKBAtMs;
extern uint64_t uKBStampMs;
// Another key or modifier was held at some moment of the Control press
// under way: its release is no tap (kept only under the "clean" tap rule).
extern bool gControlTapSpoiled;
// Keys other than the modifiers that are down, as key events tell (kept
// only under the "clean" tap rule); a full list takes no more.
inline constexpr size_t kMaxKeysHeld = 8;
extern int64_t gKeysHeld[kMaxKeysHeld];
extern size_t gKeysHeldCount;
// Puts every variable above back to its start value.
void ResetKeyboardGestures();

// Whether the live modifier flags include Control.
bool IsControlKeyDown();
// One step of the Control recogniser, from the live state. `event` is the
// flags-changed event that asked for it: its own time then times the
// release, so that taps handled late, or out of order, keep the spacing
// they were typed with. Null (the poll tick) reads the clock. A release the
// platform made up (its keyboard went away) clears the state and is no tap.
void UpdateControlComboState(platform::EventRef event = nullptr);
// The same step from a reading of the live modifier flags the caller has
// just made, called only while the Control double-tap is on.
void UpdateControlComboStateWith(uint64_t flags, platform::EventRef event);
// Under the "clean" tap rule, a key event other than a modifier's: keeps
// gKeysHeld, and spoils the tap of a Control being held. Called for key-down
// and key-up events.
void NoteKeyForCleanTap(uint32_t type, platform::EventRef event);
// Forgets the keys held (key events may have been lost).
void ForgetKeysHeld();
// One step of the Q recogniser for any delivered event; true = quit
// requested. A Q handled late is stamped back by its age.
bool UpdateQuitComboState(uint32_t type, platform::EventRef event);
