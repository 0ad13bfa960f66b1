// Hand-driven stand-ins for the loop services, so that the linux platform's
// input and hub code can be run through the tool's core step by step: a
// clock that moves only when told, timers that fire when the clock passes
// them, descriptor watches fired on demand, and an application object that
// records the terminate request.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/app.h"
#include "platform/clock.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/run_loop.h"

namespace linux_test {

class ManualClock : public platform::Clock {
 public:
  platform::TimeSpec Monotonic() override { return At(now_ms_); }
  platform::TimeSpec Realtime() override { return At(now_ms_ + 1'700'000'000'000); }
  std::tm LocalTime() override { return std::tm{}; }
  uint64_t now_ms() const { return now_ms_; }
  void Set(uint64_t ms) { now_ms_ = ms; }

 private:
  static platform::TimeSpec At(uint64_t ms) {
    return {static_cast<int64_t>(ms / 1000), static_cast<int64_t>(ms % 1000) * 1'000'000};
  }
  uint64_t now_ms_ = 10'000;
};

class ManualRunLoop : public platform::RunLoop {
 public:
  explicit ManualRunLoop(ManualClock* clock) : clock_(clock) {}
  std::unique_ptr<platform::Timer> AddTimer(double delay_sec, double interval_sec,
                                            platform::TimerCallback callback, void* info,
                                            platform::RunLoopMode mode) override;
  // Moves the clock forward in steps of `step_ms`, firing every timer that
  // falls due, in order.
  void Advance(uint64_t ms, uint64_t step_ms = 10);
  size_t live_timers() const;

 private:
  struct Slot;
  friend class ManualTimer;
  ManualClock* clock_;
  std::vector<std::shared_ptr<Slot>> slots_;
};

class ManualWatcher : public linux_platform::FdWatcher {
 public:
  std::unique_ptr<linux_platform::FdWatch> WatchReadable(int fd,
                                                         std::function<void()> ready) override;
  // Calls every live watch once, as a loop iteration would when all are
  // readable (the fake devices' sockets cannot be polled).
  void Pump();
  size_t live_watches() const;

 private:
  struct Slot {
    int fd;
    std::function<void()> ready;
    bool live = true;
  };
  friend class ManualFdWatch;
  std::vector<std::shared_ptr<Slot>> slots_;
};

class RecordingApp : public platform::App {
 public:
  void SetActivationPolicyAccessory() override {}
  void SetDelegate(platform::AppDelegate*) override {}
  void Run() override {}
  void Terminate() override {
    ++terminate_requests;
    if (on_terminate) on_terminate();
  }
  int terminate_requests = 0;
  std::function<void()> on_terminate;
};

}  // namespace linux_test
