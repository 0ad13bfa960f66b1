// The delegate's launch and termination hooks, run through the whole entry
// point: banner and usage lines, the started notice, a refused tap, the Q
// double-tap, and gestures while the launch hook's notice is up.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app_world_fixture.h"
#include "notice_recorder.h"
#include "support/hostile_support.h"

namespace {

using Texts = std::vector<std::string>;

constexpr const char* kTapAlert =
    "Cannot create event tap. Please enable Accessibility permission for this program in System "
    "Settings.";
constexpr const char* kUsage =
    "Hold mouse L+R buttons for 1 second OR double-tap Control (Ctrl, Ctrl) to trigger USB-C "
    "switch.\n"
    "Or, double-tap 'Q' (Q, Q) to quit this tool.\n\n"
    "Running...\n";

class LifecycleTest : public ToolWorldTest {
 protected:
  void ExitAt(uint64_t t_ms) {
    world().At(t_ms, [this] { ui().RightClickStatusItem("Exit"); });
  }
  void ControlAt(uint64_t t_ms, bool down) {
    world().At(t_ms, [this, down] {
      world().InputControl().SetLiveControl(down);
      world().InputControl().Deliver(platform::kEventFlagsChanged);
    });
  }
  // With the log switch on, every message also lands in "hubdebug.log" in
  // the working folder: what that file holds when each alert goes up is
  // what had been written before it.
  std::vector<std::string> LoggedAtEachAlert(const std::vector<std::string>& args, int status = 0) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/qs-order-XXXXXX";
    const fs::path old_cwd = fs::current_path();
    const fs::path dir = ::mkdtemp(pattern);
    fs::current_path(dir);
    gLogFile = true;
    std::vector<std::string> logged;
    world().OnObservation([&](const sim::Observation& o) {
      if (o.text.rfind("alert ", 0) != 0) return;
      logged.push_back(hostile::Slurp(dir / "hubdebug.log"));
    });
    EXPECT_EQ(RunTool(args), status);
    gLogFile = false;
    fs::current_path(old_cwd);
    fs::remove_all(dir);
    return logged;
  }
  // Times of the observations with exactly this text.
  std::vector<uint64_t> TimesOf(const std::string& text) const {
    std::vector<uint64_t> times;
    for (const sim::Observation& o : world_->Observations()) {
      if (o.text == text) times.push_back(o.t_ms);
    }
    return times;
  }
};

TEST_F(LifecycleTest, ConsoleShowsBannerThenUsageLinesOnce) {
  ExitAt(100);
  std::string out;
  ASSERT_EQ(RunToolCapturing({"--console", "--service"}, &out), 0);
  const std::string rule = "=========================================\n";
  EXPECT_EQ(out.rfind(rule, 0), 0u);
  const size_t usage = out.find(kUsage);
  ASSERT_NE(usage, std::string::npos);
  EXPECT_NE(out.find("==== LocalTime: "), std::string::npos);
  EXPECT_LT(out.find("==== LocalTime: "), usage);
  EXPECT_EQ(out.find(kUsage, usage + 1), std::string::npos);
}

TEST_F(LifecycleTest, StartedNoticeComesAfterTheBannerAndUsageLines) {
  ExitAt(100);
  const std::vector<std::string> logged = LoggedAtEachAlert({});
  ASSERT_EQ(logged.size(), 1u);  // the choice is no "alert"
  EXPECT_EQ(logged[0].rfind("=========================================\n", 0), 0u);
  ASSERT_GE(logged[0].size(), std::string(kUsage).size());
  EXPECT_EQ(logged[0].substr(logged[0].size() - std::string(kUsage).size()), kUsage);
}

TEST_F(LifecycleTest, RefusedTapAlertComesAfterItsConsoleLine) {
  world().InputControl().RefuseTap(true);
  EXPECT_EQ(LoggedAtEachAlert({"--service"}, kExitInputUnreadable),
            Texts({"Cannot create event tap (enable Accessibility)\n"}));
}

