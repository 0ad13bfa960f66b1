#include "platform/macos/mac_app.h"

#import <AppKit/AppKit.h>

#include <memory>

#import "platform/macos/zrn_app_delegate.h"

namespace platform::macos {

// The strong references that keep the delegate and the activity alive.
struct MacApp::Held {
  ZRNAppDelegate* delegate = nil;
  id<NSObject> activity = nil;
};

MacApp::MacApp() : held_(std::make_unique<Held>()) {}
MacApp::~MacApp() {
  if (held_->activity) [[NSProcessInfo processInfo] endActivity:held_->activity];
}

void MacApp::SetActivationPolicyAccessory() {
  (void)[NSApplication sharedApplication];
  [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
}

void MacApp::SetDelegate(AppDelegate* delegate) {
  (void)[NSApplication sharedApplication];
  if (held_->delegate) [held_->delegate clearHooks];
  if (!delegate) {
    [NSApp setDelegate:nil];
    held_->delegate = nil;
    return;
  }
  held_->delegate = [[ZRNAppDelegate alloc] initWithHooks:delegate];
  [NSApp setDelegate:held_->delegate];
}

void MacApp::Run() {
  (void)[NSApplication sharedApplication];
  // An accessory with no window is what App Nap puts to sleep, and a napping
  // process has its timers put off by seconds: the one-second chord timer
  // and the 50 ms tick would be late, so a held chord might never switch.
  // The activity is held for the whole run rather than per gesture: idle,
  // the tool has no timer running (the tick runs only while a gesture is
  // under way), so there is nothing for App Nap to save, and a gesture's
  // first timer is on time without waiting for an activity to begin. Idle
  // system sleep stays allowed.
  if (!held_->activity) {
    held_->activity = [[NSProcessInfo processInfo]
        beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                          reason:@"Timing the switch gestures"];
  }
  [NSApp run];
}

void MacApp::Terminate() {
  [NSApp terminate:nil];
}

}  // namespace platform::macos
