// One instance at a time: an exclusive advisory lock on a fixed file.
#pragma once

#include <string>

// The lock's descriptor while this process holds it; -1 at every other time.
extern int gSingleInstanceLockFd;

// True when this process now holds the lock. On failure, when `message` is
// given, it receives the text to show; on success it is left untouched.
bool AcquireSingleInstanceLock(std::string* message);
// Gives the lock back; does nothing when it is not held.
void ReleaseSingleInstanceLock();
// The lock file's path: the lock folder, the agent label, ".lock".
std::string SingleInstanceLockPath();
