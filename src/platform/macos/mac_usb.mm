#include "platform/macos/mac_usb.h"

#include <IOKit/IOCFPlugIn.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/usb/IOUSBLib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "platform/macos/cf_ref.h"
#include "platform/macos/mac_usb_device.h"
#include "platform/macos/mac_usb_presence.h"
#include "platform/macos/usb_lookup.h"
#include "platform/posix/switch_lock.h"
#include "platform/usb_lines.h"
#include "shared/product.h"

namespace platform::macos {
namespace {

using DeviceInterfaceRef = ComRef<IOUSBDeviceInterface>;
using PlugInRef = ComRef<IOCFPlugInInterface>;
using MatchingRef = CfRef<CFMutableDictionaryRef>;

// The default main port. Its newer name exists only from macOS 12 on; the
// old one names the same port on every release.
mach_port_t DefaultMainPort() {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  return kIOMasterPortDefault;
#pragma clang diagnostic pop
}

// A device interface on the hub. Destroying it closes the device if it is
// still open, then releases the interface (the member's owner).
class MacUsbDevice final : public UsbDevice {
 public:
  explicit MacUsbDevice(DeviceInterfaceRef device) : device_(std::move(device)) {}
  ~MacUsbDevice() override { Close(); }

  // kIOReturnExclusiveAccess: another driver (often the system's own hub
  // driver) has the device open. Requests on the default control pipe still
  // reach it without an open of this program's own, so the switch goes on;
  // nothing was opened here, so nothing is closed. Any other refusal stops
  // it: the device has gone, or the system gives no reason.
  bool Open(UsbFailure* failure) override {
    IOUSBDeviceInterface** device = device_.get();
    const IOReturn result = (*device)->USBDeviceOpen(device);
    open_ = result == kIOReturnSuccess;
    if (open_ || result == kIOReturnExclusiveAccess) return true;
    if (failure != nullptr) *failure = {kUsbOpenFailedLine, ""};
    return false;
  }

  UsbReturn DeviceRequest(UsbDeviceRequest* request) override {
    IOUSBDevRequest block{};
    block.bmRequestType = request->bmRequestType;
    block.bRequest = request->bRequest;
    block.wValue = request->wValue;
    block.wIndex = request->wIndex;
    block.wLength = request->wLength;
    block.pData = request->pData;
    IOUSBDeviceInterface** device = device_.get();
    const IOReturn result = (*device)->DeviceRequest(device, &block);
    request->wLenDone = block.wLenDone;
    return static_cast<UsbReturn>(result);
  }

  void Close() override {
    if (!open_) return;
    IOUSBDeviceInterface** device = device_.get();
    (*device)->USBDeviceClose(device);
    open_ = false;
  }

  // The hub has no device node every process could lock, so the lock is a
  // file of the hub's own in the shared temporary folder, named by its
  // location ID (the same for every process and user while it stays on its
  // port). Without a location ID the switch goes on unlocked.
  UsbSwitchLockAttempt LockForSwitch() override {
    IOUSBDeviceInterface** device = device_.get();
    UInt32 location = 0;
    if ((*device)->GetLocationID(device, &location) != kIOReturnSuccess) return {};
    char path[128];
    std::snprintf(path, sizeof path, "/tmp/%s.hub-%08x.lock", kAgentLabel,
                  static_cast<unsigned>(location));
    return posix::LockSwitchFile(path);
  }

 private:
  DeviceInterfaceRef device_;
  bool open_ = false;
};

// The steps of the lookup on IOKit.
struct IoKitUsbApi {
  MatchingRef CreateMatching() { return MatchingRef::Adopt(IOServiceMatching("IOUSBDevice")); }

  bool SetIdentifier(MatchingRef& matching, UsbIdKey key, int32_t value) {
    const CfRef<CFNumberRef> number =
        CfRef<CFNumberRef>::Adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    if (!number) return false;
    CFDictionarySetValue(matching.get(),
                         key == UsbIdKey::kVendor ? CFSTR("idVendor") : CFSTR("idProduct"),
                         number.get());
    return true;  // the dictionary holds its own reference to the number
  }

