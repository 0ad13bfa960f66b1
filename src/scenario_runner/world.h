// Turning a scenario into a simulated world: the start state from the set-up
// directives, and the timeline scheduled in virtual time.
#pragma once

#include <memory>
#include <string>

#include "platform/result.h"
#include "platform/sim/sim_world.h"
#include "scenario_runner/scenario.h"

namespace runner {

// Creates and installs the world for `setup` in `home` ("" for a fresh
// temporary sandbox) and brings it to the state the set-up directives
// describe. A failure says what could not be arranged. Destroying the world
// lets go of a lock held for `lock held` and removes a temporary sandbox.
platform::Result<std::unique_ptr<sim::World>> PrepareWorld(const Setup& setup,
                                                           const std::string& home);

// Schedules every timeline step with World::At, and stops the run (as if
// killed) at StopTimeMs.
void ScheduleTimeline(sim::World& world, const Scenario& scenario);

}  // namespace runner
