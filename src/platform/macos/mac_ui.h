// The status item, its context menu, images and alerts on AppKit.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace platform::macos {

class MacUi final : public Ui {
 public:
  // A square item in the system status bar, kept by the application's
  // delegate too; its button's actions go to the delegate.
  std::unique_ptr<StatusItem> CreateStatusItem() override;
  // An NSMenu with this title, kept by the application's delegate too, and
  // never attached to the status item.
  std::unique_ptr<Menu> CreateMenu(const std::string& title) override;
  // NSImage initWithContentsOfFile:.
  std::shared_ptr<Image> LoadImage(const std::string& path) override;
  // The main bundle's pathForResource:ofType:.
  std::optional<std::string> BundleResourcePath(const std::string& name,
                                                const std::string& type) override;
  // [NSApp activate] from macOS 14 on, activateIgnoringOtherApps: YES before.
  void ActivateIgnoringOtherApps() override;
  // NSAlert with the texts and buttons, its window raised above ordinary
  // windows and ordered front, run modally; its result (1000 for the first
  // button).
  int RunModalAlert(const AlertSpec& alert) override;
};

}  // namespace platform::macos
