// The monotonic millisecond clock shared by the switch debounce and the
// Control double-tap, and the times of delivered events on that clock.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/input.h"

// Milliseconds since an arbitrary start on the monotonic clock. A stored time
// of 0 means that no time is stored.
uint64_t GetMilliseconds();
// A monotonic-clock reading in milliseconds: seconds x 1000 + nanoseconds /
// 1000000.
uint64_t MillisecondsOf(const platform::TimeSpec& t);
// When `event` happened, on GetMilliseconds' clock, where the platform
// stamps its events; 0 (no time) for no event or where it cannot tell.
// Reads no clock.
uint64_t EventTimeMs(platform::EventRef event);
// When `event` happened, or now where the platform cannot tell: the time a
// recogniser driven by this event works with. Never later than now (a clock
// read): an event cannot have happened after it is handled, so a time ahead
// of the clock (a device whose clock runs fast) is taken as now.
uint64_t GetEventMilliseconds(platform::EventRef event);
// How long ago `event` happened, in ms: 0 where the platform cannot tell
// (no clock is read then), never negative.
uint64_t EventAgeMs(platform::EventRef event);
// A gesture is acted on when it happens or not at all: one whose completing
// event is read more than this late (the loop was held up, the process was
// stopped) is let go.
inline constexpr uint64_t kLateGestureMs = 1000;
// How late a gesture completed at `at_ms` (GetMilliseconds' clock) is acted
// on, when that is later than kLateGestureMs; 0 otherwise, and for no time.
uint64_t TooLateByMs(uint64_t at_ms);

// `later` - `earlier`, or 0 when `later` is the earlier of the two (an event
// handled late from one device may be older than one handled before it).
inline uint64_t ElapsedMs(uint64_t later, uint64_t earlier) {
  return later >= earlier ? later - earlier : 0;
}
// How far apart two times are, whichever is the earlier: two taps handled
// out of order are as far apart as they were typed.
inline uint64_t DistanceMs(uint64_t a, uint64_t b) {
  return a >= b ? a - b : b - a;
}
