#include "platform/linux/files/settings_watch.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace linux_platform {
namespace {

class FolderWatch : public platform::SettingsWatch {
 public:
  FolderWatch(std::string dir, std::string name, InotifyInit init, std::function<void()> changed)
      : dir_(std::move(dir), init, /*contents=*/true),
        name_(std::move(name)),
        changed_(std::move(changed)) {}

  DirWatch& dir() { return dir_; }
  void Listen(FdWatcher& watcher) {
    fd_watch_ = watcher.WatchReadable(dir_.fd(), [this] { OnReady(); });
  }

 private:
  void OnReady() {
    bool touched = false;
    dir_.ReadChanges([&](const std::string& name, DirChange change) {
      if (name == name_ || change == DirChange::kLost) touched = true;
    });
    // Once per batch: the tool settles a burst itself. May destroy this
    // watch (the tool stopping).
    if (touched) {
      auto changed = changed_;
      changed();
    }
  }

  DirWatch dir_;
  std::string name_;
  std::function<void()> changed_;
  std::unique_ptr<FdWatch> fd_watch_;
};

}  // namespace

std::unique_ptr<platform::SettingsWatch> WatchedSettingsFile::Watch(
    const std::vector<std::string>& /*keys*/, std::function<void()> changed, std::string* failure) {
  if (watcher_ == nullptr) return nullptr;
  const size_t slash = path_.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return nullptr;
  auto watch = std::make_unique<FolderWatch>(path_.substr(0, slash), path_.substr(slash + 1), init_,
                                             std::move(changed));
  if (!watch->dir().ok()) {
    // Neither the folder nor the one above it exists (no ~/.config at
    // all): there is nothing to follow, and nothing to say.
    if (failure && watch->dir().error() != ENOENT) {
      *failure = NoSettingsWatchLine(path_.substr(0, slash), watch->dir());
    }
    return nullptr;
  }
  watch->Listen(*watcher_);
  return watch;
}

std::string NoSettingsWatchLine(const std::string& dir, const DirWatch& watch) {
  return DirWatchFailureLine(dir, watch, "changed settings",
                             "a change applies when the tool starts again");
}

}  // namespace linux_platform
