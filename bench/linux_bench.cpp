// The Linux platform against umockdev's fake devices: the poll tick with
// the live-state queries of libevdev over a fake keyboard and mouse, and a
// whole switch through libusb beside a minimal libusb program making the
// same three transfers against the same fake hub. Runs under
// umockdev-wrapper.
#include <benchmark/benchmark.h>
#include <libusb.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "fake_hub.h"
#include "fake_input.h"
#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "hub/switch_check.h"
#include "manual_loop.h"
#include "minimal_switch.h"
#include "output/show_msg.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/input_linux.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"
#include "summary.h"

namespace {

using linux_test::FakeHub;
using linux_test::FakeInput;
using linux_test::FakeKind;
using linux_test::Testbed;

// One test bed for the whole run, with a hub, a keyboard and a mouse, and
// the Linux services over them. Teardown order (reverse of declaration):
// the tap stops first (in the destructor), then the services, the USB
// context, the fakes and last the test bed.
struct Bed {
  Bed() {
    hub = std::make_unique<FakeHub>(testbed);
    hub->SetRegister(0xF5, 0x0000, 0x00);
    keyboard = std::make_unique<FakeInput>(testbed, FakeKind::kKeyboard, 3);
    mouse = std::make_unique<FakeInput>(testbed, FakeKind::kMouse, 4);
    usb = std::make_unique<linux_platform::LinuxUsb>();
    input = std::make_unique<linux_platform::LinuxInput>(&watcher);
    platform::Services services;
    services.clock = &clock;
    services.run_loop = &loop;
    services.input = input.get();
    services.usb = usb.get();
    services.app = &app;
    platform::InstallServices(services);
    gConsoleMode = false;
    tap_ok = StartEventTap();
  }
  ~Bed() {
    StopEventTap();
    platform::InstallServices(platform::Services{});
  }
  Testbed testbed;
  posix::SystemClock clock;
  linux_test::ManualClock loop_clock;
  linux_test::ManualRunLoop loop{&loop_clock};
  linux_test::ManualWatcher watcher;
  linux_test::RecordingApp app;
  std::unique_ptr<FakeHub> hub;
  std::unique_ptr<FakeInput> keyboard;
  std::unique_ptr<FakeInput> mouse;
  std::unique_ptr<linux_platform::LinuxUsb> usb;
  std::unique_ptr<linux_platform::LinuxInput> input;
  bool tap_ok = false;
};

Bed* g_bed = nullptr;

void BM_PollTickLinux(benchmark::State& state) {
  if (!g_bed->tap_ok || g_bed->input->current_tap() == nullptr ||
      g_bed->input->current_tap()->device_count() != 2) {
    state.SkipWithError("the fake keyboard and mouse were not opened");
    return;
  }
  const uint64_t before = bench::AllocationCount();
  for (auto _ : state) InputPollTimerCallback(nullptr, nullptr);
  state.counters["allocs_per_tick"] = static_cast<double>(bench::AllocationCount() - before) /
                                      static_cast<double>(state.iterations());
}

void BM_ToolSwitch(benchmark::State& state) {
  const size_t requests = g_bed->hub->Requests().size();
  for (auto _ : state) {
    gLastSwitchMs = 0;  // every request is accepted
    TriggerSwitch("ctrl-ctrl");
  }
  if (g_bed->hub->Requests().size() - requests != 3 * static_cast<size_t>(state.iterations())) {
    state.SkipWithError("a switch did not make its three transfers");
  }
}

// The same switch with the removal watch armed before the write and the
// two-second check started after it, as the tool does on Linux: the cost a
// checked switch adds inside the gesture's callback.
void BM_ToolSwitchChecked(benchmark::State& state) {
  const size_t requests = g_bed->hub->Requests().size();
  g_bed->usb->SetWatcher(&g_bed->watcher);
  for (auto _ : state) {
    gLastSwitchMs = 0;
    TriggerSwitch("ctrl-ctrl");
  }
  const bool checking = SwitchCheckPending();
  CancelSwitchCheck();
  g_bed->usb->SetWatcher(nullptr);
  if (g_bed->hub->Requests().size() - requests != 3 * static_cast<size_t>(state.iterations())) {
    state.SkipWithError("a switch did not make its three transfers");
  } else if (!checking) {
    state.SkipWithError("the switch was not checked");
  }
}

void BM_MinimalSwitch(benchmark::State& state) {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) {
    state.SkipWithError("libusb_init failed");
    return;
  }
  bool all = true;
  for (auto _ : state) all = bench::MinimalSwitch(context) && all;
  libusb_exit(context);
  if (!all) state.SkipWithError("a minimal switch failed");
}

}  // namespace

int main(int argc, char** argv) {
  if (!Testbed::InMockEnvironment()) {
    std::fprintf(stderr, "run this under umockdev-wrapper (Debian package umockdev)\n");
    return 2;
  }
  Bed bed;
  g_bed = &bed;
  benchmark::RegisterBenchmark("poll tick/linux (keyboard + mouse)", BM_PollTickLinux);
  benchmark::RegisterBenchmark("switch/tool (TriggerSwitch, linux platform)", BM_ToolSwitch)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("switch/tool checked (udev removal watch armed)",
                               BM_ToolSwitchChecked)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("switch/minimal libusb program", BM_MinimalSwitch)
      ->Unit(benchmark::kMicrosecond);

  const std::map<std::string, bench::Measured> m = bench::RunAll(argc, argv);
  std::vector<bench::Row> rows;
  if (const auto it = m.find("poll tick/linux (keyboard + mouse)"); it != m.end()) {
    rows.push_back({it->first + " (CPU time)", bench::FormatNs(it->second.cpu_ns), "", {}});
    const auto found = it->second.counters.find("allocs_per_tick");
    const double allocs = found == it->second.counters.end() ? -1 : found->second;
    rows.push_back(
        {it->first + ": allocations per tick", std::to_string(allocs).substr(0, 4), "", {}});
  }
  // The switch waits for the fake hub, which answers on umockdev's own
  // thread: wall-clock time, not the CPU time of this thread, is its cost.
  const auto tool = m.find("switch/tool (TriggerSwitch, linux platform)");
  const auto minimal = m.find("switch/minimal libusb program");
  if (tool != m.end() && minimal != m.end()) {
    rows.push_back({tool->first, bench::FormatNs(tool->second.real_ns), "", {}});
    rows.push_back({minimal->first, bench::FormatNs(minimal->second.real_ns), "", {}});
    const double ratio = tool->second.real_ns / minimal->second.real_ns;
    rows.push_back({"switch: tool / minimal", bench::FormatRatio(ratio), "<= 1.1x", ratio <= 1.1});
  }
  // What arming the watch adds to a switch inside the gesture's callback:
  // CPU time of this thread (opening the udev monitor and its filter), which
  // the load of the machine and the fake hub's thread disturb least.
  const auto checked = m.find("switch/tool checked (udev removal watch armed)");
  if (tool != m.end() && checked != m.end()) {
    rows.push_back({checked->first, bench::FormatNs(checked->second.real_ns), "", {}});
    const double added = checked->second.cpu_ns - tool->second.cpu_ns;
    rows.push_back(
        {"switch: CPU time the check adds", bench::FormatNs(added), "<= 1 ms", added <= 1e6});
  }
  return bench::WriteRows(rows) && tool != m.end() && minimal != m.end() ? 0 : 1;
}
