#include "platform/sim/sim_usb.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/sim/sim_scheduler.h"
#include "platform/usb_lines.h"

namespace sim {
namespace {

std::string RegisterName(uint8_t request, uint16_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X-%04X", request, address);
  return text;
}

std::string Byte(uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

// A device interface on a simulated hub. It goes stale when the hub is
// unplugged; a replugged hub is a new device that needs a new lookup.
class SimDevice : public platform::UsbDevice {
 public:
  SimDevice(std::weak_ptr<SimUsb> usb, size_t unit, uint64_t plugging)
      : usb_(std::move(usb)), unit_(unit), plugging_(plugging) {}
  ~SimDevice() override {
    if (auto usb = usb_.lock()) usb->Call("release device");
  }
  // The reference system gives no fix for a refused open: another program
  // has the device, or it has gone.
  bool Open(platform::UsbFailure* failure) override {
    auto usb = usb_.lock();
    if (usb && !usb->Faulty(HubFault::kOpen) && usb->Alive(unit_, plugging_)) {
      usb->Call("open");
      open_ = true;
      return true;
    }
    if (usb) usb->Call("open fail");
    if (failure) *failure = {platform::kUsbOpenFailedLine, ""};
    return false;
  }
  platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest* request) override {
    auto usb = usb_.lock();
    if (!usb) return kUsbReturnNoDevice;
    return usb->Request(request, open_ && usb->Alive(unit_, plugging_), unit_, plugging_);
  }
  void Close() override {
    auto usb = usb_.lock();
    if (!usb) return;
    usb->Call("close");
    open_ = false;
  }
  std::optional<platform::UsbLocation> Location() override {
    auto usb = usb_.lock();
    return usb ? usb->PortOf(unit_) : std::nullopt;
  }
  std::unique_ptr<platform::UsbRemovalWatch> WatchRemoval(std::function<void()> removed) override {
    auto usb = usb_.lock();
    if (!usb) return nullptr;
    return usb->WatchRemoval(unit_, plugging_, std::move(removed));
  }

 private:
  std::weak_ptr<SimUsb> usb_;
  size_t unit_;
  uint64_t plugging_;
  bool open_ = false;
};

// The second hub as a SimHub: its own presence, registers and identity;
// the rest is the bus's.
class SecondHub : public SimHub {
 public:
  explicit SecondHub(SimUsb& usb) : usb_(usb) {}
  void SetPresent(bool present) override { usb_.SetPresentOf(1, present); }
  void SetRegister(uint8_t request, uint16_t address, uint8_t value) override {
    usb_.SetRegisterOf(1, request, address, value);
  }
  uint8_t Register(uint8_t request, uint16_t address) const override {
    return usb_.RegisterOf(1, request, address);
  }
  void SetIdentity(const SimHubIdentity& identity) override { usb_.SetIdentityOf(1, identity); }
  void SetFault(HubFault step, bool on) override { usb_.SetFault(step, on); }
  void SetRemovalWatch(bool offered, std::optional<uint64_t> leave_after_ms) override {
    usb_.SetRemovalWatch(offered, leave_after_ms);
  }
  const std::vector<platform::UsbDeviceRequest>& Requests() const override {
    return usb_.Requests();
  }
  const std::vector<std::string>& Calls() const override { return usb_.Calls(); }
  void ClearRecords() override { usb_.ClearRecords(); }
  void SetTransferMs(uint64_t ms) override { usb_.SetTransferMs(ms); }

 private:
  SimUsb& usb_;
};

// A registered watch; destroying it unregisters it.
class SimRemovalWatch : public platform::UsbRemovalWatch {
 public:
  SimRemovalWatch(std::weak_ptr<SimUsb> usb, uint64_t id, size_t unit, uint64_t plugging)
      : usb_(std::move(usb)), id_(id), unit_(unit), plugging_(plugging) {}
  ~SimRemovalWatch() override {
    if (auto usb = usb_.lock()) usb->Unwatch(id_);
  }
  bool Gone() override {
    auto usb = usb_.lock();
    return !usb || !usb->Alive(unit_, plugging_);
  }

 private:
  std::weak_ptr<SimUsb> usb_;
  uint64_t id_;
  size_t unit_;
  uint64_t plugging_;
};

class SimPresenceWatch : public platform::UsbPresenceWatch {
 public:
  SimPresenceWatch(std::weak_ptr<SimUsb> usb, uint64_t id) : usb_(std::move(usb)), id_(id) {}
  ~SimPresenceWatch() override {
    if (auto usb = usb_.lock()) usb->UnwatchPresence(id_);
  }

