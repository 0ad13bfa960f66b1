// The scenario word for a program on the simulated PATH, which the hooks
// run: `program NAME ...` in the set-up.
#pragma once

#include <optional>
#include <string>

#include "scenario_runner/scenario.h"
#include "scenario_runner/words.h"

namespace runner {

// "program NAME not-executable", or "program NAME runs MS [exit S]
// [ignores-term] [says WORDS...]" (the whole line): adds the program to
// `setup`, or says what is wrong.
std::optional<std::string> ProgramLine(const Tokens& words, Setup& setup);

}  // namespace runner
