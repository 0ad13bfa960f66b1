// The tool's cost on a real kernel, run inside the test machine: wake-ups
// while idle, during 1000 Hz mouse motion and during typing, and the
// latency from the second Control release to the hub's write request, all
// from the kernel's own counters and clocks. Each figure is printed as
//   FIGURE <label> <name> <value>
// for scripts/bench-kernel.sh to collect.
//
//   vm-bench HUB_LOG TOOL [BEFORE_TOOL]
//
// QS_BENCH_IDLE_S, QS_BENCH_TYPING_S and QS_BENCH_SWITCHES (kernel command
// line words qs.idle=, qs.typing=, qs.switches=) shorten the runs.
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "uinput_device.h"
#include "vm_world.h"

namespace {

using vm::ChildProcess;
using vm::MonotonicNs;
using vm::SleepMs;
using vm::UinputDevice;
using vm::WakeCounts;

struct Settings {
  int idle_s = 60;
  int motion_s = 10;
  int typing_s = 60;
  int switches = 100;
};

Settings ReadSettings() {
  Settings s;
  std::ifstream cmdline("/proc/cmdline");
  std::string word;
  while (cmdline >> word) {
    auto value = [&word](const char* key, int* out) {
      const std::string prefix = std::string(key) + "=";
      if (word.rfind(prefix, 0) == 0) *out = std::atoi(word.c_str() + prefix.size());
    };
    value("qs.idle", &s.idle_s);
    value("qs.typing", &s.typing_s);
    value("qs.switches", &s.switches);
  }
  return s;
}

void Figure(const std::string& label, const std::string& name, double value) {
  std::printf("FIGURE %s %s %.3f\n", label.c_str(), name.c_str(), value);
  std::fflush(stdout);
}

uint64_t Wakeups(const WakeCounts& a, const WakeCounts& b) {
  return (b.voluntary + b.involuntary) - (a.voluntary + a.involuntary);
}

struct Devices {
  std::unique_ptr<UinputDevice> keyboard =
      std::make_unique<UinputDevice>(UinputDevice::Kind::kKeyboard);
  std::unique_ptr<UinputDevice> mouse = std::make_unique<UinputDevice>(UinputDevice::Kind::kMouse);
};

// Median and 99th percentile, in microseconds, and the first sample on its
// own: a tool that makes its libusb context at the first switch pays for it
// there.
void Percentiles(const std::string& label, std::vector<uint64_t> ns) {
  if (ns.empty()) return;
  Figure(label, "latency_first_us", static_cast<double>(ns.front()) / 1000.0);
  std::sort(ns.begin(), ns.end());
  const auto at = [&ns](double q) {
    const size_t i =
        std::min(ns.size() - 1, static_cast<size_t>(q * static_cast<double>(ns.size())));
    return static_cast<double>(ns[i]) / 1000.0;
  };
  Figure(label, "latency_median_us", at(0.5));
  Figure(label, "latency_p99_us", at(0.99));
  Figure(label, "latency_samples", static_cast<double>(ns.size()));
}

// Control double-taps; each sample runs from just before the second
// release is written to the moment the hub reads the write request.
std::vector<uint64_t> SwitchLatencies(Devices& d, vm::HubLog& hub, int count) {
  std::vector<uint64_t> out;
  hub.ReadNew();
  for (int i = 0; i < count; ++i) {
    d.keyboard->Tap(KEY_LEFTCTRL);
    SleepMs(100);
    d.keyboard->Key(KEY_LEFTCTRL, true);
    SleepMs(30);
    const uint64_t released = MonotonicNs();
    d.keyboard->Key(KEY_LEFTCTRL, false);
    std::vector<vm::HubRequest> seen;
    if (hub.WaitFor("write", 5000, &seen) && seen.back().at_ns > released) {
      out.push_back(seen.back().at_ns - released);
    }
    SleepMs(600);  // past the switch debounce
  }
  return out;
}

void MeasureTool(const std::string& label, const std::string& tool, Devices& d, vm::HubLog& hub,
                 const Settings& s) {
  ChildProcess child({tool, "--console", "--service"});
  if (!child.WaitForLine("Running...", 30000) ||
      !child.WaitForNode(d.keyboard->node(), true, 5000) ||
      !child.WaitForNode(d.mouse->node(), true, 5000)) {
    std::printf("bench: %s did not start\n", tool.c_str());
    return;
  }
  SleepMs(1000);
  const pid_t pid = child.pid();

  WakeCounts a = vm::ReadWakeCounts(pid);
  SleepMs(s.idle_s * 1000);
  WakeCounts b = vm::ReadWakeCounts(pid);
  Figure(label, "idle_wakeups_per_min", static_cast<double>(Wakeups(a, b)) * 60.0 / s.idle_s);

  // 1000 Hz motion, paced on absolute deadlines so that a late report does
  // not slow the rest.
  a = vm::ReadWakeCounts(pid);
  const uint64_t start = MonotonicNs();
  const int reports = s.motion_s * 1000;
  for (int i = 0; i < reports; ++i) {
    const uint64_t due = start + static_cast<uint64_t>(i) * 1000000u;
    timespec t{static_cast<time_t>(due / 1000000000u), static_cast<long>(due % 1000000000u)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    d.mouse->Move(1, -1);
  }
  const double motion_s = static_cast<double>(MonotonicNs() - start) / 1e9;
  b = vm::ReadWakeCounts(pid);
  Figure(label, "motion_wakeups", static_cast<double>(Wakeups(a, b)));
  Figure(label, "motion_cpu_ms", static_cast<double>(b.run_ns - a.run_ns) / 1e6);
  Figure(label, "motion_reports_per_s", reports / motion_s);

  // Letters other than Q, ten a second.
  static constexpr uint16_t kLetters[] = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_J, KEY_K, KEY_L, KEY_E};
  a = vm::ReadWakeCounts(pid);
  for (int i = 0; i < s.typing_s * 10; ++i) {
    d.keyboard->Tap(kLetters[i % 8], 40);
    SleepMs(60);
  }
  b = vm::ReadWakeCounts(pid);
  Figure(label, "typing_wakeups", static_cast<double>(Wakeups(a, b)));
  Figure(label, "typing_keys", s.typing_s * 10);

  Percentiles(label, SwitchLatencies(d, hub, s.switches));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s HUB_LOG TOOL [BEFORE_TOOL]\n", argv[0]);
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const Settings s = ReadSettings();
  vm::HubLog hub(argv[1]);
  Devices d;
  if (!d.keyboard->ok() || !d.mouse->ok()) {
    std::printf("bench: uinput: %s%s\n", d.keyboard->error().c_str(), d.mouse->error().c_str());
    return 1;
  }
  if (argc > 3 && ::access(argv[3], X_OK) == 0) MeasureTool("before", argv[3], d, hub, s);
  MeasureTool("after", argv[2], d, hub, s);

  // The yardstick: the same read-read-write on its own key event.
  ChildProcess minimal({"/bin/vm-minimal-switch", d.keyboard->node()});
  if (minimal.WaitForLine("Running...", 10000)) {
    SleepMs(500);
    Percentiles("minimal", SwitchLatencies(d, hub, s.switches));
  }
  std::printf("bench: done\n");
  return 0;
}
