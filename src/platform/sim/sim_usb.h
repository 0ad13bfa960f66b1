// The simulated hubs 2109:8822 and the USB service that finds them.
//
// The lookup mirrors the reference exchange step by step and records each
// platform object's life in Calls(), in order:
//   "matching"         the matching dictionary was made ("matching fail")
//   "release numbers"  the two ID numbers were released
//   "lookup"           a service was found ("lookup fail": none)
//   "plugin"           the plug-in interface was made ("plugin fail")
//   "query"            the device interface was obtained ("query fail")
//   "release plugin", "release service"
// and then on the device interface: "open" ("open fail"), "close",
// "release device".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_world.h"
#include "platform/usb.h"

namespace sim {

class Scheduler;

// IOKit-style return codes the simulated device gives.
inline constexpr platform::UsbReturn kUsbReturnError = static_cast<int32_t>(0xE00002BC);
inline constexpr platform::UsbReturn kUsbReturnNotOpen = static_cast<int32_t>(0xE00002CD);
inline constexpr platform::UsbReturn kUsbReturnNoDevice = static_cast<int32_t>(0xE00002C0);
inline constexpr platform::UsbReturn kUsbReturnBadArgument = static_cast<int32_t>(0xE00002C2);

class SimUsb : public platform::Usb, public SimHub, public std::enable_shared_from_this<SimUsb> {
 public:
  static constexpr uint16_t kVendorId = 0x2109;
  static constexpr uint16_t kProductId = 0x8822;
  // The hubs on the simulated bus: the hub (this object's SimHub) and the
  // second one (Second()).
  static constexpr size_t kHubs = 2;

  SimUsb(Recorder& recorder, Scheduler& scheduler);

  // platform::Usb. Every present hub is a candidate, the hub first.
  platform::UsbFindResult FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                           const platform::UsbChooser& choose) override;
  // Every unplug and plug-in is told, before the removal watches hear of it.
  std::unique_ptr<platform::UsbPresenceWatch> WatchPresence(
      uint16_t vendor_id, uint16_t product_id,
      std::function<void(const platform::UsbPresenceChange&)> changed) override;
  void UnwatchPresence(uint64_t id) { presence_watchers_.erase(id); }

  // SimHub, for the hub.
  void SetPresent(bool present) override { SetPresentOf(0, present); }
  void SetRegister(uint8_t request, uint16_t address, uint8_t value) override {
    units_[0].registers[{request, address}] = value;
  }
  uint8_t Register(uint8_t request, uint16_t address) const override {
    return RegisterOf(0, request, address);
  }
  void SetIdentity(const SimHubIdentity& identity) override { units_[0].identity = identity; }
  void SetFault(HubFault step, bool on) override;
  void SetRemovalWatch(bool offered, std::optional<uint64_t> leave_after_ms) override;
  const std::vector<platform::UsbDeviceRequest>& Requests() const override { return requests_; }
  const std::vector<std::string>& Calls() const override { return calls_; }
  void ClearRecords() override;
  void SetTransferMs(uint64_t ms) override { transfer_ms_ = ms; }

  // The second hub.
  SimHub& Second() { return *second_; }
  void SetPresentOf(size_t unit, bool present);
  uint8_t RegisterOf(size_t unit, uint8_t request, uint16_t address) const;
  void SetRegisterOf(size_t unit, uint8_t request, uint16_t address, uint8_t value) {
    units_[unit].registers[{request, address}] = value;
  }
  void SetIdentityOf(size_t unit, const SimHubIdentity& identity) {
    units_[unit].identity = identity;
  }

  // For device interfaces.
  bool Alive(size_t unit, uint64_t plugging) const {
    return units_[unit].present && units_[unit].plugging == plugging;
  }
  std::optional<platform::UsbLocation> PortOf(size_t unit) const {
    return units_[unit].identity.port;
  }
  bool Faulty(HubFault step) const { return faults_.count(step) != 0; }
  void Call(const std::string& what) { calls_.push_back(what); }
  platform::UsbReturn Request(platform::UsbDeviceRequest* request, bool open, size_t unit,
                              uint64_t plugging);
  // Removal watches: null where none is offered. Each registered watch is
  // called once when the plugging it watches ends.
  std::unique_ptr<platform::UsbRemovalWatch> WatchRemoval(size_t unit, uint64_t plugging,
                                                          std::function<void()> removed);
  void Unwatch(uint64_t id);

 private:
  struct Unit {
    bool present = false;
    uint64_t plugging = 1;  // changes at every replug: old interfaces go stale
    std::map<std::pair<uint8_t, uint16_t>, uint8_t> registers;
    SimHubIdentity identity;
  };

  void NotifyRemoved();
  void NotifyPresence(size_t unit, bool arrived);
  platform::UsbCandidate CandidateOf(size_t unit) const;
  // "usb " for the hub, "usb hub-2 " for the second.
  static std::string NotePrefix(size_t unit);

  Recorder& recorder_;
  Scheduler& scheduler_;
  uint64_t transfer_ms_ = 0;
  bool watch_offered_ = false;
  std::optional<uint64_t> leave_after_ms_;
  struct Watcher {
    size_t unit;
    uint64_t plugging;
    std::function<void()> removed;
  };
  std::map<uint64_t, Watcher> watchers_;
  std::map<uint64_t, std::function<void(const platform::UsbPresenceChange&)>> presence_watchers_;
  uint64_t next_watch_id_ = 1;
  std::array<Unit, kHubs> units_;
  std::unique_ptr<SimHub> second_;
  std::set<HubFault> faults_;
  std::vector<platform::UsbDeviceRequest> requests_;
  std::vector<std::string> calls_;
};

}  // namespace sim
