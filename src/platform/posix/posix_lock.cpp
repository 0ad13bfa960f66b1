#include "platform/posix/posix_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "platform/posix/posix_files.h"

namespace posix {
namespace {

platform::LockAttempt Refused(platform::LockRefusal refusal, std::string reason) {
  platform::LockAttempt attempt;
  attempt.refusal = refusal;
  attempt.reason = std::move(reason);
  return attempt;
}

std::string ForeignOwnerReason(const std::string& path, uid_t owner, const std::string& fix) {
  return path + " belongs to another user (uid " + std::to_string(owner) + "): " + fix;
}

platform::LockProbe Unusable(std::string reason) {
  platform::LockProbe probe;
  probe.state = platform::LockState::kUnusable;
  probe.reason = std::move(reason);
  return probe;
}

// Whether a process holds a lock on the open file `fd`, asked without
// taking one. Linux keeps flock locks apart from record locks, so its lock
// table is read; the BSDs (macOS among them) keep both kinds in one list,
// where F_GETLK sees a flock lock as well.
bool HeldByAnyone(int fd) {
#ifdef __linux__
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  char device[64];
  std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream table("/proc/locks");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      if (word == device) return true;
    }
  }
  return false;
#else
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  return ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
#endif
}

int LockExclusiveNoWait(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

}  // namespace

platform::LockAttempt TakeLockAt(const std::string& path, const std::string& foreign_owner_fix,
                                 unsigned mode) {
  // The lock file may lie in a folder every user may write to. O_NOFOLLOW:
  // a symbolic link planted there by someone else is refused (ELOOP) instead
  // of followed, so nobody can make the tool create or open a file of their
  // choosing. O_CLOEXEC keeps the lock from leaking into programs the tool
  // might start; it changes nothing about the lock itself.
  UniqueFd fd(
      ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode)));
  if (!fd.valid()) return Refused(platform::LockRefusal::kCannotOpen, ErrorText(errno));

  if (!foreign_owner_fix.empty()) {
    // A file another user made at this path could be held by them for ever,
    // or opened to all: either way it is not this user's lock.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      return Refused(platform::LockRefusal::kCannotOpen, ErrorText(errno));
    }
    if (st.st_uid != ::geteuid()) {
      return Refused(platform::LockRefusal::kCannotOpen,
                     ForeignOwnerReason(path, st.st_uid, foreign_owner_fix));
    }
  }

  const int error = LockExclusiveNoWait(fd.get());
  if (error == EWOULDBLOCK) return Refused(platform::LockRefusal::kHeld, "");
  if (error != 0) return Refused(platform::LockRefusal::kCannotLock, ErrorText(error));
  platform::LockAttempt attempt;
  attempt.lock = std::make_unique<PosixInstanceLock>(std::move(fd));
  return attempt;
}

platform::LockProbe ProbeLockAt(const std::string& path, const std::string& foreign_owner_fix) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return Unusable(ErrorText(errno));
    // Missing: free when the start could make it.
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return Unusable(ErrorText(errno));
    return {};
  }
  // What the start's own open and checks would refuse.
  if (S_ISLNK(st.st_mode)) return Unusable(ErrorText(ELOOP));
  if (S_ISDIR(st.st_mode)) return Unusable(ErrorText(EISDIR));
  if (!foreign_owner_fix.empty() && st.st_uid != ::geteuid()) {
    return Unusable(ForeignOwnerReason(path, st.st_uid, foreign_owner_fix));
  }
  // Reading is all flock needs (a lock shared by accounts is opened
  // read-only when another account made it).
  if (::access(path.c_str(), R_OK) != 0) return Unusable(ErrorText(errno));
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return Unusable(ErrorText(errno));
  platform::LockProbe probe;
  if (HeldByAnyone(fd.get())) probe.state = platform::LockState::kHeld;
  return probe;
}

platform::LockAttempt TakeLockSharedByAccounts(const std::string& path) {
  // O_NOFOLLOW and O_CLOEXEC as in TakeLockAt.
  int opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  int error = opened < 0 ? errno : 0;
  if (error == EACCES) {
    opened = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    error = opened < 0 ? errno : 0;
    if (error == EACCES) {
      return Refused(platform::LockRefusal::kCannotOpen,
                     ErrorText(EACCES) + " (" + path +
                         " was made unreadable by another account: an administrator can "
                         "remove it, or restart the computer to clear it)");
    }
  }
  if (error != 0) return Refused(platform::LockRefusal::kCannotOpen, ErrorText(error));
  UniqueFd fd(opened);

  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0644) {
    (void)::fchmod(fd.get(), 0644);
  }

  error = LockExclusiveNoWait(fd.get());
  if (error == EWOULDBLOCK) return Refused(platform::LockRefusal::kHeld, "");
  if (error != 0) return Refused(platform::LockRefusal::kCannotLock, ErrorText(error));
  platform::LockAttempt attempt;
  attempt.lock = std::make_unique<PosixInstanceLock>(std::move(fd));
  return attempt;
}

}  // namespace posix
