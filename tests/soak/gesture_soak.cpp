// The gesture soak: hours of randomised use on the simulated platform, read
// as on Linux (two keyboards and a mouse, each device's waiting events served
// in turn after the main thread was held), every episode judged by the
// model of gesture_model.h.
//
//   qs_gesture_soak [--hours H] [--seed S] [--show N]
//
// Prints the figures; exits 1 when any episode gave a switch or quit the
// model did not expect (spurious) or lacked one it did (missed), after
// printing the first N such episodes (default 3) with the seed and the
// lines that replay them as a scenario.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "gesture_model.h"
#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "gestures/settings_change.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/app.h"
#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "shared/tool_state.h"
#include "soak_script.h"

namespace {

constexpr uint64_t kSessionMs = 3'600'000;  // a session is a virtual hour
constexpr uint64_t kMaxIdleMs = 20'000;     // between episodes

void ResetAll() {
  ResetToolState();
}

// The quit request as the tool carries it out: the tap stops.
class CountingDelegate : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override {}
  void applicationWillTerminate() override {
    ++quits;
    StopEventTap();
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  int quits = 0;
};

struct Figures {
  uint64_t virtual_ms = 0;
  uint64_t episodes = 0;
  uint64_t actions = 0;
  uint64_t switches = 0;
  uint64_t quits = 0;
  uint64_t spurious = 0;
  uint64_t missed = 0;
  uint64_t sessions = 0;
};

class Soak {
 public:
  Soak(uint64_t seed, int show) : seed_(seed), rng_(seed), show_(show) {
    // QS_SOAK_TRACE=N prints every episode of session N.
    if (const char* trace = std::getenv("QS_SOAK_TRACE"))
      trace_session_ = std::strtoull(trace, nullptr, 10);
  }

  void Run(uint64_t virtual_ms) {
    while (figures_.virtual_ms < virtual_ms) Session(virtual_ms - figures_.virtual_ms);
  }
  const Figures& figures() const { return figures_; }

 private:
  // One machine, one setting, until an hour has passed or the tool quit.
  void Session(uint64_t budget_ms) {
    soak::SessionSetup setup;
    setup.clean = std::bernoulli_distribution(0.5)(rng_);
    const uint64_t skew = std::uniform_int_distribution<uint64_t>(0, 9)(rng_);
    // Ahead by more than the longest hold: every event of that keyboard is
    // stamped ahead of the clock, however late it is handled.
    setup.keyboard2_ahead_ms = skew < 6 ? 0 : skew < 8 ? 10'000 : 4000 + skew * 400;
    ++figures_.sessions;

    world_ = sim::World::Create(sim::Config{});
    if (!world_) {
      std::fprintf(stderr, "gesture soak: cannot make the sandbox\n");
      std::exit(2);
    }
    world_->Install();
    ResetAll();
    GestureSettings settings;
    settings.control_taps = setup.clean ? ControlTapRule::kClean : ControlTapRule::kAny;
    ApplyGestureSettings(settings);
    sim::SimInput& input = world_->InputControl();
    input.SetServeByDevice(true);
    input.SetStateChangesArriveAsEvents(true);
    input.SetDeviceClockOffset(soak::kKeyboard2, static_cast<int64_t>(setup.keyboard2_ahead_ms));
    CountingDelegate delegate;
    if (!StartEventTap()) {
      std::fprintf(stderr, "gesture soak: the simulated tap was refused\n");
      std::exit(2);
    }
    platform::Sys().app->SetDelegate(&delegate);

    const uint64_t start = world_->NowMs();
    const uint64_t length = budget_ms < kSessionMs ? budget_ms : kSessionMs;
    uint64_t episode_index = 0;
    bool q_pending = false;
    while (world_->NowMs() - start < length && delegate.quits == 0) {
      const soak::Episode episode = soak::MakeEpisode(rng_, setup);
      const uint64_t base = world_->NowMs() + 1;
      for (const soak::Action& a : episode.actions) {
        world_->At(base + a.t_ms, [this, a] { Perform(a); });
      }
      const int quits_before = delegate.quits;
      world_->RunUntil(base + episode.length_ms);
      const soak::Expectation got{CountSwitches(), delegate.quits > quits_before};
      const soak::Expectation want = soak::Expect(episode, setup, &q_pending);
      if (trace_session_ == figures_.sessions) {
        std::printf("episode %llu: want %d%s got %d%s\n%s",
                    static_cast<unsigned long long>(episode_index), want.switches,
                    want.quit ? "+quit" : "", got.switches, got.quit ? "+quit" : "",
                    soak::Describe(episode).c_str());
      }
      Judge(setup, episode, episode_index++, want, got);
      ++figures_.episodes;
      figures_.actions += episode.actions.size();
      if (delegate.quits == 0) {
        world_->RunUntil(world_->NowMs() +
                         std::uniform_int_distribution<uint64_t>(0, kMaxIdleMs)(rng_));
      }
    }
    figures_.virtual_ms += world_->NowMs() - start;
    platform::Sys().app->SetDelegate(nullptr);
    ResetAll();
    world_.reset();
  }

