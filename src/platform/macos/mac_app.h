// The shared NSApplication: activation policy, delegate, run loop and the
// terminate request.
#pragma once

#include <memory>

#include "platform/app.h"

namespace platform::macos {

class MacApp final : public App {
 public:
  MacApp();
  ~MacApp() override;

  // Creates the shared application and makes it an accessory (no Dock icon).
  void SetActivationPolicyAccessory() override;
  // Makes a ZRNAppDelegate forwarding to `delegate` the application's
  // delegate, and keeps it (the application's own reference is weak). Null
  // removes it.
  void SetDelegate(AppDelegate* delegate) override;
  // [NSApp run], holding an NSProcessInfo activity (user-initiated, idle
  // system sleep allowed) so that App Nap does not put off the gesture
  // timers. The terminate request ends the process inside it.
  void Run() override;
  // [NSApp terminate:nil]: applicationWillTerminate:, then exit status 0.
  void Terminate() override;

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

}  // namespace platform::macos
