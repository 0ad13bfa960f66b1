// Reading a scenario in a test: the scenario, or the error, with the other
// outcome a test failure.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "scenario_runner/parser.h"

namespace runner {

inline Scenario Parsed(const std::string& text) {
  auto result = ParseScenario(text);
  if (auto* error = std::get_if<ParseError>(&result)) {
    ADD_FAILURE() << "line " << error->line << ": " << error->what << "\n in:\n" << text;
    return Scenario{};
  }
  return std::get<Scenario>(result);
}

inline ParseError Failed(const std::string& text) {
  auto result = ParseScenario(text);
  if (auto* error = std::get_if<ParseError>(&result)) return *error;
  ADD_FAILURE() << "parsed, but should not have:\n" << text;
  return ParseError{};
}

}  // namespace runner
