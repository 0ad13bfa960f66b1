#include "platform/posix/posix_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
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

int LockExclusiveNoWait(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

}  // namespace

platform::LockAttempt TakeLockAt(const std::string& path, const std::string& foreign_owner_fix) {
  // The lock file may lie in a folder every user may write to. O_NOFOLLOW:
  // a symbolic link planted there by someone else is refused (ELOOP) instead
  // of followed, so nobody can make the tool create or open a file of their
  // choosing. O_CLOEXEC keeps the lock from leaking into programs the tool
  // might start; it changes nothing about the lock itself.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.valid()) return Refused(platform::LockRefusal::kCannotOpen, ErrorText(errno));

  if (!foreign_owner_fix.empty()) {
    // A file another user made at this path could be held by them for ever,
    // or opened to all: either way it is not this user's lock.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      return Refused(platform::LockRefusal::kCannotOpen, ErrorText(errno));
    }
    if (st.st_uid != ::geteuid()) {
      return Refused(platform::LockRefusal::kCannotOpen, path + " belongs to another user (uid " +
                                                             std::to_string(st.st_uid) +
                                                             "): " + foreign_owner_fix);
    }
  }

  const int error = LockExclusiveNoWait(fd.get());
  if (error == EWOULDBLOCK) return Refused(platform::LockRefusal::kHeld, "");
  if (error != 0) return Refused(platform::LockRefusal::kCannotLock, ErrorText(error));
  platform::LockAttempt attempt;
  attempt.lock = std::make_unique<PosixInstanceLock>(std::move(fd));
  return attempt;
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
