// What the platforms that read a property-list agent file (macOS and the
// simulated one) accept before and after parsing it: which files are read at
// all, and which string values count as strings.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/result.h"

namespace posix {

// Far above any agent file the tool writes (well under a kilobyte).
inline constexpr size_t kMaxAgentFileBytes = size_t{1} << 20;

// The bytes of the agent file at `path`: only a regular file of at most
// kMaxAgentFileBytes, opened without blocking. A named pipe at the path
// (which would keep the start waiting for a writer), a device, a folder or a
// bigger file fails without being read.
platform::Result<std::string> ReadAgentFileBytes(const std::string& path);

// A string value of the agent file, as `length` bytes of UTF-8: none when a
// NUL byte is among them. Such a value is treated like one of the wrong type:
// a copy cut at the NUL ("org.quembrastella.switch" NUL "x") would pass for
// another string.
std::optional<std::string> AgentStringValue(const char* bytes, size_t length);

}  // namespace posix
