// Ending the running instance from outside: the process that holds the
// instance lock, found through the kernel's table of locks, is sent the
// request to end through a descriptor of its own (never by name or by a
// number that may be reused), and SIGTERM, read by the main loop, is that
// request.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/linux/loop/fd_watch.h"

namespace linux_platform {

// The process that holds a whole-file lock (flock) on the file with device
// `device` and inode `inode`, from the text of /proc/locks; none when no
// process holds one. Waiters ("->") are not holders.
std::optional<pid_t> FlockHolder(const std::string& proc_locks, dev_t device, ino_t inode);

// Asks the holder of the lock file at `lock_path` to end and waits up to
// `wait_ms` for it. Only a process of this user is asked.
platform::QuitAttempt AskLockHolderToQuit(const std::string& lock_path, int wait_ms);

// Blocks SIGTERM in the calling thread and every thread it starts later, so
// that it is read by TerminateSignalWatch instead of ending the process.
// Call it first in main, before any thread is started.
void BlockTerminateSignal();

// Reads SIGTERM through a signalfd served by the main loop and calls
// `requested` for it: the orderly end a user or service manager asks for.
class TerminateSignalWatch {
 public:
  // None where SIGTERM is not blocked (its default action stands) or the
  // signalfd cannot be had.
  static std::unique_ptr<TerminateSignalWatch> Create(FdWatcher* watcher,
                                                      std::function<void()> requested);
  ~TerminateSignalWatch();
  TerminateSignalWatch(const TerminateSignalWatch&) = delete;
  TerminateSignalWatch& operator=(const TerminateSignalWatch&) = delete;

 private:
  TerminateSignalWatch() = default;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace linux_platform
