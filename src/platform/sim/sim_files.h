// The sandbox file system: a home folder with the macOS layout inside it, a
// stand-in for /tmp, an application bundle holding the executable, and the
// real lock and file code working on them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/posix/posix_files_base.h"
#include "platform/posix/unique_fd.h"
#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_world.h"

namespace sim {

class SimFilesService : public posix::PosixFiles, public SimFiles {
 public:
  // `home` empty: a fresh temporary folder, removed with this object.
  SimFilesService(const std::string& home, Recorder& recorder);
  ~SimFilesService() override;
  SimFilesService(const SimFilesService&) = delete;
  SimFilesService& operator=(const SimFilesService&) = delete;

  // False when the sandbox could not be made.
  bool Ok() const;

  // platform::Files
  std::string HomeDirectory() override { return root_; }
  std::optional<std::string> ApplicationSupportDirectory() override;
  std::string AgentDirectory() override { return root_ + "/Library/LaunchAgents"; }
  std::string AgentFileExtension() override { return ".plist"; }
  std::string AgentFolderNoun() override { return "LaunchAgent folder"; }
  std::string AgentFileNoun() override { return "LaunchAgent plist"; }
  std::optional<std::string> ExecutablePath() override;
  std::optional<platform::AgentFileContents> ReadAgentFile(const std::string& path) override;
  platform::Result<std::string> SerializeAgent(const platform::AgentDefinition& agent) override;
  platform::Status WriteFileAtomically(const std::string& path, const std::string& bytes) override;
  // The lock file of the reference system, "/tmp/" + name + ".lock", in
  // the sandbox's stand-in for /tmp; "lock acquired" and "lock released"
  // are recorded.
  platform::LockAttempt TakeInstanceLock(const std::string& name) override;
  // The other process that holds the lock ("lock held") ends when asked:
  // "other instance ended" is recorded and its lock is gone.
  platform::QuitAttempt AskInstanceToQuit(const std::string& name, int wait_ms) override;

  // SimFiles
  std::string Home() const override { return root_; }
  void SetApplicationSupport(bool present) override;
  void SetExecutable(Exe exe) override;
  std::string ExecutablePathValue() const override { return exe_path_; }
  void SetLockUnopenable(bool on) override { lock_unopenable_ = on; }
  void SetAgentWriteFails(bool on) override { agent_write_fails_ = on; }
  void SetIcon(Icon icon) override;
  bool HoldLockElsewhere(const std::string& lock_path, bool held) override;
  std::string InstanceLockPath(const std::string& name) override {
    return root_ + "/tmp/" + name + ".lock";
  }

  // The path of a resource in the application bundle, when it is there.
  std::optional<std::string> BundleResource(const std::string& name, const std::string& type);

  // The folders of the bundle.
  std::string BundleResourceDirectory() const;
  std::string ExecutableDirectory() const;

 private:
  void WriteIcon(const std::string& path);

  Recorder& recorder_;
  std::string root_;
  bool remove_root_ = false;
  bool app_support_ = true;
  Exe exe_ = Exe::kPresent;
  std::string exe_path_;
  bool lock_unopenable_ = false;
  bool agent_write_fails_ = false;
  Icon icon_ = Icon::kNone;
  posix::UniqueFd other_holder_;  // "another process" holding the lock
  // Where a lock handle records its release; gone with this object, so a
  // handle that outlives the world records nothing.
  std::shared_ptr<Recorder*> lock_notes_;
};

}  // namespace sim
