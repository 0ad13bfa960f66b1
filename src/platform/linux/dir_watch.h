// Changes to the entries of one folder through inotify: the hot-plug watch
// on /dev/input.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace linux_platform {

enum class DirChange {
  kAppeared,  // created or moved in
  kChanged,   // attributes changed (udev grants access after creation)
  kRemoved,   // deleted or moved away
};

class DirWatch {
 public:
  // Watches `dir`. When it does not exist yet, watches its parent until it
  // appears (a machine with no input device has no /dev/input).
  explicit DirWatch(std::string dir);
  DirWatch(const DirWatch&) = delete;
  DirWatch& operator=(const DirWatch&) = delete;

  bool ok() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  const std::string& dir() const { return dir_; }

  // Reads every pending notification and reports each entry of `dir` by
  // name. When `dir` itself appears, reports every entry it already holds
  // as appeared. Never blocks.
  void ReadChanges(const std::function<void(const std::string& name, DirChange change)>& report);

 private:
  bool WatchDir();

  std::string dir_;
  posix::UniqueFd fd_;
  int dir_wd_ = -1;
  int parent_wd_ = -1;
};

// The names of the entries of `dir` that start with `prefix`, sorted; empty
// when it cannot be read. `error` gets errno of a failed open (or 0).
std::vector<std::string> ListEntries(const std::string& dir, const std::string& prefix, int* error);

}  // namespace linux_platform
