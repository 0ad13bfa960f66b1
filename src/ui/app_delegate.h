// The application delegate: lifecycle hooks and the status item with its
// context menu.
#pragma once

#include <memory>
#include <utility>

#include "platform/app.h"
#include "platform/ui.h"

class ZRNAppDelegate : public platform::AppDelegate {
 public:
  ~ZRNAppDelegate() override;

  void applicationDidFinishLaunching() override;
  void applicationWillTerminate() override;
  bool applicationShouldTerminateAfterLastWindowClosed() override;
  // Creates the status item and its menu; once, before the tap starts.
  void setupStatusItem();
  // The button's right-mouse-up action: pops the menu up.
  void showStatusMenu();
  // The action of "Exit": terminates the application.
  void exitProgram();

  platform::StatusItem* statusItem() const { return _statusItem.get(); }
  void setStatusItem(std::unique_ptr<platform::StatusItem> item) { _statusItem = std::move(item); }
  platform::Menu* statusMenu() const { return _statusMenu.get(); }
  void setStatusMenu(std::unique_ptr<platform::Menu> menu) { _statusMenu = std::move(menu); }

 private:
  // Declared so that the menu is released before the item.
  std::unique_ptr<platform::StatusItem> _statusItem;
  std::unique_ptr<platform::Menu> _statusMenu;
};
