// The Control double-tap as a pure rule: the recogniser's state and one
// reading of Control in, the new state and whether to switch out. No clock
// is read here; the caller puts the time in the reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What counts as a Control tap.
enum class ControlTapRule : uint8_t {
  kAny,    // every release of Control
  kClean,  // only a release with no other key pressed while Control was held
};

// Which Control key taps. kLeft and kRight read the two keys apart by the
// device-dependent flag bits (kEventFlagMaskLeftControl, ...RightControl)
// and by the key code of a flags-changed event. Bound to one key, the other
// one (or a Control whose side the flags do not tell) is not ignored: pressed,
// held or let go, it breaks the pair (a pending first tap is dropped), and
// held at any moment of a press of the chosen key it spoils that press (no
// tap: both keys down make no clean single-key tap).
enum class ControlKey : uint8_t {
  kEither,  // both keys as one, not told apart
  kLeft,
  kRight,
};

struct ControlTapParams {
  ControlTapRule taps = ControlTapRule::kAny;
  uint32_t window_ms = 700;  // the second release at most this long after the first
  ControlKey key = ControlKey::kEither;
};

// Whether `flags` have the Control that taps under `key` down: the Control
// flag for kEither, the chosen key's device bit otherwise.
bool TapControlIn(uint64_t flags, ControlKey key);

struct ControlTapState {
  bool down = false;        // Control (the chosen key) at the previous reading
  uint64_t pending_ms = 0;  // the pending first release, never later than it was handled; 0 none
  uint64_t pending_stamp_ms = 0;  // that release as its device stamped it; 0 not stamped
  // Something else was held during this press: a key or modifier (clean
  // rule), or the other Control key (one key chosen).
  bool spoiled = false;

  bool operator==(const ControlTapState&) const = default;
};

// One look at Control, by a flags-changed event or by the poll tick.
struct ControlReading {
  uint64_t flags = 0;       // the live modifier flags (with the Control keys' own bits)
  bool from_event = false;  // a flags-changed event asked; false: the poll tick
  int64_t key_code = 0;     // that event's key code
  bool made_up = false;     // that event is a release the platform made up
  bool keys_held = false;   // clean rule: a key other than a modifier is down
  // When the reading was made, needed only where ControlReadingNeedsTime
  // says so: the event's own time, never later than now, or now.
  uint64_t at_ms = 0;
  uint64_t stamp_ms = 0;  // the event's own time as its device gave it; 0 none
};

struct ControlTapStep {
  ControlTapState state;
  bool switch_now = false;
  uint64_t switch_at_ms = 0;  // when the pair was complete
};

// Whether StepControlTap looks at `at_ms` for this reading: a release does,
// and a tick while a release is pending. Other readings need no clock.
bool ControlReadingNeedsTime(const ControlTapState& state, const ControlReading& reading,
                             const ControlTapParams& params);
// Whether StepControlTap can change the state or switch for this reading:
// false when Control is as it was, no pending release can expire (an event,
// or a tick with none pending), no press is being judged for the clean
// rule and, bound to one key, the other key is neither down nor its event.
// The caller may then skip the step and its clock read.
bool ControlReadingCanAct(const ControlTapState& state, const ControlReading& reading,
                          const ControlTapParams& params);
ControlTapStep StepControlTap(const ControlTapState& state, const ControlReading& reading,
                              const ControlTapParams& params);

// The keys other than the modifiers that are down, as key events tell
// (kept only under the clean rule). A full list takes no more.
struct HeldKeys {
  static constexpr size_t kMax = 8;
  std::array<int64_t, kMax> codes{};
  size_t count = 0;
};
// A key-down (auto-repeats included) or key-up of a key other than a
// modifier, under the clean rule: the keys held after it, and a Control
// being held is spoiled. Other event types change nothing.
struct CleanKeyStep {
  HeldKeys keys;
  ControlTapState state;
};
CleanKeyStep StepCleanKey(const HeldKeys& keys, ControlTapState state, uint32_t type, int64_t code);
// Whether StepCleanKey changes anything: a key event that changes the list,
// or any key event while Control is held and its press not yet spoiled.
bool CleanKeyCanAct(const HeldKeys& keys, const ControlTapState& state, uint32_t type,
                    int64_t code);
