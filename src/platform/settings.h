// The user's settings as their source holds them: where they come from and
// each key with its raw value. The tool checks names, types and ranges
// itself, so every platform reports a bad setting in the same words.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
  // The source is not there at all (no file), as opposed to there and empty.
  bool absent = false;
};

// A registration for changes of a source; destroying it stops the calls.
class SettingsWatch {
 public:
  virtual ~SettingsWatch() = default;
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
  // Calls `changed` on the main thread whenever the source may have
  // changed (several calls for one change are allowed; the caller reads
  // again), until the watch is destroyed. `keys` are the settings' names as
  // this source spells them, for a source watched key by key. Null where
  // this source is not watched; `failure` then says why, or stays empty
  // where there is nothing to watch or the platform does not watch.
  virtual std::unique_ptr<SettingsWatch> Watch(const std::vector<std::string>& keys,
                                               std::function<void()> changed,
                                               std::string* failure) {
    (void)keys;
    (void)changed;
    (void)failure;
    return nullptr;
  }
};

}  // namespace platform
