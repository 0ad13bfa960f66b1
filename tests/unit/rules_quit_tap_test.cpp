// The Q double-tap rule as tables: key events with both clocks in, the
// quits it decides out. No world, no clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gestures/rules/quit_tap_rule.h"
#include "platform/event_types.h"

namespace {

constexpr int64_t kQ = platform::kKeyCodeQ;
constexpr int64_t kW = 13;

// One event: its type and key, the 32-bit wall-clock stamp when it was
// handled, how long it had waited, and its monotonic time (0: as handled).
struct Step {
  uint32_t type;
  int64_t key;
  uint32_t wall;
  uint64_t age = 0;
  bool made_up = false;
};

struct Case {
  const char* name;
  QuitTapRule taps;
  std::vector<Step> steps;
  std::vector<bool> quits;  // per step
};

constexpr uint32_t kUp = platform::kEventKeyUp;
constexpr uint32_t kDown = platform::kEventKeyDown;
constexpr uint32_t kFlags = platform::kEventFlagsChanged;
constexpr auto kAny = QuitTapRule::kAny;
constexpr auto kConsecutive = QuitTapRule::kConsecutive;

const Case kCases[] = {
    {"Q key-ups 300 ms apart quit", kAny, {{kUp, kQ, 1000}, {kUp, kQ, 1300}}, {false, true}},
    {"699 ms apart quit", kAny, {{kUp, kQ, 1000}, {kUp, kQ, 1699}}, {false, true}},
    {"700 ms apart do not", kAny, {{kUp, kQ, 1000}, {kUp, kQ, 1700}}, {false, false}},
    {"a late second clears: the third starts afresh, the fourth quits",
     kAny,
     {{kUp, kQ, 1000}, {kUp, kQ, 1800}, {kUp, kQ, 2100}, {kUp, kQ, 2400}},
     {false, false, false, true}},
    {"the wall clock's 32 bits wrap between the two",
     kAny,
     {{kUp, kQ, 0xFFFFFF00u}, {kUp, kQ, 0x100u}},
     {false, true}},
    {"and 700 ms across the wrap do not",
     kAny,
     {{kUp, kQ, 0xFFFFFE44u}, {kUp, kQ, 0x100u}},
     {false, false}},
    {"Q W Q quits under any",
     kAny,
     {{kUp, kQ, 1000}, {kUp, kW, 1100}, {kUp, kQ, 1200}},
     {false, false, true}},
    {"under consecutive W breaks the pair and the last Q starts one",
     kConsecutive,
     {{kUp, kQ, 1000}, {kUp, kW, 1100}, {kUp, kQ, 1200}, {kUp, kQ, 1300}},
     {false, false, false, true}},
    {"under consecutive another key going down breaks it, a Q going down does not",
     kConsecutive,
     {{kUp, kQ, 1000},
      {kDown, kQ, 1100},
      {kUp, kQ, 1150},
      {kUp, kQ, 1200},
      {kDown, kW, 1300},
      {kUp, kQ, 1400}},
     {false, false, true, false, false, false}},
    {"under consecutive a modifier between them breaks it",
     kConsecutive,
     {{kUp, kQ, 1000}, {kFlags, 0x38, 1100}, {kUp, kQ, 1200}},
     {false, false, false}},
    {"key-downs of Q never count", kAny, {{kDown, kQ, 1000}, {kDown, kQ, 1100}}, {false, false}},
    {"a key code is taken as 16 bits",
     kAny,
     {{kUp, 0x1000C, 1000}, {kUp, kQ, 1100}},
     {false, true}},
    {"a made-up Q is no tap and breaks the pair",
     kAny,
     {{kUp, kQ, 1000}, {kUp, kQ, 1100, 0, true}, {kUp, kQ, 1200}},
     {false, false, false}},
    // Stamped back by their age: typed 800 ms apart, handled together.
    {"two Qs handled together but typed 800 ms apart do not quit",
     kAny,
     {{kUp, kQ, 5000, 800}, {kUp, kQ, 5000, 0}},
     {false, false}},
    {"typed 300 ms apart and handled together they quit",
     kAny,
     {{kUp, kQ, 5000, 300}, {kUp, kQ, 5000, 0}},
     {false, true}},
};

class QuitTapRuleTest : public ::testing::TestWithParam<Case> {};

TEST_P(QuitTapRuleTest, Decides) {
  const Case& c = GetParam();
  QuitTapState state;
  std::vector<bool> quits;
  // The monotonic clock moves as the wall clock does, without its wrap.
  uint64_t now = 1'000'000u;
  uint32_t wall = c.steps.front().wall;
  for (const Step& s : c.steps) {
    now += static_cast<uint32_t>(s.wall - wall);
    wall = s.wall;
    QuitReading r;
    r.type = s.type;
    r.key_code = s.key;
    r.made_up = s.made_up;
    r.wall_ms = s.wall;
    r.age_ms = s.age;
    r.at_ms = now - s.age;
    r.stamp_ms = now - s.age;
    const QuitTapStep step = StepQuitTap(state, r, {c.taps, 700});
    quits.push_back(step.quit);
    state = step.state;
  }
  EXPECT_EQ(quits, c.quits);
}

INSTANTIATE_TEST_SUITE_P(Table, QuitTapRuleTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "case" + std::to_string(info.index);
                         });

