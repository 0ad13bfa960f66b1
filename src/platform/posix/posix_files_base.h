// A partial platform::Files for systems with POSIX: folders, atomic
// writing, permissions and the executable test. A platform derives from it
// and adds its paths, its lock and its property-list reader and writer.
#pragma once

#include <string>

#include "platform/files.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_lock.h"

namespace posix {

class PosixFiles : public platform::Files {
 public:
  platform::Status CreateDirectories(const std::string& path) override {
    return posix::CreateDirectories(path);
  }
  platform::Status WriteFileAtomically(const std::string& path, const std::string& bytes) override {
    return posix::WriteFileAtomically(path, bytes);
  }
  bool SetPermissions(const std::string& path, unsigned mode) override {
    return posix::SetPermissions(path, mode);
  }
  bool IsExecutableFile(const std::string& path) override { return posix::IsExecutableFile(path); }
  platform::LockProbe ProbeInstanceLock(const std::string& name) override {
    return posix::ProbeLockAt(InstanceLockPath(name), ForeignOwnerFix());
  }

 protected:
  // The fix named when the lock file belongs to another user; empty where
  // such a file is not refused.
  virtual std::string ForeignOwnerFix() { return ""; }
};

}  // namespace posix
