#include "platform/linux/input/node_follower.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/input/input_access.h"
#include "platform/services.h"

namespace linux_platform {
namespace {

bool IsDenied(int error) {
  return error == EACCES || error == EPERM;
}

bool IsOutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE;
}

// Failures that a retry may cure and the user should hear of when it does
// not; any other (the node vanished, it is no device) just ends the node.
bool IsWorthARetry(int error) {
  return IsDenied(error) || IsOutOfDescriptors(error);
}

// A node is reported when it failed at two ticks of the timer in a row, so
// that udev had at least one whole interval to grant access to it.
constexpr int kTicksBeforeReport = 2;

void Fire(platform::Timer*, void* self) {
  static_cast<NodeFollower*>(self)->OnTimer();
}

}  // namespace

std::string NoWatchLine(const std::string& dir, const DirWatch& watch) {
  return DirWatchFailureLine(dir, watch, "new input devices",
                             "looking for them every 2 seconds instead");
}

std::string DeniedNodeLine(const std::string& path, int error) {
  return "Cannot read " + path + " (" + std::strerror(error) +
         "): " + InputAccessAdvice(InputGroupStandingNow()) + ".";
}

std::string NoDescriptorLine(const std::string& path, int error) {
  return "Cannot open " + path + " (" + std::strerror(error) +
         "): no file descriptor left. Raise the limit (ulimit -n, or LimitNOFILE= for a service) "
         "or close other programs; the tool tries again every 2 seconds.";
}

NodeFollower::NodeFollower(const InputOptions& options, std::string prefix, FdWatcher* watcher,
                           Node node, std::function<void(const std::string& line)> report)
    : dir_(options.dir),
      prefix_(std::move(prefix)),
      watcher_(watcher),
      run_loop_(options.run_loop),
      node_(std::move(node)),
      report_(std::move(report)),
      watch_(dir_, options.inotify_init) {
  if (!watch_.ok()) report_(NoWatchLine(dir_, watch_));
}

NodeFollower::~NodeFollower() {
  Detach();
}

std::vector<std::string> NodeFollower::Nodes(int* error) const {
  std::vector<std::string> paths = ListEntries(dir_, prefix_, error);
  for (std::string& name : paths) name = dir_ + "/" + name;
  return paths;
}

void NodeFollower::Failed(const std::string& path, int error) {
  if (!IsWorthARetry(error)) return;
  failed_[path].error = error;
  UpdateTimer();
}

void NodeFollower::Attach() {
  if (attached_) return;
  attached_ = true;
  if (watch_.ok() && watcher_ != nullptr) {
    fd_watch_ = watcher_->WatchReadable(watch_.fd(), [this] { OnDirChanged(); });
  }
  UpdateTimer();
}

void NodeFollower::Detach() {
  attached_ = false;
  fd_watch_.reset();
  timer_.reset();
}

void NodeFollower::UpdateTimer() {
  const bool needed = attached_ && (!watch_.ok() || !failed_.empty());
  if (!needed) {
    timer_.reset();
    return;
  }
  if (timer_) return;
  platform::RunLoop* loop = run_loop_ != nullptr ? run_loop_ : platform::Sys().run_loop;
  if (loop == nullptr) return;
  timer_ = loop->AddTimer(kRescanIntervalSec, kRescanIntervalSec, &Fire, this,
                          platform::RunLoopMode::kCommon);
}

int NodeFollower::Try(const std::string& path, bool at_tick) {
  const int error = node_.open(path);
  if (!IsWorthARetry(error)) {
    failed_.erase(path);
    return error;
  }
  Waiting& waiting = failed_[path];
  waiting.error = error;
  if (at_tick) ++waiting.ticks;
  if (waiting.ticks < kTicksBeforeReport) return error;
  if (IsDenied(error)) {
    report_(DeniedNodeLine(path, error));
    // Told; inotify says when its access changes (and without it the next
    // reading of the folder tries it again).
    failed_.erase(path);
  } else {
    report_(NoDescriptorLine(path, error));
  }
  return error;
}

void NodeFollower::Rescan(bool at_tick) {
  int error = 0;
  const std::vector<std::string> paths = Nodes(&error);
  if (error != 0) return;
  const auto gone = [&paths](const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) == paths.end();
  };
  std::erase_if(failed_, [&gone](const auto& entry) { return gone(entry.first); });
  std::erase_if(passed_over_, [&gone](const auto& entry) { return gone(entry.first); });
  for (const std::string& path : paths) {
    if (node_.is_open(path)) continue;
    // A node found to be no keyboard or pointer is not opened again at
    // every reading, unless another node took its name since.
    struct stat st {};
    const bool known = ::stat(path.c_str(), &st) == 0;
    const auto passed = passed_over_.find(path);
    if (known && passed != passed_over_.end() && passed->second == st.st_ino) continue;
    if (Try(path, at_tick) == 0 && known && !node_.is_open(path)) passed_over_[path] = st.st_ino;
  }
}

void NodeFollower::OnTimer() {
  if (!watch_.ok()) {
    Rescan(true);
  } else {
    std::vector<std::string> waiting;
    for (const auto& entry : failed_) waiting.push_back(entry.first);
    for (const std::string& path : waiting) Try(path, true);
  }
  UpdateTimer();
}

void NodeFollower::OnDirChanged() {
  // Collect first: opening and dropping devices must not interleave with
  // the inotify buffer being parsed.
  std::vector<std::pair<std::string, DirChange>> changes;
  bool lost = false;
  watch_.ReadChanges([&](const std::string& name, DirChange change) {
    if (change == DirChange::kLost) {
      lost = true;
    } else if (name.rfind(prefix_, 0) == 0) {
      changes.emplace_back(dir_ + "/" + name, change);
    }
  });
  for (const auto& [path, change] : changes) {
    if (change == DirChange::kRemoved) {
      node_.drop(path);
      failed_.erase(path);
    } else {
      Try(path, false);  // a node udev has not yet opened up is retried on kChanged
    }
  }
  // Changes were lost: the folder itself says what is there now.
  if (lost) Rescan(false);
  UpdateTimer();
}

}  // namespace linux_platform
