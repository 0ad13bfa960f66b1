// Helpers for the tests of hostile files and states: running a check as
// another user, running the scenario runner as a child process with its
// standard descriptors set up as a test needs them, and reading and writing
// whole files.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hostile {

// The account a forked child drops to (tests run as root, whom no file mode
// stops).
inline constexpr uid_t kNobody = 65534;

// The address space a reading child may use. Under AddressSanitizer the
// shadow memory alone is larger, so no limit is set there (the size check
// before reading is what such a test is about; the limit only makes a reader
// that ignores it fail fast instead of swapping).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLimitAddressSpace = false;
#else
inline constexpr bool kLimitAddressSpace = true;
#endif

// Runs `check` in a forked child that has dropped to nobody. The result is
// the child's exit status, that is the number of failed expectations that
// `check` returned (0 = all held); 100 when the drop failed, 101 when an
// exception escaped `check`, -1 when the child did not exit normally.
int AsNobody(const std::function<int()>& check);
// As AsNobody, for any account, known to the system or not.
int AsUser(uid_t uid, const std::function<int()>& check);

// Runs `body` in a forked child (same user) and returns its exit status, or
// -1 when it did not exit normally (101 when an exception escaped). A child still running after
// `guard_seconds` is killed by SIGALRM: a hang becomes a failure, not a
// stuck test.
int InChild(const std::function<int()>& body, unsigned guard_seconds = 30);

// How a child's standard output is set up.
enum class Stdout {
  kCaptured,    // a pipe read by the test
  kClosed,      // descriptor 1 closed before exec
  kReaderGone,  // a pipe whose read end was closed before exec
};

struct ChildRun {
  bool exited = false;  // ended by exit, not by a signal
  int status = -1;      // exit status when exited
  int signal = 0;       // the signal that ended it otherwise
  std::string out;      // standard output (kCaptured only)
  std::string err;      // standard error
};

// Runs `program` with `args` (argv[1]...), SIGPIPE at its default action,
// the environment changed by `env` (a value of nullopt unsets the
// variable), the working directory `cwd` when not empty. A run still going
// after 60 s is killed (a hang shows as SIGALRM).
ChildRun Run(const std::string& program, const std::vector<std::string>& args, Stdout out,
             const std::map<std::string, std::optional<std::string>>& env = {},
             const std::string& cwd = "");

// The whole content of a file; empty when it cannot be read.
std::string Slurp(const std::string& path);
// Writes `bytes` to `path`, replacing it; false on failure.
bool Spit(const std::string& path, const std::string& bytes);
// Names in a folder, "." and ".." left out; empty when unreadable.
std::vector<std::string> Entries(const std::string& dir);

// A folder of the test's own, /tmp/<prefix>-XXXXXX, removed with all in it
// when the object goes; path() is empty when it could not be made.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace hostile
