// Loads the Qt module and opens its session; the executable itself never
// links Qt.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/gui_module.h"

namespace linux_platform {

class GuiModule {
 public:
  // Loads the module found beside `executable` (or in the installed module
  // folder) and opens a session. Null when it cannot; `error` then names
  // what is missing and how to get it.
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
