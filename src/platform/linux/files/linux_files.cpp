#include "platform/linux/files/linux_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/linux/files/desktop_entry.h"
#include "platform/linux/files/instance_quit.h"
#include "platform/linux/files/login_start.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_lock.h"
#include "platform/posix/unique_fd.h"
#include "platform/toml/toml_settings.h"

namespace linux_platform {
namespace {

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

constexpr const char* kConsoleArgument = "--console";

// XDG base folders must be absolute; anything else is ignored.
bool Usable(const std::optional<std::string>& dir) {
  return dir && !dir->empty() && (*dir)[0] == '/';
}

std::string Join(const std::string& base, const std::string& name) {
  if (!base.empty() && base.back() == '/') return base + name;
  return base + "/" + name;
}

}  // namespace

XdgEnvironment XdgEnvironment::FromProcess() {
  return {Env("HOME"), Env("XDG_CONFIG_HOME"), Env("XDG_STATE_HOME"), Env("XDG_RUNTIME_DIR")};
}

LinuxFiles::LinuxFiles(XdgEnvironment env, std::string temp_directory)
    : env_(std::move(env)), temp_directory_(std::move(temp_directory)) {}

std::string LinuxFiles::HomeDirectory() {
  if (Usable(env_.home)) return *env_.home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::optional<std::string> LinuxFiles::ApplicationSupportDirectory() {
  if (Usable(env_.state_home)) return *env_.state_home;
  return Join(HomeDirectory(), ".local/state");
}

std::string LinuxFiles::ConfigDirectory() {
  return Usable(env_.config_home) ? *env_.config_home : Join(HomeDirectory(), ".config");
}

std::string LinuxFiles::AgentDirectory() {
  return Join(ConfigDirectory(), "autostart");
}

std::string LinuxFiles::SettingsFilePath() {
  return Join(ConfigDirectory(), toml_settings::kSettingsFileInConfigDir);
}

std::optional<std::string> LinuxFiles::ExecutablePath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
  return ExecutablePathFromLink(std::string(buffer, static_cast<size_t>(n)));
}

std::string ExecutablePathFromLink(const std::string& link_target) {
  static constexpr char kDeleted[] = " (deleted)";
  constexpr size_t kDeletedLength = sizeof kDeleted - 1;
  if (link_target.size() <= kDeletedLength ||
      link_target.compare(link_target.size() - kDeletedLength, kDeletedLength, kDeleted) != 0) {
    return link_target;
  }
  struct stat st {};
  if (::stat(link_target.c_str(), &st) == 0) return link_target;  // a file truly named so
  const std::string replaced = link_target.substr(0, link_target.size() - kDeletedLength);
  return ::stat(replaced.c_str(), &st) == 0 ? replaced : link_target;
}

std::optional<platform::AgentFileContents> LinuxFiles::ReadAgentFile(const std::string& path) {
  // The same refusals as the settings file: no pipe, device or huge file.
  const platform::Result<std::string> bytes = posix::ReadRegularFile(path, kMaxEntryBytes);
  if (!bytes.ok()) return std::nullopt;
  return ParseDesktopEntry(bytes.value());
}

std::string LinuxFiles::InstanceLockPath(const std::string& name) {
  // The user's number alone decides: a start from cron, su or sudo -u, with
  // or without a login session's folders, meets the same lock.
  return Join(temp_directory_, name + "-" + std::to_string(::geteuid()) + ".lock");
}

platform::LockAttempt LinuxFiles::TakeInstanceLock(const std::string& name) {
  // Anybody can make a file in the temporary folder, so one that is not the
  // user's own is refused; the user's own is open to nobody else (read
  // access would do to hold the lock), umask or not.
  return posix::TakeLockAt(InstanceLockPath(name), ForeignOwnerFix(), 0600);
}

std::string LinuxFiles::ForeignOwnerFix() {
  return "an administrator can remove it.";
}

std::string LinuxFiles::AgentInstalledNotice(const std::string& agent_file,
                                             const std::string& program) {
  return InstalledNotice(Env("XDG_CURRENT_DESKTOP").value_or(""), agent_file, program);
}

platform::QuitAttempt LinuxFiles::AskInstanceToQuit(const std::string& name, int wait_ms) {
  return AskLockHolderToQuit(InstanceLockPath(name), wait_ms);
}

platform::Result<std::string> LinuxFiles::SerializeAgent(const platform::AgentDefinition& agent) {
  // An entry for a program that is gone would be written and then never
  // start, with nothing said at login.
  if (agent.program_arguments.empty() || !IsExecutableFile(agent.program_arguments.front())) {
    return platform::Result<std::string>::Fail(
        "the program is no longer where it was started from (moved, or replaced by an "
        "upgrade); start it again from where it is installed and install again");
  }
  // The console lines go to standard output, which the session sends to its
  // log (the user journal under systemd): every switch, failure and quit
  // is on record there.
  platform::AgentDefinition logged = agent;
  if (std::find(logged.program_arguments.begin(), logged.program_arguments.end(),
                kConsoleArgument) == logged.program_arguments.end()) {
    logged.program_arguments.push_back(kConsoleArgument);
  }
  return SerializeDesktopEntry(logged);
}

}  // namespace linux_platform
