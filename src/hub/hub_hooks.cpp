#include "hub/hub_hooks.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hub/hook_plan.h"
#include "hub/hub_choice.h"
#include "hub/hub_device.h"
#include "hub/hub_whereabouts.h"
#include "hub/switch_check.h"
#include "output/show_msg.h"
#include "platform/services.h"
#include "shared/tool_state.h"

namespace {

// One hook's run: its decisions' state, the program while it runs, the
// deadline of its limit or grace, and the environment of the run waiting.
struct HookSlot {
  HubEvent event = HubEvent::kLeft;
  HookRunState state;
  std::unique_ptr<platform::Process> process;
  std::unique_ptr<platform::Timer> deadline;
  std::vector<std::string> waiting_environment;
  uint64_t generation = 0;  // tells a stale program's calls from the current one's
};

enum class HubWhere { kUnknown, kHere, kGone };

struct HookWorld {
  HubHooks hooks;  // the settings in force
  bool active = false;
  platform::SettingNames names = platform::SettingNames::kSnakeCase;
  std::array<HookSlot, 2> slots;
  std::unique_ptr<platform::UsbPresenceWatch> watch;
  // Every device with the hub's IDs, as the last look at the bus found them.
  std::vector<platform::UsbCandidate> present;
  // Where the hub the tool uses is.
  HubWhere where = HubWhere::kUnknown;
  // The bus saw the hub leave while this tool's switch was being checked:
  // the check's verdict tells the hooks, with this location.
  bool left_during_check = false;
  std::optional<platform::UsbLocation> left_from;
  std::vector<std::function<void()>> when_idle;
};

HookWorld gHooks;
// The generations go on counting across resets (see HookSlot).
const ToolStateMember kHubHooksState{
    "gHooks",
    [] {
      StopHubHooks();
      gHooks.hooks = HubHooks{};
      gHooks.names = platform::SettingNames::kSnakeCase;
    },
    [] {
      bool idle = gHooks.hooks == HubHooks{} && !gHooks.active &&
                  gHooks.names == platform::SettingNames::kSnakeCase && !gHooks.watch &&
                  gHooks.present.empty() && gHooks.where == HubWhere::kUnknown &&
                  !gHooks.left_during_check && !gHooks.left_from && gHooks.when_idle.empty();
      for (const HookSlot& slot : gHooks.slots) {
        idle = idle && !slot.process && !slot.deadline && slot.waiting_environment.empty() &&
               slot.state.phase == HookPhase::kIdle && !slot.state.again;
      }
      return idle;
    },
    kToolStateRunning};

HookSlot& SlotFor(HubEvent event) {
  return gHooks.slots[event == HubEvent::kLeft ? 0 : 1];
}

std::string NameOf(const HookSlot& slot) {
  return HookSettingName(slot.event, gHooks.names);
}

void StartRun(HookSlot& slot, std::vector<std::string> environment);

// Every device with the hub's IDs on the bus now, none of them opened.
std::vector<platform::UsbCandidate> LookAtTheBus() {
  platform::Usb* usb = platform::Sys().usb;
  if (usb == nullptr) return {};
  return usb
      ->FindChosenDevice(kHubVendorId, kHubProductId,
                         [](const std::vector<platform::UsbCandidate>& /*candidates*/) {
                           return std::optional<size_t>();
                         })
      .candidates;
}

void TellIfIdle() {
  if (HubHooksBusy() || gHooks.when_idle.empty()) return;
  std::vector<std::function<void()>> calls = std::move(gHooks.when_idle);
  gHooks.when_idle.clear();
  for (auto& call : calls) call();
}

void OnDeadline(platform::Timer* /*timer*/, void* info) {
  HookSlot& slot = *static_cast<HookSlot*>(info);
  const std::string name = NameOf(slot);
  switch (HookDeadline(slot.state)) {
    case HookStep::kTerm:
      showMsg("%s: still running after %llu s: sent TERM\n", name.c_str(),
              static_cast<unsigned long long>(kHookRunLimitMs / 1000));
      if (slot.process) slot.process->Signal(platform::ProcessSignal::kTerminate);
      slot.deadline =
          platform::Sys().run_loop->AddTimer(static_cast<double>(kHookKillGraceMs) / 1000.0, 0,
                                             &OnDeadline, &slot, platform::RunLoopMode::kCommon);
      return;
    case HookStep::kKill:
      showMsg("%s: still running %llu s after TERM: sent KILL\n", name.c_str(),
              static_cast<unsigned long long>(kHookKillGraceMs / 1000));
      if (slot.process) slot.process->Signal(platform::ProcessSignal::kKill);
      return;
    case HookStep::kStart:
    case HookStep::kNothing:
      return;
  }
}

void OnEnded(HookSlot& slot, uint64_t generation, const platform::ProcessEnd& end) {
  if (generation != slot.generation) return;
  showMsg("%s\n", HookEndLine(NameOf(slot), end).c_str());
  // Let go of the program (it is calling us) and its deadline.
  std::unique_ptr<platform::Process> process = std::move(slot.process);
  std::unique_ptr<platform::Timer> deadline = std::move(slot.deadline);
  if (deadline) deadline->Invalidate();
  if (HookEnded(slot.state) == HookStep::kStart) {
    StartRun(slot, std::move(slot.waiting_environment));
  }
  TellIfIdle();
}

void StartRun(HookSlot& slot, std::vector<std::string> environment) {
  const std::vector<std::string>& argv = gHooks.hooks.For(slot.event);
  const std::string name = NameOf(slot);
  slot.waiting_environment.clear();
  platform::Processes* processes = platform::Sys().processes;
  platform::Result<std::unique_ptr<platform::Process>> started =
      processes != nullptr
          ? processes->Start(
                argv, environment,
                {[name](const std::string& line) {
                   showMsg("%s: %s\n", name.c_str(), line.c_str());
                 },
                 [&slot, generation = slot.generation + 1](const platform::ProcessEnd& end) {
                   OnEnded(slot, generation, end);
                 }})
          : platform::Result<std::unique_ptr<platform::Process>>::Fail(
                "this platform runs no programs");
  ++slot.generation;
  if (!started.ok()) {
    if (HookStartFailed(slot.state)) {
      const std::string line = name + ": cannot start " + argv[0] + ": " + started.description();
      const std::string fix = HookFix(argv[0], name) + "; the gestures work meanwhile.";
      showMsg("%s\n%s\n", line.c_str(), fix.c_str());
      // A notice as every failure's: what failed, then why and what to do.
      platform::Sys().ui->ShowFailureNotice(
          "hook " + name,
          "Hook " + name + " not started\n" + argv[0] + ": " + started.description() + ". " + fix);
    }
    return;
  }
  showMsg("%s: started %s\n", name.c_str(), argv[0].c_str());
  HookStarted(slot.state);
  slot.process = std::move(started.value());
  slot.deadline =
      platform::Sys().run_loop->AddTimer(static_cast<double>(kHookRunLimitMs) / 1000.0, 0,
                                         &OnDeadline, &slot, platform::RunLoopMode::kCommon);
  if (!slot.deadline) showMsg("%s: no timer: it runs without a time limit\n", name.c_str());
}

void Fire(HubEvent event, HubSeenBy seen_by, const std::optional<platform::UsbLocation>& location) {
  if (gHooks.hooks.For(event).empty()) return;
  HookSlot& slot = SlotFor(event);
  std::vector<std::string> environment = HookEnvironment(event, seen_by, location);
  if (HookEventCame(slot.state) == HookStep::kStart) {
    StartRun(slot, std::move(environment));
  } else {
    // Runs once after the current run, with what is known last.
    slot.waiting_environment = std::move(environment);
  }
}

}  // namespace

