// Notices on the desktop, for what the user should hear about without a
// window: a failed switch, a desktop with no tray. They go through the
// desktop's notification server (org.freedesktop.Notifications); without
// one, through the tray icon's own message; without that, to standard
// error, which an autostarted tool's session sends to its log.
#pragma once

#include <string>

class QSystemTrayIcon;

namespace linux_platform {

// Shows one notice titled with the product name. `tray` may be null.
void ShowDesktopNotice(const std::string& text, QSystemTrayIcon* tray);

// The notice for a desktop on which nothing shows tray icons.
inline constexpr const char* kNoTrayNotice =
    "No tray on this desktop shows the program's icon, but it is running: double-tap Control "
    "(or hold the left and right mouse buttons) to switch, and double-tap Q to quit. On GNOME, "
    "the AppIndicator extension shows the icon.";

}  // namespace linux_platform
