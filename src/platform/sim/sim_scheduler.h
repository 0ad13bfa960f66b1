// Virtual time and the simulated main run loop: timers, outside happenings,
// work posted by run-loop sources, and the nested loops (the modal loop of an
// alert, the tracking loop of a menu) with their modes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/run_loop.h"

namespace sim {

enum class LoopKind { kDefault, kModal, kTracking };

class Scheduler : public platform::RunLoop, public std::enable_shared_from_this<Scheduler> {
 public:
  // How a loop ended.
  enum class LoopEnd {
    kDone,     // its own condition was met (time reached, predicate true)
    kUnwound,  // a terminate request or a kill unwound every loop
    kIdle,     // nothing was left that could ever happen
  };

  // Virtual ms since the start (T).
  uint64_t Now() const { return now_; }
  // When the item being handled was due: T itself, unless the loop was held
  // up (Block) and is catching up on what fell due meanwhile.
  uint64_t DueNow() const { return handling_due_.value_or(now_); }
  // The main thread is held for `ms` (a transfer that takes that long):
  // virtual time moves on and nothing runs. What fell due meanwhile runs
  // once the loop goes on, in order of when it was due, with T as it is then.
  void Block(uint64_t ms) { now_ += ms; }

  std::unique_ptr<platform::Timer> AddTimer(double delay_sec, double interval_sec,
                                            platform::TimerCallback callback, void* info,
                                            platform::RunLoopMode mode) override;
  // On: whatever is due by now from outside (happenings, source work) runs
  // before the timers due by now, as a loop that serves its ready
  // descriptors before its timers does once it gets to run after a hold.
  void SetInputBeforeTimers(bool on) { input_before_timers_ = on; }
  // Makes the next AddTimer calls fail (null), for tests of that path.
  void SetTimerCreationFails(bool on) { timer_creation_fails_ = on; }

  // An outside happening at T = t_ms (never earlier than now), delivered in
  // whichever loop runs then.
  void At(uint64_t t_ms, std::function<void()> action);
  // Work of a run-loop source scheduled in `mode`: done at the current T by
  // the first loop that runs `mode` items.
  void Post(platform::RunLoopMode mode, std::function<void()> action);
  // Every loop unwinds at T = t_ms, as if the process were killed.
  void KillAt(uint64_t t_ms);
  bool Killed() const { return killed_; }

  // Runs a loop of `kind` until `done()` holds (checked between items), or
  // T = `until` once everything due by then has fired, or every loop unwinds.
  // With `stop_when_idle`, also ends (kIdle) when only repeating timers are
  // left.
  LoopEnd RunLoop(LoopKind kind, std::optional<uint64_t> until, const std::function<bool()>& done,
                  bool stop_when_idle);
  // Ends every running loop as soon as the item being handled returns.
  void UnwindAll();
  bool Unwinding() const { return unwind_; }

  // Whether any loop runs now, and which is the innermost.
  bool Running() const { return !loops_.empty(); }
  std::optional<LoopKind> CurrentLoop() const;
  // Whether an item scheduled in `mode` would fire in the loop running now.
  bool FiresNow(platform::RunLoopMode mode) const;

  // For timer handles.
  void InvalidateTimer(uint64_t id);
  bool TimerValid(uint64_t id) const;
  void ForgetTimer(uint64_t id);
  // Timers still valid (scheduled and able to fire), for tests.
  size_t ValidTimerCount() const;

 private:
  struct TimerRec {
    uint64_t due = 0;
    uint64_t seq = 0;
    uint64_t interval = 0;  // 0 = one-shot
    platform::TimerCallback callback = nullptr;
    void* info = nullptr;
    platform::Timer* handle = nullptr;
    platform::RunLoopMode mode = platform::RunLoopMode::kDefault;
    bool valid = true;
    bool firing = false;
  };
  struct Item {
    platform::RunLoopMode mode;
    bool happening;
    std::function<void()> action;
  };
  using Key = std::pair<uint64_t, uint64_t>;  // (due, sequence)

  static bool Eligible(LoopKind kind, platform::RunLoopMode mode) {
    return mode == platform::RunLoopMode::kCommon || kind == LoopKind::kDefault;
  }
  bool HasPendingWork() const;
  void FireTimer(uint64_t id);

  uint64_t now_ = 0;
  uint64_t next_seq_ = 1;
  uint64_t next_timer_id_ = 1;
  std::map<uint64_t, TimerRec> timers_;
  std::map<Key, Item> items_;
  std::optional<Key> kill_;
  bool killed_ = false;
  bool unwind_ = false;
  bool timer_creation_fails_ = false;
  bool input_before_timers_ = false;
  std::vector<LoopKind> loops_;
  std::optional<uint64_t> handling_due_;
};

}  // namespace sim
