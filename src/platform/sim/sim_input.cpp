#include "platform/sim/sim_input.h"

#include <string>
#include <utility>

#include "platform/sim/sim_clock.h"

namespace sim {
namespace {

bool IsNotification(uint32_t type) {
  return type == kTapDisabledByTimeout || type == kTapDisabledByUserInput;
}

// Teardown: the source must go before its tap (the tap outlives its
// source); each only marks the shared state, so either order is safe here.
class SimRunLoopSource : public platform::RunLoopSource {
 public:
  SimRunLoopSource(std::weak_ptr<SimInputService> input, std::shared_ptr<TapState> tap)
      : input_(std::move(input)), tap_(std::move(tap)) {}
  ~SimRunLoopSource() override {
    tap_->has_source = false;
    tap_->scheduled = false;
    tap_->queued.clear();
  }
  void AddToRunLoop(platform::RunLoopMode mode) override {
    tap_->scheduled = true;
    tap_->mode = mode;
    if (auto input = input_.lock(); input && !tap_->queued.empty()) input->ScheduleDrain(tap_);
  }

 private:
  std::weak_ptr<SimInputService> input_;
  std::shared_ptr<TapState> tap_;
};

class SimEventTap : public platform::EventTap {
 public:
  SimEventTap(std::weak_ptr<SimInputService> input, std::shared_ptr<TapState> tap)
      : input_(std::move(input)), tap_(std::move(tap)) {}
  ~SimEventTap() override {
    tap_->alive = false;
    tap_->queued.clear();
  }
  std::unique_ptr<platform::RunLoopSource> CreateRunLoopSource() override {
    tap_->has_source = true;
    return std::make_unique<SimRunLoopSource>(input_, tap_);
  }
  // Switching a tap on again also undoes a switch-off by the system.
  void Enable(bool on) override {
    tap_->enabled = on;
    if (on) tap_->system_disabled = false;
  }

 private:
  std::weak_ptr<SimInputService> input_;
  std::shared_ptr<TapState> tap_;
};

}  // namespace

bool SimInputService::CheckInputAccess(std::string* detail, std::string* fix) {
  // As the reference platform's preflight: the answer the tap would get,
  // without asking the user.
  if (refused_) {
    if (detail) *detail = "input monitoring is not allowed for this program";
    if (fix) {
      *fix =
          "Enable Accessibility permission for this program in System Settings (Privacy & "
          "Security), then start it again.";
    }
    return false;
  }
  if (detail) *detail = "input monitoring is allowed";
  return true;
}

std::unique_ptr<platform::EventTap> SimInputService::CreateEventTap(
    uint64_t mask, platform::EventCallback callback, void* user_info) {
  if (refused_ || callback == nullptr) return nullptr;
  std::erase_if(taps_, [](const std::weak_ptr<TapState>& t) { return t.expired(); });
  auto state = std::make_shared<TapState>();
  state->mask = mask;
  state->callback = callback;
  state->user_info = user_info;
  taps_.push_back(state);
  return std::make_unique<SimEventTap>(weak_from_this(), state);
}

platform::InputEvent Decode(const SimEvent& e) {
  platform::InputEvent decoded{e.type, e.keycode, e.button};
  if (e.t_ms >= 0) {
    decoded.time_ms =
        static_cast<uint64_t>(SimClock::kMonotonicBaseSec) * 1000u + static_cast<uint64_t>(e.t_ms);
  }
  decoded.made_up = e.synthesised;
  return decoded;
}

void SimInputService::SetLiveButton(uint32_t button, bool down) {
  if (button >= 32) return;
  if (down) {
    buttons_ |= 1u << button;
  } else {
    buttons_ &= ~(1u << button);
  }
}

bool SimInputService::TapExists() const {
  for (const auto& weak : taps_) {
    if (auto tap = weak.lock(); tap && tap->alive) return true;
  }
  return false;
}

bool SimInputService::Wants(const TapState& tap, uint32_t type) const {
  if (!tap.alive || !tap.enabled || tap.system_disabled) return false;
  // The two notifications reach every tap whatever its mask.
  if (IsNotification(type)) return true;
  return type < 64 && ((tap.mask >> type) & 1u) != 0;
}

void SimInputService::Call(TapState& tap, SimEvent event) {
  // A placeholder proxy: the tool never looks at it.
  auto* proxy = reinterpret_cast<platform::TapProxy>(&tap);
  // As on the reference platform, the event carries the modifier flags of
  // its moment.
  platform::InputEvent decoded = Decode(event);
  decoded.flags = FlagsState();
  tap.callback(proxy, event.type, &decoded, tap.user_info);
}

void SimInputService::Deliver(uint32_t type, int64_t keycode, int64_t button) {
  // Stamped with the time it was due: what the held-up loop catches up on
  // happened earlier than it is handled.
  DeliverEvent(SimEvent{type, keycode, button, static_cast<int64_t>(scheduler_.DueNow())});
}

void SimInputService::DeliverEvent(const SimEvent& event) {
  const uint32_t type = event.type;
  const bool notification = IsNotification(type);
  // Work on a copy: a callback may release taps (a quit request).
  const auto taps = taps_;
  for (const auto& weak : taps) {
    auto tap = weak.lock();
    if (!tap || !Wants(*tap, type)) continue;
    // Either notification means the system has switched the tap off: from
    // now on no event reaches it until the tool switches it on again, which
    // it may do from the notification's own callback.
    if (notification) tap->system_disabled = true;
    if (tap->has_source && tap->scheduled && scheduler_.FiresNow(tap->mode) &&
        tap->queued.empty()) {
      Call(*tap, event);
    } else if (tap->has_source) {
      // Held in the tap's port until a loop runs the source.
      tap->queued.push_back(event);
      if (tap->scheduled) ScheduleDrain(tap);
    }
  }
}

void SimInputService::ScheduleDrain(const std::shared_ptr<TapState>& tap) {
  std::weak_ptr<TapState> weak = tap;
  std::weak_ptr<SimInputService> self = weak_from_this();
  scheduler_.Post(tap->mode, [weak, self] {
    auto t = weak.lock();
    auto s = self.lock();
    if (t && s) s->Drain(t);
  });
}

void SimInputService::Drain(const std::shared_ptr<TapState>& tap) {
  while (!tap->queued.empty() && tap->alive && tap->has_source && tap->scheduled &&
         scheduler_.FiresNow(tap->mode)) {
    const SimEvent event = tap->queued.front();
    tap->queued.pop_front();
    // What reached the port before the system switched the tap off is still
    // delivered; the tool's own switch-off drops it.
    if (!IsNotification(event.type) && !tap->enabled) continue;
    Call(*tap, event);
  }
}

void SimInputService::DisableTapByTimeout() {
  Deliver(kTapDisabledByTimeout);
}

}  // namespace sim
