// A program under measurement: started with its standard output and error
// on a pipe, watched through /proc, stopped at the end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class Child {
 public:
  // Starts `argv` (argv[0] looked up in PATH). Null when the pipe or the
  // process cannot be made; `error` then says why.
  static std::unique_ptr<Child> Start(const std::vector<std::string>& argv, std::string* error);
  // Teardown order: the process is stopped and reaped before the pipe it
  // writes to is closed.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // When the process was started.
  std::chrono::steady_clock::time_point started() const { return started_; }

  // Reads the output until a line equal to `line` has appeared (true), the
  // output ends or `timeout` passes (false).
  bool WaitForLine(const std::string& line, std::chrono::milliseconds timeout);
  // Everything read so far.
  const std::string& output() const { return output_; }

  // CPU time of all the process's threads, in ns, from their schedstat;
  // none when the process is gone.
  std::optional<uint64_t> CpuNs() const;
  // A "Key:   123 kB" field of /proc/PID/status, in kB; none when missing.
  std::optional<long> StatusKb(const std::string& key) const;
  // A plain number field of /proc/PID/status.
  std::optional<long> StatusNumber(const std::string& key) const;

  // SIGTERM, then SIGKILL after a second; reaps the process.
  void Stop();

 private:
  Child(pid_t pid, int fd) : pid_(pid), fd_(fd), started_(std::chrono::steady_clock::now()) {}
  pid_t pid_;
  int fd_;
  bool reaped_ = false;
  std::chrono::steady_clock::time_point started_;
  std::string output_;
  size_t scanned_ = 0;  // output_ before this offset holds no wanted line
};

}  // namespace bench
