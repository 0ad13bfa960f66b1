#include "platform/linux/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <cstdio>

#include "shared/product.h"

namespace linux_platform {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr int kShownForMs = 10000;

// The notice is shown from the gesture loop: a bus that does not answer
// (stopped, or hung) may hold it this long at most, not D-Bus's default of
// 25 s.
constexpr int kBusAnswerMs = 250;

bool NotificationServerPresent() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return false;
  bus.interface()->setTimeout(kBusAnswerMs);
  const QDBusReply<bool> registered =
      bus.interface()->isServiceRegistered(QString::fromLatin1(kService));
  return registered.isValid() && registered.value();
}

}  // namespace

void ShowDesktopNotice(const std::string& text, QSystemTrayIcon* tray) {
  const QString body = QString::fromStdString(text);
  if (NotificationServerPresent()) {
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QStringLiteral("/org/freedesktop/Notifications"),
        QString::fromLatin1(kService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kAgentLabel));
    notify << QString::fromLatin1(kProductName) << 0u << QString::fromLatin1(kAgentLabel)
           << QString::fromLatin1(kProductName) << body << QStringList() << hints << kShownForMs;
    // Sent without waiting for the answer: the gesture path never blocks on
    // the notification server.
    if (QDBusConnection::sessionBus().send(notify)) return;
  }
  if (tray != nullptr && tray->isVisible() && QSystemTrayIcon::supportsMessages()) {
    tray->showMessage(QString::fromLatin1(kProductName), body, QSystemTrayIcon::Warning,
                      kShownForMs);
    return;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace linux_platform
