// The Qt module's entry points (built into quembrastella-switch-qt.so).
#include "platform/linux/ui/gui_module.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QStringList>
#include <memory>
#include <string>

#include "platform/linux/qt/desktop_notice.h"

#include "platform/linux/qt/qt_loop.h"
#include "platform/linux/qt/qt_ui.h"
#include "shared/product.h"

namespace linux_platform {
namespace {

// How long the end of the tool waits for its last notices to be taken.
constexpr int kNoticeDeliveryMs = 1500;

// The platform plugins in Qt's plugin folders, by the names Qt knows them
// under: libqwayland-generic.so gives "wayland-generic", libqxcb.so "xcb".
std::string InstalledPlatforms() {
  QStringList names;
  for (const QString& folder : QCoreApplication::libraryPaths()) {
    const QDir platforms(folder + QStringLiteral("/platforms"));
    for (QString file : platforms.entryList({QStringLiteral("libq*.so")}, QDir::Files)) {
      file = file.mid(4, file.size() - 7);
      if (!names.contains(file)) names << file;
    }
  }
  return names.join(QLatin1Char(';')).toStdString();
}

// Teardown order (reverse of declaration): the user interface and the loop
// services go before the application object they use.
struct GuiSession {
  GuiSession(int* argc, char** argv, const std::string& executable)
      : application(*argc, argv),
        platform_name(QGuiApplication::platformName().toStdString()),
        installed_platforms(InstalledPlatforms()) {
    // One identity wherever the desktop shows the tool: the desktop ID is
    // the tray item's Id, the X11 window class and what ties its windows
    // and notifications to the installed entry; the product name is the
    // item's Title and the window titles (never the executable's name).
    QGuiApplication::setApplicationName(kAgentLabel);
    QGuiApplication::setApplicationDisplayName(kProductName);
    QGuiApplication::setDesktopFileName(kAgentLabel);
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
      ui = std::make_unique<QtUi>(executable);
    }
  }
  ~GuiSession() { WaitForSentNotices(kNoticeDeliveryMs); }
  QApplication application;
  std::string platform_name;
  std::string installed_platforms;
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
  out->platform_name = session->platform_name.c_str();
  out->installed_platforms = session->installed_platforms.c_str();
  return session;
}

extern "C" __attribute__((visibility("default"))) void qs_gui_close(void* session) {
  delete static_cast<linux_platform::GuiSession*>(session);
}
