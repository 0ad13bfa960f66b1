// The seam between the executable and its Qt module. The module holds
// everything that needs Qt (the application object, its loop, the tray and
// the message boxes) and is loaded only when a display can be reached, so
// that a tool without a display loads no toolkit at all.
#pragma once

#include <cstdint>

#include "platform/app.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/run_loop.h"
#include "platform/ui.h"

namespace linux_platform {

// What the module hands the tool; owned by the module's session.
struct GuiServices {
  platform::RunLoop* run_loop = nullptr;
  FdWatcher* watcher = nullptr;
  platform::App* app = nullptr;
  // Null when Qt could not open the display after all and fell back to its
  // offscreen platform: the tool then uses the headless user interface.
  platform::Ui* ui = nullptr;
  // The platform plugin Qt opened ("wayland", "xcb", "offscreen"), and the
  // platform plugins installed where Qt looks, ';'-separated ("xcb;
  // wayland;offscreen"): what tells which plugin was missing.
  const char* platform_name = "";
  const char* installed_platforms = "";
};

// The module's file name, and where it is looked for besides the folder of
// the executable (relative to that folder).
inline constexpr const char* kGuiModuleName = "quembrastella-switch-qt.so";
inline constexpr const char* kGuiModuleFolder = "../lib/quembrastella-switch";

// Creates the application object (QT_QPA_PLATFORM must be set already) and
// the services, for the executable at `executable` ("" when unknown).
// `argc` and `argv` must outlive the session. Returns the session.
using GuiOpenFunction = void* (*)(int* argc, char** argv, const char* executable, GuiServices* out);
// Destroys the services, then the application object.
using GuiCloseFunction = void (*)(void* session);
inline constexpr const char* kGuiOpenSymbol = "qs_gui_open";
inline constexpr const char* kGuiCloseSymbol = "qs_gui_close";

// The layout of this seam, which the loader checks before it calls anything
// else in a module: a module built against another layout (one left by an
// older install) is refused with a message instead of being trusted with
// the tool's pointers. Raise the version with every change to GuiServices
// or to the two functions above; the size catches a change to GuiServices
// that forgot to.
inline constexpr uint32_t kGuiModuleLayoutVersion = 2;
inline constexpr uint32_t kGuiModuleLayout =
    kGuiModuleLayoutVersion << 16 | static_cast<uint32_t>(sizeof(GuiServices));
// Returns the layout the module was built with.
using GuiLayoutFunction = uint32_t (*)();
inline constexpr const char* kGuiLayoutSymbol = "qs_gui_layout";

}  // namespace linux_platform
