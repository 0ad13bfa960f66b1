#include "platform/toml/toml_settings.h"

#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// The header-only form, without exceptions: a parse failure is a result.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "platform/posix/posix_files.h"

namespace toml_settings {
namespace {

using platform::SettingValue;

// One line of plain text: the parser's message may quote the bytes it
// stumbled on, and a binary file must not reach the terminal through it.
std::string PlainLine(std::string_view text) {
  constexpr size_t kMaxShown = 200;
  std::string out;
  for (char c : text.substr(0, kMaxShown)) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(u < 0x20 || u >= 0x7F ? '?' : c);
  }
  return out;
}

SettingValue ValueOf(const toml::node& node) {
  SettingValue value;
  switch (node.type()) {
    case toml::node_type::boolean:
      value.kind = SettingValue::Kind::kBoolean;
      value.boolean = node.as_boolean()->get();
      break;
    case toml::node_type::integer:
      value.kind = SettingValue::Kind::kInteger;
      value.integer = node.as_integer()->get();
      break;
    case toml::node_type::string:
      value.kind = SettingValue::Kind::kText;
      value.text = node.as_string()->get();
      break;
    case toml::node_type::floating_point:
      value.text = "a fractional number";
      break;
    case toml::node_type::array:
      value.kind = SettingValue::Kind::kList;
      for (const toml::node& item : *node.as_array()) {
        SettingValue one = ValueOf(item);
        if (one.kind == SettingValue::Kind::kList) {
          one = SettingValue{};
          one.text = "an array";
        }
        value.items.push_back(std::move(one));
      }
      break;
    case toml::node_type::table:
      value.text = "a table";
      break;
    case toml::node_type::date:
    case toml::node_type::time:
    case toml::node_type::date_time:
      value.text = "a date or time";
      break;
    case toml::node_type::none:
      break;
  }
  return value;
}

int LineOf(const toml::source_region& region) {
  return static_cast<int>(region.begin.line);
}

// One UTF-8 sequence at `text[at]` (a byte of 0x80 or more): its code point
// and length, or false when it is not well-formed (overlong, a surrogate,
// beyond U+10FFFF, cut short).
bool DecodeUtf8(std::string_view text, size_t at, uint32_t* code_point, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t n = 0;
  uint32_t cp = 0;
  uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, cp = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, cp = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, cp = lead & 0x07u, least = 0x10000;
  } else {
    return false;
  }
  if (at + n > text.size()) return false;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return false;
    cp = (cp << 6) | (byte(i) & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  *code_point = cp;
  *length = n;
  return true;
}

void AppendEscape(uint32_t code_point, std::string* out) {
  char escape[12];
  if (code_point <= 0xFFFF) {
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(code_point));
  } else {
    std::snprintf(escape, sizeof escape, "\\U%08X", static_cast<unsigned>(code_point));
  }
  out->append(escape);
}

size_t QuotesAt(std::string_view text, size_t at, char quote) {
  size_t n = 0;
  while (at + n < text.size() && text[at + n] == quote) ++n;
  return n;
}

}  // namespace

