// One instance at a time: an exclusive advisory lock, taken through the
// platform, which owns the file and its descriptor.
#pragma once

#include <memory>
#include <string>

#include "platform/files.h"

// The lock while this process holds it; null at every other time. (It was
// the lock file's descriptor once, hence the name; the platform's handle
// now stands for it.)
extern std::unique_ptr<platform::InstanceLock> gSingleInstanceLockFd;

// True when this process now holds the lock. On failure, when `message` is
// given, it receives the text to show; on success it is left untouched.
bool AcquireSingleInstanceLock(std::string* message);
// The text for a lock that was refused, with the platform's reason where
// it gave one.
std::string LockRefusalMessage(platform::LockRefusal refusal, const std::string& reason);
// Gives the lock back; does nothing when it is not held.
void ReleaseSingleInstanceLock();
// The lock file's path on this platform, for messages.
std::string SingleInstanceLockPath();
