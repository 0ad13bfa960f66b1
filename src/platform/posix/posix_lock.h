// The single-instance lock file: open, flock and close, as the platforms
// with POSIX carry them out.
#pragma once

#include <string>

#include "platform/files.h"

namespace posix {

// open(path, O_RDWR | O_CREAT, 0644): no truncation, no exclusive creation;
// a symbolic link at `path` is refused (ELOOP), never followed.
platform::SysResult OpenLockFile(const std::string& path);
// flock(fd, LOCK_EX | LOCK_NB): 0, or errno.
int LockExclusiveNoWait(int fd);
// flock(fd, LOCK_UN), then close; results not examined.
void UnlockAndClose(int fd);
// close; result not examined.
void CloseLockFile(int fd);

}  // namespace posix
