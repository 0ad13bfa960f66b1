#include "service/launch_agent.h"

#include <optional>
#include <string>
#include <utility>

#include "platform/services.h"
#include "shared/paths.h"
#include "shared/product.h"

namespace {

constexpr const char* kServiceArgument = "--service";
constexpr const char* kProcessType = "Interactive";
constexpr const char* kOutLogName = "Quembrastella_USB-C_Switch.out.log";
constexpr const char* kErrLogName = "Quembrastella_USB-C_Switch.err.log";

// Fills `message`, when given, with `text`; returns false for the caller.
bool Fail(std::string* message, std::string text) {
  if (message) *message = std::move(text);
  return false;
}

}  // namespace

std::string LaunchAgentDirectoryPath() {
  return platform::Sys().files->AgentDirectory();
}

std::string LaunchAgentPlistPath() {
  platform::Files& files = *platform::Sys().files;
  return JoinPath(files.AgentDirectory(), std::string(kAgentLabel) + files.AgentFileExtension());
}

std::string ApplicationSupportDirectoryPath() {
  platform::Files& files = *platform::Sys().files;
  std::optional<std::string> support = files.ApplicationSupportDirectory();
  // An empty answer is no folder at all: joining it would give a path at
  // the root of the file system.
  const std::string base = support && !support->empty() ? *support : files.HomeDirectory();
  return JoinPath(base, kProductName);
}

bool LaunchAgentServiceExists() {
  platform::Files& files = *platform::Sys().files;
  const std::optional<platform::AgentFileContents> agent =
      files.ReadAgentFile(LaunchAgentPlistPath());
  if (!agent) return false;

  std::optional<std::string> first_argument;
  if (agent->program_arguments && !agent->program_arguments->empty()) {
    first_argument = agent->program_arguments->front();
  }
  const std::optional<std::string> executable = files.ExecutablePath();

  if (!agent->label) return false;
  if (*agent->label != kAgentLabel) return false;
  if (!first_argument) return false;
  if (!executable || *first_argument != *executable) return false;
  return files.IsExecutableFile(*first_argument);
}

bool InstallLaunchAgent(std::string* message) {
  platform::Files& files = *platform::Sys().files;

  const platform::Status agent_folder = files.CreateDirectories(LaunchAgentDirectoryPath());
  if (!agent_folder.ok()) {
    return Fail(message,
                "Cannot create " + files.AgentFolderNoun() + ": " + agent_folder.description());
  }

  const std::string log_folder = ApplicationSupportDirectoryPath();
  const bool logs_in_folder = files.AgentLogsInFolder();
  if (logs_in_folder) {
    const platform::Status log_created = files.CreateDirectories(log_folder);
    if (!log_created.ok()) {
      return Fail(message, "Cannot create log folder: " + log_created.description());
    }
  }

  const std::optional<std::string> executable = files.ExecutablePath();
  if (!executable || executable->empty()) {
    return Fail(message, "Cannot find this program's executable path.");
  }

  platform::AgentDefinition agent;
  agent.label = kAgentLabel;
  agent.name = kProductName;
  agent.program_arguments = {*executable, kServiceArgument};
  agent.run_at_load = true;
  agent.keep_alive = false;
  agent.process_type = kProcessType;
  if (logs_in_folder) {
    agent.standard_out_path = JoinPath(log_folder, kOutLogName);
    agent.standard_error_path = JoinPath(log_folder, kErrLogName);
  }

  const platform::Result<std::string> bytes = files.SerializeAgent(agent);
  if (!bytes.ok())
    return Fail(message, "Cannot create " + files.AgentFileNoun() + ": " + bytes.description());

  const std::string path = LaunchAgentPlistPath();
  const platform::Status written = files.WriteFileAtomically(path, bytes.value());
  if (!written.ok())
    return Fail(message, "Cannot write " + files.AgentFileNoun() + ": " + written.description());

  // The file is in place; permissions it cannot get do not undo that.
  (void)files.SetPermissions(path, 0644);
  return true;
}
