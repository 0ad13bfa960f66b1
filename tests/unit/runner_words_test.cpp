// The scenario reader's words: numbers with their limits, dates, tokens.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

#include "scenario_runner/words.h"

namespace runner {
namespace {

TEST(RunnerWords, NumbersStopExactlyAtTheirLimit) {
  EXPECT_EQ(Decimal("0", 10), 0u);
  EXPECT_EQ(Decimal("10", 10), 10u);
  EXPECT_FALSE(Decimal("11", 10));
  EXPECT_EQ(Decimal("18446744073709551615", UINT64_MAX), UINT64_MAX);
  EXPECT_FALSE(Decimal("18446744073709551616", UINT64_MAX));
  EXPECT_FALSE(Decimal("", 10));
  EXPECT_FALSE(Decimal("+1", 10));
  EXPECT_FALSE(Decimal(" 1", 10));
  EXPECT_EQ(HexByte("ff"), 0xFF);
  EXPECT_EQ(HexByte("A0"), 0xA0);
  EXPECT_EQ(HexByte("7"), 0x07);
  EXPECT_FALSE(HexByte(""));
  EXPECT_FALSE(HexByte("0x1"));
  EXPECT_FALSE(HexByte("g0"));
}

TEST(RunnerWords, ClockAcceptsOnlyRealDates) {
  EXPECT_TRUE(ClockTime("2024-02-29", "00:00:00"));
  EXPECT_TRUE(ClockTime("2000-02-29", "12:00:00"));
  EXPECT_FALSE(ClockTime("2100-02-29", "12:00:00"));
  EXPECT_FALSE(ClockTime("2025-02-29", "12:00:00"));
  EXPECT_TRUE(ClockTime("2025-12-31", "23:59:59"));
  EXPECT_FALSE(ClockTime("2025-04-31", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025-13-01", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025-00-01", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025-01-00", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025-01-01", "24:00:00"));
  EXPECT_FALSE(ClockTime("2025-01-01", "10:60:00"));
  EXPECT_FALSE(ClockTime("2025-01-01", "10:00:60"));
  EXPECT_FALSE(ClockTime("1969-12-31", "23:59:59"));
  EXPECT_FALSE(ClockTime("2025-1-01", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025/01/01", "10:00:00"));
  EXPECT_FALSE(ClockTime("2025-01-01", "10:00"));
  EXPECT_FALSE(ClockTime("2025-01-0x", "10:00:00"));
}

TEST(RunnerWords, TokensSplitOnAnyRunOfBlanks) {
  auto t = Tokenize(" \tat  5\r");
  ASSERT_TRUE(std::holds_alternative<Tokens>(t));
  EXPECT_EQ(std::get<Tokens>(t), (Tokens{"at", "5"}));
  EXPECT_TRUE(std::get<Tokens>(Tokenize("")).empty());
  EXPECT_EQ(std::get<std::string>(Tokenize("a\vb")), "control character 0x0B");
}

}  // namespace
}  // namespace runner
