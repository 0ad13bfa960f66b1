// The hub's switch lock on a POSIX system: an exclusive flock, taken
// without waiting, on a descriptor every switching process can open,
// whoever runs it.
#pragma once

#include <string>

#include "platform/posix/unique_fd.h"
#include "platform/usb.h"

namespace posix {

// Takes the lock on `fd` (open for reading at least). Busy when another
// open of the same file holds it; no lock, and not busy, when the system
// refuses flock on it. Destroying the lock closes the descriptor, which
// gives the lock back.
platform::UsbSwitchLockAttempt LockForSwitch(UniqueFd fd);

// The lock on the file at `path`, for a hub that has no device node to
// lock (macOS): created when missing, as a regular file every user may
// read (0644, whatever the umask), never through a symbolic link. A file
// that cannot be opened, or is not a regular file, gives no lock and no
// busy: the switch then goes on unlocked rather than not at all.
platform::UsbSwitchLockAttempt LockSwitchFile(const std::string& path);

}  // namespace posix
