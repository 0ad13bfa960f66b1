// Files and paths: the home and support folders, the executable, the login
// agent file, and the single-instance lock.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

// What a login agent file says, as far as the tool reads it.
struct AgentFileContents {
  // The Label entry; none when missing or not a string.
  std::optional<std::string> label;
  // The ProgramArguments entry; none when missing or not an array of strings.
  std::optional<std::vector<std::string>> program_arguments;
};

// Everything a login agent file holds, as the tool writes it.
struct AgentDefinition {
  std::string label;
  // The name people see for the agent where the system shows one (the
  // product name).
  std::string name;
  std::vector<std::string> program_arguments;
  bool run_at_load = true;
  bool keep_alive = false;
  std::string process_type;
  std::string standard_out_path;
  std::string standard_error_path;
};

// The single-instance lock while this process holds it. Destroying it gives
// the lock back; the system also drops it when the process ends, by any
// route.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

// Why the lock was not taken.
enum class LockRefusal {
  kCannotOpen,  // the lock file could not be opened or created, or is unsafe
  kHeld,        // another instance holds the lock
  kCannotLock,  // the lock was refused for another reason
};

// The outcome of one attempt: the lock, or why not.
struct LockAttempt {
  std::unique_ptr<InstanceLock> lock;  // set exactly when the lock is held
  LockRefusal refusal = LockRefusal::kCannotOpen;
  // For kCannotOpen and kCannotLock: the system's text for what went wrong,
  // naming the fix where there is one beyond the system's words.
  std::string reason;
};

// What asking the running instance to end came to.
enum class QuitAnswer {
  kEnded,         // it was asked and has ended
  kNoneRunning,   // no process of this user holds the lock
  kStillRunning,  // it was asked, but had not ended when the wait was over
  kNotAsked,      // it could not be asked; `reason` says why
};

struct QuitAttempt {
  QuitAnswer answer = QuitAnswer::kNotAsked;
  std::string reason;
};

// What a look at the single-instance lock finds. The look never takes the
// lock, not even for a moment, so it never refuses an instance starting
// at that instant.
enum class LockState {
  kFree,      // nobody holds it, and a start could take it
  kHeld,      // an instance holds it
  kUnusable,  // no start could take it (`reason` says why)
};

struct LockProbe {
  LockState state = LockState::kFree;
  // For kUnusable: the system's text for what stands in the way, naming
  // the fix where there is one beyond the system's words.
  std::string reason;
};

class Files {
 public:
  virtual ~Files() = default;

  // The user's home folder, absolute. Never fails.
  virtual std::string HomeDirectory() = 0;
  // The first per-user Application Support folder the system reports, tilde
  // expanded; none when it reports none.
  virtual std::optional<std::string> ApplicationSupportDirectory() = 0;
  // The folder that holds the user's login agents, absolute. Never fails.
  virtual std::string AgentDirectory() = 0;
  // The file-name ending of an agent file, with its dot (".plist").
  virtual std::string AgentFileExtension() = 0;
  // How the tool's messages name the agent folder and the agent file.
  virtual std::string AgentFolderNoun() = 0;
  virtual std::string AgentFileNoun() = 0;
  // What the user reads once the agent at `agent_file` was installed for
  // `program` and the tool runs; "" for the tool's own words. A platform
  // where the agent may not start at login says so here.
  virtual std::string AgentInstalledNotice(const std::string& agent_file,
                                           const std::string& program) {
    (void)agent_file;
    (void)program;
    return "";
  }
  // Whether the login agent's output goes to files in the log folder. Where
  // it does not (the desktop session keeps it), the folder is never made:
  // nothing would ever be written there.
  virtual bool AgentLogsInFolder() { return true; }
  // The absolute path of the running executable; none (or empty) when the
  // platform cannot tell.
  virtual std::optional<std::string> ExecutablePath() = 0;

  // Creates `path` with all missing parents; an existing folder is success.
  virtual Status CreateDirectories(const std::string& path) = 0;
  // Reads an agent file; none when it is missing, unreadable, malformed or
  // not a dictionary.
  virtual std::optional<AgentFileContents> ReadAgentFile(const std::string& path) = 0;
  // Serialises an agent to the bytes of its file.
  virtual Result<std::string> SerializeAgent(const AgentDefinition& agent) = 0;
  // Replaces `path` with `bytes` atomically: afterwards the file is wholly
  // the old one or wholly the new one.
  virtual Status WriteFileAtomically(const std::string& path, const std::string& bytes) = 0;
  // chmod; true on success.
  virtual bool SetPermissions(const std::string& path, unsigned mode) = 0;
  // Whether `path` names a file the current user may execute.
  virtual bool IsExecutableFile(const std::string& path) = 0;

  // Takes the single-instance lock named `name` (the agent label) without
  // waiting: opens the platform's lock file for that name, creating it when
  // missing, and locks it exclusively. A lock held elsewhere is reported at
  // once, never waited for.
  virtual LockAttempt TakeInstanceLock(const std::string& name) = 0;
  // The path of the lock file TakeInstanceLock uses for `name`, for the
  // messages that name it.
  virtual std::string InstanceLockPath(const std::string& name) = 0;
  // Asks the process of this user that holds the lock `name` to end
  // through its terminate request, and waits up to `wait_ms` for it to end.
  // The lock itself is never taken, so a start meanwhile is not refused on
  // this account, and only the process that holds it is asked.
  virtual QuitAttempt AskInstanceToQuit(const std::string& name, int wait_ms) {
    (void)name;
    (void)wait_ms;
    return {QuitAnswer::kNotAsked, "this platform cannot ask the running instance to end"};
  }
  // Looks at the lock TakeInstanceLock takes, without taking it.
  virtual LockProbe ProbeInstanceLock(const std::string& name) = 0;
};

}  // namespace platform
