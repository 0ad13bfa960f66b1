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

enum class DisplayProtocol { kX11, kWayland };

// How long the start waits for a display server to answer.
inline constexpr int kDisplayTimeoutMs = 2000;

// Whether a display server answers on this unix socket (or on the
// abstract-namespace twin X servers listen on) within `timeout_ms`: it
// accepts the connection and replies to the protocol's opening message. A
// server that accepts and never answers counts as none, so the start does
// not hang on it.
bool DisplayAnswers(const std::string& path, DisplayProtocol protocol, int timeout_ms);
// The same for a TCP X display (host:N).
bool TcpDisplayAnswers(const std::string& display, int timeout_ms);

// Why Qt opened no display although one answered: one sentence naming what
// is missing, and the fix.
struct DisplayProblem {
  std::string line;
  std::string fix;
};

// What Qt's choice says: `requested` is the platform list it was given
// (QT_QPA_PLATFORM), `opened` the platform it opened, `installed` the
// platform plugins it has (';'-separated, as "wayland-generic;xcb"). None
// unless Qt fell back to offscreen from a display that answered; then the
// first requested plugin that is not installed, or, with all of them
// there, that the display could not be opened.
std::optional<DisplayProblem> QtPlatformProblem(const std::string& requested,
                                                const std::string& opened,
                                                const std::string& installed,
                                                const DisplayEnvironment& env);

// The Qt platform list to use, with the offscreen fallback last so that a
// display that cannot be opened after all never aborts the tool; none when
// no display can be reached (run headless).
std::optional<std::string> ChooseQtPlatform(const DisplayEnvironment& env);

}  // namespace linux_platform
