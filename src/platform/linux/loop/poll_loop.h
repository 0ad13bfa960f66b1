// The one loop of a tool without a display, on poll(2) alone: timers,
// descriptor watches and the application object, all on the main thread.
// No toolkit is loaded, so an idle tool costs one wake-up per timer tick
// and little memory.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/app.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/run_loop.h"

namespace linux_platform {

class PollLoop : public platform::RunLoop, public FdWatcher, public platform::App {
 public:
  using Clock = std::chrono::steady_clock;

  PollLoop() = default;
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  // platform::RunLoop. Both modes fire alike: without a display no alert
  // or menu runs a loop of its own.
  std::unique_ptr<platform::Timer> AddTimer(double delay_sec, double interval_sec,
                                            platform::TimerCallback callback, void* info,
                                            platform::RunLoopMode mode) override;
  // FdWatcher: `ready` runs when `fd` is readable, has hung up or failed.
  std::unique_ptr<FdWatch> WatchReadable(int fd, std::function<void()> ready) override;

  // platform::App
  void SetActivationPolicyAccessory() override {}
  void SetDelegate(platform::AppDelegate* delegate) override { delegate_ = delegate; }
  // Calls the launch hook, then serves timers and watches until Terminate.
  void Run() override;
  // Runs the termination hook once; Run returns when the item being served
  // returns.
  void Terminate() override;

  // One pass: waits until a watched descriptor is ready, the next timer is
  // due or `max_wait` has passed (negative: no limit but the timers), then
  // serves what is ready and due.
  void RunOnce(std::chrono::milliseconds max_wait);
  bool terminating() const { return terminating_; }

 private:
  struct TimerSlot {
    Clock::time_point due;
    Clock::duration interval{};  // zero: one-shot
    platform::TimerCallback callback = nullptr;
    void* info = nullptr;
    bool valid = true;
    platform::Timer* handle = nullptr;  // the handle the tool holds, while it lives
  };
  struct WatchSlot {
    int fd = -1;
    std::function<void()> ready;
    bool live = true;
  };
  friend class PollTimer;
  friend class PollWatch;

  int WaitMs(std::chrono::milliseconds max_wait) const;
  void ServeDescriptors();
  void FireDueTimers();

  platform::AppDelegate* delegate_ = nullptr;
  bool terminating_ = false;
  bool quit_ = false;
  std::vector<std::shared_ptr<TimerSlot>> timers_;
  std::vector<std::shared_ptr<WatchSlot>> watches_;
  // Reused on every pass, so that an idle pass allocates nothing.
  std::vector<pollfd> pollfds_;
  std::vector<std::shared_ptr<WatchSlot>> polled_;
};

}  // namespace linux_platform
