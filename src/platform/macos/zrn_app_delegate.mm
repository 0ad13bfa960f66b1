#import "platform/macos/zrn_app_delegate.h"

#include <functional>

@implementation ZRNAction {
  std::function<void()> _action;
}

- (instancetype)initWithAction:(const std::function<void()>&)action {
  self = [super init];
  if (self) _action = action;
  return self;
}

- (void)run {
  // A copy: the action may replace or drop the entry that carries it.
  std::function<void()> action = _action;
  if (action) action();
}

@end

@implementation ZRNAppDelegate {
  platform::AppDelegate* _hooks;
  std::function<void()> _statusAction;
}

@synthesize statusItem = _statusItem;
@synthesize statusMenu = _statusMenu;

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  (void)notification;
  if (_hooks) _hooks->applicationDidFinishLaunching();
}

- (void)applicationWillTerminate:(NSNotification*)notification {
  (void)notification;
  if (_hooks) _hooks->applicationWillTerminate();
}

- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
  (void)sender;
  return _hooks && _hooks->applicationShouldTerminateAfterLastWindowClosed() ? YES : NO;
}

- (void)setupStatusItem {
  NSStatusBarButton* button = self.statusItem.button;
  if (!button) return;
  button.target = self;
  button.action = @selector(showStatusMenu:);
  [button sendActionOn:NSEventMaskRightMouseUp];
}

- (void)showStatusMenu:(id)sender {
  (void)sender;
  // A copy: the action may tear the status item down.
  std::function<void()> action = _statusAction;
  if (action) action();
}

- (void)exitProgram:(id)sender {
  if (![sender isKindOfClass:[NSMenuItem class]]) return;
  id carried = [(NSMenuItem*)sender representedObject];
  if ([carried isKindOfClass:[ZRNAction class]]) [(ZRNAction*)carried run];
}

- (instancetype)initWithHooks:(platform::AppDelegate*)hooks {
  self = [super init];
  if (self) _hooks = hooks;
  return self;
}

- (void)setStatusAction:(const std::function<void()>&)action {
  _statusAction = action;
}

- (void)clearHooks {
  _hooks = nullptr;
}

- (void)dealloc {
  // The menu first, then the item.
  _statusMenu = nil;
  _statusItem = nil;
}

@end

namespace platform::macos {

ZRNAppDelegate* CurrentAppDelegate() {
  id<NSApplicationDelegate> delegate = [NSApp delegate];
  if (![(id)delegate isKindOfClass:[ZRNAppDelegate class]]) return nil;
  return (ZRNAppDelegate*)delegate;
}

}  // namespace platform::macos
