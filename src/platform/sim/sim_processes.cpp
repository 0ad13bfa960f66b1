#include "platform/sim/sim_processes.h"

#include <utility>

namespace sim {
namespace {

constexpr int kSigKill = 9;
constexpr int kSigTerm = 15;

// One run of a program, shared by its handle and the happenings scheduled
// for it; the handle going only stops the calls.
struct Run {
  std::string name;
  bool ignores_term = false;
  bool ended = false;
  platform::ProcessCallbacks callbacks;
  Recorder* recorder = nullptr;
  Scheduler* scheduler = nullptr;

  void End(platform::ProcessEnd end) {
    if (ended) return;
    ended = true;
    recorder->Note("process end " + name + (end.signalled ? " signal " : " status ") +
                   std::to_string(end.code));
    if (auto ended_call = std::move(callbacks.ended)) {
      callbacks = {};
      ended_call(end);
    }
  }
};

class SimProcess : public platform::Process {
 public:
  explicit SimProcess(std::shared_ptr<Run> run) : run_(std::move(run)) {}
  ~SimProcess() override { run_->callbacks = {}; }
  void Signal(platform::ProcessSignal signal) override {
    if (run_->ended) return;
    const bool kill = signal == platform::ProcessSignal::kKill;
    run_->recorder->Note(std::string("process signal ") + (kill ? "KILL " : "TERM ") + run_->name);
    if (!kill && run_->ignores_term) return;
    // It ends as the signal arrives, seen by the loop's next turn.
    std::weak_ptr<Run> weak = run_;
    run_->scheduler->At(run_->scheduler->Now(), [weak, kill] {
      if (auto run = weak.lock()) run->End({true, kill ? kSigKill : kSigTerm});
    });
  }

 private:
  std::shared_ptr<Run> run_;
};

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += " " + word;
  return text;
}

}  // namespace

platform::Result<std::unique_ptr<platform::Process>> SimProcesses::Start(
    const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    platform::ProcessCallbacks callbacks) {
  using Started = platform::Result<std::unique_ptr<platform::Process>>;
  if (argv.empty()) return Started::Fail("no program given");
  platform::Result<std::string> where = Locate(argv[0]);
  if (!where.ok()) {
    recorder_.Note("process cannot start " + argv[0]);
    return Started::Fail(where.description());
  }
  const SimProgram& program = programs_.at(argv[0]);
  recorder_.Note("process start" + Joined(argv));
  recorder_.Note("process env" + Joined(environment));
  auto run = std::make_shared<Run>();
  run->name = argv[0];
  run->ignores_term = program.ignores_term;
  run->callbacks = std::move(callbacks);
  run->recorder = &recorder_;
  run->scheduler = &scheduler_;
  std::weak_ptr<Run> weak = run;
  const std::vector<std::string> says = program.says;
  scheduler_.At(scheduler_.Now(), [weak, says] {
    for (const std::string& line : says) {
      auto run = weak.lock();
      if (!run || run->ended || !run->callbacks.line) return;
      run->callbacks.line(line);
    }
  });
  const int status = program.exit_status;
  scheduler_.At(scheduler_.Now() + program.runs_ms, [weak, status] {
    if (auto run = weak.lock()) run->End({false, status});
  });
  return Started::Of(std::make_unique<SimProcess>(std::move(run)));
}

platform::Result<std::string> SimProcesses::Locate(const std::string& program) {
  auto it = programs_.find(program);
  if (it == programs_.end()) {
    return platform::Result<std::string>::Fail(
        program.find('/') == std::string::npos ? "no such program on PATH" : "no such file");
  }
  if (!it->second.executable) return platform::Result<std::string>::Fail("permission denied");
  return platform::Result<std::string>::Of(
      program.find('/') == std::string::npos ? "/usr/bin/" + program : program);
}

}  // namespace sim
