#include "vm_world.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "uinput_device.h"

namespace vm {

namespace {

void AddTaskCounts(const std::string& dir, WakeCounts* counts) {
  std::ifstream status(dir + "/status");
  std::string line;
  while (std::getline(status, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon);
    const uint64_t value = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
    if (key == "voluntary_ctxt_switches") counts->voluntary += value;
    if (key == "nonvoluntary_ctxt_switches") counts->involuntary += value;
  }
  std::ifstream schedstat(dir + "/schedstat");
  uint64_t run_ns = 0, wait_ns = 0, slices = 0;
  if (schedstat >> run_ns >> wait_ns >> slices) {
    counts->run_ns += run_ns;
    counts->slices += slices;
  }
}

}  // namespace

WakeCounts ReadWakeCounts(pid_t pid) {
  // Every thread of the process: the kernel counts them one by one.
  WakeCounts counts;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* d = ::opendir(tasks.c_str())) {
    while (dirent* entry = ::readdir(d)) {
      if (entry->d_name[0] != '.') AddTaskCounts(tasks + "/" + entry->d_name, &counts);
    }
    ::closedir(d);
  }
  return counts;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::fprintf(stderr, "exec %s: %s\n", args[0], std::strerror(errno));
    ::_exit(127);
  }
  ::close(fds[1]);
  out_ = fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
}

bool ChildProcess::ReadSome(int timeout_ms) {
  if (out_ < 0) return false;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return false;
  char buffer[4096];
  const ssize_t n = ::read(out_, buffer, sizeof(buffer));
  if (n <= 0) {
    ::close(out_);
    out_ = -1;
    return false;
  }
  partial_.append(buffer, static_cast<size_t>(n));
  size_t newline;
  while ((newline = partial_.find('\n')) != std::string::npos) {
    lines_.push_back(partial_.substr(0, newline));
    std::printf("  tool| %s\n", lines_.back().c_str());
    partial_.erase(0, newline + 1);
  }
  std::fflush(stdout);
  return true;
}

void ChildProcess::Drain() {
  while (ReadSome(0)) {
  }
}

bool ChildProcess::WaitForLine(const std::string& text, int timeout_ms) {
  const uint64_t deadline = MonotonicNs() + static_cast<uint64_t>(timeout_ms) * 1000000u;
  for (;;) {
    for (; cursor_ < lines_.size(); ++cursor_) {
      if (lines_[cursor_].find(text) != std::string::npos) {
        ++cursor_;
        return true;
      }
    }
    const uint64_t now = MonotonicNs();
    if (now >= deadline) return false;
    if (!ReadSome(static_cast<int>((deadline - now) / 1000000u) + 1) && out_ < 0) return false;
  }
}

size_t ChildProcess::CountSince(size_t from, const std::string& text) const {
  size_t n = 0;
  for (size_t i = from; i < lines_.size(); ++i) {
    if (lines_[i].find(text) != std::string::npos) ++n;
  }
  return n;
}

int ChildProcess::WaitExit(int timeout_ms) {
  for (int waited = 0; !exited_; waited += 10) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (waited >= timeout_ms) return -1;
    Drain();
    SleepMs(10);
  }
  Drain();
  return status_;
}

bool ChildProcess::Holds(const std::string& node) const {
  const std::string dir = "/proc/" + std::to_string(pid_) + "/fd";
  bool found = false;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* entry = ::readdir(d)) {
      char target[256] = {};
      const std::string link = dir + "/" + entry->d_name;
      if (::readlink(link.c_str(), target, sizeof(target) - 1) > 0 && node == target) found = true;
    }
    ::closedir(d);
  }
  return found;
}

bool ChildProcess::WaitForNode(const std::string& node, bool open, int timeout_ms) const {
  for (int waited = 0; waited <= timeout_ms; waited += 20) {
    if (Holds(node) == open) return true;
    SleepMs(20);
  }
  return false;
}

HubLog::HubLog(std::string path) : path_(std::move(path)) {
  watch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch_ >= 0 && ::inotify_add_watch(watch_, path_.c_str(), IN_MODIFY) < 0) {
    ::close(watch_);
    watch_ = -1;
  }
}

HubLog::~HubLog() {
  if (watch_ >= 0) ::close(watch_);
}

std::vector<HubRequest> HubLog::ReadNew() {
  std::vector<HubRequest> out;
  FILE* f = std::fopen(path_.c_str(), "r");
  if (f == nullptr) return out;
  std::fseek(f, offset_, SEEK_SET);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
    partial_.append(buffer, n);
    offset_ += static_cast<long>(n);
  }
  std::fclose(f);
  size_t newline;
  while ((newline = partial_.find('\n')) != std::string::npos) {
    std::istringstream line(partial_.substr(0, newline));
    partial_.erase(0, newline + 1);
    HubRequest r;
    std::string value;
    line >> r.at_ns >> r.kind >> r.reg >> value;
    if (!value.empty()) r.value = static_cast<int>(std::strtol(value.c_str(), nullptr, 16));
    if (echo_) std::printf("  hub | %s %s %s\n", r.kind.c_str(), r.reg.c_str(), value.c_str());
    out.push_back(r);
  }
  return out;
}

bool HubLog::WaitFor(const std::string& kind, int timeout_ms, std::vector<HubRequest>* seen) {
  const uint64_t deadline = MonotonicNs() + static_cast<uint64_t>(timeout_ms) * 1000000u;
  for (;;) {
    for (const HubRequest& r : ReadNew()) {
      seen->push_back(r);
      if (r.kind == kind) return true;
    }
    const uint64_t now = MonotonicNs();
    if (now >= deadline) return false;
    const int left_ms = static_cast<int>((deadline - now + 999999u) / 1000000u);
    if (watch_ < 0) {
      SleepMs(std::min(left_ms, 2));
      continue;
    }
    // Woken by the hub's next write to the log; the events themselves say
    // nothing more than that, so they are drained and the file read again.
    pollfd p{watch_, POLLIN, 0};
    if (::poll(&p, 1, left_ms) > 0) {
      char events[4096];
      while (::read(watch_, events, sizeof events) > 0) {
      }
    }
  }
}

bool WriteFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

bool CreateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  return fd >= 0 && ::close(fd) == 0;
}

bool Gadget::Unbind() const {
  return WriteFile(udc_file, "\n");
}

bool Gadget::Bind() const {
  return WriteFile(udc_file, udc_name + "\n");
}

std::string HubAddress() {
  const std::string root = "/sys/bus/usb/devices/";
  DIR* d = ::opendir(root.c_str());
  if (d == nullptr) return "";
  std::string address;
  while (dirent* entry = ::readdir(d)) {
    const std::string dev = root + entry->d_name;
    std::ifstream vendor(dev + "/idVendor");
    std::ifstream product(dev + "/idProduct");
    std::string v, p, bus, num;
    if (!(vendor >> v) || !(product >> p) || v != "2109" || p != "8822") continue;
    std::ifstream(dev + "/busnum") >> bus;
    std::ifstream(dev + "/devnum") >> num;
    address = bus + ":" + num;
    break;
  }
  ::closedir(d);
  return address;
}

}  // namespace vm
