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
// line words qs.idle=, qs.typing=, qs.switches=) shorten the runs; qs.latency=only
// times the switches alone.
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
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
  bool latency_only = false;  // qs.latency=only: no wake-up figures, for a look at the latency
  bool strace = false;        // qs.strace=1: each program under /bin/strace, the last switch shown
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
    if (word == "qs.latency=only") s.latency_only = true;
    if (word == "qs.strace=1" && ::access("/bin/strace", X_OK) == 0) s.strace = true;
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
  // The minimal program's own keyboard, which it grabs: the tool, which
  // opens every keyboard, never sees its taps.
  std::unique_ptr<UinputDevice> minimal_keyboard =
      std::make_unique<UinputDevice>(UinputDevice::Kind::kKeyboard);
};

// The nearest-rank quantile, in microseconds: of 100 samples the 99th
// percentile is the 99th (the second slowest), the median the 50th.
double Quantile(std::vector<uint64_t> ns, double q) {
  if (ns.empty()) return 0;
  std::sort(ns.begin(), ns.end());
  const auto rank = static_cast<size_t>(std::ceil(q * static_cast<double>(ns.size())));
  const size_t i = std::min(ns.size() - 1, rank > 0 ? rank - 1 : 0);
  return static_cast<double>(ns[i]) / 1000.0;
}

// One timed switch, split where the hub can see it: from the release to
// the first request (the event's way to the program, the lookup and the
// open), then from request to request.
struct Sample {
  uint64_t to_first_read = 0;  // release -> read F8-008F
  uint64_t between_reads = 0;  // read F8-008F -> read F5-0000
  uint64_t to_write = 0;       // read F5-0000 -> write F5-0000
  uint64_t total() const { return to_first_read + between_reads + to_write; }
};

// Median and 99th percentile, in microseconds, of the whole and of each
// part, and the first sample on its own: a program that makes its libusb
// context at the first switch pays for it there.
void Percentiles(const std::string& label, const std::vector<Sample>& samples) {
  if (samples.empty()) return;
  std::vector<uint64_t> total, first, reads, write;
  for (const Sample& s : samples) {
    total.push_back(s.total());
    first.push_back(s.to_first_read);
    reads.push_back(s.between_reads);
    write.push_back(s.to_write);
  }
  Figure(label, "latency_first_us", static_cast<double>(total.front()) / 1000.0);
  Figure(label, "latency_median_us", Quantile(total, 0.5));
  Figure(label, "latency_p99_us", Quantile(total, 0.99));
  Figure(label, "latency_samples", static_cast<double>(total.size()));
  Figure(label, "to_first_read_median_us", Quantile(first, 0.5));
  Figure(label, "to_first_read_p99_us", Quantile(first, 0.99));
  Figure(label, "between_reads_median_us", Quantile(reads, 0.5));
  Figure(label, "to_write_median_us", Quantile(write, 0.5));
  Figure(label, "to_write_p99_us", Quantile(write, 0.99));
}

// One Control double-tap on `keyboard`, timed from just before the second
// release is written to the moment the hub reads the write request; false
// when the switch did not come whole.
bool TimeOneSwitch(UinputDevice& keyboard, vm::HubLog& hub, Sample* sample) {
  keyboard.Tap(KEY_LEFTCTRL);
  SleepMs(100);
  keyboard.Key(KEY_LEFTCTRL, true);
  SleepMs(30);
  const uint64_t released = MonotonicNs();
  keyboard.Key(KEY_LEFTCTRL, false);
  // The hub stamps each request itself: this program need not watch the
  // switch happen, and while asleep it takes no turn on the one CPU from
  // the program being timed (woken at each of the hub's log lines, it
  // did).
  SleepMs(300);
  std::vector<vm::HubRequest> seen;
  const bool wrote = hub.WaitFor("write", 5000, &seen);
  uint64_t f8 = 0, f5 = 0, at_write = 0;
  for (const vm::HubRequest& r : seen) {
    if (r.kind == "read" && r.reg == "F8-008F") f8 = r.at_ns;
    if (r.kind == "read" && r.reg == "F5-0000") f5 = r.at_ns;
    if (r.kind == "write") at_write = r.at_ns;
  }
  if (!wrote || !(released < f8 && f8 <= f5 && f5 <= at_write)) return false;
  *sample = {f8 - released, f5 - f8, at_write - f5};
  return true;
}

