#include "platform/linux/loop/linux_processes.h"

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/posix/program_start.h"
#include "platform/posix/unique_fd.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace linux_platform {
namespace {

// A pidfd for `pid`: readable once the process has ended.
posix::UniqueFd OpenPidFd(pid_t pid) {
  return posix::UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

// One started program. Its end is told once both the pidfd said so and the
// output was read to what is there (a program it left running may hold the
// pipe open: that is not waited for).
class LinuxProcess : public platform::Process {
 public:
  LinuxProcess(FdWatcher* watcher, posix::StartedProgram started, posix::UniqueFd pidfd,
               platform::ProcessCallbacks callbacks)
      : pid_(started.pid),
        output_(std::move(started.output)),
        pidfd_(std::move(pidfd)),
        callbacks_(std::move(callbacks)) {
    output_watch_ = watcher->WatchReadable(output_.get(), [this] { OnOutput(); });
    exit_watch_ = watcher->WatchReadable(pidfd_.get(), [this] { OnExit(); });
  }
  ~LinuxProcess() override {
    // Off the loop first, then the descriptors go. A program still running
    // is not reaped here; the system reaps it when the tool has ended. Its
    // output is read on elsewhere, so that its next line does not end it.
    output_watch_.reset();
    exit_watch_.reset();
    if (!ended_) posix::DrainInBackground(std::move(output_));
  }
  LinuxProcess(const LinuxProcess&) = delete;
  LinuxProcess& operator=(const LinuxProcess&) = delete;

  void Signal(platform::ProcessSignal signal) override {
    if (ended_) return;
    const int number = signal == platform::ProcessSignal::kKill ? SIGKILL : SIGTERM;
    // The whole group: a shell's children too. Not yet reaped, so the pid
    // (and group) are still this program's.
    if (::kill(-pid_, number) != 0) (void)::kill(pid_, number);
  }

 private:
  void OnOutput() {
    if (!output_.valid()) return;
    const bool closed = posix::ReadLines(output_.get(), pending_, [this](const std::string& line) {
      if (callbacks_.line) callbacks_.line(line);
    });
    if (closed) {
      output_watch_.reset();
      output_.Reset();
    }
  }

  void OnExit() {
    siginfo_t info{};
    const int rc = ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.get()), &info,
                            WEXITED | WNOHANG);
    if (rc != 0 && errno == EINTR) return;    // the descriptor stays readable: next pass
    if (rc == 0 && info.si_pid == 0) return;  // not ended yet
    // rc != 0: reaped by someone else; it has ended all the same, how is
    // not known (told as status -1).
    if (rc != 0) {
      info.si_code = CLD_EXITED;
      info.si_status = -1;
    }
    ended_ = true;
    exit_watch_.reset();
    // What it wrote before it ended is in the pipe now. A program it left
    // running that still holds the pipe writes on unread, but unharmed.
    if (output_.valid()) {
      const bool closed =
          posix::ReadLines(output_.get(), pending_, [this](const std::string& line) {
            if (callbacks_.line) callbacks_.line(line);
          });
      if (!pending_.empty() && callbacks_.line) callbacks_.line(std::exchange(pending_, ""));
      output_watch_.reset();
      if (closed) {
        output_.Reset();
      } else {
        posix::DrainInBackground(std::move(output_));
      }
    }
    platform::ProcessEnd end;
    end.signalled = info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
    end.code = info.si_status;
    // Last: the callback may destroy this object.
    if (auto ended = std::move(callbacks_.ended)) {
      callbacks_ = {};
      ended(end);
    }
  }

  pid_t pid_;
  posix::UniqueFd output_;
  posix::UniqueFd pidfd_;
  platform::ProcessCallbacks callbacks_;
  std::unique_ptr<FdWatch> output_watch_;
  std::unique_ptr<FdWatch> exit_watch_;
  std::string pending_;
  bool ended_ = false;
};

}  // namespace

platform::Result<std::unique_ptr<platform::Process>> LinuxProcesses::Start(
    const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    platform::ProcessCallbacks callbacks) {
  using Started = platform::Result<std::unique_ptr<platform::Process>>;
  if (watcher_ == nullptr) return Started::Fail("no loop to watch it");
  std::vector<std::string> unset;
  std::vector<std::string> added;
  for (const auto& [name, value] : kept_) {
    unset.push_back(name);
    if (value) added.push_back(name + "=" + *value);
  }
  added.insert(added.end(), environment.begin(), environment.end());
  platform::Result<posix::StartedProgram> started =
      posix::StartProgram(argv, posix::EnvironmentWith(added, unset));
  if (!started.ok()) return Started::Fail(started.description());
  const pid_t pid = started.value().pid;
  // A program that ended already is a zombie until reaped: its pidfd opens.
  posix::UniqueFd pidfd = OpenPidFd(pid);
  if (!pidfd.valid()) {
    const std::string why = std::strerror(errno);
    ::kill(-pid, SIGKILL);
    (void)::waitpid(pid, nullptr, 0);
    return Started::Fail("cannot watch it (pidfd_open: " + why + ")");
  }
  return Started::Of(std::make_unique<LinuxProcess>(watcher_, std::move(started.value()),
                                                    std::move(pidfd), std::move(callbacks)));
}

platform::Result<std::string> LinuxProcesses::Locate(const std::string& program) {
  return posix::LocateProgram(program);
}

}  // namespace linux_platform
