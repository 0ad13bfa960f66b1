// The simulated platform: a deterministic stand-in for the reference
// platform's services, driven in virtual time, with a hub, input, user
// interface and files that tests and scenarios script and observe.
//
// One World per process at a time; Install() makes it the platform.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"

namespace sim {

// A step of the hub exchange that can be made to fail every time.
enum class HubFault {
  kMatching,  // the matching dictionary cannot be made
  kLookup,    // no matching service (as if the hub were not there)
  kPlugIn,    // the plug-in interface cannot be made
  kQuery,     // the plug-in yields no device interface
  kOpen,      // USBDeviceOpen fails
  kReadF8,    // the read of F8-008F fails
  kReadF5,    // the read of F5-0000 fails
  kWriteF5,   // the write of F5-0000 fails
};

// How a simulated hub is told apart from another with the same IDs.
struct SimHubIdentity {
  // Bus and port path, as on Linux; none (the default) as on the reference
  // platform, which numbers no ports.
  std::optional<platform::UsbLocation> port;
  // The registry's location ID, used where there is no port path.
  uint32_t location_id = 0x14100000;
  std::string serial;  // none by default
};

// A simulated hub 2109:8822: registers that keep what is written, every
// request block recorded, faults injectable at every step. The world has
// two: the hub, attached by default, and a second device with the same IDs
// (another switch, a dock on the same chip), absent until plugged in. The
// faults, the removal watch, the transfer time and the records belong to
// the bus: set through either hub, they hold for both.
class SimHub {
 public:
  virtual ~SimHub() = default;
  virtual void SetPresent(bool present) = 0;  // plug in / unplug
  virtual void SetRegister(uint8_t request, uint16_t address, uint8_t value) = 0;
  virtual uint8_t Register(uint8_t request, uint16_t address) const = 0;
  virtual void SetIdentity(const SimHubIdentity& identity) = 0;
  virtual void SetFault(HubFault step, bool on) = 0;
  // Offers a removal watch on the hub (off by default, as on the reference
  // platform, which has none) and says what the hub does after a write to
  // F5-0000 that took: leave this computer `leave_after_ms` later, or stay
  // (none).
  virtual void SetRemovalWatch(bool offered, std::optional<uint64_t> leave_after_ms) = 0;
  // Every request block the tool sent, in order (pData as sent, not kept).
  virtual const std::vector<platform::UsbDeviceRequest>& Requests() const = 0;
  // The platform objects' lives, in order. A switch that gets through:
  // "matching", "release numbers", "lookup", "plugin", "query",
  // "release plugin", "release service", "open", "close", "release device".
  // A failed step reads "<step> fail" ("matching fail", "lookup fail",
  // "plugin fail", "query fail", "open fail"); what was obtained before it is
  // still released, in the same order.
  virtual const std::vector<std::string>& Calls() const = 0;
  virtual void ClearRecords() = 0;
  // How long each control transfer takes, in virtual ms (0, the default:
  // no time at all). The main thread is held meanwhile: what happens
  // outside waits, and is handled once the switch has returned, in order,
  // each event carrying the time it happened.
  virtual void SetTransferMs(uint64_t ms) = 0;
};

// Scripted input. Live state and delivered events are independent.
class SimInput {
 public:
  virtual ~SimInput() = default;
  virtual void RefuseTap(bool refused) = 0;
  // The live state of the left Control key (the Control flag with the
  // left key's device bit), and of the right one.
  virtual void SetLiveControl(bool down) = 0;
  virtual void SetLiveRightControl(bool down) = 0;
  virtual void SetLiveButton(uint32_t button, bool down) = 0;
  // Declares that every change of the live state comes with an event (off
  // by default, as on the reference platform), so that the tool's tick
  // follows the event-driven rule.
  virtual void SetStateChangesArriveAsEvents(bool on) = 0;
  // Delivers an event of `type` to the tap's callback, when a tap exists, is
  // enabled and not disabled by the system, and its source is in a loop that
  // is running now (otherwise the event waits, as in the tap's port, until a
  // loop runs the source; a source removed meanwhile drops it). `keycode`
  // and `button` fill fields 9 and 3; the event carries the time it was
  // due, which is earlier than T when the loop was held up (a slow
  // transfer) and catches up on it. Either tap-disabled notification
  // (0xFFFFFFFE, 0xFFFFFFFF) is delivered whatever the mask to every tap
  // that is on, and switches it off: no further event reaches it until the
  // tool enables it again (from the notification's callback or later).
  virtual void Deliver(uint32_t type, int64_t keycode = 0, int64_t button = 0) = 0;
  // The system disables the tap by time-out: the notification is delivered,
  // then no more events until the tool enables the tap again.
  virtual void DisableTapByTimeout() = 0;
  virtual bool TapExists() const = 0;

