#include "platform/posix/program_start.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace posix {
namespace {

// What a path is to an exec: the phrase LocateProgram gives, or none.
std::optional<std::string> Unrunnable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return std::string(errno == EACCES ? "permission denied" : "no such file");
  if (!S_ISREG(st.st_mode)) return std::string("not a file");
  if (::access(path.c_str(), X_OK) != 0) return std::string("permission denied");
  return std::nullopt;
}

// The spawn's attributes and file actions, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attr_ok_) posix_spawnattr_destroy(&attr_);
    if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // A process group of its own (its TERM and KILL reach whatever it
  // starts), every signal at its default and none blocked (the tool's own
  // choices, such as ignoring SIGPIPE, would otherwise be inherited), input
  // from /dev/null, output and errors into `pipe_write`.
  bool Prepare(int pipe_write) {
    if (!attr_ok_ || !actions_ok_) return false;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#if defined(__APPLE__)
    // Only the descriptors the actions name are passed on.
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    if (posix_spawnattr_setflags(&attr_, flags) != 0 || posix_spawnattr_setpgroup(&attr_, 0) != 0 ||
        posix_spawnattr_setsigmask(&attr_, &none) != 0 ||
        posix_spawnattr_setsigdefault(&attr_, &all) != 0) {
      return false;
    }
    if (posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_adddup2(&actions_, pipe_write, 1) != 0 ||
        posix_spawn_file_actions_adddup2(&actions_, pipe_write, 2) != 0) {
      return false;
    }
#if defined(__GLIBC__)
    // Every other descriptor is closed in the child, close-on-exec or not:
    // a hook must never hold the tool's lock or devices.
    if (posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0) return false;
#endif
    return true;
  }
  const posix_spawnattr_t* attr() const {
    return &attr_;
  }
  const posix_spawn_file_actions_t* actions() const {
    return &actions_;
  }

 private:
  posix_spawnattr_t attr_{};
  posix_spawn_file_actions_t actions_{};
  bool attr_ok_ = false;
  bool actions_ok_ = false;
};

// Built by appending: g++ 12 misreads "literal" + std::string as an
// overlapping copy (-Wrestrict).
std::string NoPipe() {
  std::string text = "no pipe: ";
  return text.append(std::strerror(errno));
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

platform::Result<std::string> LocateProgram(const std::string& program) {
  using Located = platform::Result<std::string>;
  if (program.empty()) return Located::Fail("no such file");
  if (program.find('/') != std::string::npos) {
    if (auto why = Unrunnable(program)) return Located::Fail(*why);
    return Located::Of(program);
  }
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::optional<std::string> first_refusal;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry is the working directory.
    std::string candidate(dirs, start, end - start);
    if (candidate.empty()) candidate.push_back('.');
    candidate.append(1, '/').append(program);
    std::optional<std::string> why = Unrunnable(candidate);
    if (!why) return Located::Of(candidate);
    // One that is there but cannot be run is the likelier mistake.
    if (*why != "no such file" && !first_refusal) first_refusal = *why;
    start = end + 1;
  }
  return Located::Fail(first_refusal.value_or("no such program on PATH"));
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra,
                                         const std::vector<std::string>& unset) {
  std::vector<std::string> environment;
  auto named = [](const char* entry, const std::string& name) {
    return std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=';
  };
  auto replaced = [&](const char* entry) {
    for (const std::string& added : extra) {
      if (named(entry, added.substr(0, added.find('=')))) return true;
    }
    for (const std::string& name : unset) {
      if (named(entry, name)) return true;
    }
    return false;
  };
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (!replaced(*entry)) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

platform::Result<StartedProgram> StartProgram(const std::vector<std::string>& argv,
                                              const std::vector<std::string>& environment) {
  using Started = platform::Result<StartedProgram>;
  if (argv.empty()) return Started::Fail("no program given");
  platform::Result<std::string> path = LocateProgram(argv[0]);
  if (!path.ok()) return Started::Fail(path.description());

  int ends[2];
  if (::pipe(ends) != 0) return Started::Fail(NoPipe());
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  // The tool's end never reaches the child; the child's end is dup'ed onto
  // its standard output and error, which clears close-on-exec there.
  if (::fcntl(read_end.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      ::fcntl(write_end.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      ::fcntl(read_end.get(), F_SETFL, O_NONBLOCK) != 0) {
    return Started::Fail(NoPipe());
  }
  SpawnSetup setup;
  if (!setup.Prepare(write_end.get()))
    return Started::Fail("the system refused the start's set-up");

  std::vector<std::string> args = argv;
  std::vector<std::string> env = environment;
  std::vector<char*> arg_pointers = Pointers(args);
  std::vector<char*> env_pointers = Pointers(env);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, path.value().c_str(), setup.actions(), setup.attr(),
                             arg_pointers.data(), env_pointers.data());
  if (rc != 0) return Started::Fail(rc == EACCES ? "permission denied" : std::strerror(rc));
  StartedProgram started;
  started.pid = pid;
  started.output = std::move(read_end);
  return Started::Of(std::move(started));
}

bool ReadLines(int fd, std::string& pending, const std::function<void(const std::string&)>& line) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const bool closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      if (closed && !pending.empty()) line(std::exchange(pending, std::string()));
      return closed;
    }
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n') {
        if (!pending.empty() && pending.back() == '\r') pending.pop_back();
        line(std::exchange(pending, std::string()));
      } else {
        pending.push_back(c);
        if (pending.size() >= kMaxOutputLine) line(std::exchange(pending, std::string()));
      }
    }
  }
}

namespace {

// Closes every descriptor but `keep`, from a forked child: only calls that
// are safe there. `limit` bounds the loop where close_range is missing.
void CloseAllBut(int keep, int limit) {
#if defined(__linux__) && defined(SYS_close_range)
  const bool below = keep == 0 || ::syscall(SYS_close_range, 0u, keep - 1u, 0u) == 0;
  if (below && ::syscall(SYS_close_range, keep + 1u, ~0u, 0u) == 0) return;
#endif
  for (int fd = 0; fd < limit; ++fd) {
    if (fd != keep) (void)::close(fd);
  }
}

}  // namespace

void DrainInBackground(UniqueFd output) {
  if (!output.valid()) return;
  const int fd = output.get();
  // Worked out before the fork: the children call only what is safe after
  // a fork in a process with threads.
  const long open_max = ::sysconf(_SC_OPEN_MAX);
  const int limit = open_max > 0 && open_max < 65536 ? static_cast<int>(open_max) : 65536;
  sigset_t none;
  sigemptyset(&none);
  const pid_t child = ::fork();
  if (child < 0) return;  // the program's next line may end it: as without this
  if (child == 0) {
    // The drainer is a grandchild, which the system reaps: the child ends
    // at once and is reaped below.
    if (::fork() != 0) ::_exit(0);
    CloseAllBut(fd, limit);
    // The tool's signal mask (it reads TERM through a descriptor) is not
    // the drainer's: TERM and the like end it.
    (void)::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
    }
    ::_exit(0);
  }
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace posix
