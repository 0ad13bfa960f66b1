// The switch debounce as a pure rule: the last accepted request and one new
// request in, whether it is accepted (and the new last one) out.
#pragma once

#include <cstdint>

#include "shared/elapsed_ms.h"

inline constexpr uint64_t kSwitchDebounceMs = 500;

struct SwitchDebounceStep {
  uint64_t last_ms = 0;  // the last accepted request; 0 none yet
  bool accept = false;
};

// `at_ms` is when the request was made (never 0). The window runs from the
// last accepted request; a dropped one does not move it. Exactly 500 ms
// later a request is accepted again; one made before the last accepted one
// is dropped.
inline SwitchDebounceStep StepSwitchDebounce(uint64_t last_ms, uint64_t at_ms) {
  if (last_ms != 0 && ElapsedMs(at_ms, last_ms) < kSwitchDebounceMs) return {last_ms, false};
  return {at_ms, true};
}
