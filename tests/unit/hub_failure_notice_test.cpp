// A switch that fails is told to the user through the platform's notice,
// with the kind of failure and the text that names its fix; one that works
// shows nothing.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/command_failure.h"
#include "hub/hub_access.h"
#include "hub/hub_failure.h"
#include "hub/hub_hooks.h"
#include "hub/hub_whereabouts.h"
#include "hub/port_switch.h"
#include "notice_recorder.h"
#include "shared/product.h"
#include "switch_test_support.h"
#include "ui/app_delegate.h"
#include "ui/status_item.h"

namespace {

using sim::HubFault;

using switch_test::NoticeRecorder;

class FailureNoticeTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    switch_test::SimTest::SetUp();
    recorder_ = std::make_unique<NoticeRecorder>(platform::Sys().ui);
    platform::Services services = platform::Sys();
    services.ui = recorder_.get();
    platform::InstallServices(services);
  }
  // One gesture's switch, clear of the previous one's debounce window.
  void SwitchOnce() {
    gLastSwitchMs = 0;
    TriggerSwitch("ctrl-ctrl");
  }
  const std::vector<std::pair<std::string, std::string>>& Notices() { return recorder_->notices; }

  std::unique_ptr<NoticeRecorder> recorder_;
};

// A notice is short and fix first: a summary of a few words, then one
// sentence with the fix, in plain words; every one is of the switch's kind,
// so that the next replaces it.
TEST_F(FailureNoticeTest, EachFailureIsToldShortWithItsFix) {
  struct Case {
    HubFault fault;  // kOpen with the hub absent means: no hub at all
    bool present;
    const char* summary;
    const char* fix_word;
  };
  const Case cases[] = {
      {HubFault::kOpen, false, "Hub not found", "other computer"},
      {HubFault::kMatching, true, "Hub cannot be reached", "plug it in again"},
      {HubFault::kPlugIn, true, "Hub cannot be reached", "plug it in again"},
      {HubFault::kOpen, true, "Hub is in use", "Close any other program"},
      {HubFault::kReadF5, true, "Hub register unreadable", "plug it in again"},
      {HubFault::kWriteF5, true, "Hub did not take the switch", "plug it in again"},
  };
  for (const Case& c : cases) {
    Hub().SetPresent(c.present);
    Hub().SetFault(c.fault, c.present);
    SwitchOnce();
    Hub().SetFault(c.fault, false);
    ASSERT_FALSE(Notices().empty()) << c.summary;
    const auto& [kind, text] = Notices().back();
    EXPECT_EQ(kind, kSwitchNoticeKind);
    const size_t newline = text.find('\n');
    ASSERT_NE(newline, std::string::npos) << text;
    EXPECT_EQ(text.substr(0, newline), c.summary);
    const std::string body = text.substr(newline + 1);
    EXPECT_NE(body.find(c.fix_word), std::string::npos) << body;
    EXPECT_LE(body.size(), 80u) << body;
    EXPECT_EQ(body.find(". "), std::string::npos) << "one sentence: " << body;
    for (const char* jargon : {"VID", "PID", "0x", "USBDeviceOpen", "F5-", "IOService"}) {
      EXPECT_EQ(text.find(jargon), std::string::npos) << jargon << " in " << text;
    }
  }
  EXPECT_EQ(Notices().size(), std::size(cases));
}

