#include "app/instance_lock.h"

#include <memory>
#include <string>
#include <utility>

#include "platform/services.h"
#include "shared/product.h"
#include "shared/tool_state.h"

std::unique_ptr<platform::InstanceLock> gSingleInstanceLockFd;

bool AcquireSingleInstanceLock(std::string* message) {
  // The platform opens the lock file for the label, then locks it without
  // waiting; the outcome replaces whatever was held before.
  platform::LockAttempt attempt = platform::Sys().files->TakeInstanceLock(kAgentLabel);
  gSingleInstanceLockFd = std::move(attempt.lock);
  if (gSingleInstanceLockFd) return true;

  if (message) {
    switch (attempt.refusal) {
      case platform::LockRefusal::kCannotOpen:
        *message = "Cannot create the program lock file: " + attempt.reason;
        break;
      case platform::LockRefusal::kHeld:
        *message = std::string(kProductName) + " is running already.";
        break;
      case platform::LockRefusal::kCannotLock:
        *message = "Cannot lock the program instance: " + attempt.reason;
        break;
    }
  }
  return false;
}

std::string SingleInstanceLockPath() {
  return platform::Sys().files->InstanceLockPath(kAgentLabel);
}

void ReleaseSingleInstanceLock() {
  gSingleInstanceLockFd.reset();
}

namespace {
const ToolStateMember kInstanceLockState{"gSingleInstanceLockFd", &ReleaseSingleInstanceLock,
                                         [] { return !gSingleInstanceLockFd; }, kToolStateRunning};
}  // namespace
