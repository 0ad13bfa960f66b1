// The words of a scenario line: splitting, numbers, hex bytes, dates.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace runner {

using Tokens = std::vector<std::string_view>;

// Splits one line into words (blanks: space, tab, carriage return) after
// cutting off its comment; the words point into `line`. A control character
// outside the comment makes the line unreadable: the text says which.
std::variant<Tokens, std::string> Tokenize(std::string_view line);
// Decimal digits only, no sign, no greater than `max`.
std::optional<uint64_t> Decimal(std::string_view s, uint64_t max);
// One or two hexadecimal digits, either case.
std::optional<uint8_t> HexByte(std::string_view s);
// A valid local date and time, "YYYY-MM-DD" and "HH:MM:SS", from 1970 on,
// as a broken-down time (tm_isdst -1: the zone decides).
std::optional<std::tm> ClockTime(std::string_view date, std::string_view time);

// The index of `word` among `choices`.
template <size_t N>
std::optional<size_t> IndexOf(std::string_view word,
                              const std::array<std::string_view, N>& choices) {
  for (size_t i = 0; i < N; ++i) {
    if (choices[i] == word) return i;
  }
  return std::nullopt;
}

template <size_t N>
std::string ChoiceList(const std::array<std::string_view, N>& choices) {
  std::string out;
  for (size_t i = 0; i < N; ++i) out += (i ? ", " : "") + std::string(choices[i]);
  return out;
}

}  // namespace runner
