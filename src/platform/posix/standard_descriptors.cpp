#include "platform/posix/standard_descriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/posix/posix_files.h"

namespace posix {

void KeepStandardDescriptorsOpen() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free descriptor is this one: every lower one is open by now.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

bool StandardOutputWritten(std::string* reason) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return true;
  // A write that failed earlier, when the buffer filled, left only its mark.
  if (reason != nullptr) *reason = errno != 0 ? ErrorText(errno) : "a write failed";
  return false;
}

}  // namespace posix
