// The scenario reader on random text: every text either reads as a scenario
// or names a line that exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <variant>

#include "scenario_runner/parser.h"

namespace runner {
namespace {

TEST(RunnerParser, AnyTextGivesAScenarioOrALineThatExists) {
  const char* const kPieces[] = {"at ",       "0",           "7",          "99 ",
                                 "86400001 ", "ctrl ",       "ctrl-live ", "down",
                                 "up",        " ",           "\n",         "\r\n",
                                 "\t",        "#",           "key ",       "12",
                                 "button ",   "left ",       "middle ",    "end",
                                 "hub ",      "F5=",         "ff",         "args ",
                                 "--console", "\x01",        "fail ",      "read F5-0000",
                                 "clock ",    "2024-02-29 ", "00:00:00",   "agent installed",
                                 "exe none",  "menu exit",   "choice ",    "start"};
  std::mt19937 rng(20250305);
  std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> length(0, 60);
  int accepted = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += kPieces[piece(rng)];
    if (round % 7 == 0) text += std::string(1, '\0') + "at 5 end";
    const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    auto result = ParseScenario(text);
    if (auto* error = std::get_if<ParseError>(&result)) {
      ++refused;
      ASSERT_GE(error->line, 1) << text;
      ASSERT_LE(error->line, lines) << text;
      ASSERT_FALSE(error->what.empty()) << text;
      continue;
    }
    ++accepted;
    const Scenario& s = std::get<Scenario>(result);
    for (size_t i = 0; i < s.timeline.size(); ++i) {
      ASSERT_LE(s.timeline[i].t_ms, kMaxScenarioMs) << text;
      ASSERT_GE(s.timeline[i].line, 1) << text;
      ASSERT_LE(s.timeline[i].line, lines) << text;
      if (i > 0) {
        ASSERT_GE(s.timeline[i].t_ms, s.timeline[i - 1].t_ms) << text;
      }
      if (s.timeline[i].kind == Step::Kind::kEnd) {
        ASSERT_EQ(i + 1, s.timeline.size()) << text;
      }
    }
    if (!s.timeline.empty()) {
      ASSERT_GE(StopTimeMs(s), s.timeline.back().t_ms) << text;
    }
  }
  // Both outcomes were exercised.
  EXPECT_GT(accepted, 50);
  EXPECT_GT(refused, 50);
}

}  // namespace
}  // namespace runner
