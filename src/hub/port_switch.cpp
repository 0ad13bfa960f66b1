#include "hub/port_switch.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "hub/hub_registers.h"
#include "hub/switch_debounce.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

uint64_t gLastSwitchMs = 0;
HubWhereabouts gHubWhereabouts;

namespace {

constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.";

constexpr const char* kPortUnreadLine =
    "Switch abandoned: the port register F5-0000 could not be read, so nothing was written";

SwitchNotTakenReporter gSwitchNotTakenReporter = nullptr;
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

constexpr const char* kPortUnreadSummary = "Hub register unreadable";
constexpr const char* kWriteFailedSummary = "Hub did not take the switch";
constexpr const char* kReplugNoticeFix = "Unplug the hub and plug it in again, then try again.";

// This computer's upstream port of the switch being checked.
int gCheckedPort = -1;

void ReportIfNotTaken(SwitchCheckResult result) {
  SetWhereabouts(result == SwitchCheckResult::kLeft ? HubWhereabouts::Place::kAway
                                                    : HubWhereabouts::Place::kHere,
                 gCheckedPort);
  if (result != SwitchCheckResult::kStayed) return;
  NoticeSwitchFailure({kSwitchNotTakenSummary, kSwitchNotTakenNoticeFix});
  if (gSwitchNotTakenReporter != nullptr) {
    gSwitchNotTakenReporter(kSwitchNotTakenLine, kSwitchNotTakenFix);
  }
}

}  // namespace

// A failed switch is also told where the user is, short and fix first; the
// console keeps its full lines. A switch that works shows nothing: the user
// has just left this computer.
void NoticeSwitchFailure(const ShortNotice& notice) {
  platform::Sys().ui->ShowFailureNotice(kSwitchNoticeKind, notice.summary + "\n" + notice.fix);
}

void ResetPortSwitch() {
  gLastSwitchMs = 0;
  gHubWhereabouts = HubWhereabouts{};
  gWhereaboutsObserver = nullptr;
  gCheckedPort = -1;
  gSwitchNotTakenReporter = nullptr;
  CancelSwitchCheck();
}

namespace {
const ToolStateMember kPortSwitchState{
    "gLastSwitchMs, gHubWhereabouts, gSwitchNotTakenReporter, gWhereaboutsObserver, gCheckedPort",
    &ResetPortSwitch, [] {
      return gLastSwitchMs == 0 && gHubWhereabouts.place == HubWhereabouts::Place::kUnknown &&
             gHubWhereabouts.upstream_port == -1 && gHubWhereabouts.last_switch.empty() &&
             gSwitchNotTakenReporter == nullptr && gWhereaboutsObserver == nullptr &&
             gCheckedPort == -1;
    }};
}  // namespace

void TriggerSwitch(const char* source_name, uint64_t at_ms) {
  const SwitchDebounceStep debounce =
      StepSwitchDebounce(gLastSwitchMs, at_ms != 0 ? at_ms : GetMilliseconds());
  if (!debounce.accept) return;
  gLastSwitchMs = debounce.last_ms;
  if (source_name != nullptr) {
    showMsg("Switch (%s)\n", source_name);
  } else {
    showMsg("Switch\n");
  }
  SwitchRequest request;
  request.checked = true;
  request.on_checked = &ReportIfNotTaken;
  const SwitchOutcome outcome = SwitchHubPort(std::move(request));
  if (!outcome.written && !outcome.failure_line.empty()) NoticeSwitchFailure(outcome.notice);
  if (outcome.written) {
    gHubWhereabouts.last_switch = LocalClockTime();
    gCheckedPort = outcome.upstream_port;
    // Without a check, a write the hub took is taken as the switch done.
    if (!outcome.checking) {
      SetWhereabouts(HubWhereabouts::Place::kAway, -1);
    } else if (gWhereaboutsObserver != nullptr) {
      gWhereaboutsObserver();  // the time; the place when the check is over
    }
  } else if (outcome.lookup == HubLookup::kNotFound) {
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
  outcome.lookup = opened.lookup;
  if (!opened.hub) {
    outcome.failure_line = std::move(opened.failure_line);
    outcome.fix = std::move(opened.fix);
    outcome.notice = std::move(opened.notice);
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
    outcome.failure_line = kPortUnreadLine;
    outcome.fix = kReplugFix;
    showMsg("%s\n%s\n", kPortUnreadLine, kReplugFix);
    outcome.notice = {kPortUnreadSummary, kReplugNoticeFix};
    return outcome;
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
    // Its line is the transfer's own trace; the fix goes under it.
    outcome.failure_line = "Write-Reg F5-0000 Fail";
    outcome.fix = kReplugFix;
    showMsg("%s\n", kReplugFix);
    outcome.notice = {kWriteFailedSummary, kReplugNoticeFix};
    return outcome;
  }
  if (armed) outcome.checking = StartSwitchCheck(std::move(request.on_checked));
  return outcome;
}

void SetSwitchNotTakenReporter(SwitchNotTakenReporter reporter) {
  gSwitchNotTakenReporter = reporter;
}
