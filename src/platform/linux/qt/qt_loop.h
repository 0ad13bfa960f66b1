// The one loop of the process on Qt's event loop: timers, descriptor
// watches and the application object, all on the main thread. Works with a
// QCoreApplication (no display) and a QApplication alike; Qt serves timers
// and socket notifiers in nested loops too (alerts, menus).
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "platform/app.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/run_loop.h"

namespace linux_platform {

// Timers and watches are parented to one holder object, so that the Qt
// objects of handles released from inside their own callbacks are deleted
// later, and in any case no later than the loop service itself. Destroy
// these services before the application object.
class QtRunLoop : public platform::RunLoop {
 public:
  QtRunLoop();
  ~QtRunLoop() override;
  std::unique_ptr<platform::Timer> AddTimer(double delay_sec, double interval_sec,
                                            platform::TimerCallback callback, void* info,
                                            platform::RunLoopMode mode) override;

 private:
  std::unique_ptr<QObject> holder_;
};

class QtFdWatcher : public FdWatcher {
 public:
  QtFdWatcher();
  ~QtFdWatcher() override;
  std::unique_ptr<FdWatch> WatchReadable(int fd, std::function<void()> ready) override;

 private:
  std::unique_ptr<QObject> holder_;
};

class QtApp : public platform::App {
 public:
  void SetActivationPolicyAccessory() override;
  void SetDelegate(platform::AppDelegate* delegate) override { delegate_ = delegate; }
  // Calls the launch hook from the loop, then runs it until Terminate.
  void Run() override;
  // Runs the termination hook once, then leaves every running loop (the
  // alert's and the menu's included); Run returns afterwards.
  void Terminate() override;

 private:
  platform::AppDelegate* delegate_ = nullptr;
  bool terminating_ = false;
};

}  // namespace linux_platform
