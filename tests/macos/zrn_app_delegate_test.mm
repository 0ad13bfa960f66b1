// The delegate AppKit sees: lifecycle forwarding, the delegate kept alive by
// the App service, and the menu entries wired to it.
#import <AppKit/AppKit.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/macos/mac_app.h"
#include "platform/macos/mac_ui.h"
#import "platform/macos/zrn_app_delegate.h"

namespace {

using platform::macos::CurrentAppDelegate;

class RecordingHooks : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override { calls += "launched;"; }
  void applicationWillTerminate() override { calls += "terminating;"; }
  bool applicationShouldTerminateAfterLastWindowClosed() override {
    calls += "asked;";
    return answer;
  }
  std::string calls;
  bool answer = false;
};

TEST(ZRNAppDelegateTest, LifecycleMessagesReachTheHooksUntilTheyAreDropped) {
  RecordingHooks hooks;
  ZRNAppDelegate* delegate = [[ZRNAppDelegate alloc] initWithHooks:&hooks];
  [delegate applicationDidFinishLaunching:nil];
  EXPECT_FALSE([delegate applicationShouldTerminateAfterLastWindowClosed:nil]);
  hooks.answer = true;
  EXPECT_TRUE([delegate applicationShouldTerminateAfterLastWindowClosed:nil]);
  [delegate applicationWillTerminate:nil];
  EXPECT_EQ(hooks.calls, "launched;asked;asked;terminating;");

  [delegate clearHooks];
  [delegate applicationDidFinishLaunching:nil];
  EXPECT_FALSE([delegate applicationShouldTerminateAfterLastWindowClosed:nil]);
  EXPECT_EQ(hooks.calls, "launched;asked;asked;terminating;");
}

TEST(ZRNAppDelegateTest, TheButtonActionRunsTheToolsActionAndStrangersAreIgnored) {
  ZRNAppDelegate* delegate = [[ZRNAppDelegate alloc] initWithHooks:nullptr];
  int clicks = 0;
  [delegate showStatusMenu:nil];  // nothing set yet: nothing happens
  [delegate setStatusAction:[&clicks] { ++clicks; }];
  [delegate showStatusMenu:nil];
  EXPECT_EQ(clicks, 1);

  // An entry without a carried action, or a sender that is no entry.
  NSMenuItem* bare = [[NSMenuItem alloc] initWithTitle:@"x" action:nil keyEquivalent:@""];
  [delegate exitProgram:bare];
  [delegate exitProgram:delegate];
  EXPECT_EQ(clicks, 1);
}

TEST(ZRNAppDelegateTest, TheAppKeepsTheDelegateAliveAndTheMenuEntryIsWiredToIt) {
  RecordingHooks hooks;
  platform::macos::MacApp app;
  @autoreleasepool {
    app.SetDelegate(&hooks);
  }
  // The application's own reference is weak: only the App service keeps it.
  ZRNAppDelegate* delegate = CurrentAppDelegate();
  ASSERT_TRUE(delegate != nil);

  platform::macos::MacUi ui;
  int exits = 0;
  {
    std::unique_ptr<platform::Menu> menu = ui.CreateMenu("");
    menu->AddItem("Exit", "", [&exits] { ++exits; });
    NSMenu* shown = delegate.statusMenu;
    ASSERT_TRUE(shown != nil);
    EXPECT_TRUE([shown.title isEqualToString:@""]);
    ASSERT_EQ(shown.numberOfItems, 1);
    NSMenuItem* entry = [shown itemAtIndex:0];
    EXPECT_TRUE([entry.title isEqualToString:@"Exit"]);
    EXPECT_TRUE([entry.keyEquivalent isEqualToString:@""]);
    EXPECT_EQ(entry.action, @selector(exitProgram:));
    EXPECT_TRUE(entry.target == delegate);

    [delegate exitProgram:entry];
    EXPECT_EQ(exits, 1);
  }
  EXPECT_TRUE(delegate.statusMenu == nil);  // the menu's owner let it go

  app.SetDelegate(nullptr);
  EXPECT_TRUE(CurrentAppDelegate() == nil);
}

}  // namespace
