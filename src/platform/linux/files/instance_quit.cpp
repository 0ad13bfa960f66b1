#include "platform/linux/files/instance_quit.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/posix/unique_fd.h"

namespace linux_platform {
namespace {

std::string ReadProcLocks() {
  std::ifstream in("/proc/locks");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The owner of /proc/PID, the process's real owner as far as others see it.
std::optional<uid_t> ProcessOwner(pid_t pid) {
  struct stat st {};
  if (::stat(("/proc/" + std::to_string(pid)).c_str(), &st) != 0) return std::nullopt;
  return st.st_uid;
}

// Through syscall(2): the C library's wrappers are missing from some
// releases (and Debian 12's header lacks its C linkage).
int PidfdOpen(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSendSignal(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

}  // namespace

std::optional<pid_t> FlockHolder(const std::string& proc_locks, dev_t device, ino_t inode) {
  std::istringstream lines(proc_locks);
  std::string line;
  while (std::getline(lines, line)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:2a:5678 0 EOF"
    std::istringstream fields(line);
    std::string number, kind, mode, access, where;
    long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;  // "->" waiters too
    if (!(fields >> mode >> access >> pid >> where) || pid <= 0) continue;
    unsigned major = 0, minor = 0;
    unsigned long long node = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &node) != 3) continue;
    if (::makedev(major, minor) == device && node == inode) return static_cast<pid_t>(pid);
  }
  return std::nullopt;
}

platform::QuitAttempt AskLockHolderToQuit(const std::string& lock_path, int wait_ms) {
  using platform::QuitAnswer;
  struct stat st {};
  if (::lstat(lock_path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {QuitAnswer::kNoneRunning, ""};
    return {QuitAnswer::kNotAsked, lock_path + ": " + std::strerror(errno)};
  }
  std::optional<pid_t> holder = FlockHolder(ReadProcLocks(), st.st_dev, st.st_ino);
  if (!holder) return {QuitAnswer::kNoneRunning, ""};
  // A descriptor for the process, then a second look: it still holds the
  // lock, so the descriptor is the holder's and not that of a process that
  // took over its number after it ended.
  posix::UniqueFd process(PidfdOpen(*holder));
  if (!process.valid()) {
    if (errno == ESRCH) return {QuitAnswer::kNoneRunning, ""};
    return {QuitAnswer::kNotAsked, std::string("pidfd_open: ") + std::strerror(errno)};
  }
  if (FlockHolder(ReadProcLocks(), st.st_dev, st.st_ino) != holder) {
    return {QuitAnswer::kNoneRunning, ""};
  }
  if (ProcessOwner(*holder) != ::geteuid()) {
    return {QuitAnswer::kNotAsked, "the lock " + lock_path + " is held by process " +
                                       std::to_string(*holder) + " of another user"};
  }
  if (PidfdSendSignal(process.get(), SIGTERM) != 0) {
    if (errno == ESRCH) return {QuitAnswer::kEnded, ""};
    return {QuitAnswer::kNotAsked, std::string("pidfd_send_signal: ") + std::strerror(errno)};
  }
  // The descriptor turns readable when the process has ended.
  pollfd ended{process.get(), POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&ended, 1, wait_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready > 0) return {QuitAnswer::kEnded, ""};
  return {QuitAnswer::kStillRunning, "process " + std::to_string(*holder)};
}

void BlockTerminateSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

struct TerminateSignalWatch::State {
  posix::UniqueFd fd;
  std::unique_ptr<FdWatch> watch;
};

std::unique_ptr<TerminateSignalWatch> TerminateSignalWatch::Create(
    FdWatcher* watcher, std::function<void()> requested) {
  sigset_t blocked;
  if (watcher == nullptr || ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 ||
      sigismember(&blocked, SIGTERM) != 1) {
    return nullptr;
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  auto state = std::make_unique<State>();
  state->fd = posix::UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!state->fd.valid()) return nullptr;
  const int fd = state->fd.get();
  state->watch = watcher->WatchReadable(fd, [fd, requested = std::move(requested)] {
    signalfd_siginfo info;
    bool any = false;
    while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) any = true;
    if (any && requested) requested();
  });
  if (!state->watch) return nullptr;
  std::unique_ptr<TerminateSignalWatch> result(new TerminateSignalWatch());
  result->state_ = std::move(state);
  return result;
}

TerminateSignalWatch::~TerminateSignalWatch() = default;

}  // namespace linux_platform
