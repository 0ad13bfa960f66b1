// What the Control recogniser may skip: a reading the rule says it cannot
// act on changes nothing, in every state, under every tap mode and key.
#include <gtest/gtest.h>

#include <cstdint>

#include "gestures/rules/control_tap_rule.h"
#include "platform/event_types.h"

namespace {

constexpr uint32_t kFlagsType = platform::kEventFlagsChanged;

// A reading the rule is said not to act on, in every state, leaves the state
// as it was and switches nothing: the recogniser skips those steps. Control
// held as it was, an idle tick and an auto-repeat are among them.
TEST(ControlTapRuleSkipTest, WhatIsSkippedChangesNothing) {
  const uint64_t ctrl = platform::kEventFlagMaskControl;
  const uint64_t left = ctrl | platform::kEventFlagMaskLeftControl;
  const uint64_t right = ctrl | platform::kEventFlagMaskRightControl;
  int skipped = 0;
  for (const ControlTapRule taps : {ControlTapRule::kAny, ControlTapRule::kClean}) {
    for (const ControlTapState state :
         {ControlTapState{}, ControlTapState{true, 0, 0, false}, ControlTapState{true, 0, 0, true},
          ControlTapState{false, 900, 900, false}, ControlTapState{true, 900, 0, true}}) {
      for (const uint64_t flags :
           {uint64_t{0}, ctrl, left | platform::kEventFlagMaskShift, left, right, left | right}) {
        for (const bool from_event : {true, false}) {
          for (const int64_t code : {int64_t{platform::kKeyCodeControl},
                                     int64_t{platform::kKeyCodeRightControl}, int64_t{0x38}}) {
            for (const uint64_t at : {uint64_t{1000}, uint64_t{5000}}) {
              for (const ControlKey key :
                   {ControlKey::kEither, ControlKey::kLeft, ControlKey::kRight}) {
                ControlReading r;
                r.flags = flags;
                r.from_event = from_event;
                r.key_code = code;
                r.keys_held = code == 0x38;
                r.at_ms = at;
                r.stamp_ms = from_event ? at : 0;
                if (ControlReadingCanAct(state, r, {taps, 700, key})) continue;
                ++skipped;
                const ControlTapStep step = StepControlTap(state, r, {taps, 700, key});
                EXPECT_EQ(step.state, state) << static_cast<int>(taps) << flags << from_event
                                             << code << static_cast<int>(key);
                EXPECT_FALSE(step.switch_now);
              }
            }
          }
        }
      }
    }
  }
  EXPECT_GT(skipped, 0);

  HeldKeys keys;
  keys.codes[0] = 8;
  keys.count = 1;
  ControlTapState held;
  held.down = true;
  ControlTapState spoiled = held;
  spoiled.spoiled = true;
  for (const ControlTapState state : {ControlTapState{}, held, spoiled}) {
    for (const uint32_t type : {platform::kEventKeyDown, platform::kEventKeyUp, kFlagsType}) {
      for (const int64_t code : {int64_t{8}, int64_t{9}}) {
        if (CleanKeyCanAct(keys, state, type, code)) continue;
        const CleanKeyStep step = StepCleanKey(keys, state, type, code);
        EXPECT_EQ(step.state, state);
        EXPECT_EQ(step.keys.count, keys.count);
        EXPECT_EQ(step.keys.codes, keys.codes);
      }
    }
  }
  EXPECT_FALSE(CleanKeyCanAct(keys, spoiled, platform::kEventKeyDown, 8));  // a repeat
  EXPECT_TRUE(CleanKeyCanAct(keys, held, platform::kEventKeyDown, 8));      // spoils the press
}

}  // namespace
