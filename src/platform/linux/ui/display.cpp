#include "platform/linux/ui/display.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace linux_platform {
namespace {

int64_t NowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// Waits until `fd` is ready for `events` or `deadline_ms` (a monotonic
// time) has passed.
bool WaitFor(int fd, short events, int64_t deadline_ms) {
  for (;;) {
    const int64_t left = deadline_ms - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left));
    if (n > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
    if (n < 0 && errno != EINTR) return false;
  }
}

// Connects without blocking past the deadline: the descriptor, or none.
posix::UniqueFd ConnectBy(int family, const sockaddr* addr, socklen_t len, int64_t deadline_ms) {
  posix::UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  if (::connect(fd.get(), addr, len) == 0) return fd;
  if (errno != EINPROGRESS && errno != EAGAIN) return posix::UniqueFd();
  int error = 0;
  socklen_t error_len = sizeof error;
  if (!WaitFor(fd.get(), POLLOUT, deadline_ms) ||
      ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &error_len) != 0 || error != 0) {
    return posix::UniqueFd();
  }
  return fd;
}

posix::UniqueFd ConnectUnix(const std::string& path, bool abstract, int64_t deadline_ms) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof addr.sun_path) return posix::UniqueFd();
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               path.size() + (abstract ? 0 : 1));
  return ConnectBy(AF_UNIX, reinterpret_cast<const sockaddr*>(&addr), len, deadline_ms);
}

// The first message of each protocol, to which a live server answers at
// once: an X11 connection set-up without authorisation (any answer,
// accepted or refused, shows the server works), and a Wayland
// wl_display.sync (the server answers with the callback's "done").
std::string OpeningMessage(DisplayProtocol protocol) {
  if (protocol == DisplayProtocol::kX11) {
    // 'l' (little-endian), pad, major 11, minor 0, no authorisation name
    // and data, pad.
    return std::string("l\0\x0b\0\0\0\0\0\0\0\0\0", 12);
  }
  // Object 1 (wl_display), size 12 and opcode 0 (sync), new callback id 2;
  // in the host's byte order, as the protocol wants.
  const uint32_t words[3] = {1, (12u << 16) | 0u, 2};
  return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

// Sends the opening message and waits for the first byte of an answer.
bool Handshake(int fd, DisplayProtocol protocol, int64_t deadline_ms) {
  const std::string message = OpeningMessage(protocol);
  size_t sent = 0;
  while (sent < message.size()) {
    if (!WaitFor(fd, POLLOUT, deadline_ms)) return false;
    const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (n > 0) sent += static_cast<size_t>(n);
  }
  char byte = 0;
  for (;;) {
    if (!WaitFor(fd, POLLIN, deadline_ms)) return false;
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    if (n == 1) return true;
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
  }
}

// The display number of "host:N.S"; none when malformed.
std::optional<std::string> DisplayNumber(const std::string& display, std::string* host) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  *host = display.substr(0, colon);
  std::string number = display.substr(colon + 1);
  const size_t dot = number.find('.');
  if (dot != std::string::npos) number.resize(dot);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return number;
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

// Whether a plugin of this name is installed: "wayland" is served by
// "wayland-generic" or "wayland-egl" as well as by "wayland".
bool PluginInstalled(const std::string& name, const std::vector<std::string>& installed) {
  for (const std::string& plugin : installed) {
    if (plugin == name || plugin.compare(0, name.size() + 1, name + "-") == 0) return true;
  }
  return false;
}

}  // namespace

