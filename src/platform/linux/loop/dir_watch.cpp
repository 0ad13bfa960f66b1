#include "platform/linux/loop/dir_watch.h"

#include <dirent.h>
#include <limits.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace linux_platform {
namespace {

constexpr uint32_t kEntryEvents =
    IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF;
// A file written in place, once its writer closes it (not each write: a
// half-written file is not worth reading), and the folder moved away.
constexpr uint32_t kContentEvents = IN_CLOSE_WRITE | IN_MOVE_SELF;

std::string Parent(const std::string& dir) {
  const auto slash = dir.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : dir.substr(0, slash);
}

std::string Base(const std::string& dir) {
  const auto slash = dir.find_last_of('/');
  return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

}  // namespace

std::vector<std::string> ListEntries(const std::string& dir, const std::string& prefix,
                                     int* error) {
  *error = 0;
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    *error = errno;
    return names;
  }
  while (dirent* entry = ::readdir(d)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

DirWatch::DirWatch(std::string dir, InotifyInit init, bool contents)
    : dir_(std::move(dir)),
      fd_((init != nullptr ? init : &::inotify_init1)(IN_NONBLOCK | IN_CLOEXEC)),
      events_(contents ? kEntryEvents | kContentEvents : kEntryEvents) {
  if (!fd_.valid()) {
    error_ = errno;
    return;
  }
  // A folder that is missing is waited for; one that cannot be watched
  // (no watch left for the user) is a failure.
  if (!WatchDir() && error_ == ENOENT) WatchParent();
}

bool DirWatch::WatchDir() {
  dir_wd_ = ::inotify_add_watch(fd_.get(), dir_.c_str(), events_);
  if (dir_wd_ < 0) error_ = errno;
  return dir_wd_ >= 0;
}

void DirWatch::WatchParent() {
  parent_wd_ = ::inotify_add_watch(fd_.get(), Parent(dir_).c_str(), IN_CREATE | IN_MOVED_TO);
  // Waiting for the folder to appear: that it is missing is no failure.
  error_ = parent_wd_ >= 0 ? 0 : errno;
}

void DirWatch::ReadChanges(
    const std::function<void(const std::string& name, DirChange change)>& report) {
  alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n <= 0) return;  // EAGAIN: nothing more now
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if ((event->mask & IN_Q_OVERFLOW) != 0) {
        report("", DirChange::kLost);
        continue;
      }
      const std::string name = event->len > 0 ? event->name : "";
      if (event->wd == parent_wd_ && name == Base(dir_)) {
        // The folder appeared: watch it and report what it already holds.
        if (WatchDir()) {
          error_ = 0;
          int error = 0;
          for (const std::string& entry : ListEntries(dir_, "", &error)) {
            if (entry != "." && entry != "..") report(entry, DirChange::kAppeared);
          }
        }
        continue;
      }
      if (event->wd != dir_wd_) continue;
      if ((event->mask & IN_MOVE_SELF) != 0) {
        // Moved away, the folder is gone from where it is looked for: its
        // watch goes (IN_IGNORED follows) and its place is waited for.
        ::inotify_rm_watch(fd_.get(), dir_wd_);
        dir_wd_ = -1;
        if (parent_wd_ < 0) WatchParent();
        // Whatever it held went with it: what is there now must be read.
        report("", DirChange::kLost);
        continue;
      }
      if ((event->mask & (IN_DELETE_SELF | IN_IGNORED)) != 0) {
        // The folder went away; wait for it to come back.
        dir_wd_ = -1;
        if (parent_wd_ < 0) WatchParent();
        continue;
      }
      if (name.empty()) continue;
      if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
        report(name, DirChange::kAppeared);
      } else if ((event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
        report(name, DirChange::kRemoved);
      } else if ((event->mask & IN_ATTRIB) != 0) {
        report(name, DirChange::kChanged);
      } else if ((event->mask & IN_CLOSE_WRITE) != 0) {
        report(name, DirChange::kWritten);
      }
    }
  }
}

std::string DirWatchFailureLine(const std::string& dir, const DirWatch& watch,
                                const std::string& purpose, const std::string& instead) {
  const int error = watch.error();
  std::string line = "Cannot watch " + dir + " for " + purpose + " (" +
                     (watch.init_failed() ? "inotify_init" : "inotify_add_watch") + ": " +
                     std::strerror(error) + "): " + instead + ". ";
  if (watch.init_failed() && error == EMFILE) {
    line +=
        "The per-user limit of inotify instances is probably reached: raise it with "
        "sudo sysctl fs.inotify.max_user_instances=512.";
  } else if (error == ENOSPC) {
    line +=
        "The per-user limit of inotify watches is reached: raise it with "
        "sudo sysctl fs.inotify.max_user_watches=65536.";
  } else if (error == ENFILE) {
    line += "The system has no file descriptor left: close other programs.";
  } else {
    line += "Check that the folder can be read.";
  }
  return line;
}

}  // namespace linux_platform
