// The delegate's menu-bar item: a square button with the icon (or a short
// title), the product name as tooltip, and a context menu with "Exit" that
// opens on right-mouse-up only.
#include "ui/status_item.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/services.h"
#include "shared/paths.h"
#include "shared/product.h"
#include "shared/tool_state.h"
#include "ui/app_delegate.h"

namespace {
constexpr const char* kTitleWithoutIcon = "Pivlo";
constexpr const char* kExitTitle = "Exit";
constexpr const char* kIconName = "ZRN_Pivlo";
constexpr const char* kIconType = "png";
constexpr const char* kIconFileName = "ZRN_Pivlo.png";
constexpr double kIconPoints = 18.0;

// The item whose tooltip follows the hub; set while the delegate has one.
platform::StatusItem* gToolTipItem = nullptr;
// Cleared by the status item as it goes, with the delegate.
const ToolStateMember kToolTipState{"gToolTipItem", [] { gToolTipItem = nullptr; },
                                    [] { return gToolTipItem == nullptr; }};

void RefreshToolTip() {
  if (gToolTipItem != nullptr) gToolTipItem->SetToolTip(StatusToolTip(CurrentHubWhereabouts()));
}
}  // namespace

std::string StatusToolTip(const HubWhereabouts& hub) {
  std::string text = kProductName;
  switch (hub.place) {
    case HubWhereabouts::Place::kUnknown:
      break;
    case HubWhereabouts::Place::kHere:
      text += "\nHub: here";
      if (hub.upstream_port >= 0) text += ", on upstream port " + std::to_string(hub.upstream_port);
      break;
    case HubWhereabouts::Place::kAway:
      text += "\nHub: away (not on this computer)";
      break;
  }
  if (!hub.last_switch.empty()) text += "\nLast switch: " + hub.last_switch;
  return text;
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

// The members go in reverse order of declaration: the menu first, then the
// item (which removes the button from the bar).
ZRNAppDelegate::~ZRNAppDelegate() {
  if (gToolTipItem == _statusItem.get()) {
    gToolTipItem = nullptr;
    SetWhereaboutsObserver(nullptr);
  }
}

void ZRNAppDelegate::setupStatusItem() {
  platform::Ui& ui = *platform::Sys().ui;

  setStatusItem(ui.CreateStatusItem());
  platform::StatusItem* item = statusItem();
  if (item && item->HasButton()) {
    if (std::shared_ptr<platform::Image> icon = LoadStatusIcon()) {
      item->SetImage(std::move(icon));
    } else {
      item->SetTitle(kTitleWithoutIcon);
    }
    item->SetToolTip(StatusToolTip(CurrentHubWhereabouts()));
    gToolTipItem = item;
    SetWhereaboutsObserver(&RefreshToolTip);
    item->SetRightMouseUpAction([this] { showStatusMenu(); });
  }

  setStatusMenu(ui.CreateMenu(""));
  if (platform::Menu* menu = statusMenu()) {
    menu->AddItem(kExitTitle, "", [this] { exitProgram(); });
  }
}

void ZRNAppDelegate::showStatusMenu() {
  platform::StatusItem* item = statusItem();
  platform::Menu* menu = statusMenu();
  if (!item || !item->HasButton() || !menu) return;
  // Without an event being handled the platform shows nothing.
  (void)item->PopUpContextMenu(*menu);
}

void ZRNAppDelegate::exitProgram() {
  platform::Sys().app->Terminate();
}
