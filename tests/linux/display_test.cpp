// Settling headless or not from the display variables.
#include "platform/linux/ui/display.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using linux_platform::ChooseQtPlatform;
using linux_platform::DisplayEnvironment;

// A listening unix socket in a fresh folder, standing in for a display
// server. An answering one reads the client's opening message and replies
// with a byte; a silent one accepts the connection and never says a word.
class FakeServer {
 public:
  explicit FakeServer(bool answers = true) {
    char dir[] = "/tmp/qs-display-XXXXXX";
    dir_ = mkdtemp(dir);
    path_ = dir_ + "/wayland-7";
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd_, 4) == 0;
    if (ok_) {
      server_ = std::thread([this, answers] {
        for (;;) {
          const int client = accept(fd_, nullptr, nullptr);
          if (client < 0) return;  // the listening socket was shut down
          char buffer[64];
          if (answers && read(client, buffer, sizeof buffer) > 0) {
            (void)write(client, "\1", 1);
          }
          clients_.push_back(client);  // kept open, answered or not
        }
      });
    }
  }
  ~FakeServer() {
    shutdown(fd_, SHUT_RDWR);
    if (server_.joinable()) server_.join();
    for (int client : clients_) close(client);
    close(fd_);
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }
  const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
  int fd_;
  bool ok_ = false;
  std::thread server_;
  std::vector<int> clients_;
};

TEST(DisplayTest, DisplayNamesMapToTheirSockets) {
  EXPECT_EQ(linux_platform::XSocketPath(":0"), "/tmp/.X11-unix/X0");
  EXPECT_EQ(linux_platform::XSocketPath("unix:12.1"), "/tmp/.X11-unix/X12");
  EXPECT_FALSE(linux_platform::XSocketPath("remote:1").has_value());
  EXPECT_FALSE(linux_platform::XSocketPath("garbage").has_value());
  EXPECT_FALSE(linux_platform::XSocketPath(":x").has_value());
  EXPECT_EQ(linux_platform::WaylandSocketPath("wayland-0", "/run/user/1"), "/run/user/1/wayland-0");
  EXPECT_EQ(linux_platform::WaylandSocketPath("/abs/sock", std::nullopt), "/abs/sock");
  EXPECT_FALSE(linux_platform::WaylandSocketPath("wayland-0", std::nullopt).has_value());
}

TEST(DisplayTest, AbsentServersMeanHeadless) {
  EXPECT_FALSE(ChooseQtPlatform({}).has_value());
  DisplayEnvironment env;
  env.x_display = ":987";  // nobody serves this
  env.wayland_display = "no-such-wayland";
  env.runtime_dir = "/nonexistent";
  EXPECT_FALSE(ChooseQtPlatform(env).has_value());
  // A remote display that refuses connections (nothing listens on 6987).
  env.x_display = "127.0.0.1:987";
  EXPECT_FALSE(ChooseQtPlatform(env).has_value());
}

TEST(DisplayTest, AReachableServerGetsTheOffscreenFallback) {
  FakeServer server;
  ASSERT_TRUE(server.ok());
  DisplayEnvironment env;
  env.wayland_display = "wayland-7";
  env.runtime_dir = server.dir();
  EXPECT_EQ(ChooseQtPlatform(env), "wayland;offscreen");
  env.qpa_platform = "xcb";
  EXPECT_EQ(ChooseQtPlatform(env), "xcb;offscreen");
  env.qpa_platform = "minimal;offscreen";
  EXPECT_EQ(ChooseQtPlatform(env), "minimal;offscreen");
}

TEST(DisplayTest, AServerThatAcceptsButNeverAnswersMeansHeadless) {
  FakeServer silent(/*answers=*/false);
  ASSERT_TRUE(silent.ok());
  for (const auto protocol :
       {linux_platform::DisplayProtocol::kX11, linux_platform::DisplayProtocol::kWayland}) {
    EXPECT_FALSE(linux_platform::DisplayAnswers(silent.path(), protocol, 200));
  }
  DisplayEnvironment env;
  env.wayland_display = "wayland-7";
  env.runtime_dir = silent.dir();
  EXPECT_FALSE(ChooseQtPlatform(env).has_value());

  FakeServer answering;
  ASSERT_TRUE(answering.ok());
  EXPECT_TRUE(linux_platform::DisplayAnswers(answering.path(),
                                             linux_platform::DisplayProtocol::kX11, 2000));
}

}  // namespace

// Qt fell back to offscreen from a display that answered: the first plugin
// asked for that is not installed is named with the package that brings
// it; with all of them there, the display itself could not be opened.
TEST(DisplayTest, TheMissingPlatformPluginIsNamed) {
  DisplayEnvironment env;
  env.wayland_display = "wayland-1";
  env.x_display = ":0";
  struct Case {
    const char* requested;
    const char* opened;
    const char* installed;
    const char* names;  // in the line; "" = no problem at all
    const char* fix;
  };
  const Case cases[] = {
      {"wayland;offscreen", "wayland", "wayland-generic;xcb;offscreen", "", ""},
      {"wayland;xcb;offscreen", "xcb", "xcb;offscreen", "", ""},
      {"wayland;offscreen", "offscreen", "xcb;offscreen", "Wayland display wayland-1",
       "qt6-wayland"},
      {"wayland;xcb;offscreen", "offscreen", "offscreen", "Wayland platform plugin", "qt6-wayland"},
      {"xcb;offscreen", "offscreen", "wayland-egl;offscreen", "X display :0", "libqt6gui6"},
      {"eglfs;offscreen", "offscreen", "xcb;offscreen", "\"eglfs\"", "QT_QPA_PLATFORM"},
      {"wayland;xcb;offscreen", "offscreen", "wayland-egl;xcb;offscreen", "(wayland, xcb)",
       "may use the display"},
      {"xcb:nograb;offscreen", "offscreen", "xcb;offscreen", "(xcb)", "may use the display"},
  };
  for (const Case& c : cases) {
    const auto problem = linux_platform::QtPlatformProblem(c.requested, c.opened, c.installed, env);
    ASSERT_EQ(problem.has_value(), *c.names != '\0') << c.requested << " / " << c.installed;
    if (!problem) continue;
    EXPECT_NE(problem->line.find(c.names), std::string::npos) << problem->line;
    EXPECT_NE(problem->fix.find(c.fix), std::string::npos) << problem->fix;
    EXPECT_EQ(problem->line.find('\n'), std::string::npos) << "one line";
  }
}