  void Perform(const soak::Action& a) {
    sim::SimInput& input = world_->InputControl();
    switch (a.kind) {
      case soak::Action::Kind::kHold:
        world_->HoldMainThread(a.hold_ms);
        break;
      case soak::Action::Kind::kGone:
        input.DeviceGone(a.device);
        break;
      case soak::Action::Kind::kButton:
        input.DeviceButton(a.device, static_cast<uint32_t>(a.code), a.down);
        break;
      case soak::Action::Kind::kKey:
        input.DeviceKey(a.device, a.code, a.down);
        break;
    }
  }

  // Writes of the port-select register since the last count.
  int CountSwitches() {
    int n = 0;
    for (const platform::UsbDeviceRequest& r : world_->Hub().Requests()) {
      if (r.bmRequestType == 0x40 && r.bRequest == 0xF5 && r.wValue == 0) ++n;
    }
    world_->Hub().ClearRecords();
    return n;
  }

  void Judge(const soak::SessionSetup& setup, const soak::Episode& episode, uint64_t index,
             const soak::Expectation& want, const soak::Expectation& got) {
    figures_.switches += static_cast<uint64_t>(got.switches);
    figures_.quits += got.quit ? 1 : 0;
    // After a quit the tool is gone: what the episode held after it is not
    // compared.
    const bool switches_differ = !want.quit && !got.quit && want.switches != got.switches;
    const uint64_t spurious =
        (switches_differ && got.switches > want.switches) || (got.quit && !want.quit);
    const uint64_t missed =
        (switches_differ && got.switches < want.switches) || (want.quit && !got.quit);
    figures_.spurious += spurious;
    figures_.missed += missed;
    if ((spurious == 0 && missed == 0) || show_-- <= 0) return;
    std::printf(
        "FAILED: seed %llu, session %llu, episode %llu: %s\n"
        "  expected %d switch(es)%s, got %d%s\n"
        "  replay (scenario lines):\ninput by-device\n%s%s%s",
        static_cast<unsigned long long>(seed_), static_cast<unsigned long long>(figures_.sessions),
        static_cast<unsigned long long>(index), spurious ? "spurious" : "missed", want.switches,
        want.quit ? " and a quit" : "", got.switches, got.quit ? " and a quit" : "",
        setup.clean ? "settings control_taps = \"clean\"\n" : "",
        setup.keyboard2_ahead_ms
            ? ("device 2 clock +" + std::to_string(setup.keyboard2_ahead_ms) + "\n").c_str()
            : "",
        soak::Describe(episode).c_str());
  }

  uint64_t seed_;
  uint64_t trace_session_ = 0;
  std::mt19937_64 rng_;
  int show_;
  Figures figures_;
  std::unique_ptr<sim::World> world_;
};

}  // namespace

int main(int argc, char** argv) {
  double hours = 1;
  uint64_t seed = 1;
  int show = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--hours") {
      hours = std::strtod(argv[i + 1], nullptr);
    } else if (flag == "--seed") {
      seed = std::strtoull(argv[i + 1], nullptr, 10);
    } else if (flag == "--show") {
      show = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(stderr, "usage: qs_gesture_soak [--hours H] [--seed S] [--show N]\n");
      return 2;
    }
  }
  if (argc % 2 == 0 || !(hours > 0)) {
    std::fprintf(stderr, "usage: qs_gesture_soak [--hours H] [--seed S] [--show N]\n");
    return 2;
  }
  const auto began = std::chrono::steady_clock::now();
  Soak soak(seed, show);
  soak.Run(static_cast<uint64_t>(hours * 3'600'000.0));
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const Figures& f = soak.figures();
  std::printf(
      "gesture soak, seed %llu: %.1f virtual hours in %.1f s of wall time; %llu sessions, %llu "
      "episodes, %llu user actions; %llu switches, %llu quits; %llu spurious, %llu missed\n",
      static_cast<unsigned long long>(seed), static_cast<double>(f.virtual_ms) / 3'600'000.0, wall,
      static_cast<unsigned long long>(f.sessions), static_cast<unsigned long long>(f.episodes),
      static_cast<unsigned long long>(f.actions), static_cast<unsigned long long>(f.switches),
      static_cast<unsigned long long>(f.quits), static_cast<unsigned long long>(f.spurious),
      static_cast<unsigned long long>(f.missed));
  return f.spurious == 0 && f.missed == 0 ? 0 : 1;
}
