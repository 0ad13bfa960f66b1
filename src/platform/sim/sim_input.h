// Simulated global input: event taps with their run-loop sources, and the
// live Control flag and mouse buttons, independent of delivered events.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_world.h"

namespace sim {

// The notifications of a tap switched off by the system.
inline constexpr uint32_t kTapDisabledByTimeout = 0xFFFFFFFEu;
inline constexpr uint32_t kTapDisabledByUserInput = 0xFFFFFFFFu;

class SimInput;

// What a tap and its source share with the input service. It lives as long
// as the longest holder, so handles that outlive the World stay harmless.
struct TapState {
  uint64_t mask = 0;
  platform::EventCallback callback = nullptr;
  void* user_info = nullptr;
  bool alive = true;             // the tap was not released
  bool enabled = false;          // switched on by the tool
  bool system_disabled = false;  // switched off by the system
  bool has_source = false;       // a source exists and was not released
  bool scheduled = false;        // the source is in the run loop
  platform::RunLoopMode mode = platform::RunLoopMode::kDefault;
  std::deque<SimEvent> queued;  // waiting for a loop that runs the source
};

class SimInputService : public platform::Input,
                        public SimInput,
                        public std::enable_shared_from_this<SimInputService> {
 public:
  explicit SimInputService(Scheduler& scheduler) : scheduler_(scheduler) {}

  // platform::Input
  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t mask,
                                                     platform::EventCallback callback,
                                                     void* user_info) override;
  bool CheckInputAccess(std::string* detail, std::string* fix) override;
  // Each Control key sets the Control flag and its own device bit.
  uint64_t FlagsState() override {
    return (control_ ? platform::kEventFlagMaskControl | platform::kEventFlagMaskLeftControl : 0) |
           (right_control_ ? platform::kEventFlagMaskControl | platform::kEventFlagMaskRightControl
                           : 0) |
           DeviceFlags();
  }
  bool ButtonState(uint32_t button) override {
    return button < 32 && ((buttons_ | DeviceButtons()) >> button) & 1u;
  }
  uint32_t ButtonStates() override { return (buttons_ | DeviceButtons()) & 7u; }
  bool StateChangesArriveAsEvents() const override { return changes_arrive_as_events_; }

  // SimInput
  void RefuseTap(bool refused) override { refused_ = refused; }
  void SetLiveControl(bool down) override { control_ = down; }
  void SetLiveRightControl(bool down) override { right_control_ = down; }
  void SetLiveButton(uint32_t button, bool down) override;
  void SetStateChangesArriveAsEvents(bool on) override { changes_arrive_as_events_ = on; }
  void Deliver(uint32_t type, int64_t keycode = 0, int64_t button = 0) override;
  void DisableTapByTimeout() override;
  bool TapExists() const override;
  // Numbered devices (sim_devices.cpp).
  void DeviceKey(int device, int64_t keycode, bool down) override;
  void DeviceButton(int device, uint32_t button, bool down) override;
  void DeviceGone(int device) override;
  void SetDeviceClockOffset(int device, int64_t ms) override {
    devices_[device].clock_offset_ms = ms;
  }
  void SetServeByDevice(bool on) override {
    serve_by_device_ = on;
    scheduler_.SetInputBeforeTimers(on);
  }

  // For the source handle: delivers queued events once the source can fire.
  void Drain(const std::shared_ptr<TapState>& tap);
  void ScheduleDrain(const std::shared_ptr<TapState>& tap);

 private:
  bool Wants(const TapState& tap, uint32_t type) const;
  void Call(TapState& tap, SimEvent event);
  // Hands `event` to every tap that wants it, now or once its loop runs.
  void DeliverEvent(const SimEvent& event);

  // One input of a numbered device, stamped when it happened.
  struct DeviceChange {
    enum class Kind { kKey, kButton, kGone } kind = Kind::kKey;
    int64_t code = 0;  // key code, or button number
    bool down = false;
    int64_t t_ms = -1;
  };
  struct SimDevice {
    int64_t clock_offset_ms = 0;
    std::vector<int64_t> keys;  // held, modifiers included, in order
    uint32_t buttons = 0;       // bit n: button n held
    std::deque<DeviceChange> waiting;
  };
  uint64_t DeviceFlags() const;
  uint32_t DeviceButtons() const;
  void Happen(int device, DeviceChange change);
  // The device's live state changes and its event comes.
  void Apply(SimDevice& device, const DeviceChange& change);
  void ServeDevices();

  Scheduler& scheduler_;
  bool refused_ = false;
  bool control_ = false;        // the left Control key
  bool right_control_ = false;  // the right one
  uint32_t buttons_ = 0;
  bool changes_arrive_as_events_ = false;
  std::vector<std::weak_ptr<TapState>> taps_;
  std::map<int, SimDevice> devices_;
  bool serve_by_device_ = false;
  bool serve_posted_ = false;
};

}  // namespace sim
