// The Control double-tap rule as tables: readings with their times in, the
// switches it decides and what stays pending out. No world, no clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gestures/rules/control_tap_rule.h"
#include "platform/event_types.h"

namespace {

// One reading. Kinds: 'p' press event, 'r' release event, 'P' tick seeing
// Control down, 'R' tick seeing it up (a tick's time is the clock), 'm' a
// made-up release, 's' press event with Shift held, 'o' another modifier's
// event while Control is held, 'k' a key-down of another key. Those are the
// left Control key; 'x', 'y', 'X', 'Y' are the right one's press and
// release events and ticks, and 'u' a tick seeing a Control flag with
// neither key's own bit. The live state is both keys as the steps left them.
struct Step {
  char kind;
  uint64_t at;
  uint64_t stamp = 0;  // the event's own time when it differs from `at`
};

struct Case {
  const char* name;
  ControlTapRule taps;
  std::vector<Step> steps;
  std::vector<uint64_t> switches;  // the times of the switches decided
  uint64_t pending_after;
  ControlKey key = ControlKey::kEither;
};

constexpr auto kAny = ControlTapRule::kAny;
constexpr auto kClean = ControlTapRule::kClean;
constexpr auto kLeft = ControlKey::kLeft;
constexpr auto kRight = ControlKey::kRight;

// A press and a release at `release`, by events.
std::vector<Step> Taps(std::initializer_list<uint64_t> releases) {
  std::vector<Step> steps;
  for (uint64_t t : releases) {
    steps.push_back({'p', t - 50});
    steps.push_back({'r', t});
  }
  return steps;
}

// The same with the right Control key.
std::vector<Step> RightTaps(std::initializer_list<uint64_t> releases) {
  std::vector<Step> steps;
  for (uint64_t t : releases) {
    steps.push_back({'x', t - 50});
    steps.push_back({'y', t});
  }
  return steps;
}

std::vector<Step> Join(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Case kCases[] = {
    {"releases 650 ms apart switch", kAny, Taps({1000, 1650}), {1650}, 0},
    {"exactly 700 ms apart switch", kAny, Taps({1000, 1700}), {1700}, 0},
    {"701 ms apart: the second is pending, a third within 700 switches",
     kAny,
     Taps({1000, 1701, 2300}),
     {2300},
     0},
    {"four quick taps: the second and fourth pair",
     kAny,
     Taps({1000, 1200, 1400, 1600}),
     {1200, 1600},
     0},
    {"a lone release is kept by a tick 700 ms later",
     kAny,
     Join(Taps({1000}), {{'R', 1700}}),
     {},
     1000},
    {"and forgotten by a tick 701 ms later", kAny, Join(Taps({1000}), {{'R', 1701}}), {}, 0},
    {"a release seen by the event and again by a tick counts once",
     kAny,
     Join(Taps({1000}), {{'R', 1010}, {'R', 1060}}),
     {},
     1000},
    {"releases seen by ticks alone pair",
     kAny,
     {{'P', 950}, {'R', 1000}, {'P', 1300}, {'R', 1350}},
     {1350},
     0},
    {"a long hold is one tap; the press alone does nothing",
     kAny,
     {{'p', 1000}, {'P', 3000}, {'r', 5000}},
     {},
     5000},
    // Served out of order (two keyboards): judged on the true distance.
    {"an older release 500 ms before the pending one pairs",
     kAny,
     Join(Taps({2000}), Taps({1500})),
     {2000},
     0},
    {"an older release 800 ms before leaves the newer one pending",
     kAny,
     Join(Taps({2000}), Taps({1200})),
     {},
     2000},
    // Stamps ahead of the clock: `at` is clamped to when it was handled.
    {"two releases stamped ahead pair on their stamps",
     kAny,
     {{'p', 950}, {'r', 1000, 9000}, {'p', 1850}, {'r', 1900, 9600}},
     {1900},
     0},
    {"one stamped ahead and one not pair only when both agree",
     kAny,
     {{'p', 950}, {'r', 1000}, {'p', 1450}, {'r', 1500, 9000}},
     {},
     1500},
    // Made-up releases end what was held and complete nothing.
    {"a made-up release is no tap and breaks the pending pair",
     kAny,
     Join(Taps({1000}), {{'p', 1100}, {'m', 1200}, {'p', 1250}, {'r', 1300}}),
     {},
     1300},
    // Shortcuts: a pair under "any", nothing under "clean".
    {"Control-C then Control-V 400 ms apart switch under any",
     kAny,
     {{'p', 950}, {'k', 960}, {'r', 1000}, {'p', 1350}, {'k', 1360}, {'r', 1400}},
     {1400},
     0},
    {"under clean a key while Control is held spoils the tap and the pair",
     kClean,
     Join(Taps({1000}), {{'p', 1350}, {'k', 1360}, {'r', 1400}, {'p', 1550}, {'r', 1600}}),
     {},
     1600},
    {"under clean Shift held at the press spoils it",
     kClean,
     Join(Taps({1000}), {{'s', 1350}, {'r', 1400}}),
     {},
     0},
    {"under clean another modifier changing while Control is held spoils it",
     kClean,
     Join(Taps({1000}), {{'p', 1350}, {'o', 1370}, {'r', 1400}}),
     {},
     0},
    {"under clean a press a tick saw before its event stays clean",
     kClean,
     {{'P', 960}, {'p', 970}, {'r', 1000}, {'P', 1360}, {'p', 1370}, {'r', 1400}},
     {1400},
     0},
    // Which Control key: "either" takes both as one key.
    {"either: a left tap and a right tap pair",
     kAny,
     Join(Taps({1000}), RightTaps({1300})),
     {1300},
     0},
    {"right: two right taps pair", kAny, RightTaps({1000, 1300}), {1300}, 0, kRight},
    {"right: two left taps do nothing", kAny, Taps({1000, 1300}), {}, 0, kRight},
    {"left: two left taps pair", kAny, Taps({1000, 1300}), {1300}, 0, kLeft},
    {"left: a right tap between two left taps breaks the pair",
     kAny,
     Join(Join(Taps({1000}), RightTaps({1150})), Taps({1300})),
     {},
     1300,
     kLeft},
    {"right: a left tap between breaks the pair, the next right tap is pending",
     kAny,
     Join(Join(RightTaps({1000}), Taps({1150})), RightTaps({1300})),
     {},
     1300,
     kRight},
    {"right: the left key's release event breaks it though the state moved on",
     kAny,
     Join(Join(RightTaps({1000}), {{'r', 1100}}), RightTaps({1300})),
     {},
     1300,
     kRight},
    {"right: a left tap before the pair spoils nothing",
     kAny,
     Join(Taps({900}), RightTaps({1000, 1300})),
     {1300},
     0,
     kRight},
    {"right: left held at the press spoils that tap, a clean pair then switches",
     kAny,
     Join({{'p', 900}, {'x', 950}, {'y', 1000}, {'r', 1050}}, RightTaps({1300, 1500})),
     {1500},
     0,
     kRight},
    {"right: a left tap while right is held spoils it",
     kAny,
     Join(Join(RightTaps({1000}), {{'x', 1150}, {'p', 1170}, {'r', 1180}, {'y', 1200}}),
          RightTaps({1300})),
     {},
     1300,
     kRight},
    {"right: left still down at the right release spoils it",
     kAny,
     Join({{'x', 950}, {'p', 980}, {'y', 1000}, {'r', 1020}}, RightTaps({1300})),
     {},
     1300,
     kRight},
    // The poll's reading alone (no events): the live state tells the keys apart.
    {"right, ticks only: a left tap seen between breaks the pair",
     kAny,
     {{'X', 950}, {'Y', 1000}, {'P', 1100}, {'R', 1150}, {'X', 1250}, {'Y', 1300}},
     {},
     1300,
     kRight},
    {"right, ticks only: left held through the right tap spoils it",
     kAny,
     {{'X', 950}, {'P', 960}, {'Y', 1000}, {'R', 1050}, {'X', 1250}, {'Y', 1300}},
     {},
     1300,
     kRight},
    {"right, ticks only: two right taps pair",
     kAny,
     {{'X', 950}, {'Y', 1000}, {'X', 1250}, {'Y', 1300}},
     {1300},
     0,
     kRight},
    {"right: a Control whose side is not told breaks the pair",
     kAny,
     Join(Join(RightTaps({1000}), {{'u', 1100}}), RightTaps({1300})),
     {},
     1300,
     kRight},
    {"right under clean: a key while right is held spoils it",
     kClean,
     Join(RightTaps({1000}), {{'x', 1350}, {'k', 1360}, {'y', 1400}}),
     {},
     0,
     kRight},
};

class ControlTapRuleTest : public ::testing::TestWithParam<Case> {};

TEST_P(ControlTapRuleTest, Decides) {
  const Case& c = GetParam();
  ControlTapState state;
  HeldKeys keys;
  std::vector<uint64_t> switches;
  bool left = false;
  bool right = false;
  for (const Step& s : c.steps) {
    if (s.kind == 'k') {
      // A key goes down and comes up again while Control is held.
      for (uint32_t type : {platform::kEventKeyDown, platform::kEventKeyUp}) {
        const CleanKeyStep k = StepCleanKey(keys, state, type, 8);
        if (c.taps == kClean) {
          keys = k.keys;
          state = k.state;
        }
      }
      continue;
    }
    ControlReading r;
    const std::string kind(1, s.kind);
    if (kind.find_first_of("pPso") != std::string::npos) left = true;
    if (kind.find_first_of("rRm") != std::string::npos) left = false;
    if (kind.find_first_of("xX") != std::string::npos) right = true;
    if (kind.find_first_of("yY") != std::string::npos) right = false;
    r.flags = (left ? platform::kEventFlagMaskControl | platform::kEventFlagMaskLeftControl : 0) |
              (right ? platform::kEventFlagMaskControl | platform::kEventFlagMaskRightControl : 0);
    if (s.kind == 's') r.flags |= platform::kEventFlagMaskShift;
    if (s.kind == 'u') r.flags = platform::kEventFlagMaskControl;
    r.from_event = kind.find_first_of("PRXYu") == std::string::npos;
    r.key_code = s.kind == 'o'                    ? 0x38
                 : s.kind == 'x' || s.kind == 'y' ? platform::kKeyCodeRightControl
                                                  : platform::kKeyCodeControl;
    r.made_up = s.kind == 'm';
    r.keys_held = keys.count != 0;
    r.at_ms = s.at;
    r.stamp_ms = r.from_event ? (s.stamp != 0 ? s.stamp : s.at) : 0;
    const ControlTapStep step = StepControlTap(state, r, {c.taps, 700, c.key});
    if (step.switch_now) switches.push_back(step.switch_at_ms);
    state = step.state;
  }
  EXPECT_EQ(switches, c.switches);
  EXPECT_EQ(state.pending_ms, c.pending_after);
}

INSTANTIATE_TEST_SUITE_P(Table, ControlTapRuleTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "case" + std::to_string(info.index);
                         });

// Which readings look at the time: a release, and a tick while a release is
// pending; the rest need no clock read.
TEST(ControlTapRuleTimeTest, OnlyAReleaseOrAPendingTickNeedsTheClock) {
  const uint64_t ctrl = platform::kEventFlagMaskControl;
  const uint64_t left = ctrl | platform::kEventFlagMaskLeftControl;
  const uint64_t right = ctrl | platform::kEventFlagMaskRightControl;
  struct Row {
    ControlTapState state;
    uint64_t flags;
    bool from_event;
    bool made_up;
    bool needs;
    ControlKey key = ControlKey::kEither;
  } rows[] = {
      {{false, 0, 0, false}, ctrl, true, false, false},  // a press
      {{true, 0, 0, false}, ctrl, true, false, false},   // still held
      {{true, 0, 0, false}, 0, true, false, true},       // a release
      {{true, 0, 0, false}, 0, true, true, false},       // a made-up release
      {{false, 0, 0, false}, 0, false, false, false},    // an idle tick
      {{false, 900, 0, false}, 0, false, false, true},   // a tick with one pending
      {{false, 900, 0, false}, 0, true, false, false},   // an event with one pending
      // Bound to the right key: its release, with the left key down or not.
      {{true, 0, 0, false}, left, true, false, true, kRight},
      {{true, 0, 0, false}, right, true, false, false, kRight},
      {{false, 0, 0, false}, left, true, false, false, kRight},  // the left one
  };
  for (const Row& row : rows) {
    ControlReading r;
    r.flags = row.flags;
    r.from_event = row.from_event;
    r.made_up = row.made_up;
    EXPECT_EQ(ControlReadingNeedsTime(row.state, r, {kAny, 700, row.key}), row.needs)
        << row.state.down << row.flags << row.from_event << row.made_up;
  }
}

// The keys held under the clean rule: auto-repeats are listed once, a full
// list takes no more, releases leave it, and any key event while Control
// is held spoils the tap.
TEST(ControlTapRuleKeysTest, KeysHeldAreListedOnceAndSpoilAHeldControl) {
  HeldKeys keys;
  ControlTapState up;
  for (int64_t code = 1; code <= 10; ++code) {
    const CleanKeyStep step = StepCleanKey(keys, up, platform::kEventKeyDown, code);
    keys = step.keys;
    EXPECT_FALSE(step.state.spoiled);
  }
  EXPECT_EQ(keys.count, HeldKeys::kMax);
  keys = StepCleanKey(keys, up, platform::kEventKeyDown, 3).keys;  // a repeat
  EXPECT_EQ(keys.count, HeldKeys::kMax);
  keys = StepCleanKey(keys, up, platform::kEventKeyUp, 3).keys;
  keys = StepCleanKey(keys, up, platform::kEventKeyUp, 10).keys;  // never listed
  EXPECT_EQ(keys.count, HeldKeys::kMax - 1);

  ControlTapState held;
  held.down = true;
  EXPECT_TRUE(StepCleanKey(keys, held, platform::kEventKeyUp, 4).state.spoiled);
  EXPECT_TRUE(StepCleanKey(keys, held, platform::kEventKeyDown, 4).state.spoiled);
  const CleanKeyStep other = StepCleanKey(keys, held, platform::kEventFlagsChanged, 4);
  EXPECT_FALSE(other.state.spoiled);
  EXPECT_EQ(other.keys.count, keys.count);
}

}  // namespace
