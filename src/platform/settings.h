// The user's settings as their source holds them: where they come from and
// each key with its raw value. The tool checks names, types and ranges
// itself, so every platform reports a bad setting in the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A value as the source holds it.
struct SettingValue {
  enum class Kind { kBoolean, kInteger, kText, kList, kOther };
  Kind kind = Kind::kOther;
  bool boolean = false;  // kBoolean
  int64_t integer = 0;   // kInteger
  // kText: the string itself; kOther: what the value is, with its article
  // ("a float", "a table"), for the message that refuses it.
  std::string text;
  // kList: its items, each a boolean, integer or text, or kOther (a list in
  // a list is kOther).
  std::vector<SettingValue> items;
};

struct SettingEntry {
  std::string key;  // as the source spells it
  SettingValue value;
  int line = 0;  // 1-based line of the file; 0 where the source has no lines
};

// How a source spells the settings' names.
enum class SettingNames {
  kSnakeCase,  // chord_hold_ms (a file)
  kCamelCase,  // ChordHoldMs (user defaults)
};

// What one read of a source found.
struct SettingsRead {
  // In the source's order. Empty when there is nothing (no file): not a
  // failure.
  std::vector<SettingEntry> entries;
  // Set when the source is there but cannot be read or understood at all
  // (unreadable, not a regular file, too large, a syntax error): what is
  // wrong. Every setting then keeps its default; `entries` is empty.
  std::optional<std::string> failure;
  int failure_line = 0;  // where the failure lies, when it lies on a line
};

class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  // Where the settings come from, as messages name it: a file's path, or a
  // user-defaults domain.
  virtual std::string Location() = 0;
  virtual SettingNames Names() = 0;
  // Reads the source once; it is never written.
  virtual SettingsRead Read() = 0;
};

}  // namespace platform
