#include "hub/hub_access.h"

#include <cstdio>
#include <utility>

#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"

namespace {

constexpr const char* kNotFoundFix =
    "Connect the hub to this computer (or switch it here from the other computer), then try "
    "again.";
constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.";
constexpr const char* kBusyFix = "Close any other program that holds the hub open, then try again.";

HubOpenResult Failed(HubLookup lookup, std::string line, std::string fix) {
  showMsg("%s\n", line.c_str());
  HubOpenResult result;
  result.lookup = lookup;
  result.failure_line = std::move(line);
  result.fix = std::move(fix);
  return result;
}

std::string Formatted(const char* format, unsigned a, unsigned b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

OpenedHub::OpenedHub(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}

OpenedHub::~OpenedHub() {
  device_->Close();
  device_.reset();
}

HubOpenResult FindAndOpenHub() {
  platform::UsbFindResult found = platform::Sys().usb->FindDevice(kHubVendorId, kHubProductId);
  if (found.step != platform::UsbFindStep::kFound && !found.failure_line.empty()) {
    // This platform has no counterpart of the failed step: its own words.
    const HubLookup lookup = found.step == platform::UsbFindStep::kNotFound
                                 ? HubLookup::kNotFound
                                 : HubLookup::kUnavailable;
    return Failed(lookup, found.failure_line,
                  lookup == HubLookup::kNotFound ? kNotFoundFix : kReplugFix);
  }
  switch (found.step) {
    case platform::UsbFindStep::kFound:
      break;
    case platform::UsbFindStep::kMatchingFailed:
      return Failed(HubLookup::kUnavailable, "IOServiceMatching failed", kReplugFix);
    case platform::UsbFindStep::kNotFound:
      return Failed(
          HubLookup::kNotFound,
          Formatted("USB device not found (VID=0x%04X PID=0x%04X)", kHubVendorId, kHubProductId),
          kNotFoundFix);
    case platform::UsbFindStep::kPlugInFailed:
      return Failed(HubLookup::kUnavailable, "IOCreatePlugInInterfaceForService failed",
                    kReplugFix);
    case platform::UsbFindStep::kQueryFailed:
      return Failed(HubLookup::kUnavailable, "QueryInterface (DeviceInterface) failed", kReplugFix);
  }
  if (!found.device) {
    // Found without an interface: the query yielded nothing after all.
    return Failed(HubLookup::kUnavailable, "QueryInterface (DeviceInterface) failed", kReplugFix);
  }
  std::string fix;
  if (!found.device->Open(&fix)) {
    // The unopened interface is released when `found` goes, not closed.
    HubOpenResult result = Failed(HubLookup::kUnavailable, "USBDeviceOpen failed", kBusyFix);
    if (!fix.empty()) {
      showMsg(fix.back() == '\n' ? "%s" : "%s\n", fix.c_str());
      if (fix.back() == '\n') fix.pop_back();
      result.fix = fix;
    }
    return result;
  }
  HubOpenResult result;
  result.lookup = HubLookup::kOpened;
  result.hub = std::make_unique<OpenedHub>(std::move(found.device));
  return result;
}
