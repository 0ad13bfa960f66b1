// Files and paths: the home and support folders, the executable, the login
// agent file, and the single-instance lock file.
#pragma once

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

// A system call's outcome: the value, or the error number that ended it.
struct SysResult {
  int value = -1;  // meaningful only when error is 0
  int error = 0;   // errno, 0 on success
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

  // The folder of the single-instance lock file, with a trailing slash
  // ("/tmp/").
  virtual std::string LockDirectory() = 0;
  // Opens `path` read-write, creating it with mode 0644 (less the umask)
  // when missing, without truncating it and without following a symbolic
  // link at `path` (ELOOP): the descriptor, closed on exec, or errno.
  virtual SysResult OpenLockFile(const std::string& path) = 0;
  // flock(LOCK_EX | LOCK_NB): 0, or errno (EWOULDBLOCK when another open
  // file description holds the lock).
  virtual int LockExclusiveNoWait(int fd) = 0;
  // flock(LOCK_UN) and close; results not examined.
  virtual void UnlockAndClose(int fd) = 0;
  // close; result not examined.
  virtual void CloseLockFile(int fd) = 0;
};

}  // namespace platform
