// The delegate's menu-bar item: a square button with the icon (or a short
// title), the product name as tooltip, and a context menu with "Exit" that
// opens on right-mouse-up only.
#include <memory>

#include "platform/services.h"
#include "shared/product.h"
#include "ui/alerts.h"
#include "ui/app_delegate.h"

namespace {
constexpr const char* kTitleWithoutIcon = "Pivlo";
constexpr const char* kExitTitle = "Exit";
}  // namespace

// The members go in reverse order of declaration: the menu first, then the
// item (which removes the button from the bar).
ZRNAppDelegate::~ZRNAppDelegate() = default;

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
    item->SetToolTip(kProductName);
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