 private:
  std::weak_ptr<SimUsb> usb_;
  uint64_t id_;
};

}  // namespace

SimUsb::SimUsb(Recorder& recorder, Scheduler& scheduler)
    : recorder_(recorder), scheduler_(scheduler), second_(std::make_unique<SecondHub>(*this)) {
  units_[0].present = true;
  units_[1].identity.location_id = 0x14200000;
}

std::string SimUsb::NotePrefix(size_t unit) {
  return unit == 0 ? "usb " : "usb hub-" + std::to_string(unit + 1) + " ";
}

std::unique_ptr<platform::UsbPresenceWatch> SimUsb::WatchPresence(
    uint16_t vendor_id, uint16_t product_id,
    std::function<void(const platform::UsbPresenceChange&)> changed) {
  if (vendor_id != kVendorId || product_id != kProductId) return nullptr;
  const uint64_t id = next_watch_id_++;
  presence_watchers_[id] = std::move(changed);
  return std::make_unique<SimPresenceWatch>(weak_from_this(), id);
}

void SimUsb::NotifyPresence(size_t unit, bool arrived) {
  // A callback may end any watch: each is looked up again before its call.
  std::vector<uint64_t> ids;
  for (const auto& entry : presence_watchers_) ids.push_back(entry.first);
  platform::UsbPresenceChange change;
  change.arrived = arrived;
  change.location = units_[unit].identity.port;
  for (uint64_t id : ids) {
    auto it = presence_watchers_.find(id);
    if (it == presence_watchers_.end()) continue;
    auto changed = it->second;
    changed(change);
  }
}

std::unique_ptr<platform::UsbRemovalWatch> SimUsb::WatchRemoval(size_t unit, uint64_t plugging,
                                                                std::function<void()> removed) {
  if (!watch_offered_) return nullptr;
  const uint64_t id = next_watch_id_++;
  watchers_[id] = Watcher{unit, plugging, std::move(removed)};
  return std::make_unique<SimRemovalWatch>(weak_from_this(), id, unit, plugging);
}

void SimUsb::Unwatch(uint64_t id) {
  watchers_.erase(id);
}

void SimUsb::NotifyRemoved() {
  // A callback may destroy any watch, its own included: collect first.
  std::vector<uint64_t> due;
  for (const auto& [id, watcher] : watchers_) {
    if (!Alive(watcher.unit, watcher.plugging)) due.push_back(id);
  }
  for (uint64_t id : due) {
    auto it = watchers_.find(id);
    if (it == watchers_.end()) continue;
    std::function<void()> removed = std::move(it->second.removed);
    watchers_.erase(it);
    if (removed) removed();
  }
}

void SimUsb::SetRemovalWatch(bool offered, std::optional<uint64_t> leave_after_ms) {
  watch_offered_ = offered;
  leave_after_ms_ = leave_after_ms;
}

platform::UsbCandidate SimUsb::CandidateOf(size_t unit) const {
  platform::UsbCandidate candidate;
  const SimHubIdentity& identity = units_[unit].identity;
  candidate.location = identity.port;
  if (!identity.port) candidate.location_id = identity.location_id;
  candidate.serial = identity.serial;
  return candidate;
}

platform::UsbFindResult SimUsb::FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                                 const platform::UsbChooser& choose) {
  platform::UsbFindResult result;
  auto failed = [&result](platform::UsbFindOutcome outcome, std::string line) {
    result.outcome = outcome;
    result.line = std::move(line);
    return std::move(result);
  };
  if (Faulty(HubFault::kMatching)) {
    Call("matching fail");
    return failed(platform::UsbFindOutcome::kNoSearch, platform::kUsbMatchingFailedLine);
  }
  Call("matching");
  Call("release numbers");
  // The lookup consumes the matching dictionary.
  std::vector<size_t> present;
  if (!Faulty(HubFault::kLookup) && vendor_id == kVendorId && product_id == kProductId) {
    for (size_t unit = 0; unit < kHubs; ++unit) {
      if (!units_[unit].present) continue;
      present.push_back(unit);
      result.candidates.push_back(CandidateOf(unit));
    }
  }
  if (present.empty()) {
    Call("lookup fail");
    return failed(platform::UsbFindOutcome::kNotAttached,
                  platform::UsbNotFoundLine(vendor_id, product_id));
  }
  Call("lookup");
  result.chosen = choose(result.candidates);
  if (!result.chosen || *result.chosen >= present.size()) {
    result.chosen.reset();
    Call("none chosen");
    Call("release service");
    return failed(platform::UsbFindOutcome::kNotChosen, "");
  }
  const size_t unit = present[*result.chosen];
  if (Faulty(HubFault::kPlugIn)) {
    Call("plugin fail");
    Call("release service");
    return failed(platform::UsbFindOutcome::kNoInterface, platform::kUsbPlugInFailedLine);
  }
  Call("plugin");
  const bool query_ok = !Faulty(HubFault::kQuery);
  Call(query_ok ? "query" : "query fail");
  Call("release plugin");
  Call("release service");
  if (!query_ok)
    return failed(platform::UsbFindOutcome::kNoInterface, platform::kUsbQueryFailedLine);
  result.outcome = platform::UsbFindOutcome::kFound;
  result.device = std::make_unique<SimDevice>(weak_from_this(), unit, units_[unit].plugging);
  return result;
}

