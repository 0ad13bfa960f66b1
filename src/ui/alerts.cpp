#include "ui/alerts.h"

#include <memory>
#include <optional>
#include <string>

#include "platform/services.h"
#include "service/paths.h"
#include "shared/product.h"

namespace {
constexpr const char* kIconName = "ZRN_Pivlo";
constexpr const char* kIconType = "png";
constexpr const char* kIconFileName = "ZRN_Pivlo.png";
constexpr double kIconPoints = 18.0;
}  // namespace

void ShowAlert(const char* text) {
  platform::Ui& ui = *platform::Sys().ui;
  ui.ActivateIgnoringOtherApps();
  platform::AlertSpec alert;
  alert.message_text = kProductName;
  alert.informative_text = text ? text : "";
  alert.buttons = {"OK"};
  (void)ui.RunModalAlert(alert);
}

std::shared_ptr<platform::Image> LoadStatusIcon() {
  platform::Ui& ui = *platform::Sys().ui;
  std::optional<std::string> path = ui.BundleResourcePath(kIconName, kIconType);
  if (!path) {
    const std::optional<std::string> executable = platform::Sys().files->ExecutablePath();
    // Without an executable path the file name alone would be looked up in
    // the working folder; there is no icon then.
    if (!executable || executable->empty()) return nullptr;
    path = JoinPath(DeletingLastPathComponent(*executable), kIconFileName);
  }
  std::shared_ptr<platform::Image> image = ui.LoadImage(*path);
  if (!image) return nullptr;
  image->SetSize(kIconPoints, kIconPoints);
  return image;
}
