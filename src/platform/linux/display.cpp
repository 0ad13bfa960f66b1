#include "platform/linux/display.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/unique_fd.h"

namespace linux_platform {
namespace {

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

bool ConnectUnix(const std::string& path, bool abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               path.size() + (abstract ? 0 : 1));
  posix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return false;
  return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), len) == 0;
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

}  // namespace

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

bool SocketAccepts(const std::string& path) {
  return ConnectUnix(path, false) || ConnectUnix(path, true);
}

bool TcpDisplayAccepts(const std::string& display) {
  std::string host;
  const std::optional<std::string> number = DisplayNumber(display, &host);
  if (!number || host.empty() || host == "unix" || number->size() > 4) return false;
  const std::string port = std::to_string(6000 + std::atoi(number->c_str()));
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    posix::UniqueFd fd(
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (!fd.valid()) continue;
    if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) == 0) {
      ok = true;
      break;
    }
    if (errno != EINPROGRESS) continue;
    pollfd p{fd.get(), POLLOUT, 0};
    int error = 0;
    socklen_t len = sizeof error;
    ok = ::poll(&p, 1, 1000) == 1 &&
         ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
  }
  ::freeaddrinfo(found);
  return ok;
}

std::optional<std::string> ChooseQtPlatform(const DisplayEnvironment& env) {
  std::string list;
  if (env.wayland_display) {
    const auto path = WaylandSocketPath(*env.wayland_display, env.runtime_dir);
    if (path && SocketAccepts(*path)) list = "wayland";
  }
  if (env.x_display) {
    const auto path = XSocketPath(*env.x_display);
    if (path ? SocketAccepts(*path) : TcpDisplayAccepts(*env.x_display)) {
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
