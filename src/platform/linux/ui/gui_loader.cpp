#include "platform/linux/ui/gui_loader.h"

#include <dlfcn.h>

#include <vector>

namespace linux_platform {

std::vector<std::string> GuiModuleCandidates(const std::string& executable) {
  // A relative path (or none) would make dlopen search the working folder
  // and the library path: whoever controls those would run code here.
  if (executable.empty() || executable[0] != '/') return {};
  const std::string folder = executable.substr(0, executable.rfind('/'));
  return {folder + "/" + kGuiModuleName, folder + "/" + kGuiModuleFolder + "/" + kGuiModuleName};
}

std::unique_ptr<GuiModule> GuiModule::Open(const std::string& executable, int* argc, char** argv,
                                           std::string* error) {
  const std::vector<std::string> candidates = GuiModuleCandidates(executable);
  if (candidates.empty()) {
    *error =
        "Cannot tell where this program is installed (is /proc mounted?), so the tray module is "
        "not loaded: mount /proc, or start the program by its full path.";
    return nullptr;
  }
  void* handle = nullptr;
  std::string loaded;
  std::string reasons;
  for (const std::string& path : candidates) {
    // Never closed: Qt registers process-wide state that must outlive it.
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle != nullptr) {
      loaded = path;
      break;
    }
    const char* why = ::dlerror();
    reasons += std::string(reasons.empty() ? "" : "; ") + (why != nullptr ? why : path);
  }
  if (handle == nullptr) {
    *error = "Cannot load the tray module (" + reasons +
             "): reinstall the tool (cmake --install) or install Qt 6 Widgets "
             "(apt-get install qt6-base-dev).";
    return nullptr;
  }
  const std::string stale = "The tray module " + loaded +
                            " does not belong to this version of the tool: reinstall the tool "
                            "(cmake --install) so that both come from the same build.";
  // Nothing else in the module is called before its layout is known to be
  // this executable's.
  auto layout = reinterpret_cast<GuiLayoutFunction>(::dlsym(handle, kGuiLayoutSymbol));
  if (layout == nullptr || layout() != kGuiModuleLayout) {
    *error = stale;
    return nullptr;
  }
  auto open = reinterpret_cast<GuiOpenFunction>(::dlsym(handle, kGuiOpenSymbol));
  auto close = reinterpret_cast<GuiCloseFunction>(::dlsym(handle, kGuiCloseSymbol));
  if (open == nullptr || close == nullptr) {
    *error = stale;
    return nullptr;
  }
  GuiServices services;
  void* session = open(argc, argv, executable.c_str(), &services);
  return std::unique_ptr<GuiModule>(new GuiModule(session, close, services));
}

GuiModule::~GuiModule() {
  close_(session_);
}

}  // namespace linux_platform
