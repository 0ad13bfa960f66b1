#include "hub/hub_access.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hub/hub_choice.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/services.h"

namespace {

constexpr const char* kNotFoundFix =
    "Connect the hub to this computer (or switch it here from the other computer), then try "
    "again.";
constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.";
constexpr const char* kBusyFix = "Close any other program that holds the hub open, then try again.";

// The same failures, short, for a notice.
constexpr const char* kNotFoundSummary = "Hub not found";
constexpr const char* kNotFoundNoticeFix =
    "Connect the hub here, or switch it back from the other computer.";
constexpr const char* kUnreachableSummary = "Hub cannot be reached";
constexpr const char* kReplugNoticeFix = "Unplug the hub and plug it in again.";
constexpr const char* kBusySummary = "Hub is in use";
constexpr const char* kBusyNoticeFix =
    "Close any other program that holds the hub, then try again.";
constexpr const char* kRefusedSummary = "Hub cannot be opened";
// A summary longer than this is no longer "a few words".
constexpr size_t kMaxSummary = 48;

// Every failure shows its fix under its line, as each failure of a switch
// does.
HubOpenResult Failed(HubLookup lookup, std::string line, std::string fix, ShortNotice notice) {
  // A lookup that gave no words gives no fix either.
  if (!line.empty()) showMsg("%s\n%s\n", line.c_str(), fix.c_str());
  HubOpenResult result;
  result.lookup = lookup;
  result.failure_line = std::move(line);
  result.fix = std::move(fix);
  result.notice = std::move(notice);
  return result;
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

}  // namespace

ShortNotice RefusedOpenNotice(const std::string& platform_fix) {
  if (platform_fix.empty()) return {kBusySummary, kBusyNoticeFix};
  const size_t colon = platform_fix.find(": ");
  if (colon == std::string::npos || colon == 0 || colon > kMaxSummary) {
    return {kRefusedSummary, platform_fix};
  }
  return {platform_fix.substr(0, colon), Capitalised(platform_fix.substr(colon + 2))};
}

OpenedHub::OpenedHub(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}

OpenedHub::~OpenedHub() {
  device_->Close();
  device_.reset();
}

namespace {

HubOpenResult OpenFound(platform::UsbFindResult& found, const HubPick& pick) {
  if (found.outcome == platform::UsbFindOutcome::kNotChosen) {
    const HubPickFailure failure = DescribeHubPickFailure(pick, found.candidates, gHubSetting);
    return Failed(failure.chosen_absent ? HubLookup::kNotFound : HubLookup::kNotChosen,
                  failure.line, failure.fix, {failure.summary, failure.notice_fix});
  }
  if (found.outcome != platform::UsbFindOutcome::kFound || !found.device) {
    // The platform's own words for how far its lookup got.
    const HubLookup lookup = found.outcome == platform::UsbFindOutcome::kNotAttached
                                 ? HubLookup::kNotFound
                                 : HubLookup::kUnavailable;
    if (lookup == HubLookup::kNotFound) {
      return Failed(lookup, found.line, kNotFoundFix, {kNotFoundSummary, kNotFoundNoticeFix});
    }
    return Failed(lookup, found.line, kReplugFix, {kUnreachableSummary, kReplugNoticeFix});
  }
  platform::UsbFailure refused;
  if (!found.device->Open(&refused)) {
    // The unopened interface is released when `found` goes, not closed.
    return Failed(HubLookup::kUnavailable, refused.line,
                  refused.fix.empty() ? kBusyFix : refused.fix, RefusedOpenNotice(refused.fix));
  }
  HubOpenResult result;
  result.lookup = HubLookup::kOpened;
  result.hub = std::make_unique<OpenedHub>(std::move(found.device));
  return result;
}

}  // namespace

HubOpenResult FindAndOpenHub() {
  HubPick pick;
  platform::UsbFindResult found = platform::Sys().usb->FindChosenDevice(
      kHubVendorId, kHubProductId, [&pick](const std::vector<platform::UsbCandidate>& candidates) {
        pick = PickHub(candidates, gHubSetting);
        return pick.index;
      });
  HubOpenResult result = OpenFound(found, pick);
  result.candidates = std::move(found.candidates);
  result.chosen = found.chosen;
  return result;
}
