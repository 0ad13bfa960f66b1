#include "platform/posix/switch_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace posix {
namespace {

// Held while the descriptor is open; the system also drops the lock when
// the process ends.
class FlockSwitchLock : public platform::UsbSwitchLock {
 public:
  explicit FlockSwitchLock(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

constexpr mode_t kReadableByAll = 0644;

}  // namespace

platform::UsbSwitchLockAttempt LockForSwitch(UniqueFd fd) {
  platform::UsbSwitchLockAttempt attempt;
  if (!fd.valid()) return attempt;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    attempt.busy = errno == EWOULDBLOCK;
    return attempt;
  }
  attempt.lock = std::make_unique<FlockSwitchLock>(std::move(fd));
  return attempt;
}

platform::UsbSwitchLockAttempt LockSwitchFile(const std::string& path) {
  // Read access is enough for flock, so a file another user made serves
  // this user too.
  UniqueFd fd(
      ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kReadableByAll));
  if (!fd.valid()) return {};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  // A umask may have taken the others' read bit away from a file made here.
  if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != kReadableByAll) {
    (void)::fchmod(fd.get(), kReadableByAll);
  }
  return LockForSwitch(std::move(fd));
}

}  // namespace posix