AsciiToml ToAsciiToml(std::string_view text) {
  enum class In { kNothing, kComment, kBasic, kMultiBasic, kLiteral, kMultiLiteral };
  AsciiToml result;
  std::string& out = result.text;
  out.reserve(text.size() + text.size() / 4);
  In in = In::kNothing;
  int line = 1;
  size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // a byte-order mark says nothing
  while (i < text.size()) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80) {
      uint32_t code_point = 0;
      size_t length = 0;
      if (!DecodeUtf8(text, i, &code_point, &length)) {
        result.failure = "not UTF-8 text";
        result.failure_line = line;
        return result;
      }
      if (in == In::kNothing) {
        result.failure = "a letter beyond ASCII outside a string or comment";
        result.failure_line = line;
        return result;
      }
      if (in == In::kComment) {
        out.push_back('?');
      } else {
        AppendEscape(code_point, &out);
      }
      i += length;
      continue;
    }
    if (c == '\n') ++line;
    switch (in) {
      case In::kNothing:
        if (c == '#') {
          in = In::kComment;
        } else if (c == '"' || c == '\'') {
          // Three quotes open a multi-line string; a literal one is written
          // as the basic string of the same value.
          const bool multi = QuotesAt(text, i, c) >= 3;
          in = c == '"' ? (multi ? In::kMultiBasic : In::kBasic)
                        : (multi ? In::kMultiLiteral : In::kLiteral);
          out.append(multi ? "\"\"\"" : "\"");
          i += multi ? 3 : 1;
          continue;
        }
        out.push_back(c);
        break;
      case In::kComment:
        if (c == '\n') in = In::kNothing;
        out.push_back(c);
        break;
      case In::kBasic:
      case In::kMultiBasic:
        if (c == '\\' && i + 1 < text.size()) {
          // An escape is kept as it stands, the escaped byte with it; a
          // letter beyond ASCII cannot be escaped, and the parser is shown
          // an escape it refuses just as well.
          if (static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            out.append("\\?");
            ++i;
            continue;
          }
          if (text[i + 1] == '\n') ++line;
          out.append(text.substr(i, 2));
          i += 2;
          continue;
        }
        if (c == '"') {
          // Copied whole: the parser finds the end where the original has it.
          const size_t quotes = QuotesAt(text, i, '"');
          out.append(quotes, '"');
          i += quotes;
          if (in == In::kBasic || quotes >= 3) in = In::kNothing;
          continue;
        }
        if (c == '\n' && in == In::kBasic) in = In::kNothing;  // unterminated: the parser says so
        out.push_back(c);
        break;
      case In::kLiteral:
      case In::kMultiLiteral:
        if (c == '\'') {
          const size_t quotes = QuotesAt(text, i, '\'');
          if (in == In::kLiteral || quotes >= 3) {
            // Up to two quotes before the closing three belong to the text.
            const size_t kept = in == In::kLiteral ? 0 : std::min<size_t>(quotes - 3, 2);
            out.append(kept, '\'');
            out.append(in == In::kLiteral ? "\"" : "\"\"\"");
            i += in == In::kLiteral ? 1 : kept + 3;
            in = In::kNothing;
          } else {
            out.append(quotes, '\'');
            i += quotes;
          }
          continue;
        }
        if (c == '\\' || c == '"') {
          out.push_back('\\');
        } else if (c == '\n' && in == In::kLiteral) {
          in = In::kNothing;  // unterminated: the parser says so
        }
        out.push_back(c);
        break;
    }
    ++i;
  }
  return result;
}

platform::SettingsRead ParseSettingsText(std::string_view text) {
  platform::SettingsRead read;
  // toml++ 3.3 runs into code it declares unreachable (undefined behaviour)
  // on some letters beyond ASCII; it is handed the same settings in ASCII.
  const AsciiToml ascii = ToAsciiToml(text);
  if (ascii.failure_line != 0) {
    read.failure = "not a valid settings file (" + ascii.failure + ")";
    read.failure_line = ascii.failure_line;
    return read;
  }
  toml::parse_result parsed = toml::parse(ascii.text);
  if (!parsed) {
    const toml::parse_error& error = parsed.error();
    read.failure = "not a valid settings file (" + PlainLine(error.description()) + ")";
    read.failure_line = LineOf(error.source());
    return read;
  }
  for (auto&& [key, node] : parsed.table()) {
    platform::SettingEntry entry;
    entry.key = std::string(key.str());
    entry.value = ValueOf(node);
    entry.line = LineOf(key.source());
    read.entries.push_back(std::move(entry));
  }
  // The table keeps its keys in name order; problems are told in the
  // file's order.
  std::stable_sort(read.entries.begin(), read.entries.end(),
                   [](const platform::SettingEntry& a, const platform::SettingEntry& b) {
                     return a.line < b.line;
                   });
  return read;
}

platform::SettingsRead TomlSettingsFile::Read() {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) {
    platform::SettingsRead none;  // no file: no settings
    none.absent = true;
    return none;
  }
  platform::Result<std::string> bytes = posix::ReadRegularFile(path_, kMaxSettingsBytes);
  if (!bytes.ok()) {
    platform::SettingsRead read;
    read.failure = "cannot be read (" + bytes.description() + ")";
    return read;
  }
  return ParseSettingsText(bytes.value());
}

}  // namespace toml_settings