// The simulated input with a platform's own words for a refused tap: a fix,
// and optionally its own console line and alert ("" keeps the tool's).
class WordedInput : public platform::Input {
 public:
  WordedInput(platform::Input* inner, std::string fix, std::string line = "",
              std::string alert = "")
      : inner_(inner), fix_(std::move(fix)), line_(std::move(line)), alert_(std::move(alert)) {}
  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t mask,
                                                     platform::EventCallback callback,
                                                     void* user_info) override {
    return inner_->CreateEventTap(mask, callback, user_info);
  }
  std::string RefusedTapFix() override { return fix_; }
  std::string RefusedTapLine() override { return line_; }
  std::string RefusedTapAlert() override { return alert_; }
  uint64_t FlagsState() override { return inner_->FlagsState(); }
  bool ButtonState(uint32_t button) override { return inner_->ButtonState(button); }

 private:
  platform::Input* inner_;
  std::string fix_, line_, alert_;
};

TEST_F(LifecycleTest, ARefusedTapSpeaksThePlatformsWordsWhereItHasThem) {
  world().InputControl().RefuseTap(true);
  WordedInput worded(platform::Sys().input, "Join the input group.",
                     "Cannot create event tap (join the group)",
                     "Cannot create event tap: no input.");
  platform::Services services = platform::Sys();
  services.input = &worded;
  platform::InstallServices(services);
  std::string out;
  EXPECT_EQ(RunToolCapturing({"--console", "--service"}, &out), kExitInputUnreadable);
  EXPECT_EQ(out, "Cannot create event tap (join the group)\nJoin the input group.\n");
  EXPECT_EQ(AlertTexts(), Texts({"Cannot create event tap: no input.\nJoin the input group."}));
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
}

TEST_F(LifecycleTest, RefusedTapReportsTerminatesAndGivesTheLockBack) {
  world().InputControl().RefuseTap(true);
  ui().SetChoice(1);
  std::string out;
  // A failure, not a clean stop: the tool cannot do its job (status 1, as
  // documented).
  EXPECT_EQ(RunToolCapturing({"--console"}, &out), 1);

  EXPECT_EQ(out, "Cannot create event tap (enable Accessibility)\n");  // no banner
  EXPECT_EQ(AlertTexts(), Texts({"Choose how to start the program.", kTapAlert}));
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
  EXPECT_TRUE(LockFreeForOthers());
  // The status item existed until the end.
  EXPECT_GE(ObservationIndex("status-item title Pivlo"), 0);
}

TEST_F(LifecycleTest, RefusedTapNamesThePlatformsFixWhenThereIsOne) {
  platform::Services services = world().Services();
  WordedInput input(services.input, "Add your user to the group 'input'.");
  services.input = &input;
  platform::InstallServices(services);
  world().InputControl().RefuseTap(true);

  std::string out;
  EXPECT_EQ(RunToolCapturing({"--console", "--service"}, &out), kExitInputUnreadable);
  EXPECT_EQ(out,
            "Cannot create event tap (enable Accessibility)\n"
            "Add your user to the group 'input'.\n");
  EXPECT_EQ(AlertTexts(),
            Texts({std::string(kTapAlert) + "\nAdd your user to the group 'input'."}));
  world().Install();
}

// Without a display the alert is written to the terminal too: the fix is
// read once, in the alert.
TEST_F(LifecycleTest, RefusedTapFixIsWrittenOnceWhereAlertsAreText) {
  class TextAlerts : public switch_test::NoticeRecorder {
   public:
    using NoticeRecorder::NoticeRecorder;
    bool AlertsAreText() override { return true; }
  };
  platform::Services services = world().Services();
  WordedInput input(services.input, "Add your user to the group 'input'.");
  TextAlerts ui(services.ui);
  services.input = &input;
  services.ui = &ui;
  platform::InstallServices(services);
  world().InputControl().RefuseTap(true);

  std::string out;
  EXPECT_EQ(RunToolCapturing({"--console", "--service"}, &out), kExitInputUnreadable);
  EXPECT_EQ(out, "Cannot create event tap (enable Accessibility)\n");
  EXPECT_EQ(AlertTexts(),
            Texts({std::string(kTapAlert) + "\nAdd your user to the group 'input'."}));
  world().Install();
}

