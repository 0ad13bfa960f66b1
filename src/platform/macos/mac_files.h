// Paths, folders, the agent file and the lock file on Foundation and POSIX.
#pragma once

#include <optional>
#include <string>

#include "platform/posix/posix_files_base.h"
#include "platform/posix/posix_lock.h"

namespace platform::macos {

// The lock goes through the shared POSIX code; everything else through
// Foundation, whose error descriptions fill the tool's messages.
class MacFiles final : public posix::PosixFiles {
 public:
  // NSHomeDirectory().
  std::string HomeDirectory() override;
  // The first of NSSearchPathForDirectoriesInDomains(Application Support,
  // user domain, tilde expanded).
  std::optional<std::string> ApplicationSupportDirectory() override;
  // The home folder joined with "Library/LaunchAgents".
  std::string AgentDirectory() override;
  std::string AgentFileExtension() override { return ".plist"; }
  std::string AgentFolderNoun() override { return "LaunchAgent folder"; }
  std::string AgentFileNoun() override { return "LaunchAgent plist"; }
  // The main bundle's executablePath.
  std::optional<std::string> ExecutablePath() override;

  // createDirectoryAtPath:withIntermediateDirectories:YES attributes:nil.
  Status CreateDirectories(const std::string& path) override;
  // dictionaryWithContentsOfFile:, then the two entries the tool reads.
  std::optional<AgentFileContents> ReadAgentFile(const std::string& path) override;
  // NSPropertyListSerialization to the XML format. Refused, with what to do,
  // for a program that launchd could not start at the next login
  // (AgentProgramProblem: a translocated copy, a disk image, a program
  // outside its bundle).
  Result<std::string> SerializeAgent(const AgentDefinition& agent) override;
  // writeToFile:options:NSDataWritingAtomic.
  Status WriteFileAtomically(const std::string& path, const std::string& bytes) override;
  // chmod.
  bool SetPermissions(const std::string& path, unsigned mode) override;
  // isExecutableFileAtPath:.
  bool IsExecutableFile(const std::string& path) override;
  // The lock file "/tmp/" + name + ".lock", shared by every account of the
  // machine (other builds of the tool look for it there): one instance per
  // Mac. Whichever account made the file, the others can take the lock on
  // it once it is free (read-only, 0644).
  LockAttempt TakeInstanceLock(const std::string& name) override {
    return posix::TakeLockSharedByAccounts(InstanceLockPath(name));
  }
  std::string InstanceLockPath(const std::string& name) override {
    return "/tmp/" + name + ".lock";
  }
};

}  // namespace platform::macos
