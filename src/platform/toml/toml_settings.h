// The settings file of the Linux and simulated platforms: a small TOML file,
// read once, never written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "platform/settings.h"

namespace toml_settings {

// Below the user's configuration folder ($XDG_CONFIG_HOME or ~/.config).
inline constexpr const char* kSettingsFileInConfigDir = "quembrastella-switch/config.toml";
// A settings file holds a few lines; anything larger is refused unread.
inline constexpr size_t kMaxSettingsBytes = 64 * 1024;

// A TOML text in ASCII alone, which reads as the original does: every
// letter beyond ASCII in a string (or quoted key) becomes its \u or \U
// escape, a literal string becomes the basic string with the same value,
// and a comment keeps its length in lines with '?' for each such letter.
// The lines stay where they were. Text that is not UTF-8, or a letter
// beyond ASCII outside any string or comment (never valid TOML), is refused
// with the line it is on.
struct AsciiToml {
  std::string text;
  int failure_line = 0;  // 0: converted
  std::string failure;
};
AsciiToml ToAsciiToml(std::string_view text);

// The top-level keys of a TOML text with their values and lines, or why the
// text is not TOML (with the line of the fault).
platform::SettingsRead ParseSettingsText(std::string_view text);

// The file at `path`. No file is no settings; a file that is not a regular
// file (a folder, a named pipe, a device such as /dev/zero behind a link),
// is larger than kMaxSettingsBytes or cannot be read is refused unread.
class TomlSettingsFile : public platform::SettingsSource {
 public:
  explicit TomlSettingsFile(std::string path) : path_(std::move(path)) {}
  std::string Location() override { return path_; }
  platform::SettingNames Names() override { return platform::SettingNames::kSnakeCase; }
  platform::SettingsRead Read() override;

 private:
  std::string path_;
};

}  // namespace toml_settings
