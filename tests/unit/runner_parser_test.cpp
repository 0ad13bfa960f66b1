// The scenario reader: set-up and timeline lowering (its refusals are in
// runner_parser_errors_test.cpp).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "runner_parse_support.h"
#include "scenario_runner/parser.h"

namespace runner {
namespace {

TEST(RunnerParser, EmptyTextGivesTheDefaultWorldAndStopsFiveSecondsIn) {
  for (const char* text : {"", "\n\n", "# only a comment\n   \t\n"}) {
    Scenario s = Parsed(text);
    EXPECT_TRUE(s.setup.args.empty());
    EXPECT_TRUE(s.setup.hub_present);
    EXPECT_EQ(s.setup.reg_f5, 0);
    EXPECT_EQ(s.setup.reg_f8, 0);
    EXPECT_TRUE(s.setup.faults.empty());
    EXPECT_EQ(s.setup.agent, AgentSetup::kNone);
    EXPECT_EQ(s.setup.choice, Choice::kStart);
    EXPECT_EQ(s.setup.alert_ms, 0u);
    EXPECT_EQ(s.setup.lock, LockSetup::kFree);
    EXPECT_FALSE(s.setup.tap_refused || s.setup.app_support_missing || s.setup.agent_dir_blocked);
    EXPECT_EQ(s.setup.exe, sim::SimFiles::Exe::kPresent);
    EXPECT_EQ(s.setup.icon, sim::SimFiles::Icon::kNone);
    EXPECT_FALSE(s.setup.clock.has_value());
    EXPECT_TRUE(s.timeline.empty());
    EXPECT_EQ(StopTimeMs(s), 5000u);
  }
}

TEST(RunnerParser, EverySetUpDirectiveLandsInItsField) {
  Scenario s = Parsed(
      "args --console  --service\t-x   # trailing comment\r\n"
      "hub F8=20 F5=fe\n"
      "fail read F5-0000\n"
      "fail open\n"
      "fail read F5-0000\n"
      "agent other-label\n"
      "choice cancel\n"
      "alert-ms 1500\n"
      "transfer-ms 1000\n"
      "lock unopenable\n"
      "tap refused\n"
      "appsupport none\n"
      "exe nonexec\n"
      "icon beside\n"
      "clock 2024-02-29 23:05:09\n");
  EXPECT_EQ(s.setup.args, (std::vector<std::string>{"--console", "--service", "-x"}));
  EXPECT_TRUE(s.setup.hub_present);
  EXPECT_EQ(s.setup.reg_f5, 0xFE);
  EXPECT_EQ(s.setup.reg_f8, 0x20);
  // A repeated step is kept once.
  EXPECT_EQ(s.setup.faults,
            (std::vector<sim::HubFault>{sim::HubFault::kReadF5, sim::HubFault::kOpen}));
  EXPECT_EQ(s.setup.agent, AgentSetup::kOtherLabel);
  EXPECT_EQ(s.setup.choice, Choice::kCancel);
  EXPECT_EQ(s.setup.alert_ms, 1500u);
  EXPECT_EQ(s.setup.transfer_ms, 1000u);
  EXPECT_EQ(s.setup.lock, LockSetup::kUnopenable);
  EXPECT_TRUE(s.setup.tap_refused);
  EXPECT_TRUE(s.setup.app_support_missing);
  EXPECT_FALSE(s.setup.agent_dir_blocked);
  EXPECT_EQ(s.setup.exe, sim::SimFiles::Exe::kNotExecutable);
  EXPECT_EQ(s.setup.icon, sim::SimFiles::Icon::kBeside);
  ASSERT_TRUE(s.setup.clock.has_value());
  EXPECT_EQ(s.setup.clock->tm_year, 124);
  EXPECT_EQ(s.setup.clock->tm_mon, 1);
  EXPECT_EQ(s.setup.clock->tm_mday, 29);
  EXPECT_EQ(s.setup.clock->tm_hour, 23);
  EXPECT_EQ(s.setup.clock->tm_min, 5);
  EXPECT_EQ(s.setup.clock->tm_sec, 9);
}

TEST(RunnerParser, OtherSetUpWordsMapToTheirValues) {
  EXPECT_FALSE(Parsed("hub absent").setup.hub_present);
  EXPECT_EQ(Parsed("hub F5=1").setup.reg_f5, 0x01);  // a single digit is a byte too
  EXPECT_EQ(Parsed("hub F5=1").setup.reg_f8, 0x00);
  EXPECT_EQ(Parsed("args").setup.args.size(), 0u);
  EXPECT_EQ(Parsed("choice install").setup.choice, Choice::kInstall);
  EXPECT_EQ(Parsed("lock held").setup.lock, LockSetup::kHeld);
  EXPECT_EQ(Parsed("agentdir blocked").setup.agent_dir_blocked, true);
  EXPECT_EQ(Parsed("exe none").setup.exe, sim::SimFiles::Exe::kNone);
  EXPECT_EQ(Parsed("exe empty").setup.exe, sim::SimFiles::Exe::kEmpty);
  EXPECT_EQ(Parsed("icon bundle").setup.icon, sim::SimFiles::Icon::kBundle);
  const std::pair<const char*, AgentSetup> agents[] = {
      {"none", AgentSetup::kNone},
      {"installed", AgentSetup::kInstalled},
      {"other-path", AgentSetup::kOtherPath},
      {"other-label", AgentSetup::kOtherLabel},
      {"not-executable", AgentSetup::kNotExecutable},
      {"malformed", AgentSetup::kMalformed}};
  for (const auto& [word, agent] : agents) {
    EXPECT_EQ(Parsed(std::string("agent ") + word).setup.agent, agent) << word;
  }
  const std::pair<const char*, sim::HubFault> steps[] = {
      {"matching", sim::HubFault::kMatching},   {"lookup", sim::HubFault::kLookup},
      {"plugin", sim::HubFault::kPlugIn},       {"query", sim::HubFault::kQuery},
      {"open", sim::HubFault::kOpen},           {"read F8-008F", sim::HubFault::kReadF8},
      {"read F5-0000", sim::HubFault::kReadF5}, {"write F5-0000", sim::HubFault::kWriteF5}};
  for (const auto& [word, fault] : steps) {
    EXPECT_EQ(Parsed(std::string("fail ") + word).setup.faults, std::vector<sim::HubFault>{fault})
        << word;
  }
}

struct Lowered {
  const char* action;
  Step::Kind kind;
  std::optional<bool> live_control;
  std::optional<LiveButton> live_button;
  std::optional<EventSpec> event;
};

TEST(RunnerParser, AfterWriteOffersTheWatchAndSaysWhenTheHubLeaves) {
  Scenario none = Parsed("");
  EXPECT_FALSE(none.setup.watch_offered);
  EXPECT_FALSE(none.setup.leave_after_write_ms.has_value());

  Scenario stay = Parsed("after-write stay\n");
  EXPECT_TRUE(stay.setup.watch_offered);
  EXPECT_FALSE(stay.setup.leave_after_write_ms.has_value());

  Scenario leave = Parsed("after-write leave 0\n");
  EXPECT_TRUE(leave.setup.watch_offered);
  ASSERT_TRUE(leave.setup.leave_after_write_ms.has_value());
  EXPECT_EQ(*leave.setup.leave_after_write_ms, 0u);
  EXPECT_EQ(*Parsed("after-write leave 86400000\n").setup.leave_after_write_ms, 86'400'000u);

  for (const char* bad : {"after-write\n", "after-write leave\n", "after-write leave -1\n",
                          "after-write leave 86400001\n", "after-write stay 10\n",
                          "after-write go 10\n", "after-write leave 10 stay\n"}) {
    const ParseError e = Failed(bad);
    EXPECT_EQ(e.line, 1) << bad;
    EXPECT_NE(e.what.find("'after-write' takes"), std::string::npos) << bad << e.what;
  }
  const ParseError twice = Failed("after-write stay\nafter-write leave 5\n");
  EXPECT_EQ(twice.line, 2);
  EXPECT_NE(twice.what.find("already given on line 1"), std::string::npos) << twice.what;
  // A set-up directive: not after the timeline has begun.
  EXPECT_EQ(Failed("at 0 ctrl down\nafter-write stay\n").line, 2);
}

TEST(RunnerParser, ProgramsPutOnThePathWithTheirRunAndWords) {
  const Scenario s = Parsed(
      "program ddcutil runs 300 exit 2 ignores-term says VCP  60 set\n"
      "program /opt/x not-executable\nprogram quick runs 0\n");
  ASSERT_EQ(s.setup.programs.size(), 3u);
  const sim::SimProgram& first = s.setup.programs[0];
  EXPECT_EQ(first.name, "ddcutil");
  EXPECT_EQ(first.runs_ms, 300u);
  EXPECT_EQ(first.exit_status, 2);
  EXPECT_TRUE(first.ignores_term);
  EXPECT_EQ(first.says, std::vector<std::string>{"VCP 60 set"});
  EXPECT_FALSE(s.setup.programs[1].executable);
  EXPECT_TRUE(s.setup.programs[2].executable);
  EXPECT_EQ(s.setup.programs[2].exit_status, 0);
  for (const char* bad : {"program\n", "program x\n", "program x runs\n", "program x runs 1 exit\n",
                          "program x runs 1 exit 256\n", "program x runs 1 says\n",
                          "program x runs 1 loud\n", "program x not-executable 1\n"}) {
    EXPECT_NE(Failed(bad).what.find("'program' takes"), std::string::npos) << bad;
  }
}

TEST(RunnerParser, HubWordsGiveEachHubItsIdentity) {
  const Scenario s = Parsed(
      "hub F5=01 port 1-2 serial A1\n"
      "hub-2 absent F8=20 location 0x14300000 serial B2\n"
      "at 10 hub-2 present\n"
      "at 20 hub absent\n");
  ASSERT_TRUE(s.setup.hub_identity.port.has_value());
  EXPECT_EQ(s.setup.hub_identity.port->bus, 1);
  EXPECT_EQ(s.setup.hub_identity.port->port, "2");
  EXPECT_EQ(s.setup.hub_identity.serial, "A1");
  EXPECT_EQ(s.setup.reg_f5, 0x01);
  ASSERT_TRUE(s.setup.second_hub.has_value());
  EXPECT_FALSE(s.setup.second_hub->present);
  EXPECT_EQ(s.setup.second_hub->reg_f8, 0x20);
  EXPECT_FALSE(s.setup.second_hub->identity.port.has_value());
  EXPECT_EQ(s.setup.second_hub->identity.location_id, 0x14300000u);
  ASSERT_EQ(s.timeline.size(), 2u);
  EXPECT_EQ(s.timeline[0].kind, Step::Kind::kHubPresent);
  EXPECT_EQ(s.timeline[0].hub, 1u);
  EXPECT_EQ(s.timeline[1].kind, Step::Kind::kHubAbsent);
  EXPECT_EQ(s.timeline[1].hub, 0u);
  // Without 'hub-2' there is no second hub; its default place is told apart
  // from the first hub's.
  EXPECT_FALSE(Parsed("hub F5=01").setup.second_hub.has_value());
  EXPECT_EQ(Parsed("hub-2 F5=00").setup.second_hub->identity.location_id, 0x14200000u);
  EXPECT_EQ(Parsed("hub-2 port 3-1.4.2").setup.second_hub->identity.port->port, "1.4.2");
}

TEST(RunnerParser, TimelineActionsLowerToLiveStateAndEvents) {
  using K = Step::Kind;
  const Lowered cases[] = {
      {"ctrl down", K::kInput, true, {}, EventSpec{12, 0, 0}},
      {"ctrl up", K::kInput, false, {}, EventSpec{12, 0, 0}},
      {"ctrl-live down", K::kInput, true, {}, {}},
      {"ctrl-live up", K::kInput, false, {}, {}},
      {"rctrl down", K::kInput, true, {}, EventSpec{12, 62, 0}},
      {"rctrl-live up", K::kInput, false, {}, {}},
      {"key down 12", K::kInput, {}, {}, EventSpec{10, 12, 0}},
      {"key up 65548", K::kInput, {}, {}, EventSpec{11, 65548, 0}},
      {"button left down", K::kInput, {}, LiveButton{0, true}, EventSpec{1, 0, 0}},
      {"button left up", K::kInput, {}, LiveButton{0, false}, EventSpec{2, 0, 0}},
      {"button right down", K::kInput, {}, LiveButton{1, true}, EventSpec{3, 0, 1}},
      {"button right up", K::kInput, {}, LiveButton{1, false}, EventSpec{4, 0, 1}},
      {"button middle down", K::kInput, {}, LiveButton{2, true}, EventSpec{25, 0, 2}},
      {"button middle up", K::kInput, {}, LiveButton{2, false}, EventSpec{26, 0, 2}},
      {"button-live middle down", K::kInput, {}, LiveButton{2, true}, {}},
      {"button-live left up", K::kInput, {}, LiveButton{0, false}, {}},
      {"button-event right down", K::kInput, {}, {}, EventSpec{3, 0, 1}},
      {"button-event middle up", K::kInput, {}, {}, EventSpec{26, 0, 2}},
      {"drag left", K::kInput, {}, {}, EventSpec{6, 0, 0}},
      {"drag right", K::kInput, {}, {}, EventSpec{7, 0, 1}},
      {"drag middle", K::kInput, {}, {}, EventSpec{27, 0, 2}},
      {"menu exit", K::kMenuExit, {}, {}, {}},
      {"tap disabled", K::kTapDisabled, {}, {}, {}},
      {"hub absent", K::kHubAbsent, {}, {}, {}},
      {"hub present", K::kHubPresent, {}, {}, {}},
      {"end", K::kEnd, {}, {}, {}},
  };
  for (const Lowered& c : cases) {
    SCOPED_TRACE(c.action);
    Scenario s = Parsed(std::string("\n\nat 250 ") + c.action);
    ASSERT_EQ(s.timeline.size(), 1u);
    const Step& step = s.timeline[0];
    EXPECT_EQ(step.t_ms, 250u);
    EXPECT_EQ(step.line, 3);
    EXPECT_EQ(step.kind, c.kind);
    EXPECT_EQ(step.live_control, c.live_control);
    EXPECT_EQ(step.right_control, c.action[0] == 'r');
    ASSERT_EQ(step.live_button.has_value(), c.live_button.has_value());
    if (c.live_button) {
      EXPECT_EQ(step.live_button->button, c.live_button->button);
      EXPECT_EQ(step.live_button->down, c.live_button->down);
    }
    ASSERT_EQ(step.event.has_value(), c.event.has_value());
    if (c.event) {
      EXPECT_EQ(step.event->type, c.event->type);
      EXPECT_EQ(step.event->keycode, c.event->keycode);
      EXPECT_EQ(step.event->button, c.event->button);
    }
  }
}

TEST(RunnerParser, TimelineKeepsFileOrderAndDecidesWhenTheRunStops) {
  Scenario s = Parsed(
      "args --console\n"
      "at 0 ctrl down\n"
      "at 100 ctrl up\n"
      "at 100 ctrl down   # the same time twice is fine\n"
      "at 86400000 ctrl up\n");
  ASSERT_EQ(s.timeline.size(), 4u);
  EXPECT_EQ(s.timeline[1].line, 3);
  EXPECT_EQ(s.timeline[2].line, 4);
  EXPECT_EQ(s.timeline[2].live_control, true);
  EXPECT_EQ(StopTimeMs(s), 86'400'000u + 5000u);

  EXPECT_EQ(StopTimeMs(Parsed("at 700 ctrl up\nat 1200 end\n")), 1200u);
  EXPECT_EQ(StopTimeMs(Parsed("at 0 end")), 0u);
  EXPECT_EQ(StopTimeMs(Parsed("at 40 key up 12")), 5040u);
}

TEST(RunnerParser, SettingsLinesKeepTheirTextAndOrderOrGiveWayToAFileKind) {
  Scenario s = Parsed(
      "settings mouse_chord   =  false\n"
      "settings control_taps = \"clean\"  # a comment\n"
      "settings [table]\n");
  const std::vector<std::string> lines = {"mouse_chord   =  false", "control_taps = \"clean\"",
                                          "[table]"};
  EXPECT_EQ(s.setup.settings_lines, lines);
  EXPECT_EQ(s.setup.settings_file, SettingsFileSetup::kLines);
  EXPECT_EQ(Parsed("settings-file zero\n").setup.settings_file, SettingsFileSetup::kZero);
  EXPECT_EQ(Parsed("settings-file folder\n").setup.settings_file, SettingsFileSetup::kFolder);

  EXPECT_EQ(Failed("settings\n").line, 1);
  EXPECT_EQ(Failed("settings-file pipe\n").what,
            "'settings-file' takes one of: fifo, zero, huge, binary, folder");
  const ParseError both = Failed("settings a = 1\nargs --console\nsettings-file fifo\n");
  EXPECT_EQ(both.line, 3);
  EXPECT_EQ(both.what,
            "'settings' lines need a settings file, which 'settings-file fifo' replaces");
}

TEST(RunnerParser, SettingsSavedInTheTimelineGroupTheLinesOfOneTime) {
  const Scenario s = Parsed(
      "at 100 settings a = 1\n"
      "at 100 settings b =  \"x\"\n"
      "at 200 settings a = 2\n"
      "at 300 settings-file none\n"
      "at 300 settings-file empty\n"
      "at 300 settings c = 3\n");
  struct Expected {
    uint64_t t_ms;
    std::optional<std::string> text;
  };
  const std::vector<Expected> expected = {
      {100, "a = 1\nb =  \"x\"\n"}, {200, "a = 2\n"}, {300, std::nullopt}, {300, "c = 3\n"}};
  ASSERT_EQ(s.timeline.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(s.timeline[i].kind, Step::Kind::kSettings) << i;
    EXPECT_EQ(s.timeline[i].t_ms, expected[i].t_ms) << i;
    EXPECT_EQ(s.timeline[i].settings_text, expected[i].text) << i;
  }
  EXPECT_EQ(Failed("at 1 settings\n").what, "'settings' takes a line of the settings file");
  EXPECT_EQ(Failed("at 1 settings-file fifo\n").what,
            "'settings-file' takes 'none' or 'empty' in the timeline");
}

TEST(RunnerParser, CommentsCutTheLineWhereverTheyStart) {
  Scenario s = Parsed("args a#b c\n   # at 5 end\nat 5 ctrl down#up\n");
  EXPECT_EQ(s.setup.args, std::vector<std::string>{"a"});
  ASSERT_EQ(s.timeline.size(), 1u);
  EXPECT_EQ(s.timeline[0].live_control, true);
  // A control character inside a comment does no harm.
  EXPECT_EQ(Parsed("args x # \x01\x02").setup.args, std::vector<std::string>{"x"});
}

// Random text built from the scenario's own words and a few hostile bytes:
// the reader never fails without naming a line that exists, and what it
// accepts keeps the timeline's promises.
}  // namespace
}  // namespace runner
