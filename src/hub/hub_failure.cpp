#include "hub/hub_failure.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "hub/hub_device.h"
#include "hub/hub_registers.h"
#include "output/show_msg.h"
#include "platform/services.h"

namespace {

// Where a failure's console line comes from.
enum class LineFrom {
  kPlatform,    // the platform's words (HubFailure::platform_line)
  kTable,       // the row's own line
  kReadTrace,   // the failed read's trace of the port register
  kWriteTrace,  // the failed write's trace of the port register
  kChoice,      // the row's line and fix, the hubs and the setting filled in
};

// One kind's words. Every fix ends in kTryAgain; --diagnose says
// kCheckAgain instead.
struct HubFailureWords {
  LineFrom line_from;
  const char* line;        // kTable only
  const char* fix;         // under the console line
  const char* summary;     // the notice's summary
  const char* notice_fix;  // the notice's body
};

constexpr const char* kTryAgain = "try again.";
constexpr const char* kCheckAgain = "check again.";

constexpr const char* kReplugFix = "Unplug the hub and plug it in again, then try again.";
constexpr const char* kReplugNoticeFix = "Unplug the hub and plug it in again.";

constexpr const char* kPortUnreadLine =
    "Switch abandoned: the port register F5-0000 could not be read, so nothing was written";

// Indexed by HubFailureKind.
constexpr HubFailureWords kWords[] = {
    // kNotFound
    {LineFrom::kPlatform, nullptr,
     "Connect the hub to this computer (or switch it here from the other computer), then try "
     "again.",
     "Hub not found", "Connect the hub here, or switch it back from the other computer."},
    // kUnreachable
    {LineFrom::kPlatform, nullptr, kReplugFix, "Hub cannot be reached", kReplugNoticeFix},
    // kOpenRefused: where the platform names no cause
    {LineFrom::kPlatform, nullptr,
     "Close any other program that holds the hub open, then try again.", "Hub is in use",
     "Close any other program that holds the hub, then try again."},
    // kPortUnread
    {LineFrom::kReadTrace, nullptr, kReplugFix, "Hub register unreadable", kReplugNoticeFix},
    // kSwitchAbandoned
    {LineFrom::kTable, kPortUnreadLine, kReplugFix, "Hub register unreadable", kReplugNoticeFix},
    // kWriteFailed
    {LineFrom::kWriteTrace, nullptr, kReplugFix, "Hub did not take the switch", kReplugNoticeFix},
    // kNotTaken
    {LineFrom::kTable, kSwitchNotTakenLine, kSwitchNotTakenFix, "Switch did not take effect",
     "Check that the other computer is on and connected to the switch."},
    // kSeveralHubs. In the lines of a choice, {count} is how many hubs are
    // attached, {ids} their IDs, {list} each of them, {setting} the hub
    // setting and {choose} the setting to write, with where.
    {LineFrom::kChoice,
     "{count} hubs {ids} are attached ({list}) and none is chosen, so none is used",
     "Choose the one to use: {choose}, then try again.", "Several hubs attached",
     "Choose one with the hub setting; --status lists them."},
    // kChosenNotUnique
    {LineFrom::kChoice,
     "{count} hubs {ids} match the chosen hub \"{setting}\" ({list}), so none is used",
     "Choose it by its port path or location ID instead: {choose}, then try again.",
     "Chosen hub is not unique", "Choose the hub by its port path; --status lists them."},
    // kChosenAbsent
    {LineFrom::kChoice,
     "The chosen hub \"{setting}\" is not attached (attached: {list}); no other is used in its "
     "place",
     "Connect that hub (or switch it here from the other computer), or choose one attached: "
     "{choose}, then try again.",
     "Chosen hub not found", "Connect the chosen hub, or change the hub setting."},
};

static_assert(sizeof kWords / sizeof kWords[0] ==
                  static_cast<size_t>(HubFailureKind::kChosenAbsent) + 1,
              "one row for each kind");

const HubFailureWords& WordsOf(HubFailureKind kind) {
  return kWords[static_cast<size_t>(kind)];
}

// A notice's summary is "a few words": a cause longer than this is not.
constexpr size_t kMaxSummary = 48;

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

std::string AfterFixed(const std::string& fix, AfterFix after) {
  const size_t tail = std::strlen(kTryAgain);
  if (after == AfterFix::kTryAgain || fix.size() < tail ||
      fix.compare(fix.size() - tail, tail, kTryAgain) != 0) {
    return fix;
  }
  return fix.substr(0, fix.size() - tail) + kCheckAgain;
}

// A row's text of a choice between hubs, filled in.
std::string Filled(const char* text, const HubFailure& failure) {
  std::string out = text;
  const std::pair<const char*, std::string> fields[] = {
      {"{count}", std::to_string(failure.candidates.size())},
      {"{ids}", HubIdText()},
      {"{list}", failure.candidate_list},
      {"{setting}", failure.chosen_hub},
      {"{choose}", failure.choose_advice},
  };
  for (const auto& [field, value] : fields) {
    for (size_t at = out.find(field); at != std::string::npos;
         at = out.find(field, at + value.size())) {
      out.replace(at, std::strlen(field), value);
    }
  }
  return out;
}

}  // namespace

