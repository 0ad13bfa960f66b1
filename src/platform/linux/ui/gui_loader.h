// Loads the Qt module and opens its session; the executable itself never
// links Qt.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/ui/gui_module.h"

namespace linux_platform {

// Where the module is looked for, in order: beside the executable (the build
// tree), then in the installed module folder. Only absolute places: none
// when the executable's path is unknown or relative.
std::vector<std::string> GuiModuleCandidates(const std::string& executable);

class GuiModule {
 public:
  // Loads the module from the first of GuiModuleCandidates(executable) that
  // loads and opens a session. Null when it cannot (also when the
  // executable's place is unknown); `error` then names what is missing and
  // how to get it.
  static std::unique_ptr<GuiModule> Open(const std::string& executable, int* argc, char** argv,
                                         std::string* error);
  // Closes the session (services, then the application object). The module
  // stays loaded: Qt keeps process-wide state that must outlive it.
  ~GuiModule();
  GuiModule(const GuiModule&) = delete;
  GuiModule& operator=(const GuiModule&) = delete;

  const GuiServices& services() const { return services_; }

 private:
  GuiModule(void* session, GuiCloseFunction close, GuiServices services)
      : session_(session), close_(close), services_(services) {}
  void* session_;
  GuiCloseFunction close_;
  GuiServices services_;
};

}  // namespace linux_platform
