// File-system operations shared by the platforms that have POSIX: folders,
// atomic replacement of a file, permissions and the executable test.
#pragma once

#include <cstddef>
#include <string>

#include "platform/result.h"

namespace posix {

// Creates `path` and every missing parent. An existing folder is success;
// anything else standing in the way, or a refused mkdir, is a failure whose
// description is the system's text for the error and the path concerned.
platform::Status CreateDirectories(const std::string& path);

// Replaces `path` with `bytes`: writes a temporary file in the same folder,
// flushes it to disk and renames it over `path`. On any failure the previous
// file is untouched and the temporary file is removed. The new file has mode
// 0644 from its creation on, whatever the umask.
platform::Status WriteFileAtomically(const std::string& path, const std::string& bytes);

// chmod; true on success.
bool SetPermissions(const std::string& path, unsigned mode);

// True when `path` is a regular file that the current user may execute.
bool IsExecutableFile(const std::string& path);

// The whole content of a file, or a failure with the system's text.
platform::Result<std::string> ReadWholeFile(const std::string& path);

// The content of a regular file of at most `limit` bytes. Anything else
// fails without being read on: a folder, a device (/dev/zero never ends), a
// named pipe (which would keep the reader waiting for a writer for ever), or
// a file larger than `limit`.
platform::Result<std::string> ReadRegularFile(const std::string& path, size_t limit);

// The system's text for an error number (strerror).
std::string ErrorText(int error_number);

}  // namespace posix
