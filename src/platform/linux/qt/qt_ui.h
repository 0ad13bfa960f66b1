// The user interface with a display: a tray icon whose right-click menu is
// the tool's menu, and modal message boxes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/linux/qt/notice_throttle.h"
#include "platform/ui.h"

namespace linux_platform {

// The folder installed resources are looked up in, relative to the folder
// of the executable.
inline constexpr const char* kResourceFolder = "../share/quembrastella-switch";

// Ties the tray to the menu whose entries it shows (see qt_ui.cpp).
struct TrayLink;

class QtUi : public platform::Ui {
 public:
  // `executable` is the running program's path (resources are found from
  // it); empty when unknown.
  explicit QtUi(std::string executable);
  ~QtUi() override;

  std::unique_ptr<platform::StatusItem> CreateStatusItem() override;
  std::unique_ptr<platform::Menu> CreateMenu(const std::string& title) override;
  std::shared_ptr<platform::Image> LoadImage(const std::string& path) override;
  // NAME.TYPE in the installed resource folder, when it is there.
  std::optional<std::string> BundleResourcePath(const std::string& name,
                                                const std::string& type) override;
  void ActivateIgnoringOtherApps() override {}
  int RunModalAlert(const platform::AlertSpec& alert) override;
  // Whether a status-notifier host or a system-tray area answers now.
  std::optional<bool> TrayHostPresent(std::string* detail) override;
  // A desktop notification; a later one of the same kind replaces it.
  void ShowFailureNotice(const std::string& kind, const std::string& text) override;
  // Whether standard error is a terminal.
  bool ConsoleSeen() override;
  std::optional<bool> DisplayUsable(std::string* detail, std::string* fix) override;

 private:
  std::string executable_;
  std::shared_ptr<TrayLink> link_;
  NoticeThrottle throttle_;
};

}  // namespace linux_platform
