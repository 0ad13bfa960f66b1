#include "platform/linux/input/evdev_tap.h"

#include <linux/input-event-codes.h>

#include <cerrno>
#include <functional>
#include <utility>
#include <vector>

#include "platform/services.h"

namespace linux_platform {
namespace {

// Modifier keys whose live state makes up the flags.
constexpr uint16_t kModifierKeys[] = {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT,
                                      KEY_LEFTALT,  KEY_RIGHTALT,  KEY_LEFTMETA,  KEY_RIGHTMETA};

// The event takes the kernel's time of the raw event it comes from.
void StampWith(const RawEvent& raw, platform::InputEvent* event) {
  event->time_ms =
      raw.timed ? static_cast<uint64_t>(raw.sec) * 1000u + static_cast<uint64_t>(raw.usec) / 1000u
                : 0;
}

void FireDroppedReleases(platform::Timer*, void* tap) {
  static_cast<EvdevTap*>(tap)->DeliverDroppedReleases();
}

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

// The run-loop source: while it is in the loop, the tap's devices and its
// hot-plug watch are served.
class EvdevSource : public platform::RunLoopSource {
 public:
  explicit EvdevSource(EvdevTap* tap) : tap_(tap) {}
  ~EvdevSource() override {
    if (added_) tap_->Detach();
  }
  void AddToRunLoop(platform::RunLoopMode) override {
    if (added_) return;
    added_ = true;
    tap_->Attach();
  }