std::string HubFailureLine(const HubFailure& failure) {
  const HubFailureWords& words = WordsOf(failure.kind);
  switch (words.line_from) {
    case LineFrom::kPlatform:
      return failure.platform_line;
    case LineFrom::kTable:
      return words.line;
    case LineFrom::kReadTrace:
      return RegisterFailLine(RegisterTransfer::kRead, kPortSelectRequest, kPortSelectAddress);
    case LineFrom::kWriteTrace:
      return RegisterFailLine(RegisterTransfer::kWrite, kPortSelectRequest, kPortSelectAddress);
    case LineFrom::kChoice:
      return Filled(words.line, failure);
  }
  return "";
}

std::string HubFailureFix(const HubFailure& failure, AfterFix after) {
  // The platform's fix names the cause it found; it is given as it comes.
  if (failure.kind == HubFailureKind::kOpenRefused && !failure.platform_fix.empty()) {
    return failure.platform_fix;
  }
  const HubFailureWords& words = WordsOf(failure.kind);
  if (words.line_from == LineFrom::kChoice) return AfterFixed(Filled(words.fix, failure), after);
  return AfterFixed(words.fix, after);
}

ShortNotice HubFailureNotice(const HubFailure& failure) {
  if (failure.kind == HubFailureKind::kOpenRefused) return RefusedOpenNotice(failure.platform_fix);
  const HubFailureWords& words = WordsOf(failure.kind);
  return {words.summary, words.notice_fix};
}

// A failed switch is also told where the user is, short and fix first; the
// console keeps its full lines. A switch that works shows nothing: the user
// has just left this computer.
void NoticeHubFailure(const HubFailure& failure) {
  const ShortNotice notice = HubFailureNotice(failure);
  platform::Sys().ui->ShowFailureNotice(kSwitchNoticeKind, notice.summary + "\n" + notice.fix);
}

void TraceHubFailure(const HubFailure& failure) {
  const std::string line = HubFailureLine(failure);
  // A failure that came without words gives no fix either.
  if (line.empty()) return;
  const std::string fix = HubFailureFix(failure);
  // A failed transfer's line is its own trace, written already.
  const LineFrom from = WordsOf(failure.kind).line_from;
  if (from == LineFrom::kReadTrace || from == LineFrom::kWriteTrace) {
    showMsg("%s\n", fix.c_str());
  } else {
    showMsg("%s\n%s\n", line.c_str(), fix.c_str());
  }
}

ShortNotice RefusedOpenNotice(const std::string& platform_fix) {
  if (platform_fix.empty()) {
    const HubFailureWords& busy = WordsOf(HubFailureKind::kOpenRefused);
    return {busy.summary, busy.notice_fix};
  }
  const size_t colon = platform_fix.find(": ");
  if (colon == std::string::npos || colon == 0 || colon > kMaxSummary) {
    return {"Hub cannot be opened", platform_fix};
  }
  return {platform_fix.substr(0, colon), Capitalised(platform_fix.substr(colon + 2))};
}
