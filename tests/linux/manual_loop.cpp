#include "manual_loop.h"

#include <algorithm>
#include <utility>

namespace linux_test {

struct ManualRunLoop::Slot {
  uint64_t due_ms;
  uint64_t interval_ms;
  platform::TimerCallback callback;
  void* info;
  bool valid = true;
  platform::Timer* owner = nullptr;  // the handle the tool holds
};

class ManualTimer : public platform::Timer {
 public:
  explicit ManualTimer(std::shared_ptr<ManualRunLoop::Slot> slot) : slot_(std::move(slot)) {
    slot_->owner = this;
  }
  ~ManualTimer() override {
    slot_->valid = false;
    slot_->owner = nullptr;
  }
  void Invalidate() override { slot_->valid = false; }
  bool IsValid() const override { return slot_->valid; }

 private:
  std::shared_ptr<ManualRunLoop::Slot> slot_;
};

std::unique_ptr<platform::Timer> ManualRunLoop::AddTimer(double delay_sec, double interval_sec,
                                                         platform::TimerCallback callback,
                                                         void* info, platform::RunLoopMode) {
  auto slot = std::make_shared<Slot>();
  slot->due_ms = clock_->now_ms() + static_cast<uint64_t>(delay_sec * 1000 + 0.5);
  slot->interval_ms = static_cast<uint64_t>(interval_sec * 1000 + 0.5);
  slot->callback = callback;
  slot->info = info;
  slots_.push_back(slot);
  return std::make_unique<ManualTimer>(slot);
}

void ManualRunLoop::Advance(uint64_t ms, uint64_t step_ms) {
  const uint64_t end = clock_->now_ms() + ms;
  while (clock_->now_ms() < end) {
    clock_->Set(std::min(end, clock_->now_ms() + step_ms));
    // Callbacks may add or drop timers: work on a snapshot.
    const std::vector<std::shared_ptr<Slot>> due = slots_;
    for (const auto& slot : due) {
      if (!slot->valid || slot->due_ms > clock_->now_ms()) continue;
      if (slot->interval_ms == 0) {
        slot->valid = false;
      } else {
        slot->due_ms += slot->interval_ms;
      }
      slot->callback(slot->owner, slot->info);
    }
    slots_.erase(
        std::remove_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s->valid; }),
        slots_.end());
  }
}

size_t ManualRunLoop::live_timers() const {
  return static_cast<size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->valid; }));
}

class ManualFdWatch : public linux_platform::FdWatch {
 public:
  explicit ManualFdWatch(std::shared_ptr<ManualWatcher::Slot> slot) : slot_(std::move(slot)) {}
  ~ManualFdWatch() override { slot_->live = false; }

 private:
  std::shared_ptr<ManualWatcher::Slot> slot_;
};

std::unique_ptr<linux_platform::FdWatch> ManualWatcher::WatchReadable(int fd,
                                                                      std::function<void()> ready) {
  auto slot = std::make_shared<Slot>(Slot{fd, std::move(ready)});
  slots_.push_back(slot);
  return std::make_unique<ManualFdWatch>(slot);
}

void ManualWatcher::Pump() {
  const std::vector<std::shared_ptr<Slot>> snapshot = slots_;
  for (const auto& slot : snapshot) {
    if (slot->live) {
      // Keep the callable alive even if the watch is dropped inside it.
      const std::function<void()> ready = slot->ready;
      ready();
    }
  }
  slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s->live; }),
               slots_.end());
}

size_t ManualWatcher::live_watches() const {
  return static_cast<size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->live; }));
}

}  // namespace linux_test
