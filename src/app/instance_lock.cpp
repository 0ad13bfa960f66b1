#include "app/instance_lock.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/services.h"
#include "shared/product.h"

int gSingleInstanceLockFd = -1;

std::string SingleInstanceLockPath() {
  return platform::Sys().files->LockDirectory() + kAgentLabel + ".lock";
}

bool AcquireSingleInstanceLock(std::string* message) {
  platform::Files& files = *platform::Sys().files;

  const platform::SysResult opened = files.OpenLockFile(SingleInstanceLockPath());
  gSingleInstanceLockFd = opened.error == 0 ? opened.value : -1;
  if (gSingleInstanceLockFd < 0) {
    if (message) {
      // A failed open with no error number still gets a readable reason.
      const int error = opened.error != 0 ? opened.error : EBADF;
      *message = std::string("Cannot create the program lock file: ") + std::strerror(error);
    }
    return false;
  }

  const int error = files.LockExclusiveNoWait(gSingleInstanceLockFd);
  if (error == 0) return true;

  if (message) {
    if (error == EWOULDBLOCK) {
      *message = std::string(kProductName) + " is running already.";
    } else {
      *message = std::string("Cannot lock the program instance: ") + std::strerror(error);
    }
  }
  files.CloseLockFile(gSingleInstanceLockFd);
  gSingleInstanceLockFd = -1;
  return false;
}

void ReleaseSingleInstanceLock() {
  if (gSingleInstanceLockFd < 0) return;
  platform::Sys().files->UnlockAndClose(gSingleInstanceLockFd);
  gSingleInstanceLockFd = -1;
}
