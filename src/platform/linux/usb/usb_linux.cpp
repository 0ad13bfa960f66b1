#include "platform/linux/usb/usb_linux.h"

#include <fcntl.h>
#include <libusb.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/usb/usb_place.h"
#include "platform/linux/usb/usb_presence_watch.h"
#include "platform/linux/usb/usb_removal_watch.h"
#include "platform/posix/switch_lock.h"
#include "platform/posix/unique_fd.h"
#include "platform/usb_lines.h"

namespace linux_platform {
namespace {

// The platform's own words for a refused open; the reference platform's
// call is no name a Linux user knows.
std::string OpenFailedLine(int rc) {
  return std::string("Cannot open the hub: ") + libusb_strerror(rc);
}

// The program's path, for telling a package install from a source one.
std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && static_cast<size_t>(n) < sizeof buffer ? std::string(buffer, n) : "";
}

// The switch lock is an advisory lock on the hub's device node: every
// process that switches the hub opens that node, whoever runs it, so the
// lock belongs to the node, not to a file of one user's; read access is
// enough to take it. A node this process cannot open is one libusb could
// not have opened either; the open, which came first, has told why.
platform::UsbSwitchLockAttempt LockNode(const std::string& node) {
  return posix::LockForSwitch(
      posix::UniqueFd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)));
}

}  // namespace

// One libusb context. Shared by the service and the devices found through
// it: a device's libusb object lives in its context, so the context is
// exited only after the last of them is gone.
class UsbContext {
 public:
  static std::shared_ptr<UsbContext> Make() {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS) return nullptr;
    return std::shared_ptr<UsbContext>(new UsbContext(context));
  }
  ~UsbContext() { libusb_exit(context_); }
  UsbContext(const UsbContext&) = delete;
  UsbContext& operator=(const UsbContext&) = delete;
  libusb_context* get() const { return context_; }

 private:
  explicit UsbContext(libusb_context* context) : context_(context) {}
  libusb_context* context_;
};

// A device found by the lookup. Holds a reference on the libusb device and
// on its context; while opened, also the handle. Teardown order: the handle
// is closed (Close) before the device reference is dropped, and that before
// the context.
class LinuxUsbDevice : public platform::UsbDevice {
 public:
  LinuxUsbDevice(LinuxUsb* usb, std::shared_ptr<UsbContext> context, libusb_device* device,
                 bool fresh, uint16_t vendor_id, uint16_t product_id,
                 platform::UsbCandidate identity, bool lone)
      : usb_(usb),
        context_(std::move(context)),
        device_(libusb_ref_device(device)),
        fresh_(fresh),
        vendor_id_(vendor_id),
        product_id_(product_id),
        identity_(std::move(identity)),
        lone_(lone) {}
  ~LinuxUsbDevice() override {
    Close();
    libusb_unref_device(device_);
  }
  LinuxUsbDevice(const LinuxUsbDevice&) = delete;
  LinuxUsbDevice& operator=(const LinuxUsbDevice&) = delete;

  // A refused open is told in the words users of the tool know from every
  // platform, with the fix where the cause is one they can mend.
  bool Open(platform::UsbFailure* failure) override {
    if (handle_ != nullptr) return true;
    int rc = libusb_open(device_, &handle_);
    if (rc == LIBUSB_ERROR_NO_DEVICE && !fresh_) {
      // Found in the kept view, which may be stale: the hub may have come
      // back at another address. Look at the bus as it is now.
      if (!TakeFreshLookup()) {
        handle_ = nullptr;
        if (failure != nullptr) *failure = {OpenFailedLine(rc), UsbGoneFix()};
        return false;
      }
      rc = libusb_open(device_, &handle_);
    }
    if (rc == LIBUSB_SUCCESS) return true;
    handle_ = nullptr;
    if (failure != nullptr) {
      *failure = {OpenFailedLine(rc), rc == LIBUSB_ERROR_ACCESS ? usb_->AccessFix(Node()) : ""};
    }
    return false;
  }

  platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest* request) override {
    if (handle_ == nullptr || request == nullptr)
      return UsbReturnFromLibusb(LIBUSB_ERROR_NO_DEVICE);
    if (request->wLength > 0 && request->pData == nullptr) {
      return UsbReturnFromLibusb(LIBUSB_ERROR_INVALID_PARAM);
    }
    const int rc = libusb_control_transfer(
        handle_, request->bmRequestType, request->bRequest, request->wValue, request->wIndex,
        static_cast<unsigned char*>(request->pData), request->wLength, TimeoutMs());
    if (rc >= 0) request->wLenDone = static_cast<uint32_t>(rc);
    return UsbReturnFromLibusb(rc);
  }

  void Close() override {
    if (handle_ != nullptr) libusb_close(handle_);
    handle_ = nullptr;
  }

  platform::UsbSwitchLockAttempt LockForSwitch() override {
    char node[48];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device_),
                  libusb_get_device_address(device_));
    return LockNode(node);
  }

  std::optional<platform::UsbLocation> Location() override { return LocationOf(device_); }

  std::unique_ptr<platform::UsbRemovalWatch> WatchRemoval(std::function<void()> removed) override {
    FdWatcher* watcher = usb_->watcher_;
    if (watcher == nullptr) return nullptr;
    // The kernel names a device by bus and port path: "1-4", "1-4.2".
    std::string sysfs_name;
    if (std::optional<platform::UsbLocation> at = Location()) {
      sysfs_name = std::to_string(at->bus) + "-" + at->port;
    }
    return UdevRemovalWatch::Create(watcher, usb_->RemovalMonitor(), libusb_get_bus_number(device_),
                                    libusb_get_device_address(device_), sysfs_name,
                                    std::move(removed));
  }

 private:
  unsigned TimeoutMs() const { return usb_->transfer_timeout_ms_; }

  std::string Node() const {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device_),
                  libusb_get_device_address(device_));
    return node;
  }

  // Replaces this device with the one a fresh lookup finds at the same
  // place (another hub with the IDs is never taken instead); false when the
  // bus holds no such device there now.
  bool TakeFreshLookup() {
    std::shared_ptr<UsbContext> context = usb_->FreshContext();
    if (!context) return false;
    const std::optional<platform::UsbLocation>& here = identity_.location;
    platform::UsbFindResult again = usb_->Lookup(
        context, true, vendor_id_, product_id_,
        [this,
         &here](const std::vector<platform::UsbCandidate>& candidates) -> std::optional<size_t> {
          for (size_t i = 0; i < candidates.size(); ++i) {
            const std::optional<platform::UsbLocation>& at = candidates[i].location;
            if (at && here && at->bus == here->bus && at->port == here->port) return i;
          }
          // A lone hub that came back at another place is still the one
          // hub (the same serial, where it has one); among several, none.
          const bool same_serial =
              identity_.serial.empty() || candidates[0].serial == identity_.serial;
          if (lone_ && candidates.size() == 1 && same_serial) return 0;
          return std::nullopt;
        });
    if (again.outcome != platform::UsbFindOutcome::kFound) return false;
    auto* found = static_cast<LinuxUsbDevice*>(again.device.get());
    libusb_unref_device(device_);
    device_ = libusb_ref_device(found->device_);
    context_ = std::move(context);
    fresh_ = true;
    return true;
  }

  LinuxUsb* usb_;
  std::shared_ptr<UsbContext> context_;
  libusb_device* device_;
  libusb_device_handle* handle_ = nullptr;
  bool fresh_;
  uint16_t vendor_id_;
  uint16_t product_id_;
  platform::UsbCandidate identity_;  // as the lookup found it
  bool lone_;                        // the lookup found no other with the IDs
};

