#include "platform/sim/sim_world.h"

#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_app.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_input.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_ui.h"
#include "platform/sim/sim_usb.h"
#include "platform/toml/toml_settings.h"

namespace sim {

std::string SettingsFilePath(const std::string& home) {
  return home + "/.config/" + toml_settings::kSettingsFileInConfigDir;
}

namespace {

// The settings file, with a watch that hears of every change made through
// the world.
class SimSettingsFile : public toml_settings::TomlSettingsFile {
 public:
  using TomlSettingsFile::TomlSettingsFile;
  std::unique_ptr<platform::SettingsWatch> Watch(const std::vector<std::string>& /*keys*/,
                                                 std::function<void()> changed,
                                                 std::string* /*failure*/) override {
    class Registration : public platform::SettingsWatch {
     public:
      explicit Registration(SimSettingsFile& file) : file_(file) {}
      ~Registration() override { file_.changed_ = nullptr; }

     private:
      SimSettingsFile& file_;
    };
    changed_ = std::move(changed);
    return std::make_unique<Registration>(*this);
  }
  void Changed() {
    if (!changed_) return;
    auto changed = changed_;  // may end the watch
    changed();
  }

 private:
  std::function<void()> changed_;
};

class WorldImpl : public World {
 public:
  explicit WorldImpl(const Config& config)
      : scheduler_(std::make_shared<Scheduler>()),
        recorder_(*scheduler_),
        clock_(*scheduler_, config.start_local),
        files_(config.home, recorder_),
        settings_(SettingsFilePath(files_.Home())),
        app_(*scheduler_, recorder_),
        processes_(*scheduler_, recorder_),
        usb_(std::make_shared<SimUsb>(recorder_, *scheduler_)),
        input_(std::make_shared<SimInputService>(*scheduler_)),
        ui_(std::make_shared<SimUiService>(*scheduler_, recorder_, files_)) {
    ui_->SetSessionInput(input_.get());
  }

  ~WorldImpl() override {
    // Services installed from this world must not be reached once it is gone.
    if (platform::Sys().clock == &clock_) platform::InstallServices({});
  }

  bool Ok() const { return files_.Ok(); }

  void Install() override { platform::InstallServices(Services()); }
  platform::Services Services() override {
    platform::Services s;
    s.clock = &clock_;
    s.run_loop = scheduler_.get();
    s.input = input_.get();
    s.usb = usb_.get();
    s.ui = ui_.get();
    s.files = &files_;
    s.app = &app_;
    s.settings = &settings_;
    s.processes = &processes_;
    return s;
  }

  uint64_t NowMs() const override { return scheduler_->Now(); }
  void At(uint64_t t_ms, std::function<void()> action) override {
    scheduler_->At(t_ms, std::move(action));
  }
  void RunUntil(uint64_t t_ms) override {
    scheduler_->RunLoop(LoopKind::kDefault, t_ms, nullptr, /*stop_when_idle=*/false);
  }
  void KillAt(uint64_t t_ms) override { scheduler_->KillAt(t_ms); }
  void HoldMainThread(uint64_t ms) override { scheduler_->Block(ms); }
  void SetTimerCreationFails(bool on) override { scheduler_->SetTimerCreationFails(on); }
  size_t ValidTimerCount() const override { return scheduler_->ValidTimerCount(); }

  SimHub& Hub() override { return *usb_; }
  SimHub& SecondHub() override { return usb_->Second(); }
  SimInput& InputControl() override { return *input_; }
  SimUi& UiControl() override { return *ui_; }
  SimFiles& FilesControl() override { return files_; }
  void AddProgram(const SimProgram& program) override { processes_.AddProgram(program); }
  bool ChangeSettingsFile(const std::optional<std::string>& text) override {
    const std::string path = settings_.Location();
    bool changed = false;
    if (text) {
      // Not through the agent file's write, which a scenario may make fail.
      changed = files_.CreateDirectories(path.substr(0, path.find_last_of('/'))).ok() &&
                files_.PosixFiles::WriteFileAtomically(path, *text).ok();
      recorder_.Note(changed ? "settings written" : "settings cannot be written");
    } else {
      changed = ::unlink(path.c_str()) == 0;
      recorder_.Note(changed ? "settings removed" : "settings cannot be removed");
    }
    if (changed) settings_.Changed();
    return changed;
  }

  const std::vector<Observation>& Observations() const override { return recorder_.All(); }
  void OnObservation(std::function<void(const Observation&)> sink) override {
    recorder_.SetSink(std::move(sink));
  }
  Ending HowEnded() const override { return app_.HowEnded(); }

 private:
  // Declaration order is construction order; teardown runs in reverse, so
  // the services go before the scheduler and recorder they point to.
  std::shared_ptr<Scheduler> scheduler_;
  Recorder recorder_;
  SimClock clock_;
  SimFilesService files_;
  SimSettingsFile settings_;
  SimApp app_;
  SimProcesses processes_;
  std::shared_ptr<SimUsb> usb_;
  std::shared_ptr<SimInputService> input_;
  std::shared_ptr<SimUiService> ui_;
};

}  // namespace

std::unique_ptr<World> World::Create(const Config& config) {
  auto world = std::make_unique<WorldImpl>(config);
  if (!world->Ok()) return nullptr;
  return world;
}

}  // namespace sim
