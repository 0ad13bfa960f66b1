// Loading the tray module: a missing module and a stale one are refused
// with their fix; the module built with the tool carries the tool's layout.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/linux/ui/gui_loader.h"
#include "support/hostile_support.h"

namespace {

namespace fs = std::filesystem;

// Opens the module for an executable in `folder`; the error, or "opened".
std::string OpenFor(const std::string& folder) {
  int argc = 1;
  char name[] = "tool";
  char* argv[] = {name, nullptr};
  std::string error;
  auto module = linux_platform::GuiModule::Open(folder + "/tool", &argc, argv, &error);
  return module ? "opened" : error;
}

TEST(GuiModuleTest, AMissingModuleIsReportedWithItsFix) {
  const std::string error = OpenFor("/nonexistent/folder");
  EXPECT_NE(error.find("quembrastella-switch-qt.so"), std::string::npos) << error;
  EXPECT_NE(error.find("cmake --install"), std::string::npos) << error;
}

TEST(GuiModuleTest, AModuleOfAnotherBuildIsRefusedBeforeItIsOpened) {
  // Where the tool looks first (beside itself) and where an install puts it.
  for (const char* stale : {QS_STALE_GUI_UNCHECKED, QS_STALE_GUI_OTHER_LAYOUT}) {
    for (const char* place : {"", "/../lib/quembrastella-switch"}) {
      SCOPED_TRACE(std::string(stale) + " at bin" + place);
      const hostile::TempFolder made("qs-gui");
      ASSERT_FALSE(made.path().empty());
      const std::string root = made.path();
      const std::string bin = root + "/bin";
      const std::string module_folder = bin + place;
      fs::create_directories(module_folder);
      fs::create_directories(bin);
      fs::copy_file(stale, module_folder + "/quembrastella-switch-qt.so");
      // In a child: a module wrongly trusted aborts in its open function.
      const int status = hostile::InChild([&bin] {
        const std::string answer = OpenFor(bin);
        const bool refused =
            answer.find("does not belong to this version of the tool") != std::string::npos &&
            answer.find("cmake --install") != std::string::npos &&
            answer.find("quembrastella-switch-qt.so") != std::string::npos;
        return refused ? 0 : 1;
      });
      EXPECT_EQ(status, 0);
    }
  }
}

TEST(GuiModuleTest, TheModuleBuiltWithTheToolCarriesItsLayout) {
  void* handle = ::dlopen(QS_GUI_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  auto layout = reinterpret_cast<linux_platform::GuiLayoutFunction>(
      ::dlsym(handle, linux_platform::kGuiLayoutSymbol));
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout(), linux_platform::kGuiModuleLayout);
}

}  // namespace
