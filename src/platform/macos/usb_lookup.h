// The lookup of a USB device by vendor and product ID, step by step, with the
// order in which every intermediate object is given back on every path.
//
// The steps run over an `Api` so that the order can be checked without the
// system's USB stack. Its handle types are move-only owners (ScopedRef) that
// test true when they hold something and give their reference back on
// destruction or reset(). It supplies:
//   Matching CreateMatching();        the matching dictionary for USB
//                                     devices; empty on failure
//   bool SetIdentifier(Matching&, UsbIdKey, int32_t value);
//                                     makes the number, puts it in, gives
//                                     the number back; false when the number
//                                     could not be made
//   Service GetMatchingService(Matching);
//                                     consumes the dictionary; empty when no
//                                     device matches
//   PlugIn CreatePlugIn(const Service&);
//                                     empty when the call fails or yields
//                                     no interface
//   DeviceInterface QueryDevice(const PlugIn&);
//                                     empty when no interface was given
//   std::unique_ptr<UsbDevice> MakeDevice(DeviceInterface);
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/usb.h"
#include "platform/usb_lines.h"

namespace platform::macos {

// The two registry keys a device is matched by.
enum class UsbIdKey { kVendor, kProduct };

inline UsbFindResult LookupFailed(UsbFindOutcome outcome, std::string line) {
  UsbFindResult result;
  result.outcome = outcome;
  result.line = std::move(line);
  return result;
}

template <class Api>
UsbFindResult FindDeviceWith(Api& api, uint16_t vendor_id, uint16_t product_id) {
  auto matching = api.CreateMatching();
  if (!matching) return LookupFailed(UsbFindOutcome::kNoSearch, kUsbMatchingFailedLine);
  // The identifiers go in as 32-bit signed numbers. A number that cannot be
  // made would leave a dictionary that matches every device: stop instead.
  if (!api.SetIdentifier(matching, UsbIdKey::kVendor, static_cast<int32_t>(vendor_id)) ||
      !api.SetIdentifier(matching, UsbIdKey::kProduct, static_cast<int32_t>(product_id))) {
    // The dictionary goes with `matching`.
    return LookupFailed(UsbFindOutcome::kNoSearch, kUsbMatchingFailedLine);
  }

  auto service = api.GetMatchingService(std::move(matching));
  if (!service) {
    return LookupFailed(UsbFindOutcome::kNotAttached, UsbNotFoundLine(vendor_id, product_id));
  }

  auto plugin = api.CreatePlugIn(service);
  if (!plugin) {
    // The service goes with `service`.
    return LookupFailed(UsbFindOutcome::kNoInterface, kUsbPlugInFailedLine);
  }

  auto device = api.QueryDevice(plugin);
  // The plug-in goes as soon as it has been asked, then the service, whether
  // or not an interface came back.
  plugin.reset();
  service.reset();
  if (!device) return LookupFailed(UsbFindOutcome::kNoInterface, kUsbQueryFailedLine);

  UsbFindResult result;
  result.outcome = UsbFindOutcome::kFound;
  result.device = api.MakeDevice(std::move(device));
  if (!result.device) return LookupFailed(UsbFindOutcome::kNoInterface, kUsbQueryFailedLine);
  return result;
}

}  // namespace platform::macos
