#include "platform/linux/tool_runner.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/files/instance_quit.h"
#include "platform/linux/files/linux_files.h"
#include "platform/linux/files/settings_watch.h"
#include "platform/linux/input/input_linux.h"
#include "platform/linux/loop/linux_processes.h"
#include "platform/linux/loop/poll_loop.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/gui_loader.h"
#include "platform/linux/ui/headless_ui.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"

namespace linux_platform {

int RunTool(int argc, char* argv[], ToolMainFunction tool_main, Toolkit toolkit) {
  LinuxFiles files;
  WatchedSettingsFile settings(files.SettingsFilePath());
  const std::string executable = files.ExecutablePath().value_or("");

  // Headless or not is settled here, before Qt sees the display: a display
  // that cannot be reached gives the plain poll loop and no toolkit at all;
  // a reachable one gets Qt, with the offscreen fallback so that Qt never
  // aborts.
  const std::optional<std::string> qpa = toolkit == Toolkit::kWhenDisplayed
                                             ? ChooseQtPlatform(DisplayEnvironment::FromProcess())
                                             : std::nullopt;
  std::unique_ptr<GuiModule> gui;
  // What the session had, for the hooks: the tool's own choice is not theirs.
  const char* session_qpa = std::getenv("QT_QPA_PLATFORM");
  const std::optional<std::string> hooks_qpa =
      session_qpa ? std::optional<std::string>(session_qpa) : std::nullopt;
  if (qpa) {
    ::setenv("QT_QPA_PLATFORM", qpa->c_str(), 1);
    std::string error;
    gui = GuiModule::Open(executable, &argc, argv, &error);
    if (!gui) std::fprintf(stderr, "%s Going on without a tray.\n", error.c_str());
  }

  // Teardown order (reverse of declaration): the services go before the Qt
  // session (gui, declared above); the USB context after every device it
  // handed out (the core releases those within each switch).
  posix::SystemClock clock;
  LinuxUsb usb;
  PollLoop poll_loop;
  FdWatcher* watcher = gui ? gui->services().watcher : &poll_loop;
  LinuxInput input(watcher);
  usb.SetWatcher(watcher);
  settings.SetWatcher(watcher);
  LinuxProcesses processes(watcher);
  if (qpa) processes.KeepForPrograms("QT_QPA_PLATFORM", hooks_qpa);
  std::unique_ptr<platform::Ui> headless;
  platform::Ui* ui = gui ? gui->services().ui : nullptr;
  if (ui == nullptr) {
    auto plain = std::make_unique<HeadlessUi>(stdin, stderr, IsForegroundTerminal(STDIN_FILENO));
    // A display answered, yet Qt fell back to offscreen: say in one line
    // which plugin is missing.
    if (gui) {
      if (const auto problem = QtPlatformProblem(*qpa, gui->services().platform_name,
                                                 gui->services().installed_platforms,
                                                 DisplayEnvironment::FromProcess())) {
        std::fprintf(stderr, "%s. %s Going on without a tray.\n", problem->line.c_str(),
                     problem->fix.c_str());
        std::fflush(stderr);
        plain->SetDisplayProblem(problem->line, problem->fix);
      }
    }
    headless = std::move(plain);
    ui = headless.get();
  }

  platform::Services services;
  services.clock = &clock;
  services.run_loop = gui ? gui->services().run_loop : &poll_loop;
  services.input = &input;
  services.usb = &usb;
  services.ui = ui;
  services.files = &files;
  services.app = gui ? gui->services().app : &poll_loop;
  services.settings = &settings;
  services.processes = &processes;
  platform::InstallServices(services);
  // Where main blocked SIGTERM, it is a terminate request like "Exit".
  platform::App* app = services.app;
  const std::unique_ptr<TerminateSignalWatch> terminate_requests =
      TerminateSignalWatch::Create(watcher, [app] { app->Terminate(); });
  const int status = tool_main(argc, argv);
  platform::InstallServices(platform::Services{});
  return status;
}

}  // namespace linux_platform
