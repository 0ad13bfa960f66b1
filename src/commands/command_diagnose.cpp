// --diagnose: what a switch by gesture needs, checked in order, one line per
// check with its verdict, and the fix under each failure.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "gestures/gesture_settings.h"
#include "hub/hook_settings.h"
#include "hub/hub_access.h"
#include "hub/hub_choice.h"
#include "hub/hub_device.h"
#include "hub/hub_failure.h"
#include "hub/hub_hooks.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"
#include "shared/product.h"

namespace {

// A check the gestures need fails the run; the others only warn. A check
// that could not be made is skipped, never failed.
enum class Verdict { kOk, kFail, kWarn, kInfo, kSkip };

void Report(Verdict verdict, const std::string& check, const std::string& detail,
            const std::string& fix = "") {
  const char* word = verdict == Verdict::kOk     ? "ok  "
                     : verdict == Verdict::kFail ? "FAIL"
                     : verdict == Verdict::kWarn ? "warn"
                     : verdict == Verdict::kInfo ? "info"
                                                 : "skip";
  std::printf("%s  %s: %s\n", word, check.c_str(), detail.c_str());
  if (!fix.empty()) std::printf("      fix: %s\n", fix.c_str());
}

std::string Short(const std::string& path) {
  return HomeShortPath(path);
}

bool CheckInput() {
  std::string detail;
  std::string fix;
  const bool ok = platform::Sys().input->CheckInputAccess(&detail, &fix);
  Report(ok ? Verdict::kOk : Verdict::kFail, "input access", detail, ok ? "" : fix);
  return ok;
}

std::string Where(platform::UsbDevice& device) {
  std::string where = "found";
  if (std::optional<platform::UsbLocation> at = device.Location()) {
    where += " on bus " + std::to_string(at->bus) + " port " + at->port;
  }
  return where;
}

// Each hub with the IDs on a line of its own, the one a switch would use
// marked, when there is a choice to make.
void ListCandidates(const platform::UsbFindResult& found) {
  if (found.candidates.size() < 2 && (found.candidates.empty() || found.chosen)) return;
  for (size_t i = 0; i < found.candidates.size(); ++i) {
    std::printf("      candidate %s%s\n", HubCandidateText(found.candidates[i]).c_str(),
                found.chosen == i ? ": used" : "");
  }
}

// The hub present, then openable: two verdicts from one lookup, each
// failure with the fix a switch would give, to be checked again.
bool CheckHub() {
  LoadHubSetting();
  HubPick pick;
  platform::UsbFindResult found = platform::Sys().usb->FindChosenDevice(
      kHubVendorId, kHubProductId, [&pick](const std::vector<platform::UsbCandidate>& candidates) {
        pick = PickHub(candidates, HubSettingInForce());
        return pick.index;
      });
  if (found.outcome == platform::UsbFindOutcome::kNotChosen) {
    const HubFailure failure = HubChoiceFailure(pick, found.candidates, HubSettingInForce());
    Report(Verdict::kFail, "hub present", HubFailureLine(failure),
           HubFailureFix(failure, AfterFix::kCheckAgain));
    ListCandidates(found);
    Report(Verdict::kSkip, "hub openable", "not checked without a hub chosen");
    return false;
  }
  if (found.outcome != platform::UsbFindOutcome::kFound || !found.device) {
    const HubFailure failure = LookupFailure(found);
    const std::string fix = HubFailureFix(failure, AfterFix::kCheckAgain);
    if (found.outcome == platform::UsbFindOutcome::kNotAttached) {
      Report(Verdict::kFail, "hub present", "no hub " + HubIdText() + " on the bus", fix);
    } else if (found.outcome == platform::UsbFindOutcome::kNoSearch) {
      Report(Verdict::kFail, "hub present", HubFailureLine(failure), fix);
    } else {
      // Found, but no device interface could be made for it.
      Report(Verdict::kOk, "hub present", "found");
      Report(Verdict::kFail, "hub openable", HubFailureLine(failure), fix);
      return false;
    }
    Report(Verdict::kSkip, "hub openable", "not checked without a hub");
    return false;
  }
  std::string where = Where(*found.device);
  if (found.candidates.size() > 1) {
    where += ", chosen by hub = \"" + HubSettingInForce() + "\" among " +
             std::to_string(found.candidates.size());
  }
  Report(Verdict::kOk, "hub present", where);
  ListCandidates(found);
  platform::UsbFailure refused;
  if (!found.device->Open(&refused)) {
    Report(Verdict::kFail, "hub openable", "opening the hub was refused",
           HubFailureFix(RefusedOpen(refused), AfterFix::kCheckAgain));
    return false;
  }
  found.device->Close();
  Report(Verdict::kOk, "hub openable", "opened and closed again");
  return true;
}

// The rule that gives this user the hub, where the platform has one. It
// only warns: the hub openable (or not) is the verdict that counts.
void CheckAccessRule() {
  std::string detail;
  std::string fix;
  const std::optional<bool> installed = platform::Sys().usb->CheckAccessRule(&detail, &fix);
  if (!installed) return;
  Report(*installed ? Verdict::kOk : Verdict::kWarn, "udev rule", detail, *installed ? "" : fix);
}

void CheckLoginEntry() {
  platform::Files& files = *platform::Sys().files;
  const std::string path = Short(LaunchAgentPlistPath());
  const std::string fix =
      "Start the tool without options and choose \"Install as a Service\" to write it for this "
      "program.";
  if (LaunchAgentServiceExists()) {
    Report(Verdict::kOk, "login entry", path + " starts this program");
    return;
  }
  if (!files.ReadAgentFile(LaunchAgentPlistPath())) {
    Report(Verdict::kWarn, "login entry", "not installed (no readable " + path + ")", fix);
    return;
  }
  const std::string exe = files.ExecutablePath().value_or("");
  Report(Verdict::kWarn, "login entry",
         path + " does not start this program" + (exe.empty() ? "" : " (" + Short(exe) + ")"), fix);
}

// Whether the tray and windows can show on the user's display. A display
// that answers but cannot be used (a missing toolkit plugin) warns with its
// fix, and is the one case that returns true; none at all is only told.
bool CheckDisplayBroken() {
  std::string detail;
  std::string fix;
  const std::optional<bool> usable = platform::Sys().ui->DisplayUsable(&detail, &fix);
  if (!usable) return false;  // the question does not arise
  if (*usable) {
    Report(Verdict::kOk, "display", detail);
    return false;
  }
  Report(fix.empty() ? Verdict::kInfo : Verdict::kWarn, "display", detail, fix);
  return !fix.empty();
}

void CheckTrayHost(bool display_broken) {
  std::string detail;
  const std::optional<bool> present = platform::Sys().ui->TrayHostPresent(&detail);
  if (!present) return;  // a menu bar is always there
  if (display_broken) {
    // Nothing could show a tray icon here, whatever panel runs.
    Report(Verdict::kInfo, "tray host", "not checked: the display above cannot be used");
    return;
  }
  if (*present) {
    Report(Verdict::kOk, "tray host", detail);
  } else {
    Report(Verdict::kWarn, "tray host", detail,
           "The gestures work without a tray; to get the tray icon and its Exit menu, run a "
           "panel with a status-notifier or system-tray area (on GNOME the AppIndicator "
           "extension).");
  }
}

// Looked at, never taken: a start at this very moment must not be refused
// because the diagnosis held the lock. False when no start could take it.
bool CheckRunningInstance() {
  const std::string lock = Short(SingleInstanceLockPath());
  const platform::LockProbe probe = platform::Sys().files->ProbeInstanceLock(kAgentLabel);
  switch (probe.state) {
    case platform::LockState::kFree:
      Report(Verdict::kInfo, "running instance", "none (" + lock + " is free)");
      return true;
    case platform::LockState::kHeld:
      Report(Verdict::kInfo, "running instance",
             LockRefusalMessage(platform::LockRefusal::kHeld, "") + " (" + lock + " is held)");
      return true;
    case platform::LockState::kUnusable:
      break;
  }
  Report(Verdict::kFail, "running instance",
         "none, and the tool cannot start: " +
             LockRefusalMessage(platform::LockRefusal::kCannotOpen, probe.reason),
         "The tool must be able to create and lock " + lock +
             ": remove what stands there or let this user write to its folder, then start the "
             "tool.");
  return false;
}

// Where the settings come from and whether they all apply. Only a warning
// at worst: a setting that does not apply keeps its default.
void CheckGestureSettings() {
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  const platform::SettingsRead read = source->Read();
  const SettingsOutcome outcome = CheckSettings(read, source->Names(), source->Location());
  const std::string where = Short(source->Location());
  if (outcome.problems.empty()) {
    const size_t n = read.entries.size();
    Report(Verdict::kInfo, "settings",
           where + (n == 0 ? " (nothing set: every gesture as built in)"
                           : " (" + std::to_string(n) + (n == 1 ? " setting" : " settings") +
                                 ", all in force)"));
    return;
  }
  Report(Verdict::kWarn, "settings", where + ": what does not apply keeps its default");
  for (const std::string& problem : outcome.problems) std::printf("      %s\n", problem.c_str());
  std::printf("      fix: Correct or remove what each line names, then start the tool again.\n");
}

// Each hook set: whether its program can be found and run (it is not run).
void CheckHooks() {
  platform::SettingsSource* source = platform::Sys().settings;
  if (source == nullptr) return;
  const HubHooks hooks = CheckSettings(source->Read(), source->Names(), source->Location()).hooks;
  for (HubEvent event : {HubEvent::kLeft, HubEvent::kArrived}) {
    const std::vector<std::string>& argv = hooks.For(event);
    if (argv.empty()) continue;
    const std::string check = std::string("hook ") + HookSettingName(event, source->Names());
    platform::Processes* processes = platform::Sys().processes;
    if (processes == nullptr) {
      Report(Verdict::kWarn, check, "this platform runs no hooks");
      continue;
    }
    const platform::Result<std::string> found = processes->Locate(argv[0]);
    if (found.ok()) {
      Report(Verdict::kOk, check, argv[0] + " can be run (" + found.value() + ")");
    } else {
      Report(Verdict::kWarn, check, argv[0] + " cannot be run: " + found.description(),
             HookFix(argv[0], HookSettingName(event, source->Names())) +
                 "; the gestures work without it.");
    }
  }
}

}  // namespace

int RunDiagnoseCommand() {
  const bool input = CheckInput();
  const bool hub = CheckHub();
  CheckAccessRule();
  CheckLoginEntry();
  CheckTrayHost(CheckDisplayBroken());
  const bool can_start = CheckRunningInstance();
  CheckGestureSettings();
  CheckHooks();
  const bool ready = input && hub && can_start;
  std::printf("%s\n", ready ? "A switch by gesture has what it needs."
                            : "A switch by gesture cannot work until each FAIL above is fixed.");
  std::fflush(stdout);
  return ready ? kCommandOk : kCommandFailed;
}
