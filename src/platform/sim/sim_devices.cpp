// Numbered input devices of the simulated platform, read as Linux reads
// them: each keeps its own keys and buttons, a device that goes away has
// its releases made up, and what waited while the main thread was held can
// be served device by device.
#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "platform/event_types.h"
#include "platform/sim/sim_input.h"

namespace sim {
namespace {

struct Modifier {
  int64_t code;
  uint64_t flag;
};
constexpr std::array<Modifier, 8> kModifiers = {{
    {platform::kKeyCodeControl,
     platform::kEventFlagMaskControl | platform::kEventFlagMaskLeftControl},
    {platform::kKeyCodeRightControl,
     platform::kEventFlagMaskControl | platform::kEventFlagMaskRightControl},
    {56, platform::kEventFlagMaskShift},
    {60, platform::kEventFlagMaskShift},
    {58, platform::kEventFlagMaskAlternate},
    {61, platform::kEventFlagMaskAlternate},
    {55, platform::kEventFlagMaskCommand},
    {54, platform::kEventFlagMaskCommand},
}};

uint64_t FlagOf(int64_t code) {
  for (const Modifier& m : kModifiers) {
    if (m.code == code) return m.flag;
  }
  return 0;
}

uint32_t ButtonType(uint32_t button, bool down) {
  if (button == 0) return down ? platform::kEventLeftMouseDown : platform::kEventLeftMouseUp;
  if (button == 1) return down ? platform::kEventRightMouseDown : platform::kEventRightMouseUp;
  return down ? platform::kEventOtherMouseDown : platform::kEventOtherMouseUp;
}

}  // namespace

uint64_t SimInputService::DeviceFlags() const {
  uint64_t flags = 0;
  for (const auto& [number, device] : devices_) {
    for (const int64_t code : device.keys) flags |= FlagOf(code);
  }
  return flags;
}

uint32_t SimInputService::DeviceButtons() const {
  uint32_t buttons = 0;
  for (const auto& [number, device] : devices_) buttons |= device.buttons;
  return buttons;
}

void SimInputService::DeviceKey(int device, int64_t keycode, bool down) {
  Happen(device, {DeviceChange::Kind::kKey, keycode, down, -1});
}

void SimInputService::DeviceButton(int device, uint32_t button, bool down) {
  if (button > 2) return;
  Happen(device, {DeviceChange::Kind::kButton, static_cast<int64_t>(button), down, -1});
}

void SimInputService::DeviceGone(int device) {
  Happen(device, {DeviceChange::Kind::kGone, 0, false, -1});
}

void SimInputService::Happen(int number, DeviceChange change) {
  SimDevice& device = devices_[number];
  // Stamped by the device's own clock when it happened.
  const int64_t due = static_cast<int64_t>(scheduler_.DueNow());
  change.t_ms = std::max<int64_t>(0, due + device.clock_offset_ms);
  if (!serve_by_device_) {
    Apply(device, change);
    return;
  }
  // Waits in the device's queue; one pass serves every device, in order,
  // once the loop runs after whatever else was due (after a hold, that is
  // everything that happened during it).
  device.waiting.push_back(change);
  if (serve_posted_) return;
  serve_posted_ = true;
  std::weak_ptr<SimInputService> self = weak_from_this();
  scheduler_.Post(platform::RunLoopMode::kCommon, [self] {
    if (auto s = self.lock()) s->ServeDevices();
  });
}

void SimInputService::ServeDevices() {
  serve_posted_ = false;
  for (auto& [number, device] : devices_) {
    while (!device.waiting.empty()) {
      const DeviceChange change = device.waiting.front();
      device.waiting.pop_front();
      Apply(device, change);
    }
  }
}

void SimInputService::Apply(SimDevice& device, const DeviceChange& change) {
  switch (change.kind) {
    case DeviceChange::Kind::kKey: {
      auto held = std::find(device.keys.begin(), device.keys.end(), change.code);
      if (change.down && held == device.keys.end()) device.keys.push_back(change.code);
      if (!change.down && held != device.keys.end()) device.keys.erase(held);
      const bool modifier = FlagOf(change.code) != 0;
      const uint32_t type = modifier      ? platform::kEventFlagsChanged
                            : change.down ? platform::kEventKeyDown
                                          : platform::kEventKeyUp;
      DeliverEvent(SimEvent{type, change.code, 0, change.t_ms});
      return;
    }
    case DeviceChange::Kind::kButton: {
      const auto button = static_cast<uint32_t>(change.code);
      if (change.down) {
        device.buttons |= 1u << button;
      } else {
        device.buttons &= ~(1u << button);
      }
      DeliverEvent(SimEvent{ButtonType(button, change.down), 0, change.code, change.t_ms});
      return;
    }
    case DeviceChange::Kind::kGone:
      break;
  }
  // Gone: it leaves the live state first, so each made-up release is seen as
  // a real one would be; they carry no time, as on Linux.
  const std::vector<int64_t> keys = std::exchange(device.keys, {});
  const uint32_t buttons = std::exchange(device.buttons, 0u);
  for (const int64_t code : keys) {
    SimEvent release{FlagOf(code) != 0 ? platform::kEventFlagsChanged : platform::kEventKeyUp, code,
                     0, -1};
    release.synthesised = true;
    DeliverEvent(release);
  }
  for (uint32_t button = 0; button < 3; ++button) {
    if ((buttons & (1u << button)) == 0) continue;
    SimEvent release{ButtonType(button, false), 0, button, -1};
    release.synthesised = true;
    DeliverEvent(release);
  }
}

}  // namespace sim
