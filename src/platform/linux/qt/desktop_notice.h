// Notices on the desktop, for what the user should hear about without a
// window: a failed switch, a desktop with no tray, settings with mistakes.
// They go through the desktop's notification server
// (org.freedesktop.Notifications), running or started by D-Bus on demand;
// without one, through the tray icon's own message; without that, to
// standard error, which an autostarted tool's session sends to its log.
#pragma once

#include <string>

class QSystemTrayIcon;

namespace linux_platform {

// Shows one notice titled with its summary: `text`'s first line is the
// summary, the rest the body. A notice of the same `kind` as an earlier one
// replaces it on the server. `tray` may be null. True when the desktop took
// it (the server or the tray).
bool ShowOnDesktop(const std::string& kind, const std::string& text, QSystemTrayIcon* tray);
// ShowOnDesktop, or one line "summary: body" on standard error when nothing
// on the desktop can show it, or when the server refuses it (one D-Bus could
// not start).
void ShowDesktopNotice(const std::string& kind, const std::string& text, QSystemTrayIcon* tray);
// Waits, at most `timeout_ms`, until the server has answered every notice
// sent: a one-shot command that ends right after its notice must not take
// it down with it.
void WaitForSentNotices(int timeout_ms);

// The kind of the notice for a desktop on which nothing shows tray icons.
inline constexpr const char* kNoTrayNoticeKind = "no-tray";

}  // namespace linux_platform
