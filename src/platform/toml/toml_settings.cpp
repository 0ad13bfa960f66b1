#include "platform/toml/toml_settings.h"

#include <errno.h>
#include <sys/stat.h>

#include <algorithm>

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
      value.text = "an array";
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

// toml++ 3.3 runs into a point it declares unreachable (undefined
// behaviour) when certain letters beyond ASCII stand where it looks for
// white space. No setting needs such letters there, so they are allowed in
// comments and strings only; the line of the first one elsewhere, or 0.
int LineOfLetterOutsideText(std::string_view text) {
  enum class In { kCode, kComment, kBasic, kLiteral, kMultiBasic, kMultiLiteral };
  In in = In::kCode;
  int line = 1;
  auto starts = [&](size_t i, std::string_view what) {
    return text.substr(i, what.size()) == what;
  };
  // A byte-order mark may open the file.
  const size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      if (in == In::kComment || in == In::kBasic || in == In::kLiteral) in = In::kCode;
      continue;
    }
    switch (in) {
      case In::kCode:
        if (static_cast<unsigned char>(c) >= 0x80) return line;
        if (c == '#') {
          in = In::kComment;
        } else if (starts(i, "\"\"\"")) {
          in = In::kMultiBasic;
          i += 2;
        } else if (c == '"') {
          in = In::kBasic;
        } else if (starts(i, "'''")) {
          in = In::kMultiLiteral;
          i += 2;
        } else if (c == '\'') {
          in = In::kLiteral;
        }
        break;
      case In::kComment:
        break;
      case In::kBasic:
      case In::kMultiBasic:
        if (c == '\\') {
          // The escaped character is skipped, unless it ends the line.
          if (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        } else if (in == In::kBasic && c == '"') {
          in = In::kCode;
        } else if (in == In::kMultiBasic && starts(i, "\"\"\"")) {
          in = In::kCode;
          i += 2;
        }
        break;
      case In::kLiteral:
        if (c == '\'') in = In::kCode;
        break;
      case In::kMultiLiteral:
        if (starts(i, "'''")) {
          in = In::kCode;
          i += 2;
        }
        break;
    }
  }
  return 0;
}

}  // namespace

platform::SettingsRead ParseSettingsText(std::string_view text) {
  platform::SettingsRead read;
  if (const int line = LineOfLetterOutsideText(text); line != 0) {
    read.failure = "not a valid settings file (a letter beyond ASCII outside a string or comment)";
    read.failure_line = line;
    return read;
  }
  toml::parse_result parsed = toml::parse(text);
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
  if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return {};  // no file: no settings
  platform::Result<std::string> bytes = posix::ReadRegularFile(path_, kMaxSettingsBytes);
  if (!bytes.ok()) {
    platform::SettingsRead read;
    read.failure = "cannot be read (" + bytes.description() + ")";
    return read;
  }
  return ParseSettingsText(bytes.value());
}

}  // namespace toml_settings
