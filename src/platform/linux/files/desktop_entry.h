// The login agent as an XDG autostart entry: writing one, and reading the
// label and the program arguments back from a file that may be hostile.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/result.h"

namespace linux_platform {

// The key that carries the agent's label.
inline constexpr const char* kLabelKey = "X-Quembrastella-Label";
// Files larger than this are not agent files the tool wrote.
inline constexpr size_t kMaxEntryBytes = 64 * 1024;

// The Exec value for these arguments, quoted as the Desktop Entry format
// requires (paths with blanks or special characters survive). Fails for
// arguments that cannot be written (control characters, bytes that are not
// UTF-8).
platform::Result<std::string> QuoteExec(const std::vector<std::string>& arguments);
// The arguments of an Exec value; none when its quoting is malformed.
std::optional<std::vector<std::string>> SplitExec(const std::string& value);

// The whole autostart entry for `agent`, shown under the agent's name.
platform::Result<std::string> SerializeDesktopEntry(const platform::AgentDefinition& agent);
// Parses an entry's bytes; none when they are too large, binary, or hold no
// [Desktop Entry] group.
std::optional<platform::AgentFileContents> ParseDesktopEntry(const std::string& bytes);

}  // namespace linux_platform
