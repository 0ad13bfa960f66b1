// Whether the login agent may name the running executable: launchd starts
// the path it names at every login, and says nothing when it is gone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::macos {

// None when `executable` will still be there at the next login and is a
// bundle's program; otherwise what is wrong and what to do, for the message
// of a refused install. Refused:
//  - a copy macOS translocated (opened straight from a download, it runs
//    from a random read-only folder under .../AppTranslocation/);
//  - anything under /Volumes/: the tool's disk image, or a volume that may
//    not be mounted at login;
//  - a program outside an application bundle (not .../X.app/Contents/MacOS/
//    name): started at login it would not have the bundle's Input Monitoring
//    permission.
inline std::optional<std::string> AgentProgramProblem(std::string_view executable) {
  constexpr const char* kMove =
      "move the application to the Applications folder in the Finder, open it from there and "
      "install again.";
  if (executable.find("/AppTranslocation/") != std::string_view::npos) {
    return std::string(
               "this copy runs from a temporary folder macOS chose for it (App "
               "Translocation), which will be gone at the next login: ") +
           kMove;
  }
  if (executable.starts_with("/Volumes/")) {
    return std::string("this copy runs from a disk image or another volume (") +
           std::string(executable) + "), which may not be there at the next login: " + kMove;
  }
  const size_t slash = executable.rfind('/');
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : executable.substr(0, slash);
  const size_t app = folder.rfind(".app/Contents/MacOS");
  if (slash == std::string_view::npos || slash + 1 == executable.size() ||
      app == std::string_view::npos || app + 19 != folder.size() || app == 0 ||
      folder[app - 1] == '/') {
    return std::string(
        "this is the program outside its application bundle, which would start "
        "at login without the bundle's Input Monitoring permission: open the "
        "application (QuembrastellaSwitch.app) and install from there.");
  }
  return std::nullopt;
}

}  // namespace platform::macos
