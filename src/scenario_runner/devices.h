// The scenario words of numbered input devices: `device N clock +MS` in the
// set-up, and `device N ...` and `hold MS` on the timeline.
#pragma once

#include <optional>
#include <string>

#include "scenario_runner/scenario.h"
#include "scenario_runner/words.h"

namespace runner {

// `device N ctrl|rctrl|shift|alt|cmd down|up`, `device N key down|up CODE`,
// `device N button left|right|middle down|up`, `device N gone` (the words
// after the time): lowers it into `step`, or says what is wrong.
std::optional<std::string> DeviceAction(const Tokens& words, Step& step);
// `hold MS`: the main thread is held for MS ms.
std::optional<std::string> HoldAction(const Tokens& words, Step& step);
// `device N clock +MS|-MS` (set-up): device N's clock offset into `setup`.
std::optional<std::string> DeviceClock(const Tokens& words, Setup& setup);

}  // namespace runner
