// The scenario words of the simulated hubs: `hub ...` and `hub-2 ...` in the
// set-up, `hub absent|present` and `hub-2 absent|present` on the timeline.
#pragma once

#include <optional>
#include <string>

#include "scenario_runner/scenario.h"
#include "scenario_runner/words.h"

namespace runner {

// The words after `hub` or `hub-2` (set-up), each at most once: `absent`,
// `F5=HH`, `F8=HH`, `port B-P[.P...]`, `serial TEXT`, `location 0xHHHHHHHH`.
// Fills `hub`, or says what is wrong.
std::optional<std::string> HubSetUpWords(const Tokens& words, HubSetup& hub);
// `hub absent|present`, `hub-2 absent|present` (the words after the time).
std::optional<std::string> HubAction(const Tokens& words, Step& step);

}  // namespace runner
