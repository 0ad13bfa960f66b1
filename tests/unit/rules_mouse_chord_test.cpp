// The mouse chord rule as tables: button events, ticks and timer expiries
// with their times in, what it does with the hold timer and when it
// switches out. No world, no timer, no clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gestures/rules/mouse_chord_rule.h"
#include "platform/event_types.h"

namespace {

// One reading. Kinds: 'd' a press event, 'u' a release event, 'm' a release
// made up, 'g' a drag, 't' a tick, 'x' the hold timer's expiry, 'X' an
// expiry of a timer no longer pending, 'L' / 'l' the live button going down
// / up without an event. `stamp` is the event's own time (0: none).
struct Step {
  char kind;
  int64_t button;
  uint64_t now;
  uint64_t stamp = 0;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  // "A<ms>" a hold timer armed to fire in ms, "S" a pending one stopped,
  // "W<ms>" a switch as of that time.
  const char* trace;
  uint32_t hold_ms = 1000;
};

const Case kCases[] = {
    {"left then right held: one switch, holding on changes nothing",
     {{'d', 0, 1000},
      {'d', 1, 1010},
      {'g', 0, 1500},
      {'x', 0, 2010},
      {'t', 0, 2060},
      {'d', 1, 3000}},
     "A1000 W2010"},
    {"released at 0.8 s and pressed again: a fresh second",
     {{'d', 0, 1000}, {'d', 1, 1000}, {'u', 1, 1800}, {'d', 1, 1900}, {'x', 0, 2900}},
     "A1000 S A1000 W2900"},
    {"left with middle", {{'d', 0, 1000}, {'d', 2, 1000}, {'x', 0, 2000}}, "A1000 W2000"},
    {"right first, then left", {{'d', 1, 1000}, {'d', 0, 1200}, {'x', 0, 2200}}, "A1000 W2200"},
    {"the live state alone arms the hold (events missed)",
     {{'L', 0, 0}, {'L', 1, 0}, {'t', 0, 1000}, {'x', 0, 2000}},
     "A1000 W2000"},
    {"after a switch releasing right clears the latch; pressing again starts a new hold",
     {{'d', 0, 1000},
      {'d', 1, 1000},
      {'x', 0, 2000},
      {'u', 1, 2500},
      {'d', 1, 2600},
      {'x', 0, 3600}},
     "A1000 W2000 A1000 W3600"},
    {"the tick forgets tracked buttons the live state shows up",
     {{'d', 0, 1000}, {'d', 1, 1000}, {'l', 0, 0}, {'l', 1, 0}, {'t', 0, 1500}, {'x', 0, 2000}},
     "A1000 S"},
    {"with no tick in between, a hold whose releases never came still fires",
     {{'d', 0, 1000}, {'d', 1, 1000}, {'l', 0, 0}, {'l', 1, 0}, {'x', 0, 2000}},
     "A1000 W2000"},
    {"a stale timer's expiry after the release does nothing",
     {{'d', 0, 1000}, {'d', 1, 1000}, {'u', 1, 1500}, {'X', 0, 2000}},
     "A1000 S"},
    {"a chord held longer than the hold time of 1.5 s",
     {{'d', 0, 1000}, {'d', 1, 1000}},
     "A1500",
     1500},
    // Event times: a chord made while the main thread was busy.
    {"timed from its press", {{'d', 0, 1300, 1000}, {'d', 1, 1300, 1000}}, "A700"},
    {"a stamp ahead of the clock times from now",
     {{'d', 0, 1300, 5000}, {'d', 1, 1300, 5000}},
     "A1000"},
    {"never from before the last press served",
     {{'d', 1, 1300, 1200}, {'d', 0, 1300, 1000}},
     "A900"},
    // The release edge: a release read late, after the hold was due.
    {"released after it was due: the hold counts as of its due time",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'u', 1, 2300, 2100}},
     "A1000 S W2000"},
    {"released exactly when due",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'u', 1, 2300, 2000}},
     "A1000 S W2000"},
    {"released 1 ms before it was due",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'u', 1, 2300, 1999}},
     "A1000 S"},
    {"a release stamped ahead of the clock says nothing",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'u', 1, 2300, 2400}},
     "A1000 S"},
    {"a release without a time is taken as now, before the timer",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'u', 1, 2300}},
     "A1000 S"},
    {"a made-up release completes nothing",
     {{'d', 0, 1000, 1000}, {'d', 1, 1000, 1000}, {'m', 1, 2300, 2100}},
     "A1000 S"},
};

uint32_t TypeOf(char kind, int64_t button) {
  const bool down = kind == 'd';
  if (kind == 'g') return platform::kEventLeftMouseDragged;
  if (button == 0) return down ? platform::kEventLeftMouseDown : platform::kEventLeftMouseUp;
  if (button == 1) return down ? platform::kEventRightMouseDown : platform::kEventRightMouseUp;
  return down ? platform::kEventOtherMouseDown : platform::kEventOtherMouseUp;
}

class ChordRuleTest : public ::testing::TestWithParam<Case> {};

