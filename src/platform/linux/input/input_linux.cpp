#include "platform/linux/input/input_linux.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/linux/input/evdev_tap.h"

namespace linux_platform {

// A tap that tells the service when it goes away, so that the live state
// is never read from a destroyed tap.
class TrackedTap : public platform::EventTap {
 public:
  TrackedTap(LinuxInput* input, std::unique_ptr<EvdevTap> tap)
      : input_(input), tap_(std::move(tap)) {
    input_->tap_ = tap_.get();
  }
  ~TrackedTap() override {
    if (input_->tap_ == tap_.get()) input_->tap_ = nullptr;
  }
  std::unique_ptr<platform::RunLoopSource> CreateRunLoopSource() override {
    return tap_->CreateRunLoopSource();
  }
  void Enable(bool on) override { tap_->Enable(on); }
  void SetKeyInterest(platform::KeyInterest interest) override {
    tap_->SetAllKeys(interest == platform::KeyInterest::kAllKeys);
  }

 private:
  LinuxInput* input_;
  std::unique_ptr<EvdevTap> tap_;
};

namespace {
InputOptions InDir(std::string dir) {
  InputOptions options;
  options.dir = std::move(dir);
  return options;
}
}  // namespace

LinuxInput::LinuxInput(FdWatcher* watcher, std::string dir)
    : LinuxInput(watcher, InDir(std::move(dir))) {}

LinuxInput::LinuxInput(FdWatcher* watcher, InputOptions options)
    : watcher_(watcher), options_(std::move(options)) {}

void LinuxInput::Report(const std::string& line) {
  if (!told_.insert(line).second) return;
  if (options_.report) {
    options_.report(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

std::unique_ptr<platform::EventTap> LinuxInput::CreateEventTap(uint64_t mask,
                                                               platform::EventCallback callback,
                                                               void* user_info) {
  std::unique_ptr<EvdevTap> tap =
      EvdevTap::Create(options_, watcher_, mask, callback, user_info,
                       [this](const std::string& line) { Report(line); });
  if (!tap) return nullptr;
  return std::make_unique<TrackedTap>(this, std::move(tap));
}

uint64_t LinuxInput::FlagsState() {
  return tap_ != nullptr ? tap_->Flags() : 0;
}

bool LinuxInput::ButtonState(uint32_t button) {
  return tap_ != nullptr && tap_->Button(button);
}

uint32_t LinuxInput::ButtonStates() {
  return tap_ != nullptr ? tap_->Buttons() : 0;
}

}  // namespace linux_platform
