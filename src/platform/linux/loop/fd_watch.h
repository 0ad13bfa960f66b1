// Readiness of file descriptors, served by the main loop.
#pragma once

#include <functional>
#include <memory>

namespace linux_platform {

// A registration; destroying it stops the calls. It may be destroyed from
// inside its own callback.
class FdWatch {
 public:
  virtual ~FdWatch() = default;
};

class FdWatcher {
 public:
  virtual ~FdWatcher() = default;
  // Calls `ready` on the main thread whenever `fd` has data to read, in
  // every loop the tool runs (alerts and menus included).
  virtual std::unique_ptr<FdWatch> WatchReadable(int fd, std::function<void()> ready) = 0;
};

}  // namespace linux_platform