namespace {

// The device list of one lookup, freed (with its references) on every path.
class DeviceList {
 public:
  explicit DeviceList(libusb_context* context) : count_(libusb_get_device_list(context, &list_)) {}
  ~DeviceList() {
    if (list_ != nullptr) libusb_free_device_list(list_, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  bool ok() const { return count_ >= 0 && list_ != nullptr; }
  ssize_t size() const { return count_ < 0 ? 0 : count_; }
  libusb_device* operator[](ssize_t i) const { return list_[i]; }

 private:
  libusb_device** list_ = nullptr;
  ssize_t count_;
};

}  // namespace

std::string LinuxUsb::AccessFix(const std::string& node) const {
  return UsbAccessFixFor(GatherUsbAccessFacts(access_places_, node, ExecutablePath()));
}

std::optional<bool> LinuxUsb::CheckAccessRule(std::string* detail, std::string* fix) {
  if (const std::optional<std::string> rule = FindUdevRule(access_places_)) {
    if (detail) *detail = "installed: " + *rule;
    return true;
  }
  const UsbAccessFacts facts = GatherUsbAccessFacts(access_places_, "", ExecutablePath());
  if (detail) *detail = std::string(kUdevRuleName) + " is not in " + facts.searched;
  if (fix) {
    std::string text = InstallRuleFix(facts.package, facts.build_dir);
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    *fix = text + ".";
  }
  return false;
}

std::string UsbGoneFix() {
  return "The hub has left the USB bus: connect it to this computer (or switch it here from the "
         "other computer), then try again.";
}

platform::UsbReturn UsbReturnFromLibusb(int code) {
  if (code >= 0) return platform::kUsbSuccess;
  // libusb's codes are negative and distinct; keep them, so a trace can
  // tell a stall (-9) from a vanished device (-4) or a time-out (-7).
  return static_cast<platform::UsbReturn>(code);
}

LinuxUsb::LinuxUsb(unsigned transfer_timeout_ms) : transfer_timeout_ms_(transfer_timeout_ms) {}

LinuxUsb::~LinuxUsb() = default;

std::shared_ptr<UsbContext> LinuxUsb::Context() {
  if (!context_) FreshContext();
  return context_;
}

std::shared_ptr<UsbContext> LinuxUsb::FreshContext() {
  // Made before the kept one is let go, so that libusb's hot-plug monitor,
  // which it runs while any context exists, is not stopped and started
  // again.
  std::shared_ptr<UsbContext> fresh = UsbContext::Make();
  if (!fresh) return nullptr;
  ++contexts_made_;
  context_ = fresh;
  return fresh;
}

void LinuxUsb::PrepareForSwitch() {
  (void)Context();
  if (watcher_ != nullptr) (void)RemovalMonitor();
}

std::unique_ptr<platform::UsbPresenceWatch> LinuxUsb::WatchPresence(
    uint16_t vendor_id, uint16_t product_id,
    std::function<void(const platform::UsbPresenceChange&)> changed) {
  if (watcher_ == nullptr) return nullptr;
  return UdevPresenceWatch::Create(watcher_, RemovalMonitor(), vendor_id, product_id,
                                   std::move(changed));
}

std::shared_ptr<UdevMonitor> LinuxUsb::RemovalMonitor() {
  if (!removal_monitor_) removal_monitor_ = UdevMonitor::Create();
  return removal_monitor_;
}

platform::UsbFindResult LinuxUsb::Lookup(const std::shared_ptr<UsbContext>& context, bool fresh,
                                         uint16_t vendor_id, uint16_t product_id,
                                         const platform::UsbChooser& choose) {
  platform::UsbFindResult result;
  DeviceList list(context->get());
  if (!list.ok()) {
    result.outcome = platform::UsbFindOutcome::kNoSearch;
    result.line = "libusb_get_device_list failed";
    return result;
  }
  std::vector<libusb_device*> found;
  for (ssize_t i = 0; i < list.size(); ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != vendor_id || descriptor.idProduct != product_id) continue;
    found.push_back(list[i]);
    platform::UsbCandidate candidate;
    candidate.location = LocationOf(list[i]);
    candidate.serial = SerialOf(candidate.location);
    result.candidates.push_back(std::move(candidate));
  }
  // In the order of their places on the bus, not libusb's, which changes
  // as devices come and go.
  std::vector<size_t> order(found.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&result](size_t a, size_t b) {
    return PlaceKey(result.candidates[a]) < PlaceKey(result.candidates[b]);
  });
  std::vector<libusb_device*> sorted_found;
  std::vector<platform::UsbCandidate> sorted;
  for (size_t i : order) {
    sorted_found.push_back(found[i]);
    sorted.push_back(std::move(result.candidates[i]));
  }
  found = std::move(sorted_found);
  result.candidates = std::move(sorted);
  if (found.empty()) {
    result.outcome = platform::UsbFindOutcome::kNotAttached;
    result.line = platform::UsbNotFoundLine(vendor_id, product_id);
    return result;
  }
  result.chosen = choose(result.candidates);
  if (!result.chosen || *result.chosen >= found.size()) {
    result.chosen.reset();
    result.outcome = platform::UsbFindOutcome::kNotChosen;
    return result;
  }
  result.outcome = platform::UsbFindOutcome::kFound;
  result.device = std::make_unique<LinuxUsbDevice>(
      this, context, found[*result.chosen], fresh, vendor_id, product_id,
      result.candidates[*result.chosen], result.candidates.size() == 1);
  return result;
}

platform::UsbFindResult LinuxUsb::FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                                   const platform::UsbChooser& choose) {
  const bool kept = context_ != nullptr;
  std::shared_ptr<UsbContext> context = Context();
  if (!context) {
    platform::UsbFindResult result;
    result.outcome = platform::UsbFindOutcome::kNoSearch;
    result.line = "libusb_init failed";
    return result;
  }
  platform::UsbFindResult result = Lookup(context, !kept, vendor_id, product_id, choose);
  if (kept && result.outcome != platform::UsbFindOutcome::kFound) {
    // The kept view may be stale: look once more at the bus as it is now.
    std::shared_ptr<UsbContext> fresh = FreshContext();
    if (fresh) result = Lookup(fresh, true, vendor_id, product_id, choose);
  }
  return result;
}

}  // namespace linux_platform
