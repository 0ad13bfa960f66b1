// A tap's time two ways, and whether two taps fall within a window: shared
// by the Control and Q double-tap rules. Pure.
#pragma once

#include <cstdint>

// `at`: when the tap happened as far as the tool can trust it (never later
// than it was handled); `stamp`: what its device said (0: nothing).
struct TapTime {
  uint64_t at = 0;
  uint64_t stamp = 0;
  bool Ahead() const { return stamp > at; }
};

// Whether two taps are within `window` ms of each other, whichever came
// first (`inclusive`: exactly `window` apart still counts). A stamp ahead of
// the clock is taken as the moment it was handled, which says little of a
// tap that waited: two taps stamped ahead (a keyboard whose clock runs fast)
// are judged by their stamps alone, which keep their spacing; a tap stamped
// ahead and one that is not (two keyboards whose clocks disagree) pair only
// when both measures agree.
bool TapsWithin(TapTime a, TapTime b, uint64_t window, bool inclusive);
