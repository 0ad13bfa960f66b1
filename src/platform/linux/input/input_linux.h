// The input service: the evdev tap and the live state it keeps.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "platform/input.h"
#include "platform/linux/input/input_access.h"
#include "platform/linux/input/node_follower.h"
#include "platform/linux/loop/fd_watch.h"

namespace linux_platform {

class EvdevTap;

class LinuxInput : public platform::Input {
 public:
  // `watcher` serves the devices' descriptors (not owned; it outlives the
  // taps). `dir` is where the device nodes are.
  explicit LinuxInput(FdWatcher* watcher, std::string dir = "/dev/input");
  LinuxInput(FdWatcher* watcher, InputOptions options);

  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t mask,
                                                     platform::EventCallback callback,
                                                     void* user_info) override;
  std::string RefusedTapFix() override { return InputAccessFix(); }
  // Counts the event nodes this user can open for reading, as the tap
  // would open them.
  bool CheckInputAccess(std::string* detail, std::string* fix) override {
    return CheckInputAccessIn(options_.dir, detail, fix);
  }
  // Linux has no Accessibility permission and no event tap: input devices
  // and the group that may read them.
  std::string RefusedTapLine() override {
    return "Cannot read any input device (keyboard or mouse)";
  }
  std::string RefusedTapAlert() override {
    return "Cannot read the keyboard and mouse: this program may not open any input device.";
  }
  // evdev reports every key and button change, and libevdev replays what
  // a SYN_DROPPED lost: the live state never changes without an event.
  bool StateChangesArriveAsEvents() const override { return true; }
  uint64_t FlagsState() override;
  bool ButtonState(uint32_t button) override;
  uint32_t ButtonStates() override;

  // The tap made last, while it exists (live state comes from it).
  EvdevTap* current_tap() const { return tap_; }

 private:
  friend class TrackedTap;
  // Tells the user `line`, each line once in the life of the service.
  void Report(const std::string& line);

  FdWatcher* watcher_;
  InputOptions options_;
  std::set<std::string> told_;
  EvdevTap* tap_ = nullptr;
};

}  // namespace linux_platform