  IoObjectRef GetMatchingServices(MatchingRef matching) {
    // The search consumes one reference to the dictionary, whatever it
    // returns.
    io_iterator_t iterator = IO_OBJECT_NULL;
    const kern_return_t result =
        IOServiceGetMatchingServices(DefaultMainPort(), matching.release(), &iterator);
    if (result != KERN_SUCCESS) return IoObjectRef();
    return IoObjectRef::Adopt(iterator);
  }

  IoObjectRef NextService(IoObjectRef& iterator) {
    return IoObjectRef::Adopt(IOIteratorNext(iterator.get()));
  }

  // The registry's "locationID" (kUSBDevicePropertyLocationID) and "USB
  // Serial Number" (kUSBSerialNumberString), read without opening anything.
  UsbCandidate Describe(const IoObjectRef& service) {
    UsbCandidate candidate;
    const auto location = CfRef<CFTypeRef>::Adopt(IORegistryEntryCreateCFProperty(
        service.get(), CFSTR("locationID"), kCFAllocatorDefault, 0));
    if (location && CFGetTypeID(location.get()) == CFNumberGetTypeID()) {
      SInt64 value = 0;
      if (CFNumberGetValue(static_cast<CFNumberRef>(location.get()), kCFNumberSInt64Type, &value)) {
        candidate.location_id = static_cast<uint32_t>(value);
      }
    }
    const auto serial = CfRef<CFTypeRef>::Adopt(IORegistryEntryCreateCFProperty(
        service.get(), CFSTR("USB Serial Number"), kCFAllocatorDefault, 0));
    if (serial && CFGetTypeID(serial.get()) == CFStringGetTypeID()) {
      char text[256];
      if (CFStringGetCString(static_cast<CFStringRef>(serial.get()), text, sizeof text,
                             kCFStringEncodingUTF8)) {
        candidate.serial = text;
      }
    }
    return candidate;
  }

  PlugInRef CreatePlugIn(const IoObjectRef& service) {
    IOCFPlugInInterface** plugin = nullptr;
    SInt32 score = 0;
    const kern_return_t result = IOCreatePlugInInterfaceForService(
        service.get(), kIOUSBDeviceUserClientTypeID, kIOCFPlugInInterfaceID, &plugin, &score);
    if (result != KERN_SUCCESS) return PlugInRef();
    return PlugInRef::Adopt(plugin);
  }

  DeviceInterfaceRef QueryDevice(const PlugInRef& plugin) {
    IOUSBDeviceInterface** device = nullptr;
    IOCFPlugInInterface** self = plugin.get();
    // Only the interface pointer tells whether the query worked.
    (void)(*self)->QueryInterface(self, CFUUIDGetUUIDBytes(kIOUSBDeviceInterfaceID),
                                  reinterpret_cast<LPVOID*>(&device));
    return DeviceInterfaceRef::Adopt(device);
  }

  std::unique_ptr<UsbDevice> MakeDevice(DeviceInterfaceRef device) {
    return AdoptUsbDevice(device.release());
  }
};

}  // namespace

std::unique_ptr<UsbDevice> AdoptUsbDevice(IOUSBDeviceInterface** device) {
  return std::make_unique<MacUsbDevice>(DeviceInterfaceRef::Adopt(device));
}

UsbFindResult MacUsb::FindChosenDevice(uint16_t vendor_id, uint16_t product_id,
                                       const UsbChooser& choose) {
  IoKitUsbApi api;
  return FindDeviceWith(api, vendor_id, product_id, choose);
}

std::unique_ptr<UsbPresenceWatch> MacUsb::WatchPresence(
    uint16_t vendor_id, uint16_t product_id,
    std::function<void(const UsbPresenceChange&)> changed) {
  return MacUsbPresenceWatch::Create(vendor_id, product_id, std::move(changed));
}

}  // namespace platform::macos
