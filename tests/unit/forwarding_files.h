// A platform::Files that passes every call to another one. Tests derive from
// it and override only the calls they make fail or watch.
#pragma once

#include <optional>
#include <string>

#include "platform/files.h"

namespace test_support {

class ForwardingFiles : public platform::Files {
 public:
  explicit ForwardingFiles(platform::Files* inner) : inner_(inner) {}

  std::string HomeDirectory() override { return inner_->HomeDirectory(); }
  std::optional<std::string> ApplicationSupportDirectory() override {
    return inner_->ApplicationSupportDirectory();
  }
  std::string AgentDirectory() override { return inner_->AgentDirectory(); }
  std::string AgentFileExtension() override { return inner_->AgentFileExtension(); }
  std::string AgentFolderNoun() override { return inner_->AgentFolderNoun(); }
  std::string AgentFileNoun() override { return inner_->AgentFileNoun(); }
  std::optional<std::string> ExecutablePath() override { return inner_->ExecutablePath(); }
  platform::Status CreateDirectories(const std::string& p) override {
    return inner_->CreateDirectories(p);
  }
  std::optional<platform::AgentFileContents> ReadAgentFile(const std::string& p) override {
    return inner_->ReadAgentFile(p);
  }
  platform::Result<std::string> SerializeAgent(const platform::AgentDefinition& a) override {
    return inner_->SerializeAgent(a);
  }
  platform::Status WriteFileAtomically(const std::string& p, const std::string& b) override {
    return inner_->WriteFileAtomically(p, b);
  }
  bool SetPermissions(const std::string& p, unsigned m) override {
    return inner_->SetPermissions(p, m);
  }
  bool IsExecutableFile(const std::string& p) override { return inner_->IsExecutableFile(p); }
  platform::LockAttempt TakeInstanceLock(const std::string& name) override {
    return inner_->TakeInstanceLock(name);
  }
  platform::LockProbe ProbeInstanceLock(const std::string& name) override {
    return inner_->ProbeInstanceLock(name);
  }
  std::string InstanceLockPath(const std::string& name) override {
    return inner_->InstanceLockPath(name);
  }
  platform::QuitAttempt AskInstanceToQuit(const std::string& name, int wait_ms) override {
    return inner_->AskInstanceToQuit(name, wait_ms);
  }
  std::string AgentInstalledNotice(const std::string& agent_file,
                                   const std::string& program) override {
    return inner_->AgentInstalledNotice(agent_file, program);
  }
  bool AgentLogsInFolder() override { return inner_->AgentLogsInFolder(); }

 private:
  platform::Files* inner_;
};

}  // namespace test_support
