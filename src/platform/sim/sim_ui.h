// The simulated user interface: the status item with its context menu,
// images and modal alerts, recorded and answered by script.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_recorder.h"
#include "platform/sim/sim_scheduler.h"
#include "platform/sim/sim_world.h"
#include "platform/ui.h"

namespace sim {

class SimFilesService;

// What a status item handle shares with the service; it outlives the World
// when the tool keeps the item longer.
struct StatusItemState {
  bool alive = true;
  std::shared_ptr<platform::Image> image;
  std::string title;
  std::string tool_tip;
  std::function<void()> right_mouse_up;
};

class SimUiService : public platform::Ui,
                     public SimUi,
                     public std::enable_shared_from_this<SimUiService> {
 public:
  SimUiService(Scheduler& scheduler, Recorder& recorder, SimFilesService& files)
      : scheduler_(scheduler), recorder_(recorder), files_(files) {}

  // platform::Ui
  std::unique_ptr<platform::StatusItem> CreateStatusItem() override;
  std::unique_ptr<platform::Menu> CreateMenu(const std::string& title) override;
  std::shared_ptr<platform::Image> LoadImage(const std::string& path) override;
  std::optional<std::string> BundleResourcePath(const std::string& name,
                                                const std::string& type) override;
  void ActivateIgnoringOtherApps() override { ++activations_; }
  int RunModalAlert(const platform::AlertSpec& alert) override;

  // SimUi
  void SetChoice(int button_index) override { choice_ = button_index; }
  void SetAlertMs(uint64_t ms) override { alert_ms_ = ms; }
  const std::vector<Alert>& Alerts() const override { return alerts_; }
  bool StatusItemExists() const override;
  bool StatusItemHasImage() const override;
  std::string StatusItemTitle() const override;
  std::string StatusItemToolTip() const override;
  void LeftClickStatusItem() override;
  void RightClickStatusItem(const std::string& choose, uint64_t stay_ms = 0) override;
  std::vector<std::pair<std::string, std::string>> LastMenuEntries() const override {
    return last_menu_entries_;
  }
  std::pair<double, double> StatusImageSize() const override;
  int ActivationCount() const override { return activations_; }

  // The login session's input, which sees the clicks on the item.
  void SetSessionInput(SimInput* input) { input_ = input; }

  // For the status item handle.
  bool PopUp(platform::Menu& menu);
  void Note(std::string text) { recorder_.Note(std::move(text)); }

 private:
  std::shared_ptr<StatusItemState> Item() const;

  Scheduler& scheduler_;
  Recorder& recorder_;
  SimFilesService& files_;
  SimInput* input_ = nullptr;
  int choice_ = 1;
  uint64_t alert_ms_ = 0;
  int activations_ = 0;
  std::vector<Alert> alerts_;
  std::weak_ptr<StatusItemState> item_;
  bool in_click_ = false;  // a click on the item is the event being handled
  std::string choose_;
  uint64_t stay_ms_ = 0;
  std::vector<std::pair<std::string, std::string>> last_menu_entries_;
};

}  // namespace sim
