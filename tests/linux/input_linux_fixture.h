// The fixture of the evdev tap tests: the real libevdev against fake devices
// in umockdev, a manual loop and clock, and the events the tap delivered.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "fake_input.h"
#include "manual_loop.h"
#include "platform/input.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/input_linux.h"

namespace linux_test {

struct Seen {
  uint32_t type;
  int64_t button;
  int64_t keycode;
  bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Seen& s) {
  return os << "{" << s.type << "," << s.button << "," << s.keycode << "}";
}

class InputLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  }

  // Makes the tap as the tool does: created, its source in the loop, on.
  bool StartTap() {
    tap_ = input_.CreateEventTap(platform::kEventTapMask, &InputLinuxTest::Record, this);
    if (!tap_) return false;
    source_ = tap_->CreateRunLoopSource();
    source_->AddToRunLoop(platform::RunLoopMode::kCommon);
    tap_->Enable(true);
    return true;
  }
  std::vector<Seen> Take() {
    watcher_.Pump();
    return std::exchange(seen_, {});
  }
  static platform::EventRef Record(platform::TapProxy, uint32_t type, platform::EventRef event,
                                   void* self_ptr) {
    auto* self = static_cast<InputLinuxTest*>(self_ptr);
    self->seen_.push_back({type, event->button, event->keycode});
    self->times_.push_back(event->time_ms);
    self->last_event_ = event;
    if (self->on_event_) self->on_event_();
    return event;
  }
  linux_platform::EvdevTap* Tap() { return input_.current_tap(); }

  static linux_platform::InputOptions Options(platform::RunLoop* loop) {
    linux_platform::InputOptions options;
    options.run_loop = loop;
    return options;
  }

  Testbed testbed_;
  ManualWatcher watcher_;
  linux_test::ManualClock clock_;
  linux_test::ManualRunLoop loop_{&clock_};
  linux_platform::LinuxInput input_{&watcher_, Options(&loop_)};
  std::vector<Seen> seen_;
  std::vector<uint64_t> times_;  // the events' own times, ms; 0 none
  std::function<void()> on_event_;
  platform::EventRef last_event_ = nullptr;  // while on_event_ runs
  std::unique_ptr<platform::EventTap> tap_;
  std::unique_ptr<platform::RunLoopSource> source_;
};

}  // namespace linux_test
