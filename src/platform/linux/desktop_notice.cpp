#include "platform/linux/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <cstdio>

#include "shared/product.h"

namespace linux_platform {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr int kShownForMs = 10000;

bool NotificationServerPresent() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() && bus.interface() != nullptr &&
         bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
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
