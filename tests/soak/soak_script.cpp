#include "soak_script.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace soak {
namespace {

// Letters and punctuation; never Q (12), which is typed on purpose.
constexpr std::array<int64_t, 20> kLetters = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                              11, 13, 14, 15, 16, 17, 31, 32, 34, 35};

class Builder {
 public:
  Builder(std::mt19937_64& rng, const SessionSetup& setup) : rng_(rng), setup_(setup) {}

  uint64_t U(uint64_t lo, uint64_t hi) {
    return std::uniform_int_distribution<uint64_t>(lo, hi)(rng_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  int Keyboard() { return Chance(0.5) ? kKeyboard1 : kKeyboard2; }
  int Other(int keyboard) { return keyboard == kKeyboard1 ? kKeyboard2 : kKeyboard1; }
  // A second keyboard for a pair: the other one now and then, unless the
  // two keyboards' clocks disagree (then the user's pairs stay on one).
  int PairKeyboard(int first) {
    return setup_.keyboard2_ahead_ms == 0 && Chance(0.3) ? Other(first) : first;
  }

  void Key(uint64_t t, int device, int64_t code, bool down) {
    actions_.push_back({t, Action::Kind::kKey, device, code, down, 0});
  }
  void Button(uint64_t t, int64_t button, bool down) {
    actions_.push_back({t, Action::Kind::kButton, kMouse, button, down, 0});
  }
  // Down at t, up `held` later; returns the release time.
  uint64_t Tap(uint64_t t, int device, int64_t code, uint64_t held) {
    Key(t, device, code, true);
    Key(t + held, device, code, false);
    return t + held;
  }
  void Note(const std::string& what) { what_ += what_.empty() ? what : " + " + what; }

  // Activities; each starts at `t` and returns when it is over.
  uint64_t Typing(uint64_t t, int kb) {
    Note("typing on " + std::to_string(kb));
    const uint64_t keys = U(4, 30);
    int64_t last = -1;
    for (uint64_t i = 0; i < keys; ++i) {
      // Rolled over into the next key now and then, but a key goes down
      // again only after it came up.
      int64_t code = last;
      while (code == last) code = Chance(0.05) ? kQ : kLetters[U(0, kLetters.size() - 1)];
      last = code;
      const uint64_t held = U(30, 110);
      if (Chance(0.1)) {  // a capital: Shift around the key
        Key(t, kb, kShift, true);
        Tap(t + U(30, 60), kb, code, held);
        Key(t + 60 + held + U(20, 50), kb, kShift, false);
        t += 60 + held + 50;
      } else {
        Tap(t, kb, code, held);
      }
      t += U(60, 220);
    }
    return t + 200;
  }

  uint64_t Shortcuts(uint64_t t, int kb) {
    Note("shortcuts on " + std::to_string(kb));
    const uint64_t count = U(1, 3);
    for (uint64_t i = 0; i < count; ++i) {
      std::vector<int64_t> mods;
      if (Chance(0.6)) mods.push_back(kControl);
      if (Chance(0.3)) mods.push_back(kShift);
      if (Chance(0.2)) mods.push_back(kAlt);
      if (mods.empty() || Chance(0.2)) mods.push_back(kCommand);
      std::shuffle(mods.begin(), mods.end(), rng_);
      for (int64_t m : mods) Key(t += U(20, 60), kb, m, true);
      t = Tap(t + U(20, 80), kb, kLetters[U(0, kLetters.size() - 1)], U(40, 100));
      std::shuffle(mods.begin(), mods.end(), rng_);
      for (int64_t m : mods) Key(t += U(20, 60), kb, m, false);
      t += U(200, 1500);
    }
    return t;
  }

  // Two Control taps whose releases are `gap` apart.
  uint64_t ControlTaps(uint64_t t, int kb1, int kb2, uint64_t gap) {
    const uint64_t r1 = Tap(t, kb1, kControl, U(40, 150));
    const uint64_t held2 = std::min<uint64_t>(U(40, 150), gap - 30);
    return Tap(r1 + gap - held2, kb2, kControl, held2) + 100;
  }
  uint64_t ControlPair(uint64_t t) {
    const int kb = Keyboard();
    Note("Control double-tap");
    return ControlTaps(t, kb, PairKeyboard(kb), U(120, 550));
  }
  uint64_t ControlFar(uint64_t t) {
    const int kb = Keyboard();
    Note("Control taps far apart");
    return ControlTaps(t, kb, PairKeyboard(kb), U(900, 2500));
  }
  // A modifier held from before Control's first press to after its last.
  uint64_t ModifierAroundControl(uint64_t t, bool same_keyboard) {
    const int kb = Keyboard();
    const int mod_kb = same_keyboard || Chance(0.5) ? kb : Other(kb);
    const int64_t mod = std::array<int64_t, 3>{kShift, kAlt, kCommand}[U(0, 2)];
    Note("modifier held around Control taps");
    Key(t, mod_kb, mod, true);
    const uint64_t end =
        ControlTaps(t + U(50, 300), kb, kb, Chance(0.7) ? U(120, 550) : U(900, 1500));
    Key(end + U(0, 300), mod_kb, mod, false);
    return end + 400;
  }

  uint64_t Clicks(uint64_t t) {
    Note("clicks and drags");
    const uint64_t count = U(1, 5);
    for (uint64_t i = 0; i < count; ++i) {
      const int64_t button = Chance(0.8) ? 0 : (Chance(0.7) ? 1 : 2);
      const uint64_t held = Chance(0.3) ? U(300, 2000) : U(50, 150);  // a drag, or a click
      Button(t, button, true);
      Button(t + held, button, false);
      t += held + U(150, 600);
    }
    return t;
  }

  uint64_t Chord(uint64_t t) {
    const int64_t other = Chance(0.8) ? 1 : 2;
    const bool long_hold = Chance(0.5);
    Note(long_hold ? "chord held long" : "chord held short");
    const bool left_first = Chance(0.7);
    const uint64_t second = t + U(0, 200);
    Button(left_first ? t : second, 0, true);
    Button(left_first ? second : t, other, true);
    const uint64_t end = second + (long_hold ? U(1200, 3000) : U(300, 800));
    const uint64_t later = end + U(0, 100);
    const bool left_up_first = Chance(0.5);
    Button(left_up_first ? end : later, 0, false);
    Button(left_up_first ? later : end, other, false);
    return later + 200;
  }

  uint64_t QTaps(uint64_t t) {
    const int kb = Keyboard();
    const bool pair = Chance(0.6);
    Note(pair ? "Q double-tap" : "Qs far apart");
    const uint64_t r1 = Tap(t, kb, kQ, U(40, 120));
    const uint64_t gap = pair ? U(120, 550) : U(900, 2500);
    const uint64_t held2 = std::min<uint64_t>(U(40, 120), gap - 30);
    return Tap(r1 + gap - held2, PairKeyboard(kb), kQ, held2) + 100;
  }

  // Control held on one keyboard as it goes away, then a tap on the other.
  uint64_t ControlAsKeyboardLeaves(uint64_t t) {
    const int kb = Keyboard();
    Note("Control held as its keyboard leaves");
    if (Chance(0.3)) t = Tap(t, Other(kb), kControl, U(40, 120)) + U(100, 400);
    Key(t, kb, kControl, true);  // let go only after the keyboard is gone
    const uint64_t gone = t + U(100, 700);
    actions_.push_back({gone, Action::Kind::kGone, kb, 0, false, 0});
    return Tap(gone + U(200, 600), Other(kb), kControl, U(40, 120)) + 1500;
  }

  // Device `device` goes away at a moment it holds something, if it ever
  // does: what it would have done afterwards never reaches the tool.
  // When it went (0: it did not).
  uint64_t VanishWhileHeld(int device) {
    std::map<int64_t, uint64_t> down_at;
    std::vector<std::pair<uint64_t, uint64_t>> held;
    std::stable_sort(actions_.begin(), actions_.end(),
                     [](const Action& a, const Action& b) { return a.t_ms < b.t_ms; });
    for (const Action& a : actions_) {
      if (a.device != device || a.kind == Action::Kind::kGone) continue;
      if (a.down) {
        down_at[a.code] = a.t_ms;
      } else if (auto it = down_at.find(a.code); it != down_at.end()) {
        if (a.t_ms > it->second + 40) held.emplace_back(it->second + 20, a.t_ms - 20);
        down_at.erase(it);
      }
    }
    if (held.empty()) return 0;
    const auto [from, to] = held[U(0, held.size() - 1)];
    const uint64_t gone = U(from, to);
    std::erase_if(actions_, [&](const Action& a) { return a.device == device && a.t_ms >= gone; });
    actions_.push_back({gone, Action::Kind::kGone, device, 0, false, 0});
    Note("device " + std::to_string(device) + " leaves");
    return gone;
  }

  Episode Finish(uint64_t end) {
    std::stable_sort(actions_.begin(), actions_.end(),
                     [](const Action& a, const Action& b) { return a.t_ms < b.t_ms; });
    // A device that went away does nothing more in this episode (what its
    // user does with it never reaches the tool); it is back for the next.
    std::map<int, uint64_t> gone_at;
    for (const Action& a : actions_) {
      if (a.kind == Action::Kind::kGone && !gone_at.count(a.device)) gone_at[a.device] = a.t_ms;
    }
    std::erase_if(actions_, [&](const Action& a) {
      auto it = gone_at.find(a.device);
      return a.kind != Action::Kind::kHold && it != gone_at.end() &&
             (a.t_ms > it->second || (a.t_ms == it->second && a.kind != Action::Kind::kGone));
    });
    // A key or button goes down only when it is up, and up only when it is
    // down: activities laid over each other on one device must not make
    // what no hand can.
    std::map<std::pair<int, int64_t>, bool> held;
    std::erase_if(actions_, [&held](const Action& a) {
      if (a.kind != Action::Kind::kKey && a.kind != Action::Kind::kButton) return false;
      bool& down = held[{a.kind == Action::Kind::kKey ? a.device : -a.device, a.code}];
      if (down == a.down) return true;
      down = a.down;
      return false;
    });
    // No two at one moment: which came first must be plain.
    for (size_t i = 1; i < actions_.size(); ++i) {
      if (actions_[i].t_ms <= actions_[i - 1].t_ms) actions_[i].t_ms = actions_[i - 1].t_ms + 1;
    }
    // Settled 2.5 s after the last thing that happens, a hold's end included.
    for (const Action& a : actions_) end = std::max(end, a.t_ms + a.hold_ms);
    Episode episode;
    episode.length_ms = end + 2500;
    episode.actions = std::move(actions_);
    episode.what = std::move(what_);
    return episode;
  }

  std::vector<Action>& actions() { return actions_; }

  // `t`, or later: after any device went away, and after the last Q when
  // both keyboards type one (a made-up release, or a Q, served before the
  // other keyboard's older taps would end a pair in another order than the
  // user made it; the Q double-tap has no expiry, so that would last).
  uint64_t AfterReorderedClears(uint64_t t) {
    bool q_on[3] = {false, false, false};
    uint64_t last_q = 0;
    for (const Action& a : actions_) {
      if (a.kind == Action::Kind::kGone) t = std::max(t, a.t_ms + 1);
      if (a.kind == Action::Kind::kKey && a.code == kQ && a.device <= 2) {
        q_on[a.device] = true;
        last_q = std::max(last_q, a.t_ms + 1);
      }
    }
    return q_on[1] && q_on[2] ? std::max(t, last_q) : t;
  }

  // `t`, or the end of the Control press it falls into.
  uint64_t OutsideControlPresses(uint64_t t) {
    std::stable_sort(actions_.begin(), actions_.end(),
                     [](const Action& a, const Action& b) { return a.t_ms < b.t_ms; });
    std::map<int, uint64_t> since;
    for (const Action& a : actions_) {
      if (a.kind == Action::Kind::kGone) since.erase(a.device);
      if (a.kind != Action::Kind::kKey || a.code != kControl) continue;
      if (a.down) {
        since[a.device] = a.t_ms;
      } else if (since.count(a.device)) {
        if (t >= since[a.device] && t <= a.t_ms) t = a.t_ms + 1;
        since.erase(a.device);
      }
    }
    return t;
  }

 private:
  std::mt19937_64& rng_;
  const SessionSetup& setup_;
  std::vector<Action> actions_;
  std::string what_;
};

}  // namespace

Episode MakeEpisode(std::mt19937_64& rng, const SessionSetup& setup) {
  Builder b(rng, setup);
  const bool stall = b.Chance(0.35);
  // Under the clean rule, keys on the other keyboard around a Control tap
  // are kept out of stalls: the tool serves one keyboard's waiting events
  // before the other's, so it cannot see them in time (see the docs).
  const bool cross_keys_ok = !(stall && setup.clean);
  const uint64_t start = b.U(0, 500);
  uint64_t end = start;
  switch (b.U(0, 9)) {
    case 0:
    case 1:
      end = b.Typing(start, b.Keyboard());
      break;
    case 2:
      end = b.Shortcuts(start, b.Keyboard());
      break;
    case 3:
      end = b.ControlPair(start);
      break;
    case 4:
      end = b.ControlFar(start);
      break;
    case 5:
      end = b.ModifierAroundControl(start, !cross_keys_ok);
      break;
    case 6:
      end = b.Clicks(start);
      break;
    case 7:
      end = b.Chord(start);
      break;
    case 8:
      end = b.QTaps(start);
      break;
    default:
      end = b.ControlAsKeyboardLeaves(start);
      break;
  }
  // Now and then something else at the same time: the mouse, or typing on
  // the other keyboard.
  if (b.Chance(0.3)) {
    const uint64_t at = b.U(start, end);
    if (cross_keys_ok && b.Chance(0.5)) {
      end = std::max(end, b.Typing(at, b.Keyboard()));
    } else {
      end = std::max(end, b.Clicks(at));
    }
  }
  const uint64_t gone = b.Chance(0.15) ? b.VanishWhileHeld(static_cast<int>(b.U(1, 3))) : 0;
  if (stall) {
    // Never while Control is held: taps on two keyboards that the tool is
    // then served one inside the other look like one; and after a device
    // went away, not before: its made-up releases are served before the
    // other keyboard's older taps (see the docs).
    uint64_t at = std::max(b.U(start, end), gone);
    at = b.AfterReorderedClears(b.OutsideControlPresses(at));
    b.actions().push_back({at, Action::Kind::kHold, 0, 0, false, b.U(300, 3000)});
    b.Note("held up");
  }
  return b.Finish(end);
}

std::string Describe(const Episode& episode) {
  static const char* const kButtons[] = {"left", "right", "middle"};
  std::string out = "# " + episode.what + "\n";
  for (const Action& a : episode.actions) {
    out += "at " + std::to_string(a.t_ms) + " ";
    switch (a.kind) {
      case Action::Kind::kHold:
        out += "hold " + std::to_string(a.hold_ms);
        break;
      case Action::Kind::kGone:
        out += "device " + std::to_string(a.device) + " gone";
        break;
      case Action::Kind::kButton:
        out += "device " + std::to_string(a.device) + " button " + kButtons[a.code] +
               (a.down ? " down" : " up");
        break;
      case Action::Kind::kKey:
        out += "device " + std::to_string(a.device) + " key " + (a.down ? "down " : "up ") +
               std::to_string(a.code);
        break;
    }
    out += "\n";
  }
  return out;
}

}  // namespace soak