std::string HookFix(const std::string& program, const std::string& setting) {
  platform::SettingsSource* source = platform::Sys().settings;
  return "Check that " + program + " is installed and can be run, or correct " + setting + " in " +
         (source != nullptr ? source->Location() : std::string("the settings"));
}

std::vector<std::string> HookEnvironment(HubEvent event, HubSeenBy seen_by,
                                         const std::optional<platform::UsbLocation>& location) {
  char id[16];
  std::snprintf(id, sizeof id, "%04x:%04x", kHubVendorId, kHubProductId);
  std::vector<std::string> environment = {
      std::string(kHookEventVariable) + "=" + (event == HubEvent::kLeft ? "left" : "arrived"),
      std::string(kHookSeenByVariable) + "=" + (seen_by == HubSeenBy::kSwitch ? "switch" : "bus"),
      std::string(kHookIdVariable) + "=" + id,
  };
  if (location) {
    environment.push_back(std::string(kHookBusVariable) + "=" + std::to_string(location->bus));
    environment.push_back(std::string(kHookPortVariable) + "=" + location->port);
  }
  return environment;
}

const HubHooks& HubHooksInForce() {
  return gHooks.hooks;
}

void SetHubHooks(const HubHooks& hooks) {
  gHooks.hooks = hooks;
}

