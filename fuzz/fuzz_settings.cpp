// The settings file: any bytes as config.toml, through the same capped file
// reader and TOML reader the tool uses, then the tool's own check of what
// it found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "gestures/gesture_settings.h"
#include "platform/toml/toml_settings.h"

namespace {

bool OneLine(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file;
  file.Fill(data, size);
  toml_settings::TomlSettingsFile source(file.Path());
  const platform::SettingsRead read = source.Read();

  // The parser is only ever handed ASCII, with every line where it was.
  const std::string text = fuzz::Text(data, size);
  const toml_settings::AsciiToml ascii = toml_settings::ToAsciiToml(text);
  bool only_ascii = true;
  for (unsigned char c : ascii.text) only_ascii = only_ascii && c < 0x80;
  fuzz::Check(only_ascii, "the text for the parser is ASCII");
  const auto lines = [](const std::string& t) { return std::count(t.begin(), t.end(), '\n'); };
  fuzz::Check(ascii.failure_line != 0 || lines(ascii.text) == lines(text),
              "every line stays where it was");
  fuzz::Check(ascii.failure_line == 0 || ascii.failure_line <= lines(text) + 1,
              "a refusal names a line of the text");

  const bool fits = size <= toml_settings::kMaxSettingsBytes;
  fuzz::Check(fits || (read.failure && read.entries.empty()), "a file over the limit is refused");
  if (fits) {
    const platform::SettingsRead parsed = toml_settings::ParseSettingsText(fuzz::Text(data, size));
    fuzz::Check(parsed.failure.has_value() == read.failure.has_value() &&
                    parsed.entries.size() == read.entries.size(),
                "the file reader hands on exactly what the text parses to");
  }
  fuzz::Check(!read.failure || read.entries.empty(), "a failed read carries no entries");

  const SettingsOutcome outcome =
      CheckSettings(read, platform::SettingNames::kSnakeCase, file.Path());
  const GestureSettings& s = outcome.settings;
  fuzz::Check(s.chord_hold_ms >= kMinChordHoldMs && s.chord_hold_ms <= kMaxChordHoldMs,
              "the hold time is in its range");
  fuzz::Check(s.double_tap_ms >= kMinDoubleTapMs && s.double_tap_ms <= kMaxDoubleTapMs,
              "the window is in its range");
  if (read.failure) {
    fuzz::Check(outcome.problems.size() == 1 && s == GestureSettings{},
                "an unreadable file is one problem and every default");
  } else {
    fuzz::Check(outcome.problems.size() <= read.entries.size(), "at most one problem a setting");
  }
  for (const std::string& problem : outcome.problems) {
    fuzz::Check(OneLine(problem), "every problem is one line of plain text");
    fuzz::Check(problem.rfind(file.Path() + ":", 0) == 0, "every problem names the file");
  }
  return 0;
}
