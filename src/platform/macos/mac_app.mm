#include "platform/macos/mac_app.h"

#import <AppKit/AppKit.h>

#include <memory>

#import "platform/macos/zrn_app_delegate.h"

namespace platform::macos {

// The strong reference that keeps the delegate alive.
struct MacApp::Held {
  ZRNAppDelegate* delegate = nil;
};

MacApp::MacApp() : held_(std::make_unique<Held>()) {}
MacApp::~MacApp() = default;

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
  [NSApp run];
}

void MacApp::Terminate() {
  [NSApp terminate:nil];
}

}  // namespace platform::macos
