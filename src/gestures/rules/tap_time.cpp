#include "gestures/rules/tap_time.h"

#include "shared/elapsed_ms.h"

bool TapsWithin(TapTime a, TapTime b, uint64_t window, bool inclusive) {
  const auto within = [window, inclusive](uint64_t x, uint64_t y) {
    const uint64_t apart = DistanceMs(x, y);
    return inclusive ? apart <= window : apart < window;
  };
  if (a.Ahead() && b.Ahead()) return within(a.stamp, b.stamp);
  if (!within(a.at, b.at)) return false;
  return a.stamp == 0 || b.stamp == 0 || within(a.stamp, b.stamp);
}
