// Whether the desktop session starts XDG autostart entries, and what the
// confirmation of "Install as a Service" says for it: a desktop that runs
// them starts the tool at every login; a compositor that does not (sway,
// i3, Hyprland) needs a line in its own configuration, which the
// confirmation gives instead of claiming a login start that will not
// happen.
#pragma once

#include <string>

namespace linux_platform {

enum class AutostartRunner {
  kDesktop,     // the session runs autostart entries (GNOME, KDE Plasma, Xfce...)
  kCompositor,  // a compositor or window manager that does not
  kUnknown,     // no XDG_CURRENT_DESKTOP, or one the tool does not know
};

// From $XDG_CURRENT_DESKTOP (colon-separated names, any letter case).
AutostartRunner AutostartRunnerFor(const std::string& current_desktop);

// The confirmation after the entry at `entry` was written for `program`,
// in the session named by `current_desktop`.
std::string InstalledNotice(const std::string& current_desktop, const std::string& entry,
                            const std::string& program);

}  // namespace linux_platform