// Every kind has its words, and every surface says the same ones: the
// console trace and a one-shot command's standard error the line and the
// fix (the trace has the line of a failed transfer already), --diagnose the
// fix with "check again", the notice its short form.
TEST_F(FailureNoticeTest, EveryKindHasItsWordsAndEverySurfaceSaysThem) {
  using Kind = HubFailureKind;
  const HubFailure failures[] = {
      HubFailure(Kind::kNotFound, "USB device not found (VID=0x2109 PID=0x8822)"),
      HubFailure(Kind::kUnreachable, "IOServiceMatching failed"),
      HubFailure(Kind::kOpenRefused, "USBDeviceOpen failed"),
      HubFailure(Kind::kOpenRefused, "Cannot open the hub: Access denied",
                 "Permission denied on the hub: install the rule, then replug the hub."),
      HubFailure(Kind::kPortUnread),
      HubFailure(Kind::kSwitchAbandoned),
      HubFailure(Kind::kWriteFailed),
      HubFailure(Kind::kNotTaken),
  };
  for (const HubFailure& failure : failures) {
    const std::string line = HubFailureLine(failure);
    const std::string fix = HubFailureFix(failure);
    SCOPED_TRACE(line);
    ASSERT_FALSE(line.empty());
    ASSERT_FALSE(fix.empty());
    const bool traced = failure.kind == Kind::kPortUnread || failure.kind == Kind::kWriteFailed;
    if (!failure.platform_line.empty()) {
      EXPECT_EQ(line, failure.platform_line);
    }
    if (traced) {
      EXPECT_EQ(line, failure.kind == Kind::kPortUnread ? "Read-Reg F5-0000 Fail"
                                                        : "Write-Reg F5-0000 Fail");
    }
    if (failure.platform_fix.empty()) {
      EXPECT_EQ(fix.substr(fix.size() - 17), ", then try again.");
      EXPECT_EQ(HubFailureFix(failure, AfterFix::kCheckAgain),
                fix.substr(0, fix.size() - 10) + "check again.");
    } else {
      EXPECT_EQ(fix, failure.platform_fix);
      EXPECT_EQ(HubFailureFix(failure, AfterFix::kCheckAgain), fix);
    }

    CaptureConsole();
    TraceHubFailure(failure);
    EXPECT_EQ(Console(), (traced ? "" : line + "\n") + fix + "\n");
    gConsoleMode = false;
    testing::internal::CaptureStderr();
    PrintHubFailure(failure);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + "\n" + fix + "\n");

    NoticeHubFailure(failure);
    const ShortNotice notice = HubFailureNotice(failure);
    ASSERT_FALSE(Notices().empty());
    EXPECT_EQ(Notices().back(),
              std::make_pair(std::string(kSwitchNoticeKind), notice.summary + "\n" + notice.fix));
    EXPECT_FALSE(notice.summary.empty());
    EXPECT_LE(notice.fix.size(), 80u);
    EXPECT_EQ(notice.fix.back(), '.');
  }
}

// A platform's fix of the form "cause: remedy" gives the summary and the
// body; any other keeps a plain summary.
TEST(RefusedOpenNotice, TakesTheCauseFromThePlatformsFix) {
  struct Case {
    const char* fix;
    const char* summary;
    const char* body;
  };
  const Case cases[] = {
      {"", "Hub is in use", "Close any other program that holds the hub, then try again."},
      {"Permission denied on the hub: install the rule, then replug the hub.",
       "Permission denied on the hub", "Install the rule, then replug the hub."},
      {"Replug the hub.", "Hub cannot be opened", "Replug the hub."},
      {"A cause far too long to be the summary of a notice at all: do this.",
       "Hub cannot be opened",
       "A cause far too long to be the summary of a notice at all: do this."},
  };
  for (const Case& c : cases) {
    const ShortNotice notice = RefusedOpenNotice(c.fix);
    EXPECT_EQ(notice.summary, c.summary) << c.fix;
    EXPECT_EQ(notice.fix, c.body) << c.fix;
  }
}

// A gesture's checked switch: one the hub takes shows nothing, one it does
// not take is noticed when the check is over.
TEST_F(FailureNoticeTest, AGestureSwitchIsNoticedOnlyWhenItDidNotTake) {
  Hub().SetRemovalWatch(true, 300);
  RunAt(100, [] { TriggerSwitch("ctrl-ctrl"); });
  World().RunUntil(3000);
  EXPECT_TRUE(Notices().empty());

  Hub().SetPresent(true);
  Hub().SetRemovalWatch(true, std::nullopt);
  RunAt(4000, [] { TriggerSwitch("mouse"); });
  World().RunUntil(5999);
  EXPECT_TRUE(Notices().empty());
  World().RunUntil(6000);
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].second,
            "Switch did not take effect\n"
            "Check that the other computer is on and connected to the switch.");
}

TEST_F(FailureNoticeTest, AFailedF8ReadAloneStillSwitchesQuietly) {
  SwitchOnce();
  // The F8-008F value is never used: its read failing still leads to a
  // write the hub takes, so nothing is shown.
  Hub().SetFault(HubFault::kReadF8, true);
  SwitchOnce();
  EXPECT_EQ(WrittenPortSelects().size(), 2u);
  EXPECT_TRUE(Notices().empty());
}

