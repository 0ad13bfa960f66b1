// Differences between two millisecond times on one clock, for the timing
// rules: pure arithmetic, no clock read.
#pragma once

#include <cstdint>

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
// A gesture is acted on when it happens or not at all: one whose completing
// event is read more than this late (the loop was held up, the process was
// stopped) is let go.
inline constexpr uint64_t kLateGestureMs = 1000;
// How late a gesture completed at `at_ms` is read at `now_ms`, when that is
// later than kLateGestureMs; 0 otherwise, and for no time (0).
inline uint64_t LateByMs(uint64_t at_ms, uint64_t now_ms) {
  if (at_ms == 0) return 0;
  const uint64_t late = ElapsedMs(now_ms, at_ms);
  return late > kLateGestureMs ? late : 0;
}
