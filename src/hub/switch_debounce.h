// The switch request as a pure rule: the last accepted request and one new
// request in, whether it is accepted (and the new last one) out. Two rules:
// a gesture is acted on when it happens or not at all, and requests within
// 500 ms of the last accepted one are dropped.
#pragma once

#include <cstdint>

#include "shared/elapsed_ms.h"

inline constexpr uint64_t kSwitchDebounceMs = 500;

enum class SwitchVerdict : uint8_t {
  kAccept,
  kTooSoon,  // within the debounce: dropped without a word
  kTooLate,  // the gesture was read more than kLateGestureMs after it was made
};

struct SwitchDebounceStep {
  uint64_t last_ms = 0;  // the last accepted request; 0 none yet
  SwitchVerdict verdict = SwitchVerdict::kAccept;
  uint64_t late_ms = 0;  // kTooLate: how late
  bool accept() const { return verdict == SwitchVerdict::kAccept; }
};

// `at_ms` is when the request was made (the event that completed the
// gesture), 0 for now; `now_ms` the clock. The window runs from the last
// accepted request; a dropped one does not move it. Exactly 500 ms later a
// request is accepted again; one made before the last accepted one is
// dropped.
inline SwitchDebounceStep StepSwitchDebounce(uint64_t last_ms, uint64_t at_ms, uint64_t now_ms) {
  if (const uint64_t late = LateByMs(at_ms, now_ms); late != 0) {
    return {last_ms, SwitchVerdict::kTooLate, late};
  }
  const uint64_t when = at_ms != 0 ? at_ms : now_ms;
  if (last_ms != 0 && ElapsedMs(when, last_ms) < kSwitchDebounceMs) {
    return {last_ms, SwitchVerdict::kTooSoon, 0};
  }
  return {when, SwitchVerdict::kAccept, 0};
}
