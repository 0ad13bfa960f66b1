#include "hub/hub_access.h"

#include <memory>
#include <utility>
#include <vector>

#include "hub/hub_choice.h"
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
  HubPick pick;
  platform::UsbFindResult found = platform::Sys().usb->FindChosenDevice(
      kHubVendorId, kHubProductId, [&pick](const std::vector<platform::UsbCandidate>& candidates) {
        pick = PickHub(candidates, HubSettingInForce());
        return pick.index;
      });
  HubOpenResult result;
  if (found.outcome == platform::UsbFindOutcome::kNotChosen) {
    result = Failed(HubChoiceFailure(pick, found.candidates, HubSettingInForce()));
  } else if (found.outcome != platform::UsbFindOutcome::kFound || !found.device) {
    result = Failed(LookupFailure(found));
  } else {
    platform::UsbFailure refused;
    if (found.device->Open(&refused)) {
      result.hub = std::make_unique<OpenedHub>(std::move(found.device));
    } else {
      // The unopened interface is released when `found` goes, not closed.
      result = Failed(RefusedOpen(refused));
    }
  }
  result.candidates = std::move(found.candidates);
  result.chosen = found.chosen;
  return result;
}
