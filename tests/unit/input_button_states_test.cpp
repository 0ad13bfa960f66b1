// The live state of the three mouse buttons in one query: the seam's
// default built from single queries, and the simulated platform's own.
#include <gtest/gtest.h>

#include <memory>

#include "platform/input.h"
#include "platform/sim/sim_world.h"

namespace {

// Answers single queries only, so the default composition is what runs.
class SingleQueries : public platform::Input {
 public:
  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t, platform::EventCallback,
                                                     void*) override {
    return nullptr;
  }
  uint64_t FlagsState() override { return 0; }
  bool ButtonState(uint32_t button) override { return button < 8 && ((down >> button) & 1u); }
  uint32_t down = 0;
};

TEST(ButtonStatesTest, TheDefaultSetsBitNForButtonNAndIgnoresOtherButtons) {
  SingleQueries input;
  for (uint32_t mask = 0; mask < 8; ++mask) {
    // Buttons 3 and 5 are down as well; they are no part of the answer.
    input.down = mask | 0x28u;
    EXPECT_EQ(input.ButtonStates(), mask) << "buttons down: " << mask;
  }
}

TEST(ButtonStatesTest, TheSimulatedInputAgreesWithItsSingleQueries) {
  std::unique_ptr<sim::World> world = sim::World::Create({});
  ASSERT_NE(world, nullptr);
  platform::Services services = world->Services();
  platform::Input& input = *services.input;
  sim::SimInput& control = world->InputControl();
  control.SetLiveButton(4, true);  // a button the chord does not look at
  for (uint32_t mask = 0; mask < 8; ++mask) {
    for (uint32_t button = 0; button < 3; ++button) {
      control.SetLiveButton(button, ((mask >> button) & 1u) != 0);
    }
    uint32_t single = 0;
    for (uint32_t button = 0; button < 3; ++button) {
      if (input.ButtonState(button)) single |= 1u << button;
    }
    EXPECT_EQ(single, mask);
    EXPECT_EQ(input.ButtonStates(), mask) << "buttons down: " << mask;
  }
}

}  // namespace
