#include "probe_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace bench {

std::unique_ptr<Child> Child::Start(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty()) {
    *error = "no command given after --";
    return nullptr;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  return std::unique_ptr<Child>(new Child(pid, fds[0]));
}

Child::~Child() {
  Stop();
  ::close(fd_);
}

bool Child::WaitForLine(const std::string& line, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string wanted = line + "\n";
  for (;;) {
    const size_t at = output_.find(wanted, scanned_ == 0 ? 0 : scanned_ - 1);
    if (at != std::string::npos && (at == 0 || output_[at - 1] == '\n')) {
      scanned_ = at + wanted.size();
      return true;
    }
    scanned_ = output_.size();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the output ended
    output_.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<uint64_t> Child::CpuNs() const {
  const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return std::nullopt;
  uint64_t total = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    uint64_t run_ns = 0;
    if (stat >> run_ns) total += run_ns;
  }
  ::closedir(dir);
  return total;
}

std::optional<long> Child::StatusNumber(const std::string& key) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) != 0) continue;
    std::istringstream fields(line.substr(key.size() + 1));
    long value = 0;
    if (fields >> value) return value;
  }
  return std::nullopt;
}

std::optional<long> Child::StatusKb(const std::string& key) const {
  return StatusNumber(key);  // the unit ("kB") follows the number
}

void Child::Stop() {
  if (reaped_) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  reaped_ = true;
}

}  // namespace bench