 private:
  EvdevTap* tap_;
  bool added_ = false;
};

}  // namespace

std::unique_ptr<EvdevTap> EvdevTap::Create(const InputOptions& options, FdWatcher* watcher,
                                           uint64_t mask, platform::EventCallback callback,
                                           void* user_info,
                                           std::function<void(const std::string&)> report) {
  std::unique_ptr<EvdevTap> tap(
      new EvdevTap(options, watcher, mask, callback, user_info, std::move(report)));
  int list_error = 0;
  const std::vector<std::string> paths = tap->nodes_.Nodes(&list_error);
  bool denied = IsPermissionError(list_error);
  std::vector<std::pair<std::string, int>> failed;
  for (const std::string& path : paths) {
    const int error = tap->TryOpen(path);
    if (IsPermissionError(error)) denied = true;
    if (error != 0) failed.emplace_back(path, error);
  }
  if (tap->devices_.empty() && denied) return nullptr;
  // The tap goes on with what it could open; the rest is tried again.
  for (const auto& [path, error] : failed) tap->nodes_.Failed(path, error);
  return tap;
}

EvdevTap::EvdevTap(const InputOptions& options, FdWatcher* watcher, uint64_t mask,
                   platform::EventCallback callback, void* user_info,
                   std::function<void(const std::string&)> report)
    : watcher_(watcher),
      run_loop_(options.run_loop),
      mask_(mask),
      callback_(callback),
      user_info_(user_info),
      nodes_(options, "event", watcher,
             NodeFollower::Node{[this](const std::string& path) { return TryOpen(path); },
                                [this](const std::string& path) { DropNode(path); },
                                [this](const std::string& path) { return HasDevice(path); }},
             std::move(report)) {}

EvdevTap::~EvdevTap() {
  *alive_ = false;
  release_timer_.reset();
  Detach();
  devices_.clear();
}

std::unique_ptr<platform::RunLoopSource> EvdevTap::CreateRunLoopSource() {
  return std::make_unique<EvdevSource>(this);
}

void EvdevTap::Attach() {
  if (attached_ || watcher_ == nullptr) return;
  attached_ = true;
  for (auto& [path, entry] : devices_) WatchDevice(path, entry);
  nodes_.Attach();
}

void EvdevTap::Detach() {
  attached_ = false;
  nodes_.Detach();
  for (auto& [path, entry] : devices_) entry.watch.reset();
}

void EvdevTap::WatchDevice(const std::string& path, Entry& entry) {
  if (!attached_ || watcher_ == nullptr) return;
  entry.watch =
      watcher_->WatchReadable(entry.device->fd(), [this, path] { OnDeviceReadable(path); });
}

int EvdevTap::TryOpen(const std::string& path) {
  if (devices_.count(path) != 0) return 0;
  int error = 0;
  std::unique_ptr<EvdevDevice> device = EvdevDevice::Open(path, &error);
  if (!device || !device->IsKeyboardOrPointer()) return error;
  if (all_keys_) (void)device->FilterKeys(true);
  Entry& entry = devices_[path];
  entry.device = std::move(device);
  WatchDevice(path, entry);
  return 0;
}

void EvdevTap::SetAllKeys(bool all_keys) {
  all_keys_ = all_keys;
  for (auto& [path, entry] : devices_) (void)entry.device->FilterKeys(all_keys);
}

void EvdevTap::RemoveDevice(const std::string& path) {
  auto it = devices_.find(path);
  if (it == devices_.end()) return;
  it->second.watch.reset();
  devices_.erase(it);
}

void EvdevTap::DropNode(const std::string& path) {
  auto it = devices_.find(path);
  if (it == devices_.end()) return;
  const std::vector<uint16_t> held = it->second.device->HeldKeys();
  RemoveDevice(path);
  for (const uint16_t code : held) {
    platform::InputEvent event;
    if (!MapKeyEvent(code, 0, &event)) continue;
    event.made_up = true;
    dropped_releases_.push_back({code, event});
  }
  if (dropped_releases_.empty() || release_timer_) return;
  platform::RunLoop* loop = run_loop_ != nullptr ? run_loop_ : platform::Sys().run_loop;
  // Without a timer the releases cannot be delivered safely: they are let
  // go, and the poll tick still sees the live state without the device.
  if (loop != nullptr) {
    release_timer_ =
        loop->AddTimer(0, 0, &FireDroppedReleases, this, platform::RunLoopMode::kCommon);
  }
  if (!release_timer_) dropped_releases_.clear();
}

void EvdevTap::DeliverDroppedReleases() {
  // A one-shot timer may be destroyed from inside its own callback.
  release_timer_.reset();
  // Each key leaves the live state as its release is delivered, never
  // before: a poll tick in between would see the key let go by nobody.
  while (!dropped_releases_.empty()) {
    platform::InputEvent event = dropped_releases_.front().event;
    dropped_releases_.erase(dropped_releases_.begin());
    if (!Deliver(event)) return;  // the tap was destroyed by it
  }
}

bool EvdevTap::DroppedKeyHeld(uint16_t code) const {
  for (const DroppedRelease& dropped : dropped_releases_) {
    if (dropped.code == code) return true;
  }
  return false;
}

uint64_t EvdevTap::Flags() const {
  uint64_t flags = 0;
  for (const auto& [path, entry] : devices_) {
    for (uint16_t key : kModifierKeys) {
      if (entry.device->KeyDown(key)) flags |= ModifierFlag(key);
    }
  }
  for (const DroppedRelease& dropped : dropped_releases_) flags |= ModifierFlag(dropped.code);
  return flags;
}

namespace {
constexpr uint16_t kButtonCodes[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};
}  // namespace

uint32_t EvdevTap::Buttons() const {
  uint32_t down = 0;
  for (const auto& [path, entry] : devices_) {
    for (uint32_t button = 0; button < 3; ++button) {
      if (entry.device->KeyDown(kButtonCodes[button])) down |= 1u << button;
    }
  }
  for (uint32_t button = 0; button < 3; ++button) {
    if (DroppedKeyHeld(kButtonCodes[button])) down |= 1u << button;
  }
  return down;
}

bool EvdevTap::Button(uint32_t button) const {
  if (button >= 3) return false;
  for (const auto& [path, entry] : devices_) {
    if (entry.device->KeyDown(kButtonCodes[button])) return true;
  }
  return DroppedKeyHeld(kButtonCodes[button]);
}

bool EvdevTap::Deliver(platform::InputEvent& event) {
  if (!enabled_ || !attached_ || callback_ == nullptr) return true;
  if (event.type < 64 && (mask_ & (uint64_t{1} << event.type)) == 0) return true;
  const std::shared_ptr<bool> alive = alive_;
  callback_(nullptr, event.type, &event, user_info_);
  return *alive;
}

void EvdevTap::OnDeviceReadable(const std::string& path) {
  auto it = devices_.find(path);
  if (it == devices_.end()) return;
  EvdevDevice* device = it->second.device.get();
  bool moved = false;
  // The key events of the report being read, delivered when it ends: the
  // kernel ends the releases it makes up for a device going away (or reset)
  // with a report of value 1, and none of those was let go by a hand.
  std::vector<platform::InputEvent> report;
  const auto deliver_report = [this, &report](bool made_up) {
    std::vector<platform::InputEvent> events;
    events.swap(report);
    for (platform::InputEvent& event : events) {
      event.made_up = made_up;
      if (!Deliver(event)) return false;
    }
    return true;
  };
  for (;;) {
    RawEvent raw;
    const ReadStatus status = device->Next(&raw);
    if (status == ReadStatus::kDrained) {
      deliver_report(false);
      return;
    }
    if (status == ReadStatus::kGone) {
      if (!deliver_report(false)) return;
      // What it held is released with it: those release events will never
      // come. It leaves the live state first, so the releases are seen as
      // real ones would be. Run from the loop, with no tap code below.
      const std::vector<uint16_t> held = device->HeldKeys();
      RemoveDevice(path);
      for (const uint16_t code : held) {
        platform::InputEvent event;
        if (!MapKeyEvent(code, 0, &event)) continue;
        event.made_up = true;
        if (!Deliver(event)) return;
      }
      return;
    }
    if (raw.type == EV_KEY) {
      platform::InputEvent event;
      if (!MapKeyEvent(raw.code, raw.value, &event)) continue;
      StampWith(raw, &event);
      report.push_back(event);
    } else if ((raw.type == EV_REL && (raw.code == REL_X || raw.code == REL_Y) && raw.value != 0) ||
               (raw.type == EV_ABS && (raw.code == ABS_X || raw.code == ABS_Y))) {
      moved = true;
    } else if (raw.type == EV_SYN && raw.code == SYN_REPORT) {
      if (!deliver_report(raw.value == 1)) return;
      if (!moved) continue;
      moved = false;
      platform::InputEvent event;
      event.type = DragType(Button(0), Button(1), Button(2));
      event.button = event.type == platform::kEventLeftMouseDragged    ? 0
                     : event.type == platform::kEventRightMouseDragged ? 1
                                                                       : 2;
      StampWith(raw, &event);
      if (event.type != 0 && !Deliver(event)) return;
    }
  }
}

}  // namespace linux_platform
