// The ways the road to the hub fails, and their words, each written here
// once: the console line (where it is the tool's own), the fix under it,
// and the short form a desktop notice shows. The console trace, the
// one-shot commands, --diagnose and the notices all render a HubFailure
// through these functions; what travels between them is the failure, never
// its text.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/usb.h"

enum class HubFailureKind {
  kNotFound,         // no hub with the IDs on the bus
  kUnreachable,      // the bus could not be searched, or no interface made
  kOpenRefused,      // found, but opening it was refused
  kPortUnread,       // the port register could not be read (--status)
  kSwitchAbandoned,  // the same during a switch: nothing was written
  kWriteFailed,      // the hub refused the port-select write
  kNotTaken,         // the write was taken, but the hub stayed here
  // More than one device with the hub's IDs (hub_choice.h):
  kSeveralHubs,      // the hub setting is not set, so none is used
  kChosenNotUnique,  // the hub setting names more than one, so none is used
  kChosenAbsent,     // the hub setting names none of those attached
};

// One failure as it happened: its kind and, for the kinds the platform
// names (kNotFound, kUnreachable, kOpenRefused), the platform's words.
struct HubFailure {
  explicit HubFailure(HubFailureKind failure_kind, std::string line = "", std::string fix = "")
      : kind(failure_kind), platform_line(std::move(line)), platform_fix(std::move(fix)) {}
  HubFailureKind kind;
  std::string platform_line;  // the console line, without its newline
  // kOpenRefused: how to mend the cause the platform found (a permission,
  // a rule, a group); "" when it knows none.
  std::string platform_fix;
  // The kinds of a choice between hubs: every device with the IDs found,
  // and the hub setting in force.
  std::vector<platform::UsbCandidate> candidates;
  std::string chosen_hub;
  // Their words, written where the choice is made: the candidates as one
  // list, and how to name one in the settings.
  std::string candidate_list;
  std::string choose_advice;
};

// The console line and the fix of a switch that did not take effect.
inline constexpr const char* kSwitchNotTakenLine =
    "Switch did not take effect: the hub is still on this computer after 2 s";
inline constexpr const char* kSwitchNotTakenFix =
    "Check that the other computer is connected to the switch and switched on, then try again.";

// A failure as a desktop notice shows it: what failed in a few words, and
// the fix in one short sentence, in plain words (no IDs, no system calls).
struct ShortNotice {
  std::string summary;
  std::string fix;
};

// What the user does once the fix is made: try the switch (or the status)
// again, or check again (--diagnose).
enum class AfterFix { kTryAgain, kCheckAgain };

// The failure's console line, without its newline; "" when the platform
// gave no words for it.
std::string HubFailureLine(const HubFailure& failure);
// The one line that tells the user how to fix it.
std::string HubFailureFix(const HubFailure& failure, AfterFix after = AfterFix::kTryAgain);
// The failure, short, for a notice.
ShortNotice HubFailureNotice(const HubFailure& failure);
// Desktop notices of a failed switch are of this kind: a later one
// replaces the earlier.
inline constexpr const char* kSwitchNoticeKind = "switch";
// Shows the failure as a desktop notice of the switch kind.
void NoticeHubFailure(const HubFailure& failure);
// Writes the failure through showMsg, where it happens: its line (unless
// the register transfer's own trace wrote it already) and its fix under
// it. A failure without words writes nothing.
void TraceHubFailure(const HubFailure& failure);

// A refused open as a notice, from the platform's fix for it ("" when it
// gave none). A fix of the form "cause: remedy" gives the cause as the
// summary and the remedy as the body.
ShortNotice RefusedOpenNotice(const std::string& platform_fix);
