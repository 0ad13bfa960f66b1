#include "service/instance_lock.h"

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

  if (message) *message = LockRefusalMessage(attempt.refusal, attempt.reason);
  return false;
}

std::string LockRefusalMessage(platform::LockRefusal refusal, const std::string& reason) {
  switch (refusal) {
    case platform::LockRefusal::kCannotOpen:
      return "Cannot create the program lock file: " + reason;
    case platform::LockRefusal::kHeld:
      return std::string(kProductName) + " is running already.";
    case platform::LockRefusal::kCannotLock:
      return "Cannot lock the program instance: " + reason;
  }
  return "";
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