TEST_P(ChordRuleTest, Decides) {
  const Case& c = GetParam();
  const ChordParams params{c.hold_ms};
  ChordState state;
  uint32_t live = 0;
  std::string trace;
  const auto note = [&trace](const std::string& word) {
    trace += (trace.empty() ? "" : " ") + word;
  };
  for (const Step& s : c.steps) {
    const uint32_t bit = 1u << s.button;
    if (s.kind == 'd' || s.kind == 'L') live |= bit;
    if (s.kind == 'u' || s.kind == 'm' || s.kind == 'l') live &= ~bit;
    if (s.kind == 'L' || s.kind == 'l') continue;
    const bool armed = state.armed;
    ChordStep step;
    if (s.kind == 'x' || s.kind == 'X') {
      step = StepChordExpiry(state, s.kind == 'x', live);
    } else {
      ChordReading r;
      r.from_event = s.kind != 't';
      r.type = r.from_event ? TypeOf(s.kind, s.button) : platform::kEventNull;
      r.button = s.button;
      r.made_up = s.kind == 'm';
      r.stamp_ms = s.stamp;
      r.live = live;
      r.now_ms = s.now;
      step = StepChord(state, r, params);
    }
    if (step.timer == HoldTimer::kArm) note("A" + std::to_string(step.arm_in_ms));
    if (step.timer == HoldTimer::kStop && armed) note("S");
    if (step.switch_now) note("W" + std::to_string(step.switch_at_ms));
    state = step.state;
  }
  EXPECT_EQ(trace, c.trace);
}

INSTANTIATE_TEST_SUITE_P(Table, ChordRuleTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "case" + std::to_string(info.index);
                         });

// Tracking: presses set, releases clear, middle counts as right, other
// buttons by number, drags and other types change nothing.
TEST(ChordButtonsTest, EventsSetAndClearTheTrackedBits) {
  struct Row {
    uint8_t before;
    uint32_t type;
    int64_t button;
    uint8_t after;
  } rows[] = {
      {0x00, 1, 0, 0x10},  {0x10, 3, 1, 0x11},  {0x11, 4, 1, 0x10},  {0x10, 25, 2, 0x11},
      {0x11, 26, 2, 0x10}, {0x10, 2, 0, 0x00},  {0x00, 25, 0, 0x10}, {0x10, 25, 4, 0x10},
      {0x11, 26, 4, 0x11}, {0x11, 6, 0, 0x11},  {0x11, 7, 1, 0x11},  {0x11, 27, 2, 0x11},
      {0x11, 0, 0, 0x11},  {0x11, 26, 0, 0x01}, {0x00, 1, 1, 0x11},  {0x11, 4, 0, 0x00},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(TrackChordButtons(r.before, r.type, r.button), r.after)
        << int{r.before} << " type " << r.type << " button " << r.button;
  }
}

// The chord is the tracked pair, or live left with live right or middle; the
// tick's forgetting follows the live state down, never up.
TEST(ChordButtonsTest, ThePredicateAndTheTicksForgetting) {
  struct Row {
    uint8_t tracked;
    uint32_t live;
    bool down;
    uint8_t kept;
  } rows[] = {
      {0x00, 0, false, 0x00}, {0x00, 1, false, 0x00}, {0x00, 5, true, 0x00},
      {0x00, 6, false, 0x00}, {0x10, 2, false, 0x00}, {0x11, 0, true, 0x00},
      {0x11, 5, true, 0x11},  {0x11, 2, true, 0x01},  {0x00, 7, true, 0x00},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ChordDown(r.tracked, r.live), r.down) << int{r.tracked} << " live " << r.live;
    EXPECT_EQ(ForgetReleasedChordButtons(r.tracked, r.live), r.kept)
        << int{r.tracked} << " live " << r.live;
  }
}

// A reading the rule is said to do nothing with but move the tracked bits,
// in every state, does exactly that: no switch, no timer armed, none to stop.
// A drag or a lone button with nothing armed is among them.
TEST(ChordRuleSkipTest, WhatIsSkippedOnlyMovesTheBits) {
  struct Reading {
    bool from_event;
    uint32_t type;
    int64_t button;
  } readings[] = {{true, 1, 0}, {true, 2, 0},  {true, 3, 1}, {true, 4, 1},
                  {true, 6, 0}, {true, 27, 2}, {false, 0, 0}};
  int skipped = 0;
  for (const uint8_t buttons : {0x00, 0x10, 0x01, 0x11}) {
    for (const ChordState base :
         {ChordState{}, ChordState{0, true, false, 2000, 0}, ChordState{0, false, true, 0, 0},
          ChordState{0, false, false, 0, 500}}) {
      ChordState state = base;
      state.buttons = buttons;
      for (const Reading& reading : readings) {
        for (const uint64_t stamp : {uint64_t{0}, uint64_t{900}}) {
          for (const uint32_t live : {0u, 1u, 2u, 3u}) {
            ChordReading r;
            r.from_event = reading.from_event;
            r.type = reading.type;
            r.button = reading.button;
            r.stamp_ms = reading.from_event ? stamp : 0;
            r.live = live;
            r.now_ms = 1000;
            if (ChordReadingCanAct(state, r)) continue;
            ++skipped;
            ChordState expected = state;
            expected.buttons = ChordButtonsAfter(state.buttons, r);
            const ChordStep step = StepChord(state, r, {});
            EXPECT_EQ(step.state, expected) << int{buttons} << " " << r.type << " " << live;
            EXPECT_FALSE(step.switch_now);
            EXPECT_NE(step.timer, HoldTimer::kArm);
          }
        }
      }
    }
  }
  EXPECT_GT(skipped, 0);
  ChordReading drag;
  drag.from_event = true;
  drag.type = platform::kEventLeftMouseDragged;
  EXPECT_FALSE(ChordReadingCanAct(ChordState{0x10, false, false, 0, 0}, drag));
}

}  // namespace
