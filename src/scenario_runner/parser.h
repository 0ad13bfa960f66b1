// Reading a scenario: text in, a complete scenario or the first unreadable
// line out. Pure: no files, no world, no exceptions.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "scenario_runner/scenario.h"

namespace runner {

// Reads the whole text. One directive a line; `#` starts a comment; blank
// lines are skipped. The first line that cannot be read (or the later line
// of two that contradict each other) is the error.
std::variant<Scenario, ParseError> ParseScenario(std::string_view text);

// The virtual time at which the run is stopped as if killed: the `end`
// line's time, or kQuietEndMs after the last timeline line (or after the
// start when the timeline is empty).
uint64_t StopTimeMs(const Scenario& scenario);

}  // namespace runner
