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
//   Iterator GetMatchingServices(Matching);
//                                     consumes the dictionary; empty when the
//                                     registry could not be searched
//   Service NextService(Iterator&);   the next matching device; empty at
//                                     the end
//   UsbCandidate Describe(const Service&);
//                                     its location ID and serial number, read
//                                     from the registry
//   PlugIn CreatePlugIn(const Service&);
//                                     empty when the call fails or yields
//                                     no interface
//   DeviceInterface QueryDevice(const PlugIn&);
//                                     empty when no interface was given
//   std::unique_ptr<UsbDevice> MakeDevice(DeviceInterface);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

template <class Api, class Service>
UsbFindResult FindChosenWith(Api& api, Service& service);

template <class Api>
UsbFindResult FindDeviceWith(Api& api, uint16_t vendor_id, uint16_t product_id,
                             const UsbChooser& choose = &FirstUsbDevice) {
  auto matching = api.CreateMatching();
  if (!matching) return LookupFailed(UsbFindOutcome::kNoSearch, kUsbMatchingFailedLine);
  // The identifiers go in as 32-bit signed numbers. A number that cannot be
  // made would leave a dictionary that matches every device: stop instead.
  if (!api.SetIdentifier(matching, UsbIdKey::kVendor, static_cast<int32_t>(vendor_id)) ||
      !api.SetIdentifier(matching, UsbIdKey::kProduct, static_cast<int32_t>(product_id))) {
    // The dictionary goes with `matching`.
    return LookupFailed(UsbFindOutcome::kNoSearch, kUsbMatchingFailedLine);
  }

  auto iterator = api.GetMatchingServices(std::move(matching));
  if (!iterator) return LookupFailed(UsbFindOutcome::kNoSearch, kUsbSearchFailedLine);
  // Every device with the IDs, so that one is never taken for another.
  std::vector<decltype(api.NextService(iterator))> services;
  std::vector<UsbCandidate> candidates;
  while (auto next = api.NextService(iterator)) {
    candidates.push_back(api.Describe(next));
    services.push_back(std::move(next));
  }
  iterator.reset();
  if (services.empty()) {
    return LookupFailed(UsbFindOutcome::kNotAttached, UsbNotFoundLine(vendor_id, product_id));
  }
  std::optional<size_t> chosen = choose(candidates);
  if (!chosen || *chosen >= services.size()) {
    UsbFindResult result = LookupFailed(UsbFindOutcome::kNotChosen, "");
    result.candidates = std::move(candidates);
    return result;  // every service goes with `services`
  }
  auto service = std::move(services[*chosen]);
  services.clear();  // the others go at once

  // From here on every result tells what was found.
  UsbFindResult result = FindChosenWith(api, service);
  result.candidates = std::move(candidates);
  if (result.outcome == UsbFindOutcome::kFound) result.chosen = chosen;
  return result;
}

// The device interface for the chosen service.
template <class Api, class Service>
UsbFindResult FindChosenWith(Api& api, Service& service) {
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
