#include "support/hostile_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace hostile {
namespace {

// pipe2(O_CLOEXEC) for macOS, which has no pipe2. Not atomic, which is
// harmless here: no other thread of a test forks between the calls.
bool PipeClosedOnExec(int fds[2]) {
  if (::pipe(fds) != 0) return false;
  return ::fcntl(fds[0], F_SETFD, FD_CLOEXEC) == 0 && ::fcntl(fds[1], F_SETFD, FD_CLOEXEC) == 0;
}

int StatusOf(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads both pipes to their end without letting either fill up.
void Drain(int out_fd, int err_fd, std::string* out, std::string* err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_count = (out_fd >= 0 ? 1 : 0) + (err_fd >= 0 ? 1 : 0);
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

// The child must never return into the test framework: an exception that
// escapes `body` ends it with status 101.
int Guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (...) {
    return 101;
  }
}

}  // namespace

int AsNobody(const std::function<int()>& check) {
  return AsUser(kNobody, check);
}

int AsUser(uid_t uid, const std::function<int()>& check) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::alarm(30);
    if (::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(100);
    ::_exit(Guarded(check));
  }
  return StatusOf(pid);
}

int InChild(const std::function<int()>& body, unsigned guard_seconds) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::alarm(guard_seconds);
    ::_exit(Guarded(body));
  }
  return StatusOf(pid);
}

ChildRun Run(const std::string& program, const std::vector<std::string>& args, Stdout out,
             const std::map<std::string, std::optional<std::string>>& env, const std::string& cwd) {
  ChildRun run;
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  if (!PipeClosedOnExec(out_pipe) || !PipeClosedOnExec(err_pipe)) return run;
  if (out == Stdout::kReaderGone) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  const pid_t pid = ::fork();
  if (pid < 0) return run;
  if (pid == 0) {
    // Ignored signals stay ignored across exec: the child must start with
    // SIGPIPE at its default, or a broken pipe could never end it.
    ::signal(SIGPIPE, SIG_DFL);
    ::alarm(60);
    for (const auto& [name, value] : env) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(120);
    if (out == Stdout::kClosed) {
      ::close(STDOUT_FILENO);
    } else if (::dup2(out_pipe[1], STDOUT_FILENO) < 0) {
      ::_exit(121);
    }
    if (::dup2(err_pipe[1], STDERR_FILENO) < 0) ::_exit(122);
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (out != Stdout::kCaptured && out_pipe[0] >= 0) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  Drain(out_pipe[0], err_pipe[0], &run.out, &run.err);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  return names;
}

TempFolder::TempFolder(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace hostile
