// A scenario for the simulated run, as read from its file: how the world
// looks at start, and what happens to it at which virtual time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_world.h"

namespace runner {

// The login agent file found at start.
enum class AgentSetup {
  kNone,           // no agent file
  kInstalled,      // exactly what the tool itself writes for this executable
  kOtherPath,      // the right label, another executable
  kOtherLabel,     // this executable, another label
  kNotExecutable,  // written for this executable, which then lost its execute bit
  kMalformed,      // not a property list
};

// The button pressed in the start-up choice, in the order the choice shows them.
enum class Choice { kInstall = 0, kStart = 1, kCancel = 2 };

enum class LockSetup {
  kFree,
  kHeld,        // another open file description holds the lock
  kUnopenable,  // the lock file exists but cannot be opened read-write
};

// What stands at the settings file's path instead of a file of lines.
enum class SettingsFileSetup {
  kLines,   // a regular file holding the `settings` lines (none: no file)
  kFifo,    // a named pipe with no writer
  kZero,    // a symbolic link to /dev/zero
  kHuge,    // a valid file larger than the reader takes
  kBinary,  // the first bytes of an executable
  kFolder,  // a folder
};

// A simulated hub at start (`hub`, `hub-2`).
struct HubSetup {
  bool present = true;
  uint8_t reg_f5 = 0;  // F5-0000
  uint8_t reg_f8 = 0;  // F8-008F
  sim::SimHubIdentity identity;
};

struct Setup {
  std::vector<std::string> args;  // after the program name
  bool hub_present = true;
  uint8_t reg_f5 = 0;                 // F5-0000
  uint8_t reg_f8 = 0;                 // F8-008F
  std::vector<sim::HubFault> faults;  // each at most once, in order of appearance
  sim::SimHubIdentity hub_identity;   // `hub ... port|serial|location`
  // `hub-2`: a second device with the hub's IDs; none: not on the bus.
  std::optional<HubSetup> second_hub;
  AgentSetup agent = AgentSetup::kNone;
  Choice choice = Choice::kStart;
  uint64_t alert_ms = 0;
  uint64_t transfer_ms = 0;  // how long each hub transfer holds the main thread
  LockSetup lock = LockSetup::kFree;
  bool tap_refused = false;
  bool app_support_missing = false;
  bool agent_dir_blocked = false;
  sim::SimFiles::Exe exe = sim::SimFiles::Exe::kPresent;
  sim::SimFiles::Icon icon = sim::SimFiles::Icon::kNone;
  std::optional<std::tm> clock;  // local wall-clock time at start; none: the default
  // The hub's removal can be watched (off: no check, as on the reference
  // platform); after a write that took it leaves this long after, or stays.
  bool watch_offered = false;
  std::optional<uint64_t> leave_after_write_ms;
  // The settings file's lines, in order, from the `settings` directives.
  std::vector<std::string> settings_lines;
  SettingsFileSetup settings_file = SettingsFileSetup::kLines;
  // The programs on the simulated PATH, from the `program` directives.
  std::vector<sim::SimProgram> programs;
  // `input by-device`: device input is read as on Linux (sim::SimInput::
  // SetServeByDevice), and every change of the live state comes as an event.
  bool serve_by_device = false;
  // `device N clock +MS|-MS`: device N stamps its events that far off.
  std::vector<std::pair<int, int64_t>> device_clocks;
};

// An input event as delivered to the tap: type, key code (field 9), button
// number (field 3).
struct EventSpec {
  uint32_t type = 0;
  int64_t keycode = 0;
  int64_t button = 0;
};

struct LiveButton {
  uint32_t button = 0;  // 0 left, 1 right, 2 middle
  bool down = false;
};

// An input of a numbered device (`device N ...`).
struct DeviceInput {
  enum class Kind { kKey, kButton, kGone };
  int device = 1;
  Kind kind = Kind::kKey;
  int64_t code = 0;  // key code, or button number
  bool down = false;
};

// One timeline line, lowered to what the world must do. Live state changes
// come before the event.
struct Step {
  enum class Kind {
    kInput,        // live state and/or an event, as the fields below say
    kMenuExit,     // right click on the status item, then "Exit"
    kTapDisabled,  // the system disables the tap by time-out
    kHubAbsent,    // unplug
    kHubPresent,   // plug in again
    kEnd,          // the run stops as if killed
    kDevice,       // an input of a numbered device, as `device` says
    kHold,         // the main thread is held for `hold_ms`
    kSettings,     // the settings file is rewritten with `settings_text`,
                   // or removed (none)
  };
  uint64_t t_ms = 0;
  int line = 0;
  Kind kind = Kind::kInput;
  std::optional<bool> live_control;
  bool right_control = false;  // live_control is the right Control key's
  std::optional<LiveButton> live_button;
  std::optional<EventSpec> event;
  std::optional<DeviceInput> device;
  uint64_t hold_ms = 0;
  std::optional<std::string> settings_text;
  size_t hub = 0;  // kHubAbsent, kHubPresent: 0 the hub, 1 the second
};

struct Scenario {
  Setup setup;
  std::vector<Step> timeline;  // in file order, times never decreasing
};

// Why a scenario cannot be read: the 1-based line and what is wrong there.
struct ParseError {
  int line = 0;
  std::string what;
};

// Timeline times and alert durations beyond this are refused: a longer run
// would only spin the poll timer.
inline constexpr uint64_t kMaxScenarioMs = 86'400'000;  // one virtual day
// A transfer that hangs is given up after a second; none takes longer.
inline constexpr uint64_t kMaxTransferMs = 1'000;
// Without an `end` line the run is stopped this long after the last timeline
// line (or after the start when there is none).
inline constexpr uint64_t kQuietEndMs = 5'000;

}  // namespace runner
