// Changes to the entries of one folder through inotify: the hot-plug watch
// on /dev/input, and the settings folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace linux_platform {

enum class DirChange {
  kAppeared,  // created or moved in
  kChanged,   // attributes changed (udev grants access after creation)
  kRemoved,   // deleted or moved away
  kLost,      // notifications were lost (the queue overflowed): read the
              // folder again; reported with an empty name
  kWritten,   // written and closed (only when the contents are watched)
};

// Makes an inotify instance as inotify_init1(2) does: a descriptor, or -1
// with errno set.
using InotifyInit = int (*)(int flags);

class DirWatch {
 public:
  // Watches `dir`. When it does not exist yet, watches its parent until it
  // appears (a machine with no input device has no /dev/input). With
  // `contents`, writes to its files are reported too (kWritten), and the
  // folder moved away counts as gone.
  explicit DirWatch(std::string dir, InotifyInit init = nullptr, bool contents = false);
  DirWatch(const DirWatch&) = delete;
  DirWatch& operator=(const DirWatch&) = delete;

  // False when the folder cannot be watched: no inotify instance (the
  // per-user limit reached, or no descriptor left), or no watch on the
  // folder or its parent. error() then tells why.
  bool ok() const { return fd_.valid() && (dir_wd_ >= 0 || parent_wd_ >= 0); }
  // errno of what failed (0 while ok).
  int error() const { return error_; }
  // Whether it was inotify_init that failed (else adding the watch).
  bool init_failed() const { return !fd_.valid(); }
  int fd() const { return fd_.get(); }
  const std::string& dir() const { return dir_; }

  // Reads every pending notification and reports each entry of `dir` by
  // name. When `dir` itself appears, reports every entry it already holds
  // as appeared. Never blocks.
  void ReadChanges(const std::function<void(const std::string& name, DirChange change)>& report);

 private:
  bool WatchDir();
  void WatchParent();

  std::string dir_;
  posix::UniqueFd fd_;
  int dir_wd_ = -1;
  int parent_wd_ = -1;
  int error_ = 0;
  uint32_t events_ = 0;
};

// The names of the entries of `dir` that start with `prefix`, sorted; empty
// when it cannot be read. `error` gets errno of a failed open (or 0).
std::vector<std::string> ListEntries(const std::string& dir, const std::string& prefix, int* error);

// The line for a folder that cannot be watched: "Cannot watch DIR for
// `purpose` (the call: the system's words): `instead`. " and the fix for
// the cause (an inotify limit and the sysctl that raises it, no descriptor
// left, or the folder's permissions).
std::string DirWatchFailureLine(const std::string& dir, const DirWatch& watch,
                                const std::string& purpose, const std::string& instead);

}  // namespace linux_platform
