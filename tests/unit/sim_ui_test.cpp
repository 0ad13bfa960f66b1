// The simulated user interface: the status item as recorded, images, the
// context menu's tracking loop and the alerts.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix_files.h"
#include "platform/services.h"
#include "platform/sim/sim_world.h"
#include "sim_world_test.h"

namespace {

using platform::RunLoopMode;

class SimUiTest : public SimWorldTest {
 protected:
  void TearDown() override {
    timers_.clear();
    menu_.reset();
    item_.reset();
    SimWorldTest::TearDown();
  }
  platform::Ui& Ui() { return *platform::Sys().ui; }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& o : world_->Observations()) out.push_back(o.text);
    return out;
  }
  // A status item whose right click pops up a menu with "Exit" and "Other".
  void MakeItem() {
    item_ = Ui().CreateStatusItem();
    menu_ = Ui().CreateMenu("");
    menu_->AddItem("Exit", "", [this] { log_.push_back("exit@" + Now()); });
    menu_->AddItem("Other", "o", [this] { log_.push_back("other@" + Now()); });
    item_->SetRightMouseUpAction([this] {
      log_.push_back("popup@" + Now());
      shown_ = item_->PopUpContextMenu(*menu_);
      log_.push_back("closed@" + Now());
    });
  }
  void AddTimer(const std::string& name, RunLoopMode mode) {
    struct Ctx {
      SimUiTest* t;
      std::string name;
    };
    auto ctx = std::make_shared<Ctx>(Ctx{this, name});
    contexts_.push_back(ctx);
    timers_.push_back(platform::Sys().run_loop->AddTimer(
        0.1, 0.1,
        [](platform::Timer*, void* info) {
          auto* c = static_cast<Ctx*>(info);
          c->t->log_.push_back(c->name + "@" + c->t->Now());
        },
        ctx.get(), mode));
  }
  std::string Now() const { return std::to_string(world_->NowMs()); }

  std::unique_ptr<platform::StatusItem> item_;
  std::unique_ptr<platform::Menu> menu_;
  std::vector<std::shared_ptr<void>> contexts_;
  std::vector<std::unique_ptr<platform::Timer>> timers_;
  std::vector<std::string> log_;
  bool shown_ = false;
};

using Log = std::vector<std::string>;

TEST_F(SimUiTest, StatusItemRecordsTitleIconAndTooltip) {
  EXPECT_FALSE(world_->UiControl().StatusItemExists());
  auto item = Ui().CreateStatusItem();
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->HasButton());
  item->SetTitle("Pivlo");
  item->SetToolTip("Product");
  EXPECT_TRUE(world_->UiControl().StatusItemExists());
  EXPECT_EQ(world_->UiControl().StatusItemTitle(), "Pivlo");
  EXPECT_EQ(world_->UiControl().StatusItemToolTip(), "Product");
  EXPECT_FALSE(world_->UiControl().StatusItemHasImage());

  world_->FilesControl().SetIcon(sim::SimFiles::Icon::kBeside);
  const std::string dir = world_->FilesControl().ExecutablePathValue();
  auto image = Ui().LoadImage(dir.substr(0, dir.rfind('/')) + "/ZRN_Pivlo.png");
  ASSERT_NE(image, nullptr);
  image->SetSize(18, 18);
  item->SetImage(image);
  EXPECT_TRUE(world_->UiControl().StatusItemHasImage());
  EXPECT_EQ(world_->UiControl().StatusImageSize(), (std::pair<double, double>{18, 18}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"status-item title Pivlo", "status-item icon"}));
  item.reset();
  EXPECT_FALSE(world_->UiControl().StatusItemExists());
}

TEST_F(SimUiTest, ImagesLoadOnlyFromExistingPngFiles) {
  const std::string home = world_->FilesControl().Home();
  ASSERT_TRUE(posix::WriteFileAtomically(home + "/fake.png", "GIF89a not a png").ok());
  EXPECT_EQ(Ui().LoadImage(home + "/fake.png"), nullptr);
  EXPECT_EQ(Ui().LoadImage(home + "/missing.png"), nullptr);
  EXPECT_EQ(Ui().LoadImage(home), nullptr);
  EXPECT_EQ(Ui().LoadImage(""), nullptr);
}

TEST_F(SimUiTest, BundleResourceExistsOnlyForTheBundledIcon) {
  EXPECT_EQ(Ui().BundleResourcePath("ZRN_Pivlo", "png"), std::nullopt);
  world_->FilesControl().SetIcon(sim::SimFiles::Icon::kBeside);
  EXPECT_EQ(Ui().BundleResourcePath("ZRN_Pivlo", "png"), std::nullopt);
  world_->FilesControl().SetIcon(sim::SimFiles::Icon::kBundle);
  auto path = Ui().BundleResourcePath("ZRN_Pivlo", "png");
  ASSERT_TRUE(path.has_value());
  EXPECT_NE(Ui().LoadImage(*path), nullptr);
  EXPECT_EQ(Ui().BundleResourcePath("Other", "png"), std::nullopt);
  world_->FilesControl().SetIcon(sim::SimFiles::Icon::kNone);
  EXPECT_EQ(Ui().LoadImage(*path), nullptr) << "the icon file is gone again";
}

TEST_F(SimUiTest, RightClickChoosesAnEntryLeftClickDoesNothing) {
  MakeItem();
  world_->At(10, [this] { world_->UiControl().LeftClickStatusItem(); });
  world_->At(20, [this] { world_->UiControl().RightClickStatusItem("Exit"); });
  world_->RunUntil(30);
  EXPECT_TRUE(shown_);
  EXPECT_EQ(log_, (Log{"popup@20", "exit@20", "closed@20"}));
  EXPECT_EQ(world_->UiControl().LastMenuEntries(),
            (std::vector<std::pair<std::string, std::string>>{{"Exit", ""}, {"Other", "o"}}));
}

TEST_F(SimUiTest, OpenMenuRunsOnlyCommonModeItemsUntilItCloses) {
  MakeItem();
  AddTimer("common", RunLoopMode::kCommon);
  AddTimer("default", RunLoopMode::kDefault);
  world_->At(50, [this] { world_->UiControl().RightClickStatusItem("", 200); });
  world_->RunUntil(300);
  EXPECT_EQ(log_, (Log{"popup@50", "common@100", "common@200", "closed@250", "default@250",
                       "common@300", "default@300"}));
}

TEST_F(SimUiTest, PopUpWithoutACurrentEventShowsNothing) {
  MakeItem();
  EXPECT_FALSE(item_->PopUpContextMenu(*menu_));
  EXPECT_TRUE(world_->UiControl().LastMenuEntries().empty());
}

TEST_F(SimUiTest, AlertsAreRecordedWithTheirAnswers) {
  Ui().ActivateIgnoringOtherApps();
  EXPECT_EQ(world_->UiControl().ActivationCount(), 1);
  world_->UiControl().SetChoice(0);
  EXPECT_EQ(Ui().RunModalAlert({"P", "Choose", {"Install", "Start", "Cancel"}}),
            platform::kAlertFirstButtonReturn);
  EXPECT_EQ(Ui().RunModalAlert({"P", "", {"OK"}}), platform::kAlertFirstButtonReturn);
  const auto& alerts = world_->UiControl().Alerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].spec.buttons.size(), 3u);
  EXPECT_EQ(alerts[1].spec.message_text, "P");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"choice", "alert "}));
}

}  // namespace