platform::UsbReturn SimUsb::Request(platform::UsbDeviceRequest* request, bool open, size_t unit,
                                    uint64_t plugging) {
  if (request == nullptr) return kUsbReturnBadArgument;
  // A slow hub holds the main thread for the whole transfer; its outcome is
  // recorded when it completes.
  scheduler_.Block(transfer_ms_);
  requests_.push_back(*request);
  const bool read = request->bmRequestType == 0xC0;
  const bool write = request->bmRequestType == 0x40;
  const std::string name = RegisterName(request->bRequest, request->wValue);
  const std::string kind = NotePrefix(unit) + (read ? "read " : write ? "write " : "request ");
  const bool is_f5 = request->bRequest == 0xF5 && request->wValue == 0x0000;
  const bool is_f8 = request->bRequest == 0xF8 && request->wValue == 0x008F;

  platform::UsbReturn rc = platform::kUsbSuccess;
  if (!Alive(unit, plugging)) {
    rc = kUsbReturnNoDevice;
  } else if (!open) {
    rc = kUsbReturnNotOpen;
  } else if (!read && !write) {
    rc = kUsbReturnBadArgument;
  } else if ((read && is_f8 && Faulty(HubFault::kReadF8)) ||
             (read && is_f5 && Faulty(HubFault::kReadF5)) ||
             (write && is_f5 && Faulty(HubFault::kWriteF5))) {
    rc = kUsbReturnError;
  } else if (read && request->wLength > 0 && request->pData == nullptr) {
    rc = kUsbReturnBadArgument;
  }
  if (rc != platform::kUsbSuccess) {
    recorder_.Note(kind + name + " fail");
    return rc;
  }
  const auto key = std::make_pair(request->bRequest, request->wValue);
  if (read) {
    const uint8_t value = RegisterOf(unit, request->bRequest, request->wValue);
    if (request->wLength > 0) std::memcpy(request->pData, &value, 1);
    request->wLenDone = request->wLength > 0 ? 1 : 0;
    recorder_.Note(kind + name + " " + Byte(value));
  } else {
    // The value travels in wIndex; there is no data stage.
    const uint8_t value = static_cast<uint8_t>(request->wIndex & 0xFF);
    units_[unit].registers[key] = value;
    request->wLenDone = 0;
    recorder_.Note(kind + name + " " + Byte(value));
    if (is_f5 && leave_after_ms_) {
      // The hub moves to the other computer a little after the write.
      std::weak_ptr<SimUsb> self = weak_from_this();
      const uint64_t from = plugging;
      scheduler_.At(scheduler_.Now() + *leave_after_ms_, [self, unit, from] {
        auto usb = self.lock();
        if (!usb || !usb->Alive(unit, from)) return;
        usb->recorder_.Note(unit == 0 ? "usb hub left" : NotePrefix(unit) + "left");
        usb->SetPresentOf(unit, false);
      });
    }
  }
  return platform::kUsbSuccess;
}

void SimUsb::SetPresentOf(size_t unit, bool present) {
  Unit& hub = units_[unit];
  const bool changed = present != hub.present;
  if (present && !hub.present) ++hub.plugging;
  hub.present = present;
  if (changed) NotifyPresence(unit, present);
  if (!present) NotifyRemoved();
}

uint8_t SimUsb::RegisterOf(size_t unit, uint8_t request, uint16_t address) const {
  const auto& registers = units_[unit].registers;
  auto it = registers.find({request, address});
  return it == registers.end() ? 0 : it->second;
}

void SimUsb::SetFault(HubFault step, bool on) {
  if (on) {
    faults_.insert(step);
  } else {
    faults_.erase(step);
  }
}

void SimUsb::ClearRecords() {
  requests_.clear();
  calls_.clear();
}

}  // namespace sim