TEST_F(FailureNoticeTest, AnUnreadablePortRegisterIsAFailureWithItsFix) {
  // Without the port register's value there is nothing to invert: no write,
  // and the user hears why.
  Hub().SetFault(HubFault::kReadF5, true);
  SwitchOnce();
  EXPECT_TRUE(WrittenPortSelects().empty());
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].second.rfind("Hub register unreadable\n", 0), 0u) << Notices()[0].second;
}

}  // namespace

namespace {

// The tooltip says where the hub is and when this tool last switched it.
TEST(StatusToolTip, SaysWhereTheHubIsAndWhenItLastSwitched) {
  using Place = HubWhereabouts::Place;
  struct Case {
    HubWhereabouts hub;
    const char* tip;
  };
  const Case cases[] = {
      {{Place::kUnknown, -1, ""}, "Quembrastella USB-C Switch"},
      {{Place::kHere, 1, ""}, "Quembrastella USB-C Switch\nHub: here, on upstream port 1"},
      {{Place::kHere, 0, "09:05"},
       "Quembrastella USB-C Switch\nHub: here, on upstream port 0\nLast switch: 09:05"},
      {{Place::kAway, -1, "14:02"},
       "Quembrastella USB-C Switch\nHub: away (not on this computer)\nLast switch: 14:02"},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusToolTip(c.hub), c.tip);
}

// Followed on the item: a switch the hub takes makes it away; one it does
// not take leaves it here on the port it was on; no hub is away.
TEST_F(FailureNoticeTest, TheItemsTooltipFollowsTheSwitches) {
  ZRNAppDelegate delegate;
  delegate.setupStatusItem();
  sim::SimUi& ui = World().UiControl();
  EXPECT_EQ(ui.StatusItemToolTip(), kProductName);

  Hub().SetRemovalWatch(true, std::nullopt);  // the hub stays
  SwitchOnce();
  World().RunUntil(World().NowMs() + 5000);
  EXPECT_NE(ui.StatusItemToolTip().find("\nHub: here, on upstream port 0\nLast switch: "),
            std::string::npos)
      << ui.StatusItemToolTip();

  Hub().SetRemovalWatch(true, 100);  // now it leaves
  SwitchOnce();
  World().RunUntil(World().NowMs() + 5000);
  EXPECT_NE(ui.StatusItemToolTip().find("\nHub: away"), std::string::npos)
      << ui.StatusItemToolTip();

  Hub().SetPresent(false);
  NoteHubPlace(true);  // as the bus last told
  SwitchOnce();
  EXPECT_NE(ui.StatusItemToolTip().find("\nHub: away (not on this computer)\nLast switch: "),
            std::string::npos)
      << ui.StatusItemToolTip();
  // The bus telling of its arrival (where a hook watches it) brings it here.
  NoteHubPlace(true);
  EXPECT_NE(ui.StatusItemToolTip().find("\nHub: here\nLast switch: "), std::string::npos)
      << ui.StatusItemToolTip();
}

TEST_F(FailureNoticeTest, AHookThatCannotStartIsToldOnceAndTheSwitchGoesOn) {
  SetHubHooks(HubHooks{{"no-such-monitor-tool", "dp1"}, {}});
  StartHubHooks(platform::SettingNames::kSnakeCase);
  for (int i = 0; i < 3; ++i) {  // the other computer takes the hub, and gives it back
    Hub().SetPresent(false);
    Hub().SetPresent(true);
  }
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_EQ(Notices()[0].first, "hook on_hub_left");
  EXPECT_EQ(Notices()[0].second.rfind("Hook on_hub_left not started\nno-such-monitor-tool: "
                                      "no such program on PATH. Check that no-such-monitor-tool is "
                                      "installed and can be run, or correct on_hub_left in ",
                                      0),
            0u)
      << Notices()[0].second;
  SwitchOnce();
  EXPECT_EQ(WrittenPortSelects().size(), 1u);
  EXPECT_EQ(Notices().size(), 1u);
}

}  // namespace
