// The application's delegate as AppKit sees it: the lifecycle messages go to
// the tool's portable hooks, and the status item's button and menu entries
// send their actions here. Objective-C++ only. A file that includes this
// must not see the portable delegate class of the same name.
#pragma once

#import <AppKit/AppKit.h>

#include <functional>

#include "platform/app.h"

// An action of the tool, carried by a menu entry.
@interface ZRNAction : NSObject
- (instancetype)initWithAction:(const std::function<void()>&)action;
- (void)run;
@end

@interface ZRNAppDelegate : NSObject <NSApplicationDelegate>

// The status item and its context menu, as the Ui service made them. The
// menu is never attached to the item. Released menu first, then item.
@property(atomic, strong) NSStatusItem* statusItem;
@property(atomic, strong) NSMenu* statusMenu;

- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (void)applicationWillTerminate:(NSNotification*)notification;
- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender;
// Wires the button of `statusItem` to this delegate: showStatusMenu: is sent
// on right-mouse-up only; a left click sends nothing.
- (void)setupStatusItem;
// The button's action: runs the action given to setStatusAction:.
- (void)showStatusMenu:(id)sender;
// The action of the menu entries ("Exit" is the only one): runs the
// ZRNAction the chosen entry carries.
- (void)exitProgram:(id)sender;

// Beyond AppKit's part: forwards the lifecycle messages to `hooks` (not
// owned; null forwards nothing and answers NO).
- (instancetype)initWithHooks:(platform::AppDelegate*)hooks;
// The tool's action for a right click on the status item.
- (void)setStatusAction:(const std::function<void()>&)action;
// Drops the hooks: no lifecycle message is forwarded any more.
- (void)clearHooks;

@end

namespace platform::macos {
// The shared application's delegate when it is a ZRNAppDelegate, else nil.
ZRNAppDelegate* CurrentAppDelegate();
}  // namespace platform::macos
