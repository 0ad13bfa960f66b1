// What a randomised user does in one episode of the gesture soak: keys and
// buttons of numbered devices at the moments they happen, devices that go
// away, and stretches in which the tool's main thread is held.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace soak {

// Devices 1 and 2 are keyboards (the laptop's own and one on the hub), 3 is
// the mouse.
inline constexpr int kKeyboard1 = 1;
inline constexpr int kKeyboard2 = 2;
inline constexpr int kMouse = 3;

// Key codes as the tool numbers them.
inline constexpr int64_t kControl = 59;
inline constexpr int64_t kShift = 56;
inline constexpr int64_t kAlt = 58;
inline constexpr int64_t kCommand = 55;
inline constexpr int64_t kQ = 12;

struct Action {
  enum class Kind { kKey, kButton, kGone, kHold };
  uint64_t t_ms = 0;  // from the episode's start, when it really happened
  Kind kind = Kind::kKey;
  int device = kKeyboard1;
  int64_t code = 0;  // key code, or button number (0 left, 1 right, 2 middle)
  bool down = false;
  uint64_t hold_ms = 0;  // kHold: how long the main thread is held
};

// How the machine is set up for a session.
struct SessionSetup {
  bool clean = false;              // control_taps = "clean"
  int64_t keyboard2_ahead_ms = 0;  // keyboard 2's clock runs this far ahead
};

struct Episode {
  std::vector<Action> actions;  // by time, no two at the same moment
  uint64_t length_ms = 0;       // everything has settled by then
  std::string what;             // the activities, for a failure report
};

// One episode of realistic use: typing, shortcuts, clicks, drags, intended
// and accidental double-taps and chords, Qs, modifiers held around Control,
// devices that go away with something held, and the main thread held.
Episode MakeEpisode(std::mt19937_64& rng, const SessionSetup& setup);

// The episode as scenario lines, for a failure report.
std::string Describe(const Episode& episode);

}  // namespace soak
