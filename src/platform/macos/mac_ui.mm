#include "platform/macos/mac_ui.h"

#import <AppKit/AppKit.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#import "platform/macos/ns_text.h"
#import "platform/macos/zrn_app_delegate.h"

namespace platform::macos {
namespace {

class MacImage final : public Image {
 public:
  explicit MacImage(NSImage* image) : image_(image) {}
  void SetSize(double width, double height) override { image_.size = NSMakeSize(width, height); }
  NSImage* image() const { return image_; }

 private:
  NSImage* image_;  // strong
};

// A context menu. The delegate's statusMenu holds it too while this lives.
class MacMenu final : public Menu {
 public:
  explicit MacMenu(NSMenu* menu) : menu_(menu) {
    if (ZRNAppDelegate* delegate = CurrentAppDelegate()) delegate.statusMenu = menu_;
  }
  ~MacMenu() override {
    ZRNAppDelegate* delegate = CurrentAppDelegate();
    if (delegate && delegate.statusMenu == menu_) delegate.statusMenu = nil;
  }

  // The entry's action goes to the delegate's exitProgram:, which runs the
  // tool's action that the entry carries.
  void AddItem(const std::string& title, const std::string& key_equivalent,
               std::function<void()> action) override {
    NSMenuItem* item = [[NSMenuItem alloc] initWithTitle:ToNSString(title)
                                                  action:@selector(exitProgram:)
                                           keyEquivalent:ToNSString(key_equivalent)];
    item.target = CurrentAppDelegate();
    item.representedObject = [[ZRNAction alloc] initWithAction:action];
    [menu_ addItem:item];
  }

  NSMenu* menu() const { return menu_; }

 private:
  NSMenu* menu_;  // strong
};

// The item in the status bar. Teardown: the delegate lets go of its action
// and its reference, then the item leaves the bar; the last reference goes
// with the member.
class MacStatusItem final : public StatusItem {
 public:
  explicit MacStatusItem(NSStatusItem* item) : item_(item) {
    if (ZRNAppDelegate* delegate = CurrentAppDelegate()) delegate.statusItem = item_;
  }
  ~MacStatusItem() override {
    ZRNAppDelegate* delegate = CurrentAppDelegate();
    if (delegate && delegate.statusItem == item_) {
      [delegate setStatusAction:std::function<void()>()];
      delegate.statusItem = nil;
    }
    [[NSStatusBar systemStatusBar] removeStatusItem:item_];
  }

  bool HasButton() const override { return item_.button != nil; }

  void SetImage(std::shared_ptr<Image> image) override {
    const MacImage* mac_image = dynamic_cast<const MacImage*>(image.get());
    // The button keeps its own reference to the picture.
    item_.button.image = mac_image ? mac_image->image() : nil;
  }

  void SetTitle(const std::string& title) override { item_.button.title = ToNSString(title); }
  void SetToolTip(const std::string& tool_tip) override {
    item_.button.toolTip = ToNSString(tool_tip);
  }

  // Without the tool's delegate there is nothing to send the action to: the
  // button then stays inert.
  void SetRightMouseUpAction(std::function<void()> action) override {
    ZRNAppDelegate* delegate = CurrentAppDelegate();
    if (!delegate || delegate.statusItem != item_) return;
    [delegate setStatusAction:action];
    [delegate setupStatusItem];
  }

  bool PopUpContextMenu(Menu& menu) override {
    MacMenu* mac_menu = dynamic_cast<MacMenu*>(&menu);
    NSEvent* event = [NSApp currentEvent];
    NSStatusBarButton* button = item_.button;
    if (!mac_menu || !event || !button) return false;
    [NSMenu popUpContextMenu:mac_menu->menu() withEvent:event forView:button];
    return true;
  }

 private:
  NSStatusItem* item_;  // strong
};

}  // namespace

std::unique_ptr<StatusItem> MacUi::CreateStatusItem() {
  NSStatusItem* item =
      [[NSStatusBar systemStatusBar] statusItemWithLength:NSSquareStatusItemLength];
  if (!item) return nullptr;
  return std::make_unique<MacStatusItem>(item);
}

std::unique_ptr<Menu> MacUi::CreateMenu(const std::string& title) {
  return std::make_unique<MacMenu>([[NSMenu alloc] initWithTitle:ToNSString(title)]);
}

std::shared_ptr<Image> MacUi::LoadImage(const std::string& path) {
  NSString* file = ToNSStringOrNil(path);
  if (!file) return nullptr;
  NSImage* image = [[NSImage alloc] initWithContentsOfFile:file];
  if (!image) return nullptr;
  return std::make_shared<MacImage>(image);
}

std::optional<std::string> MacUi::BundleResourcePath(const std::string& name,
                                                     const std::string& type) {
  NSString* path = [[NSBundle mainBundle] pathForResource:ToNSString(name) ofType:ToNSString(type)];
  if (!path) return std::nullopt;
  return FromNSString(path);
}

void MacUi::ActivateIgnoringOtherApps() {
  (void)[NSApplication sharedApplication];
  // From macOS 14 on, activateIgnoringOtherApps: does nothing; activate asks
  // the system, which may still leave another application in front (the
  // alert's window is raised for that case, below).
  if (@available(macOS 14.0, *)) {
    [NSApp activate];
    return;
  }
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  [NSApp activateIgnoringOtherApps:YES];
#pragma clang diagnostic pop
}

int MacUi::RunModalAlert(const AlertSpec& spec) {
  NSAlert* alert = [[NSAlert alloc] init];
  alert.messageText = ToNSString(spec.message_text);
  alert.informativeText = ToNSString(spec.informative_text);
  for (const std::string& title : spec.buttons) [alert addButtonWithTitle:ToNSString(title)];
  // A modal window blocks a terminate request by default; the tool's quit
  // gesture and "Exit" must still end it while an alert is up.
  alert.window.preventsApplicationTerminationWhenModal = NO;
  // The tool has no Dock icon and, on macOS 14 and later, may not be made
  // the active application: a question behind the front window would look
  // like a tool that never started. Above ordinary windows, and ordered in
  // front even while another application is active.
  // Laid out and centred first, so it is not seen where it was made.
  [alert layout];
  [alert.window center];
  alert.window.level = NSModalPanelWindowLevel;
  [alert.window orderFrontRegardless];
  return static_cast<int>([alert runModal]);
}

}  // namespace platform::macos
