// The settings file followed while the tool runs: inotify on its folder, so
// that an editor's write to a new file renamed over the old one is seen as
// well as a write in place, a deletion, and the folder made later. The
// descriptor waits in the main loop with the others: nothing wakes the tool
// while nothing changes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/loop/dir_watch.h"
#include "platform/linux/loop/fd_watch.h"
#include "platform/toml/toml_settings.h"

namespace linux_platform {

class WatchedSettingsFile : public toml_settings::TomlSettingsFile {
 public:
  // `init` stands in for inotify_init1 in tests.
  explicit WatchedSettingsFile(std::string path, InotifyInit init = nullptr)
      : TomlSettingsFile(path), path_(std::move(path)), init_(init) {}
  // The loop whose descriptors the watch joins; none: not watched.
  void SetWatcher(FdWatcher* watcher) { watcher_ = watcher; }

  // Calls `changed` after each batch of notifications that touches the
  // file (or may have: the folder moved away, notifications lost).
  std::unique_ptr<platform::SettingsWatch> Watch(const std::vector<std::string>& keys,
                                                 std::function<void()> changed,
                                                 std::string* failure) override;

 private:
  std::string path_;
  InotifyInit init_;
  FdWatcher* watcher_ = nullptr;
};

// The line that says the settings cannot be followed, with the fix.
std::string NoSettingsWatchLine(const std::string& dir, const DirWatch& watch);

}  // namespace linux_platform
