#include "platform/linux/tool_runner.h"

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "platform/linux/display.h"
#include "platform/linux/headless_ui.h"
#include "platform/linux/input_linux.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/qt_loop.h"
#include "platform/linux/qt_ui.h"
#include "platform/linux/usb_linux.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"

namespace linux_platform {

int RunTool(int argc, char* argv[], ToolMainFunction tool_main) {
  // Headless or not is settled here, before Qt sees the display: a display
  // that cannot be reached gives the plain core application, and a
  // reachable one gets the offscreen fallback so that Qt never aborts.
  const std::optional<std::string> qpa = ChooseQtPlatform(DisplayEnvironment::FromProcess());
  std::unique_ptr<QCoreApplication> application;
  if (qpa) {
    ::setenv("QT_QPA_PLATFORM", qpa->c_str(), 1);
    application = std::make_unique<QApplication>(argc, argv);
  } else {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  const bool gui = qpa && QGuiApplication::platformName() != QLatin1String("offscreen");

  // Teardown order (reverse of declaration): the services go before the
  // application object; the USB context after every device it handed out
  // (the core releases those within each switch).
  posix::SystemClock clock;
  LinuxUsb usb;
  LinuxFiles files;
  QtRunLoop run_loop;
  QtFdWatcher watcher;
  LinuxInput input(&watcher);
  QtApp app;
  std::unique_ptr<platform::Ui> ui;
  if (gui) {
    ui = std::make_unique<QtUi>(files.ExecutablePath().value_or(""));
  } else {
    ui = std::make_unique<HeadlessUi>(stdin, stderr, ::isatty(STDIN_FILENO) == 1);
  }

  platform::Services services;
  services.clock = &clock;
  services.run_loop = &run_loop;
  services.input = &input;
  services.usb = &usb;
  services.ui = ui.get();
  services.files = &files;
  services.app = &app;
  platform::InstallServices(services);
  const int status = tool_main(argc, argv);
  platform::InstallServices(platform::Services{});
  return status;
}

}  // namespace linux_platform