  // Numbered devices (keyboards, mice), as Linux reads them: each keeps its
  // own keys and buttons, and the live state is what the present devices
  // hold together with what SetLiveControl and SetLiveButton set.
  //
  // A key of device `device` goes down or up: the modifier key codes
  // (Control 59/62, Shift 56/60, Option 58/61, Command 55/54) change the
  // flags and come as a flags-changed event, every other key as a key-down
  // or key-up event. A device used after it went away is plugged in again.
  virtual void DeviceKey(int device, int64_t keycode, bool down) = 0;
  // A button (0 left, 1 right, 2 middle) of device `device`.
  virtual void DeviceButton(int device, uint32_t button, bool down) = 0;
  // Device `device` goes away: it leaves the live state, and for each key
  // and button it held a release is made up (IsSynthesisedRelease), as the
  // Linux tap makes them.
  virtual void DeviceGone(int device) = 0;
  // Device `device` stamps its events `ms` ahead of the clock (behind when
  // negative).
  virtual void SetDeviceClockOffset(int device, int64_t ms) = 0;
  // On: device input is read as on Linux. The live state follows the events
  // as they are served, and what waited while the main thread was held is
  // served device by device, in the order of the device numbers, each
  // device's own events in order (so a release typed first on device 2
  // comes after one typed later on device 1), before any timer that fell
  // due meanwhile, as a loop serves its ready descriptors before its timers.
  // Off (the default): device input is served in the order it happened,
  // the live state changing at once.
  virtual void SetServeByDevice(bool on) = 0;
};

// The user interface as recorded, with scripted answers.
class SimUi {
 public:
  virtual ~SimUi() = default;
  // The button pressed in a three-button alert (the start-up choice), as its
  // 0-based index.
  virtual void SetChoice(int button_index) = 0;
  // How long each alert shown while the run loop runs stays up, in virtual
  // ms, before its first button is pressed.
  virtual void SetAlertMs(uint64_t ms) = 0;
  struct Alert {
    uint64_t t_ms;
    platform::AlertSpec spec;
    int result;
  };
  virtual const std::vector<Alert>& Alerts() const = 0;
  virtual bool StatusItemExists() const = 0;
  virtual bool StatusItemHasImage() const = 0;
  virtual std::string StatusItemTitle() const = 0;
  virtual std::string StatusItemToolTip() const = 0;
  // The user left-clicks the status item's button.
  virtual void LeftClickStatusItem() = 0;
  // The user right-clicks the status item; when the menu opens, its entry
  // `choose` is chosen ("" leaves the menu open until `stay_ms` has passed
  // and then closes it).
  virtual void RightClickStatusItem(const std::string& choose, uint64_t stay_ms = 0) = 0;
  // Titles and key equivalents of the entries of the last menu popped up.
  virtual std::vector<std::pair<std::string, std::string>> LastMenuEntries() const = 0;
  // The size set on the image the status item shows (0 x 0 when none).
  virtual std::pair<double, double> StatusImageSize() const = 0;
  // How often the tool brought itself to the front.
  virtual int ActivationCount() const = 0;
};

// The sandbox file system.
class SimFiles {
 public:
  virtual ~SimFiles() = default;
  // The sandbox root; home is Home(), /tmp's stand-in holds the lock file.
  virtual std::string Home() const = 0;
  virtual void SetApplicationSupport(bool present) = 0;
  enum class Exe { kPresent, kNone, kEmpty, kNotExecutable };
  virtual void SetExecutable(Exe exe) = 0;
  // Where the executable lies (inside the sandbox).
  virtual std::string ExecutablePathValue() const = 0;
  // Makes the lock file impossible to open read-write (EACCES).
  virtual void SetLockUnopenable(bool on) = 0;
  // Makes writing the agent file fail (the previous one stays).
  virtual void SetAgentWriteFails(bool on) = 0;
  enum class Icon { kNone, kBundle, kBeside };
  virtual void SetIcon(Icon icon) = 0;
  // Another process takes (or lets go of) the lock on `lock_path`: a second
  // open file description, which conflicts with the tool's own exactly as
  // another process's would. False when the lock could not be taken.
  virtual bool HoldLockElsewhere(const std::string& lock_path, bool held) = 0;
};

// A program on the simulated PATH, for the hooks: how long it runs, what it
// writes (one line each, at once) and how it ends. A program not declared
// is not on the PATH.
struct SimProgram {
  std::string name;  // as argv[0] names it
  bool executable = true;
  uint64_t runs_ms = 0;
  int exit_status = 0;
  bool ignores_term = false;  // only KILL ends it early
  std::vector<std::string> says;
};

struct Config {
  // The sandbox folder; created when missing. Empty: a fresh temporary one,
  // removed when the World is destroyed.
  std::string home;
  // The local wall-clock time when the run starts.
  std::tm start_local{};  // zero: 2025-03-05 09:07:03
};

// An observation, as the scenario runner prints it: "sim: T TEXT".
struct Observation {
  uint64_t t_ms;
  std::string text;
};

class World {
 public:
  virtual ~World() = default;
  // Null when the sandbox folder cannot be made.
  static std::unique_ptr<World> Create(const Config& config);

