// The menu-bar item, its icon and menu, and the alert every message uses.
#include <string>
#include <utility>
#include <vector>

#include "app/startup.h"
#include "app_world_fixture.h"
#include "ui/alerts.h"
#include "ui/status_item.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

class StatusItemTest : public ToolWorldTest {};

TEST_F(StatusItemTest, WithoutIconTheItemShowsItsTitleAndTooltip) {
  files().SetIcon(sim::SimFiles::Icon::kNone);
  EXPECT_EQ(LoadStatusIcon(), nullptr);
  ZRNAppDelegate delegate;
  delegate.setupStatusItem();
  ASSERT_TRUE(ui().StatusItemExists());
  EXPECT_FALSE(ui().StatusItemHasImage());
  EXPECT_EQ(ui().StatusItemTitle(), "Pivlo");
  EXPECT_EQ(ui().StatusItemToolTip(), "Quembrastella USB-C Switch");
}

TEST_F(StatusItemTest, IconFromBundleOrBesideTheExecutableIsDrawnAt18Points) {
  for (sim::SimFiles::Icon where : {sim::SimFiles::Icon::kBundle, sim::SimFiles::Icon::kBeside}) {
    files().SetIcon(where);
    ZRNAppDelegate delegate;
    delegate.setupStatusItem();
    ASSERT_TRUE(ui().StatusItemHasImage());
    EXPECT_EQ(ui().StatusImageSize(), std::make_pair(18.0, 18.0));
    EXPECT_EQ(ui().StatusItemToolTip(), "Quembrastella USB-C Switch");
  }
}

TEST_F(StatusItemTest, NoExecutablePathMeansNoIconBesideIt) {
  files().SetIcon(sim::SimFiles::Icon::kBeside);
  files().SetExecutable(sim::SimFiles::Exe::kNone);
  EXPECT_EQ(LoadStatusIcon(), nullptr);
}

TEST_F(StatusItemTest, LeftClickOpensNothingAndEndsNothing) {
  // The click reaches the tool only as a left press and release in the
  // session, with its release as the event being handled: a menu popped up
  // then would show.
  bool held_after = false;
  world().At(100, [this] { ui().LeftClickStatusItem(); });
  world().At(200, [&] { held_after = !LockFreeForOthers(); });
  world().KillAt(1000);
  EXPECT_EQ(RunTool({"--service"}), 0);
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kKilled);
  EXPECT_TRUE(held_after);
  EXPECT_EQ(ui().LastMenuEntries(), Entries{});
  EXPECT_TRUE(ui().Alerts().empty());
  EXPECT_EQ(MSButton, 0);
}

TEST_F(StatusItemTest, RightClickExitTerminatesThroughTheHook) {
  bool held_before = false;
  world().At(100, [&] { held_before = !LockFreeForOthers(); });
  world().At(200, [this] { ui().RightClickStatusItem("Exit"); });
  world().KillAt(1000);
  EXPECT_EQ(RunTool({"--service"}), 0);

  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
  EXPECT_EQ(ui().LastMenuEntries(), Entries({{"Exit", ""}}));  // no key equivalent
  EXPECT_TRUE(held_before);
  EXPECT_TRUE(LockFreeForOthers());
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_FALSE(world().InputControl().TapExists());
}

TEST_F(StatusItemTest, MenuLeftOpenWithoutChoiceDoesNotEndTheTool) {
  world().At(100, [this] { ui().RightClickStatusItem("", 500); });
  world().KillAt(2000);
  EXPECT_EQ(RunTool({"--service"}), 0);
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kKilled);
  EXPECT_EQ(ui().LastMenuEntries(), Entries({{"Exit", ""}}));
}

class AlertTest : public ToolWorldTest {};

TEST_F(AlertTest, AlertIsTitledWithTheProductAndHasOneOkButton) {
  ShowAlert(nullptr);
  ShowAlert("Installed as a service and started successfully.");
  ASSERT_EQ(ui().Alerts().size(), 2u);
  for (const sim::SimUi::Alert& alert : ui().Alerts()) {
    EXPECT_EQ(alert.spec.message_text, "Quembrastella USB-C Switch");
    EXPECT_EQ(alert.spec.buttons, std::vector<std::string>({"OK"}));
  }
  EXPECT_EQ(ui().Alerts()[0].spec.informative_text, "");
  EXPECT_EQ(ui().Alerts()[1].spec.informative_text,
            "Installed as a service and started successfully.");
}

TEST_F(AlertTest, EveryAlertBringsTheToolToTheFrontFirst) {
  // How often the tool had come to the front when each alert went up.
  std::vector<int> fronted;
  world().OnObservation([this, &fronted](const sim::Observation& o) {
    if (o.text == "choice" || o.text.rfind("alert ", 0) == 0) {
      fronted.push_back(ui().ActivationCount());
    }
  });
  ShowAlert("one");
  (void)PromptStartupAction();
  ShowAlert(nullptr);
  EXPECT_EQ(fronted, (std::vector<int>{1, 2, 3}));
}

}  // namespace
