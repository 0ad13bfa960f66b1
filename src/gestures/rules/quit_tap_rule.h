// The Q double-tap as a pure rule: the recogniser's state and one delivered
// event in, the new state and whether to quit out. Two clocks: the wall
// clock's milliseconds kept to 32 bits (differences taken in 32-bit
// arithmetic, so its wrap-around does not matter), and the monotonic one,
// which tells about device clocks. No clock is read here.
#pragma once

#include <cstdint>

#include "platform/event_types.h"

// What counts as the second Q of a pair.
enum class QuitTapRule : uint8_t {
  kAny,          // any Q within the window
  kConsecutive,  // only a Q with no other key between the two
};

struct QuitTapParams {
  QuitTapRule taps = QuitTapRule::kAny;
  uint32_t window_ms = 700;  // the second Q less than this long after the first
};

struct QuitTapState {
  int32_t key = 0;        // the pending first Q's key code (12 while one is pending); 0 none
  uint32_t wall_ms = 0;   // its wall-clock stamp, 32 bits; 0 none pending
  uint64_t at_ms = 0;     // on the monotonic clock, never later than it was handled
  uint64_t stamp_ms = 0;  // as its device stamped it; 0 not stamped

  bool operator==(const QuitTapState&) const = default;
};

// One delivered event, with the clocks as the caller read them.
struct QuitReading {
  uint32_t type = 0;
  int64_t key_code = 0;
  bool made_up = false;  // a release the platform made up
  uint32_t wall_ms = 0;  // wall-clock stamp taken when the event was handled, 32 bits
  // Needed for a key-up of Q only: how long ago the event happened (0 where
  // the platform cannot tell), when it happened on the monotonic clock
  // (never later than now) and its own time as the device gave it (0 none).
  uint64_t age_ms = 0;
  uint64_t at_ms = 0;
  uint64_t stamp_ms = 0;
};

struct QuitTapStep {
  QuitTapState state;
  bool quit = false;
};

// Whether StepQuitTap looks at the monotonic times of this event: only a
// key-up of Q does.
bool QuitReadingNeedsTime(uint32_t type, int64_t key_code);
// Whether StepQuitTap can change the state or quit for this event: false
// for every event that leaves both as they are (a mouse event, and under
// the "any" rule every key but a key-up of Q), so that the caller may skip
// the step and its clock reads.
inline bool QuitReadingCanAct(const QuitTapState& state, uint32_t type, int64_t key_code,
                              const QuitTapParams& params) {
  const bool consecutive = params.taps == QuitTapRule::kConsecutive;
  if (type == platform::kEventKeyUp) {
    return static_cast<uint16_t>(key_code) == platform::kKeyCodeQ ||
           (consecutive && !(state == QuitTapState{}));
  }
  return consecutive && state.wall_ms != 0 &&
         (type == platform::kEventFlagsChanged ||
          (type == platform::kEventKeyDown && key_code != platform::kKeyCodeQ));
}
QuitTapStep StepQuitTap(QuitTapState state, const QuitReading& reading,
                        const QuitTapParams& params);
