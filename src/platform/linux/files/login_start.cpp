#include "platform/linux/files/login_start.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace linux_platform {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<std::string> Names(const std::string& current_desktop) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= current_desktop.size()) {
    const size_t end = std::min(current_desktop.find(':', start), current_desktop.size());
    if (end > start) names.push_back(Lower(current_desktop.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}

// Desktops whose session starts ~/.config/autostart entries.
constexpr const char* kDesktops[] = {"gnome", "kde",      "xfce",          "lxqt",   "lxde",
                                     "mate",  "cinnamon", "x-cinnamon",    "budgie", "pantheon",
                                     "unity", "deepin",   "enlightenment", "cosmic", "ukui"};

// Compositors and window managers that do not, with the line of their own
// configuration that starts the tool at every login.
struct Compositor {
  const char* name;
  const char* config;
  const char* line;  // the program's path follows
};
constexpr Compositor kCompositors[] = {
    {"sway", "~/.config/sway/config", "exec "},
    {"i3", "~/.config/i3/config", "exec --no-startup-id "},
    {"hyprland", "~/.config/hypr/hyprland.conf", "exec-once = "},
    {"river", "~/.config/river/init", "riverctl spawn "},
    {"niri", "~/.config/niri/config.kdl", "spawn-at-startup "},
};

const Compositor* FindCompositor(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    for (const Compositor& c : kCompositors) {
      if (name == c.name) return &c;
    }
  }
  return nullptr;
}

}  // namespace

AutostartRunner AutostartRunnerFor(const std::string& current_desktop) {
  const std::vector<std::string> names = Names(current_desktop);
  for (const std::string& name : names) {
    if (std::find(std::begin(kDesktops), std::end(kDesktops), name) != std::end(kDesktops)) {
      return AutostartRunner::kDesktop;
    }
  }
  return FindCompositor(names) != nullptr ? AutostartRunner::kCompositor
                                          : AutostartRunner::kUnknown;
}

std::string InstalledNotice(const std::string& current_desktop, const std::string& entry,
                            const std::string& program) {
  const std::string command = program + " --service --console";
  switch (AutostartRunnerFor(current_desktop)) {
    case AutostartRunner::kDesktop:
      return "The program is running, and from now on it starts by itself every time you log in "
             "(login entry " +
             entry + ").";
    case AutostartRunner::kCompositor: {
      const Compositor& c = *FindCompositor(Names(current_desktop));
      return "The program is running, but it will not start by itself when you log in: " +
             std::string(c.name) + " does not start login entries such as " + entry +
             ". To start it at every login, add this line to " + c.config + ":\n" + c.line +
             command;
    }
    case AutostartRunner::kUnknown:
      break;
  }
  return "The program is running. The login entry " + entry +
         " starts it every time you log in where the desktop starts login entries (GNOME, KDE "
         "Plasma, Xfce and most others); if yours does not, have it run this at login:\n" +
         command;
}

}  // namespace linux_platform