// Device clocks: both stamped ahead pair on their stamps; one ahead and one
// not need both measures to agree. Only a key-up of Q reads the clock.
TEST(QuitTapRuleClockTest, StampsAheadAndWhatNeedsTheClock) {
  struct Row {
    uint64_t first_stamp, second_stamp;
    bool quit;
  } rows[] = {
      {90'000, 90'300, true},   // both ahead, 300 ms apart by their stamps
      {90'000, 91'000, false},  // both ahead, 1 s apart by their stamps
      {1'000, 90'000, false},   // one ahead: the stamps disagree
  };
  for (const Row& row : rows) {
    const QuitReading first{kUp, kQ, false, 1000, 0, 1000, row.first_stamp};
    const QuitReading second{kUp, kQ, false, 1200, 0, 1200, row.second_stamp};
    const QuitTapStep step = StepQuitTap(StepQuitTap({}, first, {}).state, second, {});
    EXPECT_EQ(step.quit, row.quit) << row.first_stamp << " " << row.second_stamp;
  }
  EXPECT_TRUE(QuitReadingNeedsTime(kUp, kQ));
  EXPECT_FALSE(QuitReadingNeedsTime(kUp, kW));
  EXPECT_FALSE(QuitReadingNeedsTime(kDown, kQ));
}

// An event the rule is said not to act on, in every state, leaves the state
// as it was and quits nothing: the recogniser skips those steps (every mouse
// event, and under "any" every key but a Q going up).
TEST(QuitTapRuleSkipTest, WhatIsSkippedChangesNothing) {
  const QuitTapState states[] = {{}, {12, 1000, 5000, 5000}, {12, 0, 5000, 5000}};
  const uint32_t types[] = {kUp, kDown, kFlags, platform::kEventLeftMouseDown};
  int skipped = 0;
  for (const QuitTapRule taps : {kAny, kConsecutive}) {
    for (const QuitTapState& state : states) {
      for (const uint32_t type : types) {
        for (const int64_t code : {kQ, kW, int64_t{0x1000C}}) {
          for (const bool made_up : {false, true}) {
            if (QuitReadingCanAct(state, type, code, {taps, 700})) continue;
            ++skipped;
            const QuitReading r{type, code, made_up, 1200, 0, 5200, 5200};
            const QuitTapStep step = StepQuitTap(state, r, {taps, 700});
            EXPECT_EQ(step.state, state) << static_cast<int>(taps) << " " << type << " " << code;
            EXPECT_FALSE(step.quit);
          }
        }
      }
    }
  }
  EXPECT_GT(skipped, 0);
  EXPECT_FALSE(QuitReadingCanAct(states[1], platform::kEventLeftMouseDown, 0, {kConsecutive, 700}));
  EXPECT_FALSE(QuitReadingCanAct(states[1], kUp, kW, {kAny, 700}));
}

}  // namespace
