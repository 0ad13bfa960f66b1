// The Qt module's entry points (built into quembrastella-switch-qt.so).
#include "platform/linux/gui_module.h"

#include <QApplication>
#include <QGuiApplication>
#include <memory>
#include <string>

#include "platform/linux/qt_loop.h"
#include "platform/linux/qt_ui.h"
#include "shared/product.h"

namespace linux_platform {
namespace {

// Teardown order (reverse of declaration): the user interface and the loop
// services go before the application object they use.
struct GuiSession {
  GuiSession(int* argc, char** argv, const std::string& executable) : application(*argc, argv) {
    // One identity wherever the desktop shows the tool: the tray item's Id
    // and Title, window titles, and the desktop ID that ties its windows
    // and notifications to the installed entry (never the executable's
    // name).
    QGuiApplication::setApplicationName(kProductName);
    QGuiApplication::setApplicationDisplayName(kProductName);
    QGuiApplication::setDesktopFileName(kAgentLabel);
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
      ui = std::make_unique<QtUi>(executable);
    }
  }
  QApplication application;
  QtRunLoop run_loop;
  QtFdWatcher watcher;
  QtApp app;
  std::unique_ptr<QtUi> ui;
};

}  // namespace
}  // namespace linux_platform

extern "C" __attribute__((visibility("default"))) uint32_t qs_gui_layout() {
  return linux_platform::kGuiModuleLayout;
}

extern "C" __attribute__((visibility("default"))) void* qs_gui_open(
    int* argc, char** argv, const char* executable, linux_platform::GuiServices* out) {
  auto* session =
      new linux_platform::GuiSession(argc, argv, executable != nullptr ? executable : "");
  out->run_loop = &session->run_loop;
  out->watcher = &session->watcher;
  out->app = &session->app;
  out->ui = session->ui.get();
  return session;
}

extern "C" __attribute__((visibility("default"))) void qs_gui_close(void* session) {
  delete static_cast<linux_platform::GuiSession*>(session);
}
