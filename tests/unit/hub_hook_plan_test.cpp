// One hook's decisions as a table of event sequences: never two runs at
// once, at most one waiting, TERM at the limit and KILL after the grace, a
// program that cannot start told once until a start works again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/hook_plan.h"

namespace {

// e: its event came, s: started, f: start failed, d: a deadline, x: ended.
// Each step's answer: S start, T term, K kill, - nothing, ! tell the
// failure, . keep quiet.
std::string Play(const std::string& steps) {
  HookRunState state;
  std::string out;
  auto step = [&out](HookStep s) {
    out += s == HookStep::kStart  ? 'S'
           : s == HookStep::kTerm ? 'T'
           : s == HookStep::kKill ? 'K'
                                  : '-';
  };
  for (char c : steps) {
    switch (c) {
      case 'e':
        step(HookEventCame(state));
        break;
      case 's':
        HookStarted(state);
        out += ' ';
        break;
      case 'f':
        out += HookStartFailed(state) ? '!' : '.';
        break;
      case 'd':
        step(HookDeadline(state));
        break;
      case 'x':
        step(HookEnded(state));
        break;
      default:
        ADD_FAILURE() << "unknown step " << c;
    }
  }
  return out;
}

TEST(HookPlanTest, DecisionsForEachSequence) {
  struct Case {
    const char* steps;
    const char* answers;
    const char* what;
  };
  const std::vector<Case> cases = {
      {"esx", "S -", "one run"},
      {"esxesx", "S -S -", "a run per event once each has ended"},
      {"eseex", "S --S", "events while it runs: one run waits, no queue grows"},
      {"eseexsx", "S --S -", "the waiting run is the last; nothing after it"},
      {"esddx", "S TK-", "over the limit: TERM, then KILL after the grace"},
      {"esdx", "S T-", "ended by TERM: no KILL"},
      {"esdex", "S T-S", "an event while it is being ended still runs once after"},
      {"esdddx", "S TK--", "deadlines after KILL do nothing"},
      {"d", "-", "a stray deadline while idle does nothing"},
      {"x", "-", "a stray end while idle starts nothing"},
      {"efefef", "S!S.S.", "a program that cannot start is told once"},
      {"efesxef", "S!S -S!", "told again after a start that worked"},
      {"esexfx", "S -S!-", "a waiting run that cannot start leaves nothing waiting"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Play(c.steps), c.answers) << c.what << " (" << c.steps << ")";
}

TEST(HookPlanTest, EndLineNamesTheHookAndHowItEnded) {
  EXPECT_EQ(HookEndLine("on_hub_left", {false, 0}), "on_hub_left: exited with status 0");
  EXPECT_EQ(HookEndLine("OnHubArrived", {false, 3}), "OnHubArrived: exited with status 3");
  EXPECT_EQ(HookEndLine("on_hub_left", {true, 15}), "on_hub_left: ended by signal 15 (TERM)");
  EXPECT_EQ(HookEndLine("on_hub_left", {true, 9}), "on_hub_left: ended by signal 9 (KILL)");
  EXPECT_EQ(HookEndLine("on_hub_left", {true, 11}), "on_hub_left: ended by signal 11");
}

}  // namespace
