#include "gesture_model.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace soak {
namespace {

constexpr uint64_t kWindowMs = 700;
constexpr uint64_t kHoldMs = 1000;
constexpr uint64_t kDebounceMs = 500;
constexpr uint64_t kLateMs = 1000;

struct Tap {
  uint64_t t;
  int device;
  bool long_ago = false;  // pending from an earlier episode
};

class Model {
 public:
  Model(const Episode& episode, const SessionSetup& setup) : setup_(setup) {
    for (const Action& a : episode.actions) {
      if (a.kind == Action::Kind::kHold) stalls_.emplace_back(a.t_ms, a.t_ms + a.hold_ms);
    }
  }

  void Do(const Action& a) {
    switch (a.kind) {
      case Action::Kind::kHold:
        return;
      case Action::Kind::kKey:
        return a.down ? KeyDown(a.t_ms, a.device, a.code) : KeyUp(a.t_ms, a.device, a.code, false);
      case Action::Kind::kButton:
        return Button(a.t_ms, a.code, a.down, false);
      case Action::Kind::kGone:
        return Gone(a.t_ms, a.device);
    }
  }

  void SetQPendingLongAgo(bool pending) {
    if (pending) pending_q_ = Tap{0, 0, true};
  }
  bool QPending() const { return pending_q_.has_value(); }

  Expectation Result() {
    Expectation e;
    std::sort(requests_.begin(), requests_.end());
    std::optional<uint64_t> last;
    for (const auto& [t, ahead] : requests_) {
      if (TooLate(t, ahead)) continue;  // let go, and no window starts
      if (last && t - *last < kDebounceMs) continue;
      last = t;
      ++e.switches;
    }
    e.quit = quit_;
    return e;
  }

 private:
  bool ControlHeld() const {
    for (const auto& keys : keys_) {
      if (keys.count(kControl)) return true;
    }
    return false;
  }
  bool OtherKeyHeld() const {
    for (const auto& keys : keys_) {
      for (int64_t code : keys) {
        if (code != kControl) return true;
      }
    }
    return false;
  }

  void KeyDown(uint64_t t, int device, int64_t code) {
    (void)t;
    if (code == kControl) {
      if (!ControlHeld()) spoiled_ = setup_.clean && OtherKeyHeld();
    } else if (setup_.clean && ControlHeld()) {
      spoiled_ = true;
    }
    keys_[device].insert(code);
  }

  // `made_up`: the release comes because the keyboard went away.
  void KeyUp(uint64_t t, int device, int64_t code, bool made_up) {
    if (!keys_[device].erase(code)) return;
    if (code == kControl) {
      if (ControlHeld()) return;  // still held on the other keyboard
      if (made_up || spoiled_) {
        pending_control_.reset();
      } else {
        ControlTap({t, device});
      }
      spoiled_ = false;
      return;
    }
    if (setup_.clean && ControlHeld()) spoiled_ = true;
    if (code == kQ) {
      if (made_up) {
        pending_q_.reset();
      } else {
        QTap({t, device});
      }
    }
  }

  uint64_t Ahead(int device) const {
    return device == kKeyboard2 ? static_cast<uint64_t>(setup_.keyboard2_ahead_ms) : 0;
  }
  bool Skewed(int a, int b) const {
    const int64_t apart = static_cast<int64_t>(Ahead(a)) - static_cast<int64_t>(Ahead(b));
    return static_cast<uint64_t>(apart < 0 ? -apart : apart) > kWindowMs;
  }

  void ControlTap(Tap tap) {
    if (pending_control_ && tap.t - pending_control_->t <= kWindowMs &&
        !Skewed(tap.device, pending_control_->device)) {
      requests_.push_back({tap.t, Ahead(tap.device)});
      pending_control_.reset();
    } else {
      pending_control_ = tap;
    }
  }

  void QTap(Tap tap) {
    if (!pending_q_) {
      pending_q_ = tap;
      return;
    }
    if (!pending_q_->long_ago && tap.t - pending_q_->t < kWindowMs &&
        !Skewed(tap.device, pending_q_->device)) {
      quit_ = quit_ || !TooLate(tap.t, Ahead(tap.device));
    }
    pending_q_.reset();
  }

  bool Chord() const { return buttons_[0] && (buttons_[1] || buttons_[2]); }

  // A gesture made while the tool was held up, and served more than a
  // second after it was made, is not acted on. The tool can only tell by
  // the event's stamp: a device clock that runs ahead hides the delay.
  bool TooLate(uint64_t t, uint64_t ahead) const {
    for (const auto& [from, to] : stalls_) {
      if (t >= from && t < to) return to > t + ahead && to - (t + ahead) > kLateMs;
    }
    return false;
  }

  bool StalledAt(uint64_t t) const {
    for (const auto& [from, to] : stalls_) {
      if (t >= from && t < to) return true;
    }
    return false;
  }
  bool StallEndsAfter(uint64_t t, uint64_t end) const {
    for (const auto& [from, to] : stalls_) {
      if (t >= from && t < to) return end < to;
    }
    return false;
  }

  void Button(uint64_t t, int64_t button, bool down, bool made_up) {
    const bool before = Chord();
    buttons_[button] = down;
    const bool after = Chord();
    if (!before && after) chord_start_ = t;
    if (before && !after) {
      const uint64_t second = chord_start_ + kHoldMs;
      // Held a second: switched at that second, unless the tool was held up
      // then and only learnt afterwards that the mouse had gone.
      if (t >= second && !(made_up && StalledAt(second) && StallEndsAfter(second, t))) {
        requests_.push_back({second, 0});
      }
    }
  }

  void Gone(uint64_t t, int device) {
    if (device == kMouse) {
      for (int64_t b = 0; b < 3; ++b) {
        if (buttons_[b]) Button(t, b, false, true);
      }
      return;
    }
    // Whatever it held comes up with it; in which order does not matter.
    const std::vector<int64_t> held(keys_[device].begin(), keys_[device].end());
    for (int64_t code : held) KeyUp(t, device, code, true);
  }

  const SessionSetup& setup_;
  std::vector<std::pair<uint64_t, uint64_t>> stalls_;
  std::array<std::set<int64_t>, 3> keys_{};  // by keyboard (index 1 and 2)
  std::array<bool, 3> buttons_{};
  uint64_t chord_start_ = 0;
  bool spoiled_ = false;
  std::optional<Tap> pending_control_;
  std::optional<Tap> pending_q_;
  // When each switch was asked for, and how far ahead the clock that
  // stamped it runs.
  std::vector<std::pair<uint64_t, uint64_t>> requests_;
  bool quit_ = false;
};

}  // namespace

Expectation Expect(const Episode& episode, const SessionSetup& setup, bool* q_pending) {
  Model model(episode, setup);
  model.SetQPendingLongAgo(*q_pending);
  for (const Action& a : episode.actions) model.Do(a);
  *q_pending = model.QPending();
  return model.Result();
}

}  // namespace soak
