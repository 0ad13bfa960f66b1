#include "scenario_runner/words.h"

namespace runner {

// Splits one line into words, after cutting off its comment. A control
// character outside the comment makes the line unreadable.
std::variant<Tokens, std::string> Tokenize(std::string_view line) {
  if (auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  Tokens tokens;
  size_t start = std::string_view::npos;
  for (size_t i = 0; i <= line.size(); ++i) {
    const bool at_end = i == line.size();
    const unsigned char c = at_end ? ' ' : static_cast<unsigned char>(line[i]);
    const bool blank = c == ' ' || c == '\t' || c == '\r';
    if (!blank && (c < 0x20 || c == 0x7F)) {
      static const char kHex[] = "0123456789ABCDEF";
      return std::string("control character 0x") + kHex[c >> 4] + kHex[c & 0xF];
    }
    if (blank && start != std::string_view::npos) {
      tokens.push_back(line.substr(start, i - start));
      start = std::string_view::npos;
    } else if (!blank && start == std::string_view::npos) {
      start = i;
    }
  }
  return tokens;
}

// A decimal number no greater than `max`.
std::optional<uint64_t> Decimal(std::string_view s, uint64_t max) {
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (max - digit) / 10) return std::nullopt;
    v = v * 10 + digit;
  }
  return v;
}

// One or two hexadecimal digits.
std::optional<uint8_t> HexByte(std::string_view s) {
  if (s.empty() || s.size() > 2) return std::nullopt;
  unsigned v = 0;
  for (char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    v = v * 16 + d;
  }
  return static_cast<uint8_t>(v);
}

// "YYYY-MM-DD" and "HH:MM:SS" as a local broken-down time.
std::optional<std::tm> ClockTime(std::string_view date, std::string_view time) {
  auto field = [](std::string_view s, size_t pos, size_t len) {
    return Decimal(s.substr(pos, len), 9999);
  };
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return std::nullopt;
  if (time.size() != 8 || time[2] != ':' || time[5] != ':') return std::nullopt;
  auto y = field(date, 0, 4), mo = field(date, 5, 2), d = field(date, 8, 2);
  auto h = field(time, 0, 2), mi = field(time, 3, 2), s = field(time, 6, 2);
  if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
  if (*y < 1970 || *mo < 1 || *mo > 12 || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;
  static constexpr std::array<uint64_t, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
  const uint64_t days = kDays[*mo - 1] + (*mo == 2 && leap ? 1 : 0);
  if (*d < 1 || *d > days) return std::nullopt;
  std::tm tm{};
  tm.tm_year = static_cast<int>(*y) - 1900;
  tm.tm_mon = static_cast<int>(*mo) - 1;
  tm.tm_mday = static_cast<int>(*d);
  tm.tm_hour = static_cast<int>(*h);
  tm.tm_min = static_cast<int>(*mi);
  tm.tm_sec = static_cast<int>(*s);
  tm.tm_isdst = -1;
  return tm;
}

}  // namespace runner
