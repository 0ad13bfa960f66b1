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

// toml++ 3.3 runs into a point it declares unreachable (undefined
// behaviour) for some letters beyond ASCII, in places that depend on how far
// its parse got; no setting needs such letters, so a file with any (after an
// optional byte-order mark) is refused. The line of the first one, or 0.
int LineOfLetterOutsideText(std::string_view text) {
  const size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  int line = 1;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (static_cast<unsigned char>(text[i]) >= 0x80) return line;
  }
  return 0;
}

}  // namespace

platform::SettingsRead ParseSettingsText(std::string_view text) {
  platform::SettingsRead read;
  if (const int line = LineOfLetterOutsideText(text); line != 0) {
    read.failure =
        "not a valid settings file (a letter beyond ASCII; settings and their comments are plain "
        "ASCII)";
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
