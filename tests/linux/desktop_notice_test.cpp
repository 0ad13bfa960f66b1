// Desktop notices over D-Bus against a stand-in notification server on a
// private bus: short summary and body, and a later notice of a kind
// replacing the earlier one by the id the server gave it; a bus that stops
// answering does not hold the caller.
#include "platform/linux/qt/desktop_notice.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";

// What the server was sent, in order.
struct Received {
  uint32_t replaces_id;
  std::string summary;
  std::string body;
  std::string desktop_entry;
};

// Answers Notify with ids 7, 8, 9, ... and records each call.
class StandInServer : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("Notify")) return false;
    const QList<QVariant> args = message.arguments();
    if (args.size() != 8) return false;
    received.push_back({args[1].toUInt(), args[3].toString().toStdString(),
                        args[4].toString().toStdString(),
                        qdbus_cast<QVariantMap>(args[6])
                            .value(QStringLiteral("desktop-entry"))
                            .toString()
                            .toStdString()});
    connection.send(message.createReply(QVariant::fromValue(next_id++)));
    return true;
  }
  std::vector<Received> received;
  uint32_t next_id = 7;
};

TEST(DesktopNoticeTest, ANoticeOfTheSameKindReplacesTheEarlierOne) {
  // A private session bus for this process; the notice code reads its
  // address when it first connects.
  FILE* daemon = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
  ASSERT_NE(daemon, nullptr);
  char address[512] = {0};
  char pid[32] = {0};
  const bool started = std::fgets(address, sizeof address, daemon) != nullptr &&
                       std::fgets(pid, sizeof pid, daemon) != nullptr;
  ::pclose(daemon);
  ASSERT_TRUE(started);
  std::string bus = address;
  bus.erase(bus.find_last_not_of('\n') + 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
  static int argc = 1;
  static char name[] = "qs_linux_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);

  QDBusConnection server_bus =
      QDBusConnection::connectToBus(QString::fromStdString(bus), QStringLiteral("stand-in"));
  StandInServer server;
  ASSERT_TRUE(
      server_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &server));
  ASSERT_TRUE(server_bus.registerService(QString::fromLatin1(kService)));

  using linux_platform::ShowOnDesktop;
  using linux_platform::WaitForSentNotices;
  EXPECT_TRUE(ShowOnDesktop("switch", "Hub not found\nConnect the hub here.", nullptr));
  WaitForSentNotices(5000);
  EXPECT_TRUE(ShowOnDesktop("switch", "Hub is in use\nClose the other program.", nullptr));
  WaitForSentNotices(5000);
  EXPECT_TRUE(ShowOnDesktop("settings", "Settings: one mistake\n~/x.toml:2: bad", nullptr));
  WaitForSentNotices(5000);
  EXPECT_TRUE(ShowOnDesktop("switch", "Hub not found\nConnect the hub here.", nullptr));
  WaitForSentNotices(5000);

  ASSERT_EQ(server.received.size(), 4u);
  struct Expected {
    uint32_t replaces_id;
    const char* summary;
    const char* body;
  };
  const Expected expected[] = {{0, "Hub not found", "Connect the hub here."},
                               {7, "Hub is in use", "Close the other program."},
                               {0, "Settings: one mistake", "~/x.toml:2: bad"},
                               {8, "Hub not found", "Connect the hub here."}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(server.received[i].replaces_id, expected[i].replaces_id) << i;
    EXPECT_EQ(server.received[i].summary, expected[i].summary) << i;
    EXPECT_EQ(server.received[i].body, expected[i].body) << i;
    EXPECT_EQ(server.received[i].desktop_entry, QS_AGENT_LABEL) << i;
  }

  // A session bus that stops answering (its daemon stopped): the question
  // whether a server is there gets no answer, and the notice is not taken,
  // long before D-Bus's default wait of 25 s, which would hold the gesture
  // loop with it.
  ::kill(std::atoi(pid), SIGSTOP);
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_FALSE(ShowOnDesktop("switch", "Hub not found\nConnect the hub here.", nullptr));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
  ::kill(std::atoi(pid), SIGCONT);

  server_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
  ::kill(std::atoi(pid), SIGTERM);
}

}  // namespace