  // Makes this world the platform (platform::InstallServices).
  virtual void Install() = 0;
  virtual platform::Services Services() = 0;

  // Virtual ms since the run started (T).
  virtual uint64_t NowMs() const = 0;
  // Schedules `action` at T = t_ms as an outside happening, delivered in
  // whatever loop runs then (default, modal or tracking).
  virtual void At(uint64_t t_ms, std::function<void()> action) = 0;
  // Runs the default loop, outside App::Run, until T = t_ms: for unit tests
  // that drive timers without the application.
  virtual void RunUntil(uint64_t t_ms) = 0;
  // App::Run stops (as if killed, no termination hook) at T = t_ms. Without
  // a kill, App::Run also stops as if killed once nothing is left that could
  // happen: no happening, no posted input, no one-shot timer (repeating
  // timers alone do not keep it going).
  virtual void KillAt(uint64_t t_ms) = 0;
  // Holds the main thread for `ms` from now, as a stopped process or a slow
  // call would: what happens meanwhile waits and is handled afterwards.
  virtual void HoldMainThread(uint64_t ms) = 0;
  // Makes the run loop refuse new timers (AddTimer gives null) while on.
  virtual void SetTimerCreationFails(bool on) = 0;
  // Timers that are scheduled and may still fire.
  virtual size_t ValidTimerCount() const = 0;

  virtual SimHub& Hub() = 0;
  // The second device with the hub's IDs; its bus records read "usb hub-2
  // ..." where the first hub's read "usb ...".
  virtual SimHub& SecondHub() = 0;
  virtual SimInput& InputControl() = 0;
  virtual SimUi& UiControl() = 0;
  virtual SimFiles& FilesControl() = 0;
  // Puts a program on the simulated PATH (replacing one of that name).
  virtual void AddProgram(const SimProgram& program) = 0;
  // The user changes the settings file while the tool runs: `text` written
  // as an editor saves (a new file renamed over the old one), or, with
  // none, the file removed. Observed as "settings written" or "settings
  // removed"; the tool's watch on the file, when it has one, hears of it
  // at once. False when the file could not be changed.
  virtual bool ChangeSettingsFile(const std::optional<std::string>& text) = 0;

  // Every observation so far, in order.
  virtual const std::vector<Observation>& Observations() const = 0;
  // Called for each new observation as it is made (the runner prints them).
  virtual void OnObservation(std::function<void(const Observation&)> sink) = 0;
  // How App::Run ended: terminated (hook ran), killed, or still running.
  enum class Ending { kRunning, kTerminated, kKilled };
  virtual Ending HowEnded() const = 0;
};

// The settings file the tool reads in the sandbox home `home`: the Linux
// path, $HOME/.config/quembrastella-switch/config.toml.
std::string SettingsFilePath(const std::string& home);

// A simulated event as the simulated devices and scenarios make it.
struct SimEvent {
  uint32_t type = 0;
  int64_t keycode = 0;
  int64_t button = 0;
  // The virtual T at which it happened (was posted); negative: not known
  // (an event made by hand, timed by when it is handled).
  int64_t t_ms = -1;
  // A release made up for a device that went away.
  bool synthesised = false;
};
// The simulated platform's decoder: `e` as the tool receives it, its
// virtual T put on the simulated monotonic clock. The one place a SimEvent
// becomes a platform event.
platform::InputEvent Decode(const SimEvent& e);

}  // namespace sim
