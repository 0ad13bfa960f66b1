// Whether a graphical session can be reached, settled before any Qt
// application object exists (Qt aborts on a display it cannot open unless it
// has a platform to fall back to).
#pragma once

#include <optional>
#include <string>

namespace linux_platform {

struct DisplayEnvironment {
  std::optional<std::string> wayland_display;  // $WAYLAND_DISPLAY
  std::optional<std::string> x_display;        // $DISPLAY
  std::optional<std::string> runtime_dir;      // $XDG_RUNTIME_DIR
  std::optional<std::string> qpa_platform;     // $QT_QPA_PLATFORM
  static DisplayEnvironment FromProcess();
};

// The unix socket an X display name such as ":0" or "unix:1.0" is served
// on; none for a remote (TCP) display or a malformed name.
std::optional<std::string> XSocketPath(const std::string& display);
// The socket of a Wayland display name (absolute, or under the runtime dir).
std::optional<std::string> WaylandSocketPath(const std::string& display,
                                             const std::optional<std::string>& runtime_dir);

// Whether something accepts connections on this unix socket (also the
// abstract-namespace twin X servers listen on).
bool SocketAccepts(const std::string& path);
// Whether a TCP X display (host:N) accepts connections within a second.
bool TcpDisplayAccepts(const std::string& display);

// The Qt platform list to use, with the offscreen fallback last so that a
// display that cannot be opened after all never aborts the tool; none when
// no display can be reached (run headless).
std::optional<std::string> ChooseQtPlatform(const DisplayEnvironment& env);

}  // namespace linux_platform
