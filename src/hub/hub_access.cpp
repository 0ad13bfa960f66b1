#include "hub/hub_access.h"

#include <memory>
#include <utility>

#include "hub/hub_device.h"
#include "platform/services.h"

namespace {

HubOpenResult Failed(HubFailure failure) {
  TraceHubFailure(failure);
  HubOpenResult result;
  result.failure = std::move(failure);
  return result;
}

}  // namespace

HubFailure LookupFailure(const platform::UsbFindResult& found) {
  // How far the platform's lookup got, in its own words.
  return HubFailure(found.outcome == platform::UsbFindOutcome::kNotAttached
                        ? HubFailureKind::kNotFound
                        : HubFailureKind::kUnreachable,
                    found.line);
}

HubFailure RefusedOpen(const platform::UsbFailure& refused) {
  return HubFailure(HubFailureKind::kOpenRefused, refused.line, refused.fix);
}

OpenedHub::OpenedHub(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}

OpenedHub::~OpenedHub() {
  device_->Close();
  device_.reset();
}

HubOpenResult FindAndOpenHub() {
  platform::UsbFindResult found = platform::Sys().usb->FindDevice(kHubVendorId, kHubProductId);
  if (found.outcome != platform::UsbFindOutcome::kFound || !found.device) {
    return Failed(LookupFailure(found));
  }
  platform::UsbFailure refused;
  if (!found.device->Open(&refused)) {
    // The unopened interface is released when `found` goes, not closed.
    return Failed(RefusedOpen(refused));
  }
  HubOpenResult result;
  result.hub = std::make_unique<OpenedHub>(std::move(found.device));
  return result;
}
