#include "platform/macos/mac_processes.h"

#include <dispatch/dispatch.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "platform/posix/program_start.h"
#include "platform/posix/unique_fd.h"

namespace platform::macos {
namespace {

// One started program. Its end is told once the process source fired and
// the pipe was read to what is there; a program it left running may keep
// the pipe open, which is not waited for (its output is drained by a
// process of its own). Both sources are cancelled, and the pipe closed or
// handed over only from the read source's cancel handler, when the object
// goes.
class MacProcess final : public Process {
 public:
  MacProcess(posix::StartedProgram started, ProcessCallbacks callbacks)
      : pid_(started.pid), output_(std::move(started.output)), callbacks_(std::move(callbacks)) {}

  // False when either source could not be made.
  bool Watch() {
    dispatch_queue_t main = dispatch_get_main_queue();
    exit_source_ = dispatch_source_create(DISPATCH_SOURCE_TYPE_PROC, static_cast<uintptr_t>(pid_),
                                          DISPATCH_PROC_EXIT, main);
    read_source_ = dispatch_source_create(DISPATCH_SOURCE_TYPE_READ,
                                          static_cast<uintptr_t>(output_.get()), 0, main);
    if (exit_source_ == nullptr || read_source_ == nullptr) {
      // A source is released only once resumed: cancelled first, it never
      // calls.
      for (dispatch_source_t source : {exit_source_, read_source_}) {
        if (source == nullptr) continue;
        dispatch_source_cancel(source);
        dispatch_resume(source);
      }
      exit_source_ = nullptr;
      read_source_ = nullptr;
      return false;
    }
    // The handlers hold the object by a shared flag: they run on the main
    // queue, as the destructor does, so once it is cleared none touches it.
    std::shared_ptr<bool> alive = alive_;
    MacProcess* self = this;
    dispatch_source_set_event_handler(read_source_, ^{
      if (*alive) self->OnOutput();
    });
    dispatch_source_set_event_handler(exit_source_, ^{
      if (*alive) self->OnExit();
    });
    // The descriptor is closed only after the source has let go of it. A
    // pipe let go before its end (the program, or one it started, still
    // writes) is read on elsewhere, so that its next line does not end it.
    const int fd = output_.Release();
    std::shared_ptr<bool> drain = drain_;
    dispatch_source_set_cancel_handler(read_source_, ^{
      if (*drain) {
        posix::DrainInBackground(posix::UniqueFd(fd));
      } else {
        ::close(fd);
      }
    });
    fd_ = fd;
    dispatch_resume(read_source_);
    dispatch_resume(exit_source_);
    // A program that ended before its source was made may never fire it:
    // one look from the loop's next turn.
    dispatch_async(main, ^{
      if (*alive && !self->ended_) self->OnExit();
    });
    return true;
  }

  ~MacProcess() override {
    *alive_ = false;
    Cancel();
    // Not reaped while it runs: the system reaps it once the tool has ended.
  }
  MacProcess(const MacProcess&) = delete;
  MacProcess& operator=(const MacProcess&) = delete;

  void Signal(ProcessSignal signal) override {
    if (ended_) return;
    const int number = signal == ProcessSignal::kKill ? SIGKILL : SIGTERM;
    // Its whole process group: a shell's children too.
    if (::kill(-pid_, number) != 0) (void)::kill(pid_, number);
  }

 private:
  void Cancel() {
    // ARC owns dispatch objects in Objective-C++: dropping the reference
    // after the cancel releases each.
    if (read_source_ != nullptr) {
      *drain_ = true;  // not at the pipe's end: see the cancel handler
      dispatch_source_cancel(read_source_);
    }
    if (exit_source_ != nullptr) dispatch_source_cancel(exit_source_);
    read_source_ = nullptr;
    exit_source_ = nullptr;
  }

  void PassLines() {
    if (fd_ < 0) return;
    const bool closed = posix::ReadLines(fd_, pending_, [this](const std::string& line) {
      if (callbacks_.line) callbacks_.line(line);
    });
    if (closed && read_source_ != nullptr) {
      dispatch_source_cancel(read_source_);
      read_source_ = nullptr;
      fd_ = -1;
    }
  }

  void OnOutput() { PassLines(); }

  void OnExit() {
    int status = 0;
    pid_t reaped;
    do {
      reaped = ::waitpid(pid_, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return;  // not ended yet
    ended_ = true;
    PassLines();
    if (!pending_.empty() && callbacks_.line) callbacks_.line(std::exchange(pending_, ""));
    ProcessEnd end;
    if (reaped < 0) {
      end.code = -1;  // reaped elsewhere: ended, how is not known
    } else if (WIFSIGNALED(status)) {
      end.signalled = true;
      end.code = WTERMSIG(status);
    } else {
      end.code = WEXITSTATUS(status);
    }
    Cancel();
    // Last: the callback may destroy this object.
    if (auto ended = std::move(callbacks_.ended)) {
      callbacks_ = {};
      ended(end);
    }
  }

  pid_t pid_;
  posix::UniqueFd output_;  // until the read source takes the descriptor
  int fd_ = -1;             // the descriptor the read source watches
  ProcessCallbacks callbacks_;
  dispatch_source_t exit_source_ = nullptr;
  dispatch_source_t read_source_ = nullptr;
  std::string pending_;
  bool ended_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::shared_ptr<bool> drain_ = std::make_shared<bool>(false);
};

}  // namespace

Result<std::unique_ptr<Process>> MacProcesses::Start(const std::vector<std::string>& argv,
                                                     const std::vector<std::string>& environment,
                                                     ProcessCallbacks callbacks) {
  using Started = Result<std::unique_ptr<Process>>;
  Result<posix::StartedProgram> started =
      posix::StartProgram(argv, posix::EnvironmentWith(environment));
  if (!started.ok()) return Started::Fail(started.description());
  const pid_t pid = started.value().pid;
  auto process = std::make_unique<MacProcess>(std::move(started.value()), std::move(callbacks));
  if (!process->Watch()) {
    ::kill(-pid, SIGKILL);
    (void)::waitpid(pid, nullptr, 0);
    return Started::Fail("cannot watch it (no dispatch source)");
  }
  return Started::Of(std::move(process));
}

Result<std::string> MacProcesses::Locate(const std::string& program) {
  return posix::LocateProgram(program);
}

}  // namespace platform::macos
