#include "scenario_runner/world.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/posix/posix_files.h"
#include "scenario_runner/parser.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"
#include "shared/product.h"

namespace runner {
namespace {

namespace fs = std::filesystem;
using platform::Result;
using platform::Status;

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::string ParentOf(const std::string& path) {
  fs::path p(path);
  if (!p.has_filename()) p = p.parent_path();  // a trailing slash
  return p.parent_path().string();
}

// The tool's own install, for the file it would find after an earlier one.
// Installing also creates the log folder; a folder that was not there before
// is taken away again, so that the start state holds the agent file alone.
Status InstallLikeTheTool() {
  const std::string log_folder = ApplicationSupportDirectoryPath();
  const bool had_log_folder = IsDirectory(log_folder);
  std::string message;
  if (!InstallLaunchAgent(&message)) return Status::Fail(message);
  if (!had_log_folder) {
    std::error_code ec;
    fs::remove(log_folder, ec);  // empty: nothing but the tool made it
  }
  return Status::Ok();
}

// An agent file that the tool must not take for its own.
Status WriteForeignAgent(platform::Files& files, AgentSetup kind) {
  if (Status made = files.CreateDirectories(LaunchAgentDirectoryPath()); !made.ok()) return made;
  std::string bytes;
  if (kind == AgentSetup::kMalformed) {
    bytes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>Label</key>\n\t<string>";
    bytes += kAgentLabel;
  } else {
    const std::string exe = files.ExecutablePath().value_or("");
    const std::string logs = ApplicationSupportDirectoryPath();
    platform::AgentDefinition agent;
    agent.label = kind == AgentSetup::kOtherLabel ? "com.example.elsewhere" : kAgentLabel;
    agent.program_arguments = {
        kind == AgentSetup::kOtherPath ? "/opt/elsewhere/quembrastella-switch" : exe, "--service"};
    agent.process_type = "Interactive";
    agent.standard_out_path = logs + "/Quembrastella_USB-C_Switch.out.log";
    agent.standard_error_path = logs + "/Quembrastella_USB-C_Switch.err.log";
    Result<std::string> serialised = files.SerializeAgent(agent);
    if (!serialised.ok()) return Status::Fail(serialised.description());
    bytes = serialised.value();
  }
  return files.WriteFileAtomically(LaunchAgentPlistPath(), bytes);
}

Status BlockAgentDirectory(platform::Files& files) {
  const std::string folder = LaunchAgentDirectoryPath();
  if (Status made = files.CreateDirectories(ParentOf(folder)); !made.ok()) return made;
  return files.WriteFileAtomically(folder, "a plain file where a folder belongs\n");
}

Status ArrangeAgent(sim::World& world, const Setup& setup) {
  sim::SimFiles& control = world.FilesControl();
  platform::Files& files = *world.Services().files;
  switch (setup.agent) {
    case AgentSetup::kNone:  // whatever the home already holds stays
      return Status::Ok();
    case AgentSetup::kInstalled:
      return InstallLikeTheTool();
    case AgentSetup::kNotExecutable: {
      // Written for this executable, which afterwards loses its execute bit.
      control.SetExecutable(sim::SimFiles::Exe::kPresent);
      Status installed = InstallLikeTheTool();
      control.SetExecutable(sim::SimFiles::Exe::kNotExecutable);
      return installed;
    }
    default:
      return WriteForeignAgent(files, setup.agent);
  }
}

// The settings file, or what stands in its place.
Status ArrangeSettings(platform::Files& files, const std::string& home, const Setup& setup) {
  if (setup.settings_lines.empty() && setup.settings_file == SettingsFileSetup::kLines) {
    return Status::Ok();  // whatever the home already holds stays
  }
  const std::string path = sim::SettingsFilePath(home);
  if (Status made = files.CreateDirectories(ParentOf(path)); !made.ok()) return made;
  auto failed = [&path](int error) {
    return Status::Fail(posix::ErrorText(error) + " (" + path + ")");
  };
  std::string bytes;
  switch (setup.settings_file) {
    case SettingsFileSetup::kLines:
      for (const std::string& line : setup.settings_lines) bytes += line + "\n";
      break;
    case SettingsFileSetup::kFifo:
      return ::mkfifo(path.c_str(), 0600) == 0 ? Status::Ok() : failed(errno);
    case SettingsFileSetup::kZero:
      return ::symlink("/dev/zero", path.c_str()) == 0 ? Status::Ok() : failed(errno);
    case SettingsFileSetup::kFolder:
      return ::mkdir(path.c_str(), 0700) == 0 ? Status::Ok() : failed(errno);
    case SettingsFileSetup::kHuge:
      while (bytes.size() <= 128 * 1024) bytes += "# a comment line that makes the file larger\n";
      bytes += "mouse_chord = false\n";
      break;
    case SettingsFileSetup::kBinary:
      bytes.assign(
          "\x7F"
          "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0\x01\0\0\0",
          24);
      break;
  }
  return files.WriteFileAtomically(path, bytes);
}

void ArrangeHub(sim::SimHub& hub, const Setup& setup) {
  hub.SetIdentity(setup.hub_identity);
  hub.SetPresent(setup.hub_present);
  hub.SetRegister(0xF5, 0x0000, setup.reg_f5);
  hub.SetRegister(0xF8, 0x008F, setup.reg_f8);
  for (sim::HubFault fault : setup.faults) hub.SetFault(fault, true);
  hub.SetRemovalWatch(setup.watch_offered, setup.leave_after_write_ms);
}

void ArrangeSecondHub(sim::SimHub& hub, const HubSetup& setup) {
  hub.SetIdentity(setup.identity);
  hub.SetPresent(setup.present);
  hub.SetRegister(0xF5, 0x0000, setup.reg_f5);
  hub.SetRegister(0xF8, 0x008F, setup.reg_f8);
}

void Perform(sim::World& world, const Step& step) {
  switch (step.kind) {
    case Step::Kind::kInput: {
      sim::SimInput& input = world.InputControl();
      if (step.live_control && step.right_control) input.SetLiveRightControl(*step.live_control);
      if (step.live_control && !step.right_control) input.SetLiveControl(*step.live_control);
      if (step.live_button) input.SetLiveButton(step.live_button->button, step.live_button->down);
      if (step.event) input.Deliver(step.event->type, step.event->keycode, step.event->button);
      break;
    }
    case Step::Kind::kMenuExit:
      world.UiControl().RightClickStatusItem("Exit");
      break;
    case Step::Kind::kTapDisabled:
      world.InputControl().DisableTapByTimeout();
      break;
    case Step::Kind::kHubAbsent:
    case Step::Kind::kHubPresent:
      (step.hub == 0 ? world.Hub() : world.SecondHub())
          .SetPresent(step.kind == Step::Kind::kHubPresent);
      break;
    case Step::Kind::kDevice: {
      sim::SimInput& input = world.InputControl();
      const DeviceInput& d = *step.device;
      if (d.kind == DeviceInput::Kind::kGone) {
        input.DeviceGone(d.device);
      } else if (d.kind == DeviceInput::Kind::kButton) {
        input.DeviceButton(d.device, static_cast<uint32_t>(d.code), d.down);
      } else {
        input.DeviceKey(d.device, d.code, d.down);
      }
      break;
    }
    case Step::Kind::kHold:
      world.HoldMainThread(step.hold_ms);
      break;
    case Step::Kind::kSettings:
      world.ChangeSettingsFile(step.settings_text);
      break;
    case Step::Kind::kEnd:  // carried out by KillAt
      break;
  }
}

}  // namespace

Result<std::unique_ptr<sim::World>> PrepareWorld(const Setup& setup, const std::string& home) {
  using Out = Result<std::unique_ptr<sim::World>>;
  sim::Config config;
  config.home = home;
  if (setup.clock) config.start_local = *setup.clock;
  std::unique_ptr<sim::World> made = sim::World::Create(config);
  if (!made) {
    return Out::Fail("cannot make the sandbox folder" + (home.empty() ? "" : " " + home));
  }
  sim::World& world = *made;
  world.Install();

  sim::SimFiles& files = world.FilesControl();
  files.SetApplicationSupport(!setup.app_support_missing);
  files.SetExecutable(setup.exe);
  files.SetIcon(setup.icon);
  world.UiControl().SetChoice(static_cast<int>(setup.choice));
  world.UiControl().SetAlertMs(setup.alert_ms);
  world.Hub().SetTransferMs(setup.transfer_ms);
  world.InputControl().RefuseTap(setup.tap_refused);
  if (setup.serve_by_device) {
    world.InputControl().SetServeByDevice(true);
    world.InputControl().SetStateChangesArriveAsEvents(true);
  }
  for (const auto& [device, offset] : setup.device_clocks) {
    world.InputControl().SetDeviceClockOffset(device, offset);
  }
  ArrangeHub(world.Hub(), setup);
  if (setup.second_hub) ArrangeSecondHub(world.SecondHub(), *setup.second_hub);
  for (const sim::SimProgram& program : setup.programs) world.AddProgram(program);

  if (setup.agent_dir_blocked) {
    if (Status s = BlockAgentDirectory(*world.Services().files); !s.ok()) {
      return Out::Fail("cannot put a plain file where the agent folder belongs: " +
                       s.description());
    }
  }
  if (Status s = ArrangeSettings(*world.Services().files, files.Home(), setup); !s.ok()) {
    return Out::Fail("cannot put the settings file in place: " + s.description());
  }
  if (Status s = ArrangeAgent(world, setup); !s.ok()) {
    return Out::Fail("cannot write the agent file found at start: " + s.description());
  }
  const std::string lock_path = SingleInstanceLockPath();
  if (setup.lock == LockSetup::kHeld && !files.HoldLockElsewhere(lock_path, true)) {
    return Out::Fail("cannot hold the lock on " + lock_path + " for another process");
  }
  files.SetLockUnopenable(setup.lock == LockSetup::kUnopenable);
  return Out::Of(std::move(made));
}

void ScheduleTimeline(sim::World& world, const Scenario& scenario) {
  sim::World* w = &world;
  for (const Step& step : scenario.timeline) {
    if (step.kind != Step::Kind::kEnd) w->At(step.t_ms, [w, step] { Perform(*w, step); });
  }
  world.KillAt(StopTimeMs(scenario));
}

}  // namespace runner