TEST_F(LifecycleTest, QDoubleTapQuitsThroughTheTerminationHook) {
  for (uint64_t t : {100, 300}) {
    world().At(
        t, [this] { world().InputControl().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ); });
  }
  world().KillAt(5000);
  std::string out;
  EXPECT_EQ(RunToolCapturing({"--console", "--service"}, &out), 0);
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
  EXPECT_EQ(out.substr(out.size() - 5), "Quit\n");
  EXPECT_TRUE(LockFreeForOthers());
  EXPECT_FALSE(world().InputControl().TapExists());
}

TEST_F(LifecycleTest, GesturesSwitchWhileTheStartedNoticeIsUp) {
  ui().SetChoice(1);
  ui().SetAlertMs(3000);
  ControlAt(100, true);
  ControlAt(150, false);
  ControlAt(250, true);
  ControlAt(300, false);
  ExitAt(4000);
  EXPECT_EQ(RunTool({}), 0);

  // The started notice went up at launch and stayed for three seconds.
  ASSERT_EQ(ui().Alerts().size(), 2u);
  EXPECT_EQ(ui().Alerts()[1].spec.informative_text,
            "Quembrastella USB-C Switch started successfully.");
  EXPECT_EQ(ui().Alerts()[1].t_ms, 0u);
  EXPECT_EQ(TimesOf("usb write F5-0000 01"), std::vector<uint64_t>({300}));
}

TEST_F(LifecycleTest, GesturesSwitchWhileTheStatusMenuIsOpen) {
  world().At(100, [this] { ui().RightClickStatusItem("", 3000); });  // open until 3100
  // Off the 50 ms grid of the poll: only the events can switch at 410.
  ControlAt(210, true);
  ControlAt(260, false);
  ControlAt(360, true);
  ControlAt(410, false);
  // The chord held, off the poll's grid: its events arm the hold at 1010.
  world().At(1010, [this] {
    world().InputControl().SetLiveButton(0, true);
    world().InputControl().Deliver(platform::kEventLeftMouseDown, 0, 0);
    world().InputControl().SetLiveButton(1, true);
    world().InputControl().Deliver(platform::kEventRightMouseDown, 0, 1);
  });
  world().KillAt(4000);
  EXPECT_EQ(RunTool({"--service"}), 0);
  EXPECT_EQ(ui().LastMenuEntries().size(), 1u);
  EXPECT_EQ(TimesOf("usb write F5-0000 01"), std::vector<uint64_t>({410}));
  EXPECT_EQ(TimesOf("usb write F5-0000 00"), std::vector<uint64_t>({2010}));
}

TEST_F(LifecycleTest, NoGestureIsSeenWhileTheEntryPointsChoiceIsUp) {
  // While the choice is up a Control double-tap and a held chord happen;
  // no tap exists yet to see them.
  world().OnObservation([this](const sim::Observation& o) {
    if (o.text != "choice") return;
    sim::SimInput& in = world().InputControl();
    for (bool down : {true, false, true, false}) {
      in.SetLiveControl(down);
      in.Deliver(platform::kEventFlagsChanged);
    }
    in.SetLiveButton(0, true);
    in.Deliver(platform::kEventLeftMouseDown, 0, 0);
    in.Deliver(platform::kEventRightMouseDown, 0, 1);
    in.SetLiveButton(0, false);
  });
  ExitAt(2000);
  EXPECT_EQ(RunTool({}), 0);
  ASSERT_GE(ObservationIndex("choice"), 0);
  EXPECT_EQ(MSButton, 0);
  EXPECT_EQ(TimesOf("usb write F5-0000 01"), std::vector<uint64_t>{});
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
}

}  // namespace