std::optional<DisplayProblem> QtPlatformProblem(const std::string& requested,
                                                const std::string& opened,
                                                const std::string& installed,
                                                const DisplayEnvironment& env) {
  if (opened != "offscreen") return std::nullopt;
  const std::vector<std::string> plugins = SplitList(installed);
  std::vector<std::string> displays;
  for (std::string name : SplitList(requested)) {
    name = name.substr(0, name.find(':'));  // "xcb:arguments"
    if (name == "offscreen") continue;
    displays.push_back(name);
    if (PluginInstalled(name, plugins)) continue;
    if (name == "wayland") {
      return DisplayProblem{
          "Qt's Wayland platform plugin is not installed, so nothing can show on "
          "the Wayland display " +
              env.wayland_display.value_or("") + " (no tray, no windows)",
          "Install it (sudo apt-get install qt6-wayland), then start the tool "
          "again."};
    }
    if (name == "xcb") {
      return DisplayProblem{
          "Qt's X11 platform plugin (xcb) is not installed, so nothing can show "
          "on the X display " +
              env.x_display.value_or("") + " (no tray, no windows)",
          "Install it (sudo apt-get install libqt6gui6), then start the tool "
          "again."};
    }
    return DisplayProblem{
        "Qt has no platform plugin \"" + name + "\" (asked for by QT_QPA_PLATFORM)",
        "Unset QT_QPA_PLATFORM, or install that plugin, then start the tool "
        "again."};
  }
  if (displays.empty()) return std::nullopt;
  std::string names;
  for (const std::string& name : displays) names += (names.empty() ? "" : ", ") + name;
  return DisplayProblem{"Qt could not open the display (" + names +
                            ") although its platform plugins are installed (no tray, no windows)",
                        "See Qt's own message above; check that this user may use the display, "
                        "then start the tool again."};
}

DisplayEnvironment DisplayEnvironment::FromProcess() {
  return {Env("WAYLAND_DISPLAY"), Env("DISPLAY"), Env("XDG_RUNTIME_DIR"), Env("QT_QPA_PLATFORM")};
}

std::optional<std::string> XSocketPath(const std::string& display) {
  std::string host;
  const std::optional<std::string> number = DisplayNumber(display, &host);
  if (!number) return std::nullopt;
  if (!host.empty() && host != "unix") return std::nullopt;
  return "/tmp/.X11-unix/X" + *number;
}

std::optional<std::string> WaylandSocketPath(const std::string& display,
                                             const std::optional<std::string>& runtime_dir) {
  if (display.empty()) return std::nullopt;
  if (display[0] == '/') return display;
  if (!runtime_dir || runtime_dir->empty()) return std::nullopt;
  return *runtime_dir + "/" + display;
}

bool DisplayAnswers(const std::string& path, DisplayProtocol protocol, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  for (const bool abstract : {false, true}) {
    posix::UniqueFd fd = ConnectUnix(path, abstract, deadline);
    if (fd.valid()) return Handshake(fd.get(), protocol, deadline);
  }
  return false;
}

bool TcpDisplayAnswers(const std::string& display, int timeout_ms) {
  std::string host;
  const std::optional<std::string> number = DisplayNumber(display, &host);
  if (!number || host.empty() || host == "unix" || number->size() > 4) return false;
  const int64_t deadline = NowMs() + timeout_ms;
  const std::string port = std::to_string(6000 + std::atoi(number->c_str()));
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    posix::UniqueFd fd = ConnectBy(a->ai_family, a->ai_addr, a->ai_addrlen, deadline);
    ok = fd.valid() && Handshake(fd.get(), DisplayProtocol::kX11, deadline);
  }
  ::freeaddrinfo(found);
  return ok;
}

std::optional<std::string> ChooseQtPlatform(const DisplayEnvironment& env) {
  std::string list;
  if (env.wayland_display) {
    const auto path = WaylandSocketPath(*env.wayland_display, env.runtime_dir);
    if (path && DisplayAnswers(*path, DisplayProtocol::kWayland, kDisplayTimeoutMs)) {
      list = "wayland";
    }
  }
  if (env.x_display) {
    const auto path = XSocketPath(*env.x_display);
    if (path ? DisplayAnswers(*path, DisplayProtocol::kX11, kDisplayTimeoutMs)
             : TcpDisplayAnswers(*env.x_display, kDisplayTimeoutMs)) {
      list += list.empty() ? "xcb" : ";xcb";
    }
  }
  if (list.empty()) return std::nullopt;
  if (env.qpa_platform && env.qpa_platform->find("offscreen") == std::string::npos) {
    // The user's choice comes first; the fallback still guards it.
    return *env.qpa_platform + ";offscreen";
  }
  if (env.qpa_platform) return *env.qpa_platform;
  return list + ";offscreen";
}

}  // namespace linux_platform
