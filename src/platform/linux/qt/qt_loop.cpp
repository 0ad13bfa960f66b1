#include "platform/linux/qt/qt_loop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cmath>
#include <functional>
#include <utility>

namespace linux_platform {
namespace {

int Milliseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<int>(std::lround(seconds * 1000.0));
}

class QtTimer : public platform::Timer {
 public:
  QtTimer(QObject* holder, double delay_sec, double interval_sec, platform::TimerCallback callback,
          void* info)
      : timer_(new QTimer(holder)), interval_ms_(Milliseconds(interval_sec)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, [this, callback, info] {
      if (interval_ms_ > 0) {
        // The first shot came after the delay; from now on, the interval.
        timer_->start(interval_ms_);
      } else {
        valid_ = false;
      }
      callback(this, info);  // may destroy this timer
    });
    timer_->start(Milliseconds(delay_sec));
  }
  ~QtTimer() override {
    // The QTimer may be the sender of the signal being handled: it is
    // stopped and cut off now and deleted once control is back in the loop.
    if (timer_) {
      timer_->stop();
      QObject::disconnect(timer_, nullptr, nullptr, nullptr);
      timer_->deleteLater();
    }
  }
  void Invalidate() override {
    valid_ = false;
    if (timer_) timer_->stop();
  }
  bool IsValid() const override { return valid_; }

 private:
  QPointer<QTimer> timer_;
  int interval_ms_;
  bool valid_ = true;
};

class QtFdWatch : public FdWatch {
 public:
  QtFdWatch(QObject* holder, int fd, std::function<void()> ready)
      : notifier_(new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, holder)) {
    QObject::connect(notifier_, &QSocketNotifier::activated,
                     [ready = std::move(ready)] { ready(); });
    notifier_->setEnabled(true);
  }
  ~QtFdWatch() override {
    if (notifier_) {
      notifier_->setEnabled(false);
      QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
      notifier_->deleteLater();
    }
  }

 private:
  QPointer<QSocketNotifier> notifier_;
};

}  // namespace

QtRunLoop::QtRunLoop() : holder_(std::make_unique<QObject>()) {}
QtRunLoop::~QtRunLoop() = default;

std::unique_ptr<platform::Timer> QtRunLoop::AddTimer(double delay_sec, double interval_sec,
                                                     platform::TimerCallback callback, void* info,
                                                     platform::RunLoopMode) {
  if (callback == nullptr) return nullptr;
  return std::make_unique<QtTimer>(holder_.get(), delay_sec, interval_sec, callback, info);
}

QtFdWatcher::QtFdWatcher() : holder_(std::make_unique<QObject>()) {}
QtFdWatcher::~QtFdWatcher() = default;

std::unique_ptr<FdWatch> QtFdWatcher::WatchReadable(int fd, std::function<void()> ready) {
  if (fd < 0) return nullptr;
  return std::make_unique<QtFdWatch>(holder_.get(), fd, std::move(ready));
}

void QtApp::SetActivationPolicyAccessory() {
  // No window is the main one: closing an alert must not end the tool.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
  }
}

void QtApp::Run() {
  if (terminating_) return;
  QTimer::singleShot(0, [this] {
    if (delegate_ != nullptr && !terminating_) delegate_->applicationDidFinishLaunching();
  });
  QCoreApplication::exec();
}

void QtApp::Terminate() {
  if (terminating_) return;
  terminating_ = true;
  if (delegate_ != nullptr) delegate_->applicationWillTerminate();
  // Leaves every loop on the stack, the modal alert's included.
  QCoreApplication::exit(0);
}

}  // namespace linux_platform
