// The main run loop: timers and sources, all delivered on the main thread.
#pragma once

#include <memory>

namespace platform {

// The modes a timer or source is scheduled in. Common-mode items fire in every
// loop the platform runs: the default loop, the modal loop of an alert and the
// tracking loop of an open menu. Default-mode items fire only in the default
// loop.
enum class RunLoopMode { kDefault, kCommon };

class Timer;
using TimerCallback = void (*)(Timer* timer, void* info);

// A run-loop timer. Destroying it invalidates it (if it may still fire) and
// releases it; a timer may be destroyed from inside its own callback.
class Timer {
 public:
  virtual ~Timer() = default;
  // Stops the timer from firing again. Idempotent.
  virtual void Invalidate() = 0;
  // True until the timer has been invalidated or, being one-shot, has fired.
  virtual bool IsValid() const = 0;
};

class RunLoop {
 public:
  virtual ~RunLoop() = default;
  // Creates a timer that first fires `delay_sec` seconds from now and then
  // every `interval_sec` seconds (0 = once), and schedules it on the main run
  // loop in `mode`. Null when the timer could not be created.
  virtual std::unique_ptr<Timer> AddTimer(double delay_sec, double interval_sec,
                                          TimerCallback callback, void* info, RunLoopMode mode) = 0;
};

}  // namespace platform