// Switches by the tool and by the minimal program in turn, so that both
// meet the same moments of a shared machine (a burst of load on the host
// stretches the guest's time for whichever program runs then). The hub's
// requests are printed only after the run.
void SwitchLatencies(const std::string& label, const std::string& minimal_label, Devices& d,
                     vm::HubLog& hub, bool with_minimal, int count) {
  std::vector<Sample> tool, minimal;
  hub.ReadNew();
  hub.set_echo(false);
  for (int i = 0; i < count; ++i) {
    for (int turn = 0; turn < (with_minimal ? 2 : 1); ++turn) {
      const std::string& who = turn == 0 ? label : minimal_label;
      UinputDevice& keyboard = turn == 0 ? *d.keyboard : *d.minimal_keyboard;
      Sample sample;
      if (TimeOneSwitch(keyboard, hub, &sample)) {
        (turn == 0 ? tool : minimal).push_back(sample);
        std::printf("SAMPLE %s %d %.0f %.0f %.0f us\n", who.c_str(), i,
                    static_cast<double>(sample.to_first_read) / 1000.0,
                    static_cast<double>(sample.between_reads) / 1000.0,
                    static_cast<double>(sample.to_write) / 1000.0);
      } else {
        std::printf("SAMPLE %s %d lost\n", who.c_str(), i);
      }
      SleepMs(300);  // past the switch debounce
    }
  }
  hub.set_echo(true);
  Percentiles(label, tool);
  if (with_minimal) Percentiles(minimal_label, minimal);
}

// The command line of a measured program: under strace when asked for.
std::vector<std::string> Command(const Settings& s, const std::string& label,
                                 std::vector<std::string> argv) {
  if (!s.strace) return argv;
  std::vector<std::string> traced = {"/bin/strace", "-f", "-ttt",
                                     "-T",          "-o", "/tmp/strace-" + label + ".log"};
  traced.insert(traced.end(), argv.begin(), argv.end());
  return traced;
}

// The end of a program's trace: the last switch and what followed it.
void ShowTrace(const Settings& s, const std::string& label) {
  if (!s.strace) return;
  std::ifstream trace("/tmp/strace-" + label + ".log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(trace, line);) lines.push_back(line);
  const size_t from = lines.size() > 160 ? lines.size() - 160 : 0;
  for (size_t i = from; i < lines.size(); ++i)
    std::printf("strace %s| %s\n", label.c_str(), lines[i].c_str());
}

// The tool's switches, each followed by one of the minimal program's (the
// yardstick: the same lookup, reads and write on its own key event). The
// minimal program's figures are labelled "minimal" beside this build's,
// "minimal_LABEL" beside another's.
void TimeSwitches(const std::string& label, Devices& d, vm::HubLog& hub, const Settings& s) {
  const std::string minimal_label = label == "after" ? "minimal" : "minimal_" + label;
  ChildProcess minimal(
      Command(s, minimal_label, {"/bin/vm-minimal-switch", d.minimal_keyboard->node()}));
  const bool with_minimal = minimal.WaitForLine("Running...", 10000);
  if (!with_minimal) std::printf("bench: the minimal program did not start\n");
  SleepMs(500);
  SwitchLatencies(label, minimal_label, d, hub, with_minimal, s.switches);
  ShowTrace(s, label);
  ShowTrace(s, minimal_label);
}

void MeasureTool(const std::string& label, const std::string& tool, Devices& d, vm::HubLog& hub,
                 const Settings& s) {
  ChildProcess child(Command(s, label, {tool, "--console", "--service"}));
  // Under strace the descriptors are the traced child's, not this pid's.
  if (!child.WaitForLine("Running...", 30000) ||
      (!s.strace && (!child.WaitForNode(d.keyboard->node(), true, 5000) ||
                     !child.WaitForNode(d.mouse->node(), true, 5000)))) {
    std::printf("bench: %s did not start\n", tool.c_str());
    return;
  }
  SleepMs(1000);
  const pid_t pid = child.pid();
  if (s.latency_only) {
    TimeSwitches(label, d, hub, s);
    return;
  }

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

  TimeSwitches(label, d, hub, s);
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
  if (!d.keyboard->ok() || !d.mouse->ok() || !d.minimal_keyboard->ok()) {
    std::printf("bench: uinput: %s%s%s\n", d.keyboard->error().c_str(), d.mouse->error().c_str(),
                d.minimal_keyboard->error().c_str());
    return 1;
  }
  if (argc > 3 && ::access(argv[3], X_OK) == 0) MeasureTool("before", argv[3], d, hub, s);
  MeasureTool("after", argv[2], d, hub, s);
  std::printf("bench: done\n");
  return 0;
}
