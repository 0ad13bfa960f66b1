#include "platform/posix/posix_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace posix {

platform::SysResult OpenLockFile(const std::string& path) {
  // The lock file lies in a folder every user may write to. O_NOFOLLOW: a
  // symbolic link planted there by someone else is refused (ELOOP) instead
  // of followed, so nobody can make the tool create or open a file of their
  // choosing. O_CLOEXEC keeps the lock from leaking into programs the tool
  // might start; it changes nothing about the lock itself.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return {-1, errno};
  return {fd, 0};
}

int LockExclusiveNoWait(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

void UnlockAndClose(int fd) {
  if (fd < 0) return;
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

void CloseLockFile(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace posix
