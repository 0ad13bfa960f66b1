#include "platform/sim/sim_scheduler.h"

#include <cmath>
#include <limits>

namespace sim {
namespace {

uint64_t ToMs(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::llround(seconds * 1000.0));
}

// A timer handle. It may outlive the World (a process-wide handle in a test
// that forgot to stop): it then does nothing.
class SimTimer : public platform::Timer {
 public:
  SimTimer(std::weak_ptr<Scheduler> scheduler, uint64_t id)
      : scheduler_(std::move(scheduler)), id_(id) {}
  ~SimTimer() override {
    if (auto s = scheduler_.lock()) s->ForgetTimer(id_);
  }
  void Invalidate() override {
    if (auto s = scheduler_.lock()) s->InvalidateTimer(id_);
  }
  bool IsValid() const override {
    auto s = scheduler_.lock();
    return s && s->TimerValid(id_);
  }

 private:
  std::weak_ptr<Scheduler> scheduler_;
  uint64_t id_;
};

}  // namespace

std::unique_ptr<platform::Timer> Scheduler::AddTimer(double delay_sec, double interval_sec,
                                                     platform::TimerCallback callback, void* info,
                                                     platform::RunLoopMode mode) {
  if (timer_creation_fails_ || callback == nullptr) return nullptr;
  const uint64_t id = next_timer_id_++;
  auto handle = std::make_unique<SimTimer>(weak_from_this(), id);
  TimerRec rec;
  rec.due = now_ + ToMs(delay_sec);
  rec.seq = next_seq_++;
  if (interval_sec > 0) rec.interval = std::max<uint64_t>(1, ToMs(interval_sec));
  rec.callback = callback;
  rec.info = info;
  rec.handle = handle.get();
  rec.mode = mode;
  timers_.emplace(id, rec);
  return handle;
}

void Scheduler::At(uint64_t t_ms, std::function<void()> action) {
  items_.emplace(Key{std::max(t_ms, now_), next_seq_++},
                 Item{platform::RunLoopMode::kCommon, true, std::move(action)});
}

void Scheduler::Post(platform::RunLoopMode mode, std::function<void()> action) {
  items_.emplace(Key{now_, next_seq_++}, Item{mode, false, std::move(action)});
}

void Scheduler::KillAt(uint64_t t_ms) {
  kill_ = Key{std::max(t_ms, now_), next_seq_++};
}

void Scheduler::UnwindAll() {
  if (!loops_.empty()) unwind_ = true;
}

std::optional<LoopKind> Scheduler::CurrentLoop() const {
  if (loops_.empty()) return std::nullopt;
  return loops_.back();
}

bool Scheduler::FiresNow(platform::RunLoopMode mode) const {
  return !loops_.empty() && !unwind_ && Eligible(loops_.back(), mode);
}

void Scheduler::InvalidateTimer(uint64_t id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second.valid = false;
}

bool Scheduler::TimerValid(uint64_t id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.valid;
}

void Scheduler::ForgetTimer(uint64_t id) {
  timers_.erase(id);
}

size_t Scheduler::ValidTimerCount() const {
  size_t n = 0;
  for (const auto& [id, rec] : timers_) n += rec.valid ? 1 : 0;
  return n;
}

bool Scheduler::HasPendingWork() const {
  if (kill_ || !items_.empty()) return true;
  for (const auto& [id, rec] : timers_) {
    if (rec.valid && rec.interval == 0 && !rec.firing) return true;
  }
  return false;
}

void Scheduler::FireTimer(uint64_t id) {
  TimerRec& rec = timers_.at(id);
  if (rec.interval == 0) {
    rec.valid = false;  // a one-shot timer is spent once it fires
  } else {
    rec.due += rec.interval;
  }
  rec.firing = true;
  const platform::TimerCallback callback = rec.callback;
  void* const info = rec.info;
  platform::Timer* const handle = rec.handle;
  callback(handle, info);
  // The callback may have destroyed the timer: look it up again.
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second.firing = false;
  // Fire times missed while the callback ran (a nested loop) are skipped,
  // keeping the cadence.
  while (it->second.interval != 0 && it->second.due <= now_) it->second.due += it->second.interval;
}

Scheduler::LoopEnd Scheduler::RunLoop(LoopKind kind, std::optional<uint64_t> until,
                                      const std::function<bool()>& done, bool stop_when_idle) {
  loops_.push_back(kind);
  LoopEnd end = LoopEnd::kDone;
  constexpr uint64_t kLast = std::numeric_limits<uint64_t>::max();
  for (;;) {
    if (done && done()) break;
    // Checked after the predicate too: it may run the tool's code.
    if (unwind_) {
      end = LoopEnd::kUnwound;
      break;
    }
    if (stop_when_idle && !HasPendingWork()) {
      end = LoopEnd::kIdle;
      break;
    }
    // The earliest thing that can happen in this loop, by (due, sequence).
    enum class What { kNothing, kTimer, kItem, kKill, kUntil } what = What::kNothing;
    Key best{kLast, kLast};
    uint64_t timer_id = 0;
    for (const auto& [id, rec] : timers_) {
      if (!rec.valid || rec.firing || !Eligible(kind, rec.mode)) continue;
      const Key k{rec.due, rec.seq};
      if (k < best) best = k, what = What::kTimer, timer_id = id;
    }
    auto item = items_.end();
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (!Eligible(kind, it->second.mode)) continue;
      const bool overdue_input = input_before_timers_ && it->first.first <= now_;
      if (it->first < best || overdue_input) best = it->first, what = What::kItem, item = it;
      break;
    }
    if (kill_ && *kill_ < best) best = *kill_, what = What::kKill;
    if (until && Key{*until, kLast} < best) best = Key{*until, kLast}, what = What::kUntil;
    if (what == What::kNothing) {
      end = LoopEnd::kIdle;
      break;
    }
    if (best.first > now_) now_ = best.first;
    if (what == What::kUntil) break;
    if (what == What::kKill) {
      kill_.reset();
      killed_ = true;
      unwind_ = true;
      continue;
    }
    // A nested loop inside the item has its own; this one's comes back.
    const std::optional<uint64_t> outer_due = handling_due_;
    handling_due_ = best.first;
    if (what == What::kTimer) {
      FireTimer(timer_id);
    } else {
      std::function<void()> action = std::move(item->second.action);
      items_.erase(item);
      action();
    }
    handling_due_ = outer_due;
  }
  loops_.pop_back();
  if (loops_.empty()) unwind_ = false;
  return end;
}

}  // namespace sim
