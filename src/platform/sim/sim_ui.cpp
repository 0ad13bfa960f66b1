#include "platform/sim/sim_ui.h"

#include <sys/stat.h>

#include <optional>
#include <utility>

#include "platform/posix/posix_files.h"
#include "platform/sim/sim_files.h"

namespace sim {
namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

class SimImage : public platform::Image {
 public:
  void SetSize(double width, double height) override {
    width_ = width;
    height_ = height;
  }
  std::pair<double, double> Size() const { return {width_, height_}; }

 private:
  double width_ = 0;
  double height_ = 0;
};

class SimMenu : public platform::Menu {
 public:
  struct Entry {
    std::string title;
    std::string key;
    std::function<void()> action;
  };
  explicit SimMenu(std::string title) : title_(std::move(title)) {}
  void AddItem(const std::string& title, const std::string& key_equivalent,
               std::function<void()> action) override {
    entries_.push_back({title, key_equivalent, std::move(action)});
  }
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::string title_;
  std::vector<Entry> entries_;
};

class SimStatusItem : public platform::StatusItem {
 public:
  SimStatusItem(std::weak_ptr<SimUiService> ui, std::shared_ptr<StatusItemState> state)
      : ui_(std::move(ui)), state_(std::move(state)) {}
  ~SimStatusItem() override { state_->alive = false; }
  bool HasButton() const override { return true; }
  void SetImage(std::shared_ptr<platform::Image> image) override {
    state_->image = std::move(image);
    if (auto ui = ui_.lock(); ui && state_->image) ui->Note("status-item icon");
  }
  void SetTitle(const std::string& title) override {
    state_->title = title;
    if (auto ui = ui_.lock()) ui->Note("status-item title " + title);
  }
  void SetToolTip(const std::string& tool_tip) override { state_->tool_tip = tool_tip; }
  void SetRightMouseUpAction(std::function<void()> action) override {
    state_->right_mouse_up = std::move(action);
  }
  bool PopUpContextMenu(platform::Menu& menu) override {
    auto ui = ui_.lock();
    return ui && ui->PopUp(menu);
  }

 private:
  std::weak_ptr<SimUiService> ui_;
  std::shared_ptr<StatusItemState> state_;
};

}  // namespace

std::unique_ptr<platform::StatusItem> SimUiService::CreateStatusItem() {
  auto state = std::make_shared<StatusItemState>();
  item_ = state;
  return std::make_unique<SimStatusItem>(weak_from_this(), state);
}

std::unique_ptr<platform::Menu> SimUiService::CreateMenu(const std::string& title) {
  return std::make_unique<SimMenu>(title);
}

std::shared_ptr<platform::Image> SimUiService::LoadImage(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  auto bytes = posix::ReadWholeFile(path);
  if (!bytes.ok() || bytes.value().size() < sizeof kPngSignature) return nullptr;
  if (bytes.value().compare(0, sizeof kPngSignature, reinterpret_cast<const char*>(kPngSignature),
                            sizeof kPngSignature) != 0) {
    return nullptr;
  }
  return std::make_shared<SimImage>();
}

std::optional<std::string> SimUiService::BundleResourcePath(const std::string& name,
                                                            const std::string& type) {
  return files_.BundleResource(name, type);
}

int SimUiService::RunModalAlert(const platform::AlertSpec& alert) {
  const bool choice = alert.buttons.size() > 1;
  recorder_.Note(choice ? std::string("choice") : "alert " + alert.informative_text);
  const size_t index = alerts_.size();
  alerts_.push_back({scheduler_.Now(), alert, 0});
  const int button = choice ? choice_ : 0;
  // Before the application's loop runs, the answer comes at once; inside it,
  // a modal loop runs for the alert's time (common-mode items only).
  if (scheduler_.Running()) {
    scheduler_.RunLoop(LoopKind::kModal, scheduler_.Now() + alert_ms_, nullptr,
                       /*stop_when_idle=*/false);
  }
  const int result = platform::kAlertFirstButtonReturn + button;
  alerts_[index].result = result;
  return result;
}

std::shared_ptr<StatusItemState> SimUiService::Item() const {
  auto item = item_.lock();
  return item && item->alive ? item : nullptr;
}

bool SimUiService::StatusItemExists() const {
  return Item() != nullptr;
}

bool SimUiService::StatusItemHasImage() const {
  auto item = Item();
  return item && item->image != nullptr;
}

std::string SimUiService::StatusItemTitle() const {
  auto item = Item();
  return item ? item->title : "";
}

std::string SimUiService::StatusItemToolTip() const {
  auto item = Item();
  return item ? item->tool_tip : "";
}

std::pair<double, double> SimUiService::StatusImageSize() const {
  auto item = Item();
  if (!item || !item->image) return {0, 0};
  auto* image = dynamic_cast<SimImage*>(item->image.get());
  return image ? image->Size() : std::pair<double, double>{0, 0};
}

void SimUiService::LeftClickStatusItem() {
  if (!Item()) return;
  // A press and a release of the left button in the login session: the
  // input tap sees both. The button sends its action on right-mouse-up only,
  // so the click itself sends nothing; a menu popped up meanwhile would still
  // show, the release being the event handled.
  choose_.clear();
  stay_ms_ = 0;
  in_click_ = true;
  if (input_) {
    input_->SetLiveButton(0, true);
    input_->Deliver(1, 0, 0);
    input_->SetLiveButton(0, false);
    input_->Deliver(2, 0, 0);
  }
  in_click_ = false;
}

void SimUiService::RightClickStatusItem(const std::string& choose, uint64_t stay_ms) {
  auto item = Item();
  if (!item || !item->right_mouse_up) return;
  // The action may end the run; keep what it needs alive meanwhile.
  auto action = item->right_mouse_up;
  choose_ = choose;
  stay_ms_ = stay_ms;
  in_click_ = true;
  action();
  in_click_ = false;
}

bool SimUiService::PopUp(platform::Menu& menu) {
  if (!in_click_) return false;
  auto* sim_menu = dynamic_cast<SimMenu*>(&menu);
  if (!sim_menu) return false;
  last_menu_entries_.clear();
  std::function<void()> chosen;
  for (const auto& entry : sim_menu->Entries()) {
    last_menu_entries_.emplace_back(entry.title, entry.key);
    if (!choose_.empty() && entry.title == choose_ && !chosen) chosen = entry.action;
  }
  // The tracking loop runs until the entry is chosen (at once) or the menu
  // is closed after its time; only common-mode items fire meanwhile.
  const uint64_t stay = chosen ? 0 : stay_ms_;
  const auto end = scheduler_.RunLoop(LoopKind::kTracking, scheduler_.Now() + stay, nullptr,
                                      /*stop_when_idle=*/false);
  if (chosen && end == Scheduler::LoopEnd::kDone) chosen();
  return true;
}

}  // namespace sim
