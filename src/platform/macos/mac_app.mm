#include "platform/macos/mac_app.h"

#import <AppKit/AppKit.h>

#include <memory>

#import "platform/macos/zrn_app_delegate.h"

namespace platform::macos {

// The strong reference that keeps the delegate alive.
struct MacApp::Held {
  ZRNAppDelegate* delegate = nil;
  AppDelegate* hooks = nullptr;  // what `delegate` forwards to
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
  held_->hooks = delegate;
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

void MacApp::TerminateAndReturn() {
  // What terminate: does before it ends the process with status 0: the
  // hook. Then the loop stops, so that Run returns; stop: is seen after the
  // next event, hence the one posted.
  if (held_->hooks) held_->hooks->applicationWillTerminate();
  [NSApp stop:nil];
  NSEvent* wake = [NSEvent otherEventWithType:NSEventTypeApplicationDefined
                                     location:NSZeroPoint
                                modifierFlags:0
                                    timestamp:0
                                 windowNumber:0
                                      context:nil
                                      subtype:0
                                        data1:0
                                        data2:0];
  [NSApp postEvent:wake atStart:YES];
}

}  // namespace platform::macos
