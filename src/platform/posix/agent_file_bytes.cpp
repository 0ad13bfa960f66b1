#include "platform/posix/agent_file_bytes.h"

#include <cstring>

#include "platform/posix/posix_files.h"

namespace posix {

platform::Result<std::string> ReadAgentFileBytes(const std::string& path) {
  return ReadRegularFile(path, kMaxAgentFileBytes);
}

std::optional<std::string> AgentStringValue(const char* bytes, size_t length) {
  if (length == 0) return std::string();
  if (bytes == nullptr || std::memchr(bytes, '\0', length) != nullptr) return std::nullopt;
  return std::string(bytes, length);
}

}  // namespace posix