void StartHubHooks(platform::SettingNames settings_names) {
  StopHubHooks();
  if (!gHooks.hooks.Any()) return;
  gHooks.active = true;
  gHooks.names = settings_names;
  gHooks.slots[0].event = HubEvent::kLeft;
  gHooks.slots[1].event = HubEvent::kArrived;
  platform::Usb* usb = platform::Sys().usb;
  if (usb == nullptr) return;
  gHooks.watch = usb->WatchPresence(
      kHubVendorId, kHubProductId,
      [](const platform::UsbPresenceChange& change) { HubPresenceChanged(change); });
  if (gHooks.watch) gHooks.present = LookAtTheBus();
}

void StopHubHooks() {
  gHooks.watch.reset();
  for (HookSlot& slot : gHooks.slots) {
    if (slot.deadline) slot.deadline->Invalidate();
    slot.deadline.reset();
    slot.process.reset();
    slot.state = HookRunState{};
    slot.waiting_environment.clear();
    ++slot.generation;
  }
  gHooks.active = false;
  gHooks.present.clear();
  gHooks.where = HubWhere::kUnknown;
  gHooks.left_during_check = false;
  gHooks.left_from.reset();
  gHooks.when_idle.clear();
}

void HubChoiceChanged() {
  gHooks.where = HubWhere::kUnknown;
}

void HubLeftBySwitch() {
  if (!gHooks.active) return;
  if (gHooks.where == HubWhere::kGone && !gHooks.left_during_check) return;
  gHooks.where = HubWhere::kGone;
  if (!gHooks.left_during_check) {
    // The bus has not told yet: the hub the switch wrote is off it.
    const HubPick pick = PickHub(gHooks.present, HubSettingInForce());
    if (pick.index) gHooks.present.erase(gHooks.present.begin() + *pick.index);
  }
  gHooks.left_during_check = false;
  Fire(HubEvent::kLeft, HubSeenBy::kSwitch, std::exchange(gHooks.left_from, std::nullopt));
}

void HubPresenceChanged(const platform::UsbPresenceChange& change) {
  if (!gHooks.active) return;
  std::vector<platform::UsbCandidate> after = LookAtTheBus();
  const std::optional<platform::UsbCandidate> device =
      ChangedHubDevice(change.arrived, change.location, gHooks.present, after);
  gHooks.present = std::move(after);
  // Another device with the hub's IDs, or the hub while the tool would
  // choose none: no change of the hub it uses.
  if (!device || !IsHubInUse(*device, gHooks.present, HubSettingInForce())) return;
  if (change.arrived) {
    if (gHooks.where == HubWhere::kHere) return;
    gHooks.where = HubWhere::kHere;
    gHooks.left_during_check = false;
    showMsg("Hub arrived on this computer\n");
    NoteHubPlace(true);
    Fire(HubEvent::kArrived, HubSeenBy::kBus, change.location);
    return;
  }
  if (gHooks.where == HubWhere::kGone) return;
  gHooks.where = HubWhere::kGone;
  if (SwitchCheckPending()) {
    // This tool's switch moved it: the check's verdict, due now, tells.
    gHooks.left_during_check = true;
    gHooks.left_from = change.location;
    return;
  }
  showMsg("Hub left this computer (seen on the bus)\n");
  NoteHubPlace(false);
  Fire(HubEvent::kLeft, HubSeenBy::kBus, change.location);
}

bool HubHooksBusy() {
  for (const HookSlot& slot : gHooks.slots) {
    if (slot.state.phase != HookPhase::kIdle || slot.state.again) return true;
  }
  return false;
}

void WhenHubHooksIdle(std::function<void()> idle) {
  gHooks.when_idle.push_back(std::move(idle));
  TellIfIdle();
}
