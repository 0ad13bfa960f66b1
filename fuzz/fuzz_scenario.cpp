// The scenario file of quembrastella-sim: any text through the reader. A
// scenario it accepts must be one the runner can play; a refusal must name
// a line of the text in one line of its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz_support.h"
#include "scenario_runner/parser.h"

namespace {

size_t LineCount(std::string_view text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

void CheckRefusal(const runner::ParseError& error, std::string_view text) {
  fuzz::Check(error.line >= 1 && static_cast<size_t>(error.line) <= LineCount(text),
              "a refusal names a line of the text");
  fuzz::Check(!error.what.empty(), "a refusal says what is wrong");
  fuzz::Check(
      error.what.find('\n') == std::string::npos && error.what.find('\r') == std::string::npos,
      "a refusal is one line");
}

void CheckScenario(const runner::Scenario& scenario, std::string_view text) {
  const runner::Setup& setup = scenario.setup;
  fuzz::Check(setup.alert_ms <= runner::kMaxScenarioMs, "alerts stay within the run's limit");
  for (size_t i = 0; i < setup.faults.size(); ++i) {
    fuzz::Check(std::find(setup.faults.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                          setup.faults.end(), setup.faults[i]) == setup.faults.end(),
                "each fault is listed once");
  }
  for (const std::string& arg : setup.args) {
    fuzz::Check(!arg.empty() && arg.find_first_of(" \t\r\n#") == std::string::npos,
                "arguments are whole words");
  }
  int previous_line = 0;
  uint64_t previous_t = 0;
  for (size_t i = 0; i < scenario.timeline.size(); ++i) {
    const runner::Step& step = scenario.timeline[i];
    fuzz::Check(step.t_ms <= runner::kMaxScenarioMs, "times stay within the run's limit");
    fuzz::Check(step.t_ms >= previous_t, "times never decrease");
    fuzz::Check(step.line > previous_line && static_cast<size_t>(step.line) <= LineCount(text),
                "steps keep the order of their lines");
    const bool last = i + 1 == scenario.timeline.size();
    fuzz::Check(step.kind != runner::Step::Kind::kEnd || last, "nothing follows 'end'");
    if (step.live_button) fuzz::Check(step.live_button->button <= 2, "buttons are 0, 1 or 2");
    if (step.event) fuzz::Check(step.event->button <= 2, "event buttons are 0, 1 or 2");
    previous_line = step.line;
    previous_t = step.t_ms;
  }
  const uint64_t stop = runner::StopTimeMs(scenario);
  if (!scenario.timeline.empty()) {
    fuzz::Check(stop >= scenario.timeline.back().t_ms, "the run stops after the last step");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fuzz::Text(data, size);
  const auto parsed = runner::ParseScenario(text);
  if (const auto* error = std::get_if<runner::ParseError>(&parsed)) {
    CheckRefusal(*error, text);
  } else {
    CheckScenario(std::get<runner::Scenario>(parsed), text);
  }
  // A comment line at the end changes nothing.
  const auto commented = runner::ParseScenario(text + "\n# the end");
  fuzz::Check(parsed.index() == commented.index(), "a trailing comment changes nothing");
  if (const auto* error = std::get_if<runner::ParseError>(&parsed)) {
    const auto& again = std::get<runner::ParseError>(commented);
    fuzz::Check(again.line == error->line && again.what == error->what,
                "a trailing comment moves no refusal");
  }
  return 0;
}
