#include "platform/linux/loop/poll_loop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

namespace linux_platform {

// A timer handle. Destroying it invalidates the slot; the loop drops
// invalid slots after each pass, so a timer may go from inside its own
// callback.
class PollTimer : public platform::Timer {
 public:
  explicit PollTimer(std::shared_ptr<PollLoop::TimerSlot> slot) : slot_(std::move(slot)) {
    slot_->handle = this;
  }
  ~PollTimer() override {
    slot_->valid = false;
    slot_->handle = nullptr;
  }
  void Invalidate() override { slot_->valid = false; }
  bool IsValid() const override { return slot_->valid; }

 private:
  std::shared_ptr<PollLoop::TimerSlot> slot_;
};

class PollWatch : public FdWatch {
 public:
  explicit PollWatch(std::shared_ptr<PollLoop::WatchSlot> slot) : slot_(std::move(slot)) {}
  ~PollWatch() override { slot_->live = false; }

 private:
  std::shared_ptr<PollLoop::WatchSlot> slot_;
};

namespace {

PollLoop::Clock::duration Seconds(double seconds) {
  if (!(seconds > 0)) return PollLoop::Clock::duration::zero();
  return std::chrono::duration_cast<PollLoop::Clock::duration>(
      std::chrono::duration<double>(seconds));
}

}  // namespace

std::unique_ptr<platform::Timer> PollLoop::AddTimer(double delay_sec, double interval_sec,
                                                    platform::TimerCallback callback, void* info,
                                                    platform::RunLoopMode) {
  if (callback == nullptr) return nullptr;
  auto slot = std::make_shared<TimerSlot>();
  slot->due = Clock::now() + Seconds(delay_sec);
  slot->interval = Seconds(interval_sec);
  slot->callback = callback;
  slot->info = info;
  timers_.push_back(slot);
  return std::make_unique<PollTimer>(std::move(slot));
}

std::unique_ptr<FdWatch> PollLoop::WatchReadable(int fd, std::function<void()> ready) {
  if (fd < 0 || !ready) return nullptr;
  auto slot = std::make_shared<WatchSlot>();
  slot->fd = fd;
  slot->ready = std::move(ready);
  watches_.push_back(slot);
  return std::make_unique<PollWatch>(std::move(slot));
}

void PollLoop::Run() {
  if (terminating_) return;
  quit_ = false;
  if (delegate_ != nullptr) delegate_->applicationDidFinishLaunching();
  while (!quit_) RunOnce(std::chrono::milliseconds(-1));
}

void PollLoop::Terminate() {
  if (terminating_) return;
  terminating_ = true;
  if (delegate_ != nullptr) delegate_->applicationWillTerminate();
  quit_ = true;
}

int PollLoop::WaitMs(std::chrono::milliseconds max_wait) const {
  int wait = max_wait.count() < 0 ? -1 : static_cast<int>(max_wait.count());
  const Clock::time_point now = Clock::now();
  for (const auto& slot : timers_) {
    if (!slot->valid) continue;
    // Rounded up: waking a little late fires the timer, waking early only
    // costs another pass.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(slot->due - now).count();
    const int ms = static_cast<int>(std::clamp<int64_t>(left, 0, 24 * 3600 * 1000));
    if (wait < 0 || ms < wait) wait = ms;
  }
  return wait;
}

void PollLoop::RunOnce(std::chrono::milliseconds max_wait) {
  pollfds_.clear();
  polled_.clear();
  for (const auto& slot : watches_) {
    if (!slot->live) continue;
    pollfds_.push_back({slot->fd, POLLIN, 0});
    polled_.push_back(slot);
  }
  const int ready = ::poll(pollfds_.data(), pollfds_.size(), WaitMs(max_wait));
  if (ready > 0) ServeDescriptors();
  polled_.clear();
  if (!quit_) FireDueTimers();
  // Forget what was released meanwhile (no allocation: erase in place).
  std::erase_if(watches_, [](const auto& slot) { return !slot->live; });
  std::erase_if(timers_, [](const auto& slot) { return !slot->valid; });
}

void PollLoop::ServeDescriptors() {
  for (size_t i = 0; i < pollfds_.size() && !quit_; ++i) {
    if ((pollfds_[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) continue;
    // The slot is kept alive by polled_ even if its watch is destroyed by
    // an earlier callback of this pass; a dead slot is skipped.
    const std::shared_ptr<WatchSlot>& slot = polled_[i];
    if (!slot->live) continue;
    if ((pollfds_[i].revents & POLLNVAL) != 0) {
      slot->live = false;  // the descriptor was closed under the watch
      continue;
    }
    slot->ready();
  }
}

void PollLoop::FireDueTimers() {
  const Clock::time_point now = Clock::now();
  // By index: a callback may add timers (they wait for the next pass).
  const size_t count = timers_.size();
  for (size_t i = 0; i < count && !quit_; ++i) {
    const std::shared_ptr<TimerSlot> slot = timers_[i];
    if (!slot->valid || slot->due > now) continue;
    if (slot->interval > Clock::duration::zero()) {
      // The next shot one interval after this one; a loop that fell behind
      // does not fire the missed shots in a burst.
      slot->due += slot->interval;
      if (slot->due <= now) slot->due = now + slot->interval;
    } else {
      slot->valid = false;
    }
    slot->callback(slot->handle, slot->info);
  }
}

}  // namespace linux_platform
