// Files and paths on a Linux desktop: XDG folders, the autostart entry as
// the login agent file, the per-user lock, and the POSIX folder and write
// helpers.
#pragma once

#include <optional>
#include <string>

#include "platform/posix/posix_files_base.h"

namespace linux_platform {

// The environment the paths are read from (tests give their own).
struct XdgEnvironment {
  std::optional<std::string> home;         // $HOME
  std::optional<std::string> config_home;  // $XDG_CONFIG_HOME
  std::optional<std::string> state_home;   // $XDG_STATE_HOME
  std::optional<std::string> runtime_dir;  // $XDG_RUNTIME_DIR
  static XdgEnvironment FromProcess();
};

class LinuxFiles : public posix::PosixFiles {
 public:
  // `temp_directory`: where the lock goes.
  explicit LinuxFiles(XdgEnvironment env = XdgEnvironment::FromProcess(),
                      std::string temp_directory = "/tmp");

  // $HOME, or the password database's home when it is unset or relative.
  std::string HomeDirectory() override;
  // The log folder's parent: $XDG_STATE_HOME, or ~/.local/state.
  std::optional<std::string> ApplicationSupportDirectory() override;
  // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
  std::string AgentDirectory() override;
  std::string AgentFileExtension() override { return ".desktop"; }
  std::string AgentFolderNoun() override { return "autostart folder"; }
  std::string AgentFileNoun() override { return "autostart entry"; }
  // The session keeps an autostarted program's output (the user journal,
  // ~/.xsession-errors): no log folder.
  bool AgentLogsInFolder() override { return false; }
  // Whether this session starts the entry ($XDG_CURRENT_DESKTOP), in words
  // (login_start.h).
  std::string AgentInstalledNotice(const std::string& agent_file,
                                   const std::string& program) override;
  // The user's settings: $XDG_CONFIG_HOME/quembrastella-switch/config.toml,
  // or the same below ~/.config.
  std::string SettingsFilePath();
  // The target of /proc/self/exe (see ExecutablePathFromLink).
  std::optional<std::string> ExecutablePath() override;

  std::optional<platform::AgentFileContents> ReadAgentFile(const std::string& path) override;
  platform::Result<std::string> SerializeAgent(const platform::AgentDefinition& agent) override;
  // The lock is the user's own: other users can neither block it nor make
  // the tool believe it runs already. See InstanceLockPath.
  platform::LockAttempt TakeInstanceLock(const std::string& name) override;
  // NAME-UID.lock in the temporary folder, whatever the environment says;
  // refused unless it belongs to this user.
  std::string InstanceLockPath(const std::string& name) override;
  // The holder of the lock, asked through SIGTERM (instance_quit.h).
  platform::QuitAttempt AskInstanceToQuit(const std::string& name, int wait_ms) override;

 protected:
  std::string ForeignOwnerFix() override;

 private:
  // $XDG_CONFIG_HOME when usable, or ~/.config.
  std::string ConfigDirectory();

  XdgEnvironment env_;
  std::string temp_directory_;
};

// The executable's path from the target of /proc/self/exe. When the program
// was replaced while it runs (an upgrade), the kernel names the old file
// "PATH (deleted)"; the path the user installed is PATH, where the new
// program now lies, so that is the one given when it exists.
std::string ExecutablePathFromLink(const std::string& link_target);

}  // namespace linux_platform
