#include "hub/hub_access.h"

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

// Every failure shows its fix under its line, as each failure of a switch
// does.
HubOpenResult Failed(HubLookup lookup, std::string line, std::string fix) {
  // A lookup that gave no words gives no fix either.
  if (!line.empty()) showMsg("%s\n%s\n", line.c_str(), fix.c_str());
  HubOpenResult result;
  result.lookup = lookup;
  result.failure_line = std::move(line);
  result.fix = std::move(fix);
  return result;
}

}  // namespace

OpenedHub::OpenedHub(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}

OpenedHub::~OpenedHub() {
  device_->Close();
  device_.reset();
}

HubOpenResult FindAndOpenHub() {
  platform::UsbFindResult found = platform::Sys().usb->FindDevice(kHubVendorId, kHubProductId);
  if (found.outcome != platform::UsbFindOutcome::kFound || !found.device) {
    // The platform's own words for how far its lookup got.
    const HubLookup lookup = found.outcome == platform::UsbFindOutcome::kNotAttached
                                 ? HubLookup::kNotFound
                                 : HubLookup::kUnavailable;
    return Failed(lookup, found.line, lookup == HubLookup::kNotFound ? kNotFoundFix : kReplugFix);
  }
  platform::UsbFailure refused;
  if (!found.device->Open(&refused)) {
    // The unopened interface is released when `found` goes, not closed.
    return Failed(HubLookup::kUnavailable, refused.line,
                  refused.fix.empty() ? kBusyFix : refused.fix);
  }
  HubOpenResult result;
  result.lookup = HubLookup::kOpened;
  result.hub = std::make_unique<OpenedHub>(std::move(found.device));
  return result;
}
