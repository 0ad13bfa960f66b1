#include "platform/sim/sim_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "platform/posix/posix_files.h"
#include "platform/posix/posix_lock.h"
#include "platform/sim/sim_plist.h"
#include "platform/sim/sim_png.h"

namespace sim {
namespace {

constexpr const char* kBundle = "/Applications/Quembrastella USB-C Switch.app/Contents";
constexpr const char* kExecutableName = "quembrastella-switch";
constexpr const char* kIconFile = "ZRN_Pivlo.png";

}  // namespace

SimFilesService::SimFilesService(const std::string& home, Recorder& recorder)
    : recorder_(recorder), lock_notes_(std::make_shared<Recorder*>(&recorder)) {
  if (home.empty()) {
    char pattern[] = "/tmp/qs-sim-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) {
      root_ = made;
      remove_root_ = true;
    }
  } else {
    root_ = home;
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    (void)posix::CreateDirectories(root_);
  }
  // The parts of the layout that exist on every such system.
  (void)posix::CreateDirectories(root_ + "/tmp");
  (void)posix::CreateDirectories(root_ + "/Library/Application Support");
  (void)posix::CreateDirectories(ExecutableDirectory());
  (void)posix::CreateDirectories(BundleResourceDirectory());
  exe_path_ = ExecutableDirectory() + "/" + kExecutableName;
  SetExecutable(Exe::kPresent);
}

SimFilesService::~SimFilesService() {
  other_holder_.Reset();
  if (remove_root_ && !root_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
}

bool SimFilesService::Ok() const {
  return !root_.empty() && ::access(root_.c_str(), W_OK) == 0;
}

std::string SimFilesService::ExecutableDirectory() const {
  return root_ + kBundle + "/MacOS";
}

std::string SimFilesService::BundleResourceDirectory() const {
  return root_ + kBundle + "/Resources";
}

std::optional<std::string> SimFilesService::ApplicationSupportDirectory() {
  if (!app_support_) return std::nullopt;
  return root_ + "/Library/Application Support";
}

void SimFilesService::SetApplicationSupport(bool present) {
  app_support_ = present;
}

std::optional<std::string> SimFilesService::ExecutablePath() {
  switch (exe_) {
    case Exe::kPresent:
    case Exe::kNotExecutable:
      return exe_path_;
    case Exe::kEmpty:
      return std::string();
    case Exe::kNone:
      break;
  }
  return std::nullopt;
}

void SimFilesService::SetExecutable(Exe exe) {
  exe_ = exe;
  if (::access(exe_path_.c_str(), F_OK) != 0) {
    (void)posix::WriteFileAtomically(exe_path_, "#!/bin/sh\nexit 0\n");
  }
  (void)posix::SetPermissions(exe_path_, exe == Exe::kNotExecutable ? 0644 : 0755);
}

void SimFilesService::WriteIcon(const std::string& path) {
  (void)posix::WriteFileAtomically(path, IconPngBytes());
}

void SimFilesService::SetIcon(Icon icon) {
  icon_ = icon;
  const std::string beside = ExecutableDirectory() + "/" + kIconFile;
  const std::string bundled = BundleResourceDirectory() + "/" + kIconFile;
  ::unlink(beside.c_str());
  ::unlink(bundled.c_str());
  if (icon == Icon::kBeside) WriteIcon(beside);
  if (icon == Icon::kBundle) WriteIcon(bundled);
}

std::optional<std::string> SimFilesService::BundleResource(const std::string& name,
                                                           const std::string& type) {
  // Only a tool started from its bundle has resources to look up.
  if (icon_ != Icon::kBundle) return std::nullopt;
  const std::string path =
      BundleResourceDirectory() + "/" + name + (type.empty() ? "" : "." + type);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return path;
}

std::optional<platform::AgentFileContents> SimFilesService::ReadAgentFile(const std::string& path) {
  return ReadAgentPlist(path);
}

platform::Result<std::string> SimFilesService::SerializeAgent(
    const platform::AgentDefinition& agent) {
  return AgentToXml(agent);
}

platform::Status SimFilesService::WriteFileAtomically(const std::string& path,
                                                      const std::string& bytes) {
  if (agent_write_fails_) {
    return platform::Status::Fail(posix::ErrorText(EACCES) + " (" + path + ")");
  }
  return posix::PosixFiles::WriteFileAtomically(path, bytes);
}

namespace {

// The lock as the tool holds it; records its release while the world that
// made it is there.
class SimInstanceLock : public platform::InstanceLock {
 public:
  SimInstanceLock(std::unique_ptr<platform::InstanceLock> held, std::weak_ptr<Recorder*> notes)
      : held_(std::move(held)), notes_(std::move(notes)) {}
  ~SimInstanceLock() override {
    held_.reset();
    if (std::shared_ptr<Recorder*> notes = notes_.lock()) (*notes)->Note("lock released");
  }

 private:
  std::unique_ptr<platform::InstanceLock> held_;
  std::weak_ptr<Recorder*> notes_;
};

}  // namespace

platform::LockAttempt SimFilesService::TakeInstanceLock(const std::string& name) {
  const std::string path = InstanceLockPath(name);
  // Tests run as root, whom no file mode stops: the refusal is injected.
  if (lock_unopenable_) {
    // The file is there, only not ours to open.
    posix::UniqueFd made(::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    platform::LockAttempt refused;
    refused.refusal = platform::LockRefusal::kCannotOpen;
    refused.reason = posix::ErrorText(EACCES);
    return refused;
  }
  platform::LockAttempt attempt = posix::TakeLockAt(path);
  if (attempt.lock) {
    recorder_.Note("lock acquired");
    attempt.lock = std::make_unique<SimInstanceLock>(std::move(attempt.lock), lock_notes_);
  }
  return attempt;
}

platform::QuitAttempt SimFilesService::AskInstanceToQuit(const std::string& name, int wait_ms) {
  (void)name;
  (void)wait_ms;
  if (!other_holder_.valid()) return {platform::QuitAnswer::kNoneRunning, ""};
  other_holder_.Reset();
  recorder_.Note("other instance ended");
  return {platform::QuitAnswer::kEnded, ""};
}

bool SimFilesService::HoldLockElsewhere(const std::string& lock_path, bool held) {
  other_holder_.Reset();
  if (!held) return true;
  // A second open file description conflicts with the tool's own exactly as
  // another process's would.
  posix::UniqueFd fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  other_holder_ = std::move(fd);
  return true;
}

}  // namespace sim
