#include "hub/port_switch.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "hub/hub_access.h"
#include "hub/hub_registers.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

uint64_t gLastSwitchMs = 0;
HubWhereabouts gHubWhereabouts;

namespace {

constexpr uint64_t kSwitchDebounceMs = 500;

WhereaboutsObserver gWhereaboutsObserver = nullptr;

void SetWhereabouts(HubWhereabouts::Place place, int upstream_port) {
  gHubWhereabouts.place = place;
  gHubWhereabouts.upstream_port = place == HubWhereabouts::Place::kHere ? upstream_port : -1;
  if (gWhereaboutsObserver != nullptr) gWhereaboutsObserver();
}

std::string LocalClockTime() {
  const std::tm now = platform::Sys().clock->LocalTime();
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", now.tm_hour, now.tm_min);
  return text;
}

// This computer's upstream port of the switch being checked.
int gCheckedPort = -1;

void ReportIfNotTaken(SwitchCheckResult result) {
  SetWhereabouts(result == SwitchCheckResult::kLeft ? HubWhereabouts::Place::kAway
                                                    : HubWhereabouts::Place::kHere,
                 gCheckedPort);
  // Its console lines were written by the check.
  if (result == SwitchCheckResult::kStayed) NoticeHubFailure(HubFailure(HubFailureKind::kNotTaken));
}

// A failure of the exchange itself, traced where it happens.
SwitchOutcome Failed(SwitchOutcome outcome, HubFailureKind kind) {
  const HubFailure failure(kind);
  TraceHubFailure(failure);
  outcome.failure = failure;
  return outcome;
}

}  // namespace

void ResetPortSwitch() {
  gLastSwitchMs = 0;
  gHubWhereabouts = HubWhereabouts{};
  gWhereaboutsObserver = nullptr;
  gCheckedPort = -1;
  CancelSwitchCheck();
}

void TriggerSwitch(const char* source_name, uint64_t at_ms) {
  const uint64_t now = at_ms != 0 ? at_ms : GetMilliseconds();
  // The window runs from the last accepted request; a dropped one does not
  // move it. Exactly 500 ms later a request is accepted again.
  if (gLastSwitchMs != 0 && ElapsedMs(now, gLastSwitchMs) < kSwitchDebounceMs) return;
  gLastSwitchMs = now;
  if (source_name != nullptr) {
    showMsg("Switch (%s)\n", source_name);
  } else {
    showMsg("Switch\n");
  }
  SwitchRequest request;
  request.checked = true;
  request.on_checked = &ReportIfNotTaken;
  const SwitchOutcome outcome = SwitchHubPort(std::move(request));
  // A failure the platform gave no words for is not told at all.
  if (outcome.failure && !HubFailureLine(*outcome.failure).empty()) {
    NoticeHubFailure(*outcome.failure);
  }
  if (outcome.written) {
    gHubWhereabouts.last_switch = LocalClockTime();
    gCheckedPort = outcome.upstream_port;
    // Without a check, a write the hub took is taken as the switch done.
    if (!outcome.checking) {
      SetWhereabouts(HubWhereabouts::Place::kAway, -1);
    } else if (gWhereaboutsObserver != nullptr) {
      gWhereaboutsObserver();  // the time; the place when the check is over
    }
  } else if (outcome.failure && outcome.failure->kind == HubFailureKind::kNotFound) {
    SetWhereabouts(HubWhereabouts::Place::kAway, -1);
  } else if (outcome.upstream_port >= 0) {
    SetWhereabouts(HubWhereabouts::Place::kHere, outcome.upstream_port);
  }
}

void NoteHubPlace(bool here) {
  SetWhereabouts(here ? HubWhereabouts::Place::kHere : HubWhereabouts::Place::kAway, -1);
}

void SetWhereaboutsObserver(WhereaboutsObserver observer) {
  gWhereaboutsObserver = observer;
}

bool Switch_XQ917_UpperPort() {
  return SwitchHubPort(SwitchRequest{}).written;
}

SwitchOutcome SwitchHubPort(SwitchRequest request) {
  SwitchOutcome outcome;
  HubOpenResult opened = FindAndOpenHub();
  if (!opened.hub) {
    outcome.failure = std::move(opened.failure);
    return outcome;
  }
  platform::UsbDevice* hub = opened.hub->get();

  // The first read's value is never used: only its trace line matters. The
  // port-select register must be read, though: writing without knowing it
  // would be a guess, so the switch is abandoned instead.
  uint8_t status = 0;
  (void)Hub_Read_Register(hub, kStatusRequest, kStatusAddress, &status);
  uint8_t value = 0;
  if (!Hub_Read_Register(hub, kPortSelectRequest, kPortSelectAddress, &value)) {
    return Failed(std::move(outcome), HubFailureKind::kSwitchAbandoned);
  }
  outcome.upstream_port = value & 1u;
  value = static_cast<uint8_t>((value & 1u) ^ 1u);
  // The watch goes up before the write, so that a hub that leaves at once
  // is not missed.
  const bool armed = request.checked && ArmSwitchCheck(*hub);
  outcome.written = Hub_Write_Register(hub, kPortSelectRequest, kPortSelectAddress, value);
  opened.hub.reset();  // closed and released before the wait
  if (!outcome.written) {
    if (armed) CancelSwitchCheck();
    return Failed(std::move(outcome), HubFailureKind::kWriteFailed);
  }
  if (armed) outcome.checking = StartSwitchCheck(std::move(request.on_checked));
  return outcome;
}
