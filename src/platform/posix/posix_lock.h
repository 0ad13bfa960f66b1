// The single-instance lock on a file, as the platforms with POSIX take it:
// open, flock, and the descriptor owned by the handle.
#pragma once

#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace posix {

// The lock on an open lock file. Destroying it closes the file, which drops
// the lock. There is no LOCK_UN first: the lock belongs to the open file
// description, which a forked child shares, and a child that ends (running
// this destructor) must not take its parent's lock away.
class PosixInstanceLock : public platform::InstanceLock {
 public:
  explicit PosixInstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
  ~PosixInstanceLock() override = default;
  PosixInstanceLock(const PosixInstanceLock&) = delete;
  PosixInstanceLock& operator=(const PosixInstanceLock&) = delete;

  // The lock file's descriptor, for tests of how it was opened.
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
};

// Takes the lock on the file at `path` without waiting. The file is opened
// read-write and created with mode `mode` when missing (0644 less the umask
// by default; a mode of 0600 is given as it stands, umask or not); it
// is never truncated and never created exclusively, and a symbolic link at
// `path` is refused (ELOOP), never followed. Then flock(LOCK_EX | LOCK_NB):
// EWOULDBLOCK is kHeld, any other error kCannotLock, and the file is closed
// again. The reason of a failure is the system's text for the error.
//
// With `foreign_owner_fix` given, a file that belongs to another user is
// refused as kCannotOpen, whatever its mode: the reason names the file and
// its owner, then the fix.
platform::LockAttempt TakeLockAt(const std::string& path, const std::string& foreign_owner_fix = "",
                                 unsigned mode = 0644);

// Looks at the lock on the file at `path` without taking it and without
// creating the file: free when the file is missing and its folder lets this
// user create it, or when nobody holds it; held when a process does;
// unusable when TakeLockAt(path, foreign_owner_fix) could not take it.
platform::LockProbe ProbeLockAt(const std::string& path, const std::string& foreign_owner_fix = "");

// The same lock on a file that every account of the machine shares (macOS:
// "/tmp/" + label + ".lock"). Taking it must not depend on which account
// made the file: when the read-write open is refused (EACCES: another
// account made it, 0644), the file is opened read-only, which is all flock
// needs. A file this account made is set to 0644 whatever the umask, so
// that the next account can open it in turn. Otherwise as TakeLockAt.
platform::LockAttempt TakeLockSharedByAccounts(const std::string& path);

}  // namespace posix
