#include "platform/linux/qt/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariantMap>
#include <cstdint>
#include <cstdio>
#include <map>

#include "shared/product.h"

namespace linux_platform {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr int kShownForMs = 10000;

// The server's id of the last notice of each kind, which the next one of
// that kind replaces; and how many notices still wait for the server's
// answer.
std::map<std::string, uint32_t>& ShownIds() {
  static std::map<std::string, uint32_t> ids;
  return ids;
}
int gNoticesInFlight = 0;

// Running, or startable on demand: notification daemons such as mako and
// dunst are usually started by D-Bus with the first notice.
// The notice is shown from the gesture loop: a bus that does not answer
// (stopped, or hung) may hold it this long at most per question, not
// D-Bus's default of 25 s.
constexpr int kBusAnswerMs = 250;

bool NotificationServerPresent() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return false;
  bus.interface()->setTimeout(kBusAnswerMs);
  const QString name = QString::fromLatin1(kService);
  const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(name);
  if (!registered.isValid()) return false;  // no answer in time: the bus is not there
  if (registered.value()) return true;
  const QDBusReply<QStringList> startable = bus.interface()->activatableServiceNames();
  return startable.isValid() && startable.value().contains(name);
}

void SplitNotice(const std::string& text, std::string* summary, std::string* body) {
  const size_t newline = text.find('\n');
  *summary = text.substr(0, newline);
  *body = newline == std::string::npos ? std::string() : text.substr(newline + 1);
}

// The notice as one line on standard error, which an autostarted tool's
// session sends to its log.
void PrintNotice(const std::string& text) {
  std::string summary;
  std::string body;
  SplitNotice(text, &summary, &body);
  std::fprintf(stderr, "%s%s%s\n", summary.c_str(), body.empty() ? "" : ": ", body.c_str());
  std::fflush(stderr);
}

}  // namespace

namespace {

// ShowOnDesktop; with `printed_if_refused`, a notice the server refuses
// later is printed as ShowDesktopNotice prints one nothing took.
bool Show(const std::string& kind, const std::string& text, QSystemTrayIcon* tray,
          bool printed_if_refused) {
  std::string summary;
  std::string body;
  SplitNotice(text, &summary, &body);
  if (NotificationServerPresent()) {
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QStringLiteral("/org/freedesktop/Notifications"),
        QString::fromLatin1(kService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kAgentLabel));
    const auto shown = ShownIds().find(kind);
    const uint32_t replaces = shown != ShownIds().end() ? shown->second : 0u;
    notify << QString::fromLatin1(kProductName) << replaces << QString::fromLatin1(kAgentLabel)
           << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList()
           << hints << kShownForMs;
    // Not waited for: the gesture path never blocks on the notification
    // server. Its answer, the notice's id, arrives on the loop.
    const QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(notify);
    auto* watcher = new QDBusPendingCallWatcher(call);
    ++gNoticesInFlight;
    // A server that D-Bus could not start (mako without a Wayland display)
    // answers with an error: the notice then goes where it would have gone
    // without a server.
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [kind, text, printed_if_refused](QDBusPendingCallWatcher* w) {
                       const QDBusPendingReply<uint32_t> reply = *w;
                       if (reply.isValid()) {
                         ShownIds()[kind] = reply.value();
                       } else if (printed_if_refused) {
                         PrintNotice(text);
                       }
                       --gNoticesInFlight;
                       w->deleteLater();
                     });
    return true;
  }
  if (tray != nullptr && tray->isVisible() && QSystemTrayIcon::supportsMessages()) {
    tray->showMessage(QString::fromStdString(summary), QString::fromStdString(body),
                      QSystemTrayIcon::Warning, kShownForMs);
    return true;
  }
  return false;
}

}  // namespace

bool ShowOnDesktop(const std::string& kind, const std::string& text, QSystemTrayIcon* tray) {
  return Show(kind, text, tray, false);
}

void ShowDesktopNotice(const std::string& kind, const std::string& text, QSystemTrayIcon* tray) {
  if (!Show(kind, text, tray, true)) PrintNotice(text);
}

void WaitForSentNotices(int timeout_ms) {
  if (gNoticesInFlight == 0) return;
  const QDeadlineTimer deadline(timeout_ms);
  QEventLoop loop;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &loop, [&loop, &deadline] {
    if (gNoticesInFlight == 0 || deadline.hasExpired()) loop.quit();
  });
  tick.start(20);
  loop.exec();
}

}  // namespace linux_platform
