#include "platform/macos/mac_usb_presence.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/usb/IOUSBLib.h>

#include <utility>

#include "platform/macos/cf_ref.h"

namespace platform::macos {
namespace {

mach_port_t DefaultMainPort() {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  return kIOMasterPortDefault;
#pragma clang diagnostic pop
}

// "IOUSBDevice" with the two IDs, as the switch's lookup matches; null when
// it cannot be made.
CFMutableDictionaryRef CreateMatching(uint16_t vendor_id, uint16_t product_id) {
  CFMutableDictionaryRef matching = IOServiceMatching("IOUSBDevice");
  if (matching == nullptr) return nullptr;
  const int32_t ids[2] = {vendor_id, product_id};
  const CFStringRef keys[2] = {CFSTR("idVendor"), CFSTR("idProduct")};
  for (int i = 0; i < 2; ++i) {
    const auto number = CfRef<CFNumberRef>::Adopt(
        CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &ids[i]));
    if (!number) {
      CFRelease(matching);
      return nullptr;
    }
    CFDictionarySetValue(matching, keys[i], number.get());
  }
  return matching;
}

}  // namespace

std::unique_ptr<MacUsbPresenceWatch> MacUsbPresenceWatch::Create(
    uint16_t vendor_id, uint16_t product_id,
    std::function<void(const UsbPresenceChange&)> changed) {
  std::unique_ptr<MacUsbPresenceWatch> watch(new MacUsbPresenceWatch());
  watch->changed_ = std::move(changed);
  watch->port_ = IONotificationPortCreate(DefaultMainPort());
  if (watch->port_ == nullptr) return nullptr;
  CFRunLoopAddSource(CFRunLoopGetMain(), IONotificationPortGetRunLoopSource(watch->port_),
                     kCFRunLoopCommonModes);
  // Each registration consumes one reference to its dictionary, on every
  // path: one dictionary each.
  CFMutableDictionaryRef first = CreateMatching(vendor_id, product_id);
  CFMutableDictionaryRef gone = CreateMatching(vendor_id, product_id);
  if (first == nullptr || gone == nullptr) {
    if (first != nullptr) CFRelease(first);
    if (gone != nullptr) CFRelease(gone);
    return nullptr;  // the destructor takes the port down
  }
  if (IOServiceAddMatchingNotification(watch->port_, kIOFirstMatchNotification, first,
                                       &MacUsbPresenceWatch::OnMatched, watch.get(),
                                       &watch->matched_) != KERN_SUCCESS) {
    CFRelease(gone);
    return nullptr;
  }
  if (IOServiceAddMatchingNotification(watch->port_, kIOTerminatedNotification, gone,
                                       &MacUsbPresenceWatch::OnTerminated, watch.get(),
                                       &watch->terminated_) != KERN_SUCCESS) {
    return nullptr;
  }
  // A notification is armed only once its iterator has been emptied. What
  // it holds now is the devices there already: no arrival, no removal.
  (void)Drain(watch->matched_);
  (void)Drain(watch->terminated_);
  return watch;
}

MacUsbPresenceWatch::~MacUsbPresenceWatch() {
  *alive_ = false;
  if (matched_ != IO_OBJECT_NULL) IOObjectRelease(matched_);
  if (terminated_ != IO_OBJECT_NULL) IOObjectRelease(terminated_);
  if (port_ != nullptr) {
    CFRunLoopRemoveSource(CFRunLoopGetMain(), IONotificationPortGetRunLoopSource(port_),
                          kCFRunLoopCommonModes);
    IONotificationPortDestroy(port_);  // destroys its run-loop source too
  }
}

int MacUsbPresenceWatch::Drain(io_iterator_t iterator) {
  int count = 0;
  while (io_object_t object = IOIteratorNext(iterator)) {
    IOObjectRelease(object);
    ++count;
  }
  return count;
}

void MacUsbPresenceWatch::Tell(bool arrived, int count) {
  // The callback may destroy this watch: nothing of it is touched after.
  std::shared_ptr<bool> alive = alive_;
  std::function<void(const UsbPresenceChange&)> changed = changed_;
  UsbPresenceChange change;
  change.arrived = arrived;
  for (int i = 0; i < count && *alive; ++i) changed(change);
}

void MacUsbPresenceWatch::OnMatched(void* refcon, io_iterator_t iterator) {
  // Emptied before the call, so the notification is armed again whatever
  // the callback does.
  const int count = Drain(iterator);
  static_cast<MacUsbPresenceWatch*>(refcon)->Tell(true, count);
}

void MacUsbPresenceWatch::OnTerminated(void* refcon, io_iterator_t iterator) {
  const int count = Drain(iterator);
  static_cast<MacUsbPresenceWatch*>(refcon)->Tell(false, count);
}

}  // namespace platform::macos
