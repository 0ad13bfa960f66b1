// Follows the device nodes of one folder (/dev/input) as they come and go,
// so that a keyboard that comes back after a switch is found again:
// through inotify where it can, else by reading the folder every two
// seconds. Nodes that could not be opened are tried again, and those that
// stay closed are reported to the user with the fix, once.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/loop/dir_watch.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/run_loop.h"

namespace linux_platform {

// How often the folder is read again without inotify, and how long a node
// that could not be opened gets (udev grants access a moment after the node
// appears) before it is tried again and, still closed, reported.
inline constexpr double kRescanIntervalSec = 2.0;

// What the input service needs from around it beyond the loop's
// descriptor watches.
struct InputOptions {
  std::string dir = "/dev/input";
  // Runs the rescans and retries; null: the installed services' run loop.
  platform::RunLoop* run_loop = nullptr;
  // Takes one line for the user (no newline); null: standard error.
  std::function<void(const std::string& line)> report;
  // Makes the inotify instance; null: inotify_init1.
  InotifyInit inotify_init = nullptr;
};

// The lines the user reads.
std::string NoWatchLine(const std::string& dir, const DirWatch& watch);
std::string DeniedNodeLine(const std::string& path, int error);
std::string NoDescriptorLine(const std::string& path, int error);

class NodeFollower {
 public:
  struct Node {
    // Opens the node when it is one to follow; errno of a failed open,
    // else 0 (also for a node that is not one to follow).
    std::function<int(const std::string& path)> open;
    // Drops the node's device, if it has one.
    std::function<void(const std::string& path)> drop;
    // Whether the node's device is open.
    std::function<bool(const std::string& path)> is_open;
  };

  // Follows the nodes of `options.dir` whose names start with `prefix`.
  // Says once, through `report`, when inotify cannot be had.
  NodeFollower(const InputOptions& options, std::string prefix, FdWatcher* watcher, Node node,
               std::function<void(const std::string& line)> report);
  ~NodeFollower();
  NodeFollower(const NodeFollower&) = delete;
  NodeFollower& operator=(const NodeFollower&) = delete;

  // The paths of the nodes there now; `error` gets errno of a folder that
  // cannot be read.
  std::vector<std::string> Nodes(int* error) const;
  // A node that could not be opened: tried again after a while.
  void Failed(const std::string& path, int error);

  // While attached, the folder's changes are followed.
  void Attach();
  void Detach();

  // The readiness handlers the loop calls (tests call them directly).
  void OnDirChanged();
  void OnTimer();

  bool watching() const { return watch_.ok(); }
  size_t waiting() const { return failed_.size(); }

 private:
  struct Waiting {
    int error = 0;  // errno of the last failure
    int ticks = 0;  // ticks of the timer at which it failed
  };

  // Reads the whole folder again and tries every node not open yet.
  void Rescan(bool at_tick);
  // Opens `path`; a failure worth a retry waits in failed_, and is
  // reported once it failed at enough ticks. The errno of the open, or 0.
  int Try(const std::string& path, bool at_tick);
  // The timer runs while the folder is polled or a node waits for a retry.
  void UpdateTimer();

  std::string dir_;
  std::string prefix_;
  FdWatcher* watcher_;
  platform::RunLoop* run_loop_;
  Node node_;
  std::function<void(const std::string&)> report_;
  DirWatch watch_;
  bool attached_ = false;
  std::unique_ptr<FdWatch> fd_watch_;
  std::unique_ptr<platform::Timer> timer_;
  // Nodes that failed to open and are tried again, by path.
  std::map<std::string, Waiting> failed_;
  // Nodes a reading of the folder found to be none to follow, by path, with
  // the inode they had then.
  std::map<std::string, unsigned long> passed_over_;
};

}  // namespace linux_platform
