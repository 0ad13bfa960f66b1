// The application object: activation policy, delegate, run loop and the
// terminate request.
#pragma once

namespace platform {

// The hooks the application calls on its delegate, on the main thread.
class AppDelegate {
 public:
  virtual ~AppDelegate() = default;
  // Called once, after the run loop has started.
  virtual void applicationDidFinishLaunching() = 0;
  // Called once, when a terminate request is carried out.
  virtual void applicationWillTerminate() = 0;
  // Asked whenever the last window closes; false keeps the tool running.
  virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
};

class App {
 public:
  virtual ~App() = default;
  // Makes the process an accessory application: no Dock icon, no main window.
  virtual void SetActivationPolicyAccessory() = 0;
  // Installs the delegate (not owned; it must outlive the run loop).
  virtual void SetDelegate(AppDelegate* delegate) = 0;
  // Runs the main run loop: calls applicationDidFinishLaunching once, then
  // serves timers, sources and user interface until a terminate request has
  // been carried out. Where the platform ends the process inside the
  // terminate request (with status 0) this never returns.
  virtual void Run() = 0;
  // The terminate request: calls the delegate's applicationWillTerminate,
  // then ends the run loop, also from inside a modal alert or an open menu.
  // The caller must touch no state of its own afterwards.
  virtual void Terminate() = 0;
  // The terminate request of an end that is a failure: as Terminate, but
  // Run returns afterwards, also where Terminate ends the process inside
  // it (with status 0), so that the tool's main ends with its own status.
  virtual void TerminateAndReturn() { Terminate(); }
};

}  // namespace platform
