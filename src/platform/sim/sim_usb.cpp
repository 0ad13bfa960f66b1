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

// A device interface on the simulated hub. It goes stale when the hub is
// unplugged; a replugged hub is a new device that needs a new lookup.
class SimDevice : public platform::UsbDevice {
 public:
  SimDevice(std::weak_ptr<SimUsb> usb, uint64_t plugging)
      : usb_(std::move(usb)), plugging_(plugging) {}
  ~SimDevice() override {
    if (auto usb = usb_.lock()) usb->Call("release device");
  }
  // The reference system gives no fix for a refused open: another program
  // has the device, or it has gone.
  bool Open(platform::UsbFailure* failure) override {
    auto usb = usb_.lock();
    if (usb && !usb->Faulty(HubFault::kOpen) && Alive(*usb)) {
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
    return usb->Request(request, open_ && Alive(*usb), plugging_);
  }
  void Close() override {
    auto usb = usb_.lock();
    if (!usb) return;
    usb->Call("close");
    open_ = false;
  }
  std::unique_ptr<platform::UsbRemovalWatch> WatchRemoval(std::function<void()> removed) override {
    auto usb = usb_.lock();
    if (!usb) return nullptr;
    return usb->WatchRemoval(plugging_, std::move(removed));
  }

 private:
  bool Alive(const SimUsb& usb) const { return usb.Present() && usb.Plugging() == plugging_; }
  std::weak_ptr<SimUsb> usb_;
  uint64_t plugging_;
  bool open_ = false;
};

// A registered watch; destroying it unregisters it.
class SimRemovalWatch : public platform::UsbRemovalWatch {
 public:
  SimRemovalWatch(std::weak_ptr<SimUsb> usb, uint64_t id, uint64_t plugging)
      : usb_(std::move(usb)), id_(id), plugging_(plugging) {}
  ~SimRemovalWatch() override {
    if (auto usb = usb_.lock()) usb->Unwatch(id_);
  }
  bool Gone() override {
    auto usb = usb_.lock();
    return !usb || !usb->Present() || usb->Plugging() != plugging_;
  }

 private:
  std::weak_ptr<SimUsb> usb_;
  uint64_t id_;
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

std::unique_ptr<platform::UsbPresenceWatch> SimUsb::WatchPresence(
    uint16_t vendor_id, uint16_t product_id,
    std::function<void(const platform::UsbPresenceChange&)> changed) {
  if (vendor_id != kVendorId || product_id != kProductId) return nullptr;
  const uint64_t id = next_watch_id_++;
  presence_watchers_[id] = std::move(changed);
  return std::make_unique<SimPresenceWatch>(weak_from_this(), id);
}

void SimUsb::NotifyPresence(bool arrived) {
  // A callback may end any watch: each is looked up again before its call.
  std::vector<uint64_t> ids;
  for (const auto& entry : presence_watchers_) ids.push_back(entry.first);
  platform::UsbPresenceChange change;
  change.arrived = arrived;
  for (uint64_t id : ids) {
    auto it = presence_watchers_.find(id);
    if (it == presence_watchers_.end()) continue;
    auto changed = it->second;
    changed(change);
  }
}

std::unique_ptr<platform::UsbRemovalWatch> SimUsb::WatchRemoval(uint64_t plugging,
                                                                std::function<void()> removed) {
  if (!watch_offered_) return nullptr;
  const uint64_t id = next_watch_id_++;
  watchers_[id] = Watcher{plugging, std::move(removed)};
  return std::make_unique<SimRemovalWatch>(weak_from_this(), id, plugging);
}

void SimUsb::Unwatch(uint64_t id) {
  watchers_.erase(id);
}

void SimUsb::NotifyRemoved() {
  // A callback may destroy any watch, its own included: collect first.
  std::vector<uint64_t> due;
  for (const auto& [id, watcher] : watchers_) {
    if (!present_ || watcher.plugging != plugging_) due.push_back(id);
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

platform::UsbFindResult SimUsb::FindDevice(uint16_t vendor_id, uint16_t product_id) {
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
  if (Faulty(HubFault::kLookup) || !present_ || vendor_id != kVendorId ||
      product_id != kProductId) {
    Call("lookup fail");
    return failed(platform::UsbFindOutcome::kNotAttached,
                  platform::UsbNotFoundLine(vendor_id, product_id));
  }
  Call("lookup");
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
  result.device = std::make_unique<SimDevice>(weak_from_this(), plugging_);
  return result;
}

platform::UsbReturn SimUsb::Request(platform::UsbDeviceRequest* request, bool open,
                                    uint64_t plugging) {
  if (request == nullptr) return kUsbReturnBadArgument;
  // A slow hub holds the main thread for the whole transfer; its outcome is
  // recorded when it completes.
  scheduler_.Block(transfer_ms_);
  requests_.push_back(*request);
  const bool read = request->bmRequestType == 0xC0;
  const bool write = request->bmRequestType == 0x40;
  const std::string name = RegisterName(request->bRequest, request->wValue);
  const std::string kind = read ? "usb read " : write ? "usb write " : "usb request ";
  const bool is_f5 = request->bRequest == 0xF5 && request->wValue == 0x0000;
  const bool is_f8 = request->bRequest == 0xF8 && request->wValue == 0x008F;

  platform::UsbReturn rc = platform::kUsbSuccess;
  if (!present_ || plugging != plugging_) {
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
    const uint8_t value = Register(request->bRequest, request->wValue);
    if (request->wLength > 0) std::memcpy(request->pData, &value, 1);
    request->wLenDone = request->wLength > 0 ? 1 : 0;
    recorder_.Note(kind + name + " " + Byte(value));
  } else {
    // The value travels in wIndex; there is no data stage.
    const uint8_t value = static_cast<uint8_t>(request->wIndex & 0xFF);
    registers_[key] = value;
    request->wLenDone = 0;
    recorder_.Note(kind + name + " " + Byte(value));
    if (is_f5 && leave_after_ms_) {
      // The hub moves to the other computer a little after the write.
      std::weak_ptr<SimUsb> self = weak_from_this();
      const uint64_t from = plugging_;
      scheduler_.At(scheduler_.Now() + *leave_after_ms_, [self, from] {
        auto usb = self.lock();
        if (!usb || !usb->present_ || usb->plugging_ != from) return;
        usb->recorder_.Note("usb hub left");
        usb->SetPresent(false);
      });
    }
  }
  return platform::kUsbSuccess;
}

void SimUsb::SetPresent(bool present) {
  const bool changed = present != present_;
  if (present && !present_) ++plugging_;
  present_ = present;
  if (changed) NotifyPresence(present);
  if (!present) NotifyRemoved();
}

void SimUsb::SetRegister(uint8_t request, uint16_t address, uint8_t value) {
  registers_[{request, address}] = value;
}

uint8_t SimUsb::Register(uint8_t request, uint16_t address) const {
  auto it = registers_.find({request, address});
  return it == registers_.end() ? 0 : it->second;
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
