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
