#include "platform/posix/posix_files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/posix/unique_fd.h"

namespace posix {
namespace {

platform::Status Failure(int error_number, const std::string& path) {
  return platform::Status::Fail(ErrorText(error_number) + " (" + path + ")");
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes every byte, riding out short writes and interrupted calls.
int WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

// A temporary file beside `path`, removed unless Keep() was called.
class TempFile {
 public:
  static constexpr mode_t kMode = 0644;

  explicit TempFile(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = FolderOf(path) + "/." + NameOf(path) + ".tmp";
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, ".%ld.%u", static_cast<long>(::getpid()),
                    counter.fetch_add(1));
      const std::string candidate = stem + suffix;
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kMode);
      if (fd >= 0) {
        // The umask can only take bits away: made 0644 before the first byte,
        // the file is never open to another user's writes, not even before it
        // is renamed into place.
        (void)::fchmod(fd, kMode);
        fd_ = UniqueFd(fd);
        path_ = candidate;
        return;
      }
      error_ = errno;
      if (error_ != EEXIST) return;
    }
  }
  // Teardown: the descriptor closes first (member order), then the file is
  // unlinked unless it was renamed into place.
  ~TempFile() {
    fd_.Reset();
    if (!path_.empty() && !kept_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return fd_.valid(); }
  int error() const { return error_; }
  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  int Close() { return fd_.Reset(); }
  void Keep() { kept_ = true; }

 private:
  UniqueFd fd_;
  std::string path_;
  int error_ = 0;
  bool kept_ = false;
};

}  // namespace

std::string ErrorText(int error_number) {
  char buffer[256];
  // The GNU variant returns a pointer that may or may not be the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  return ::strerror_r(error_number, buffer, sizeof buffer);
#else
  if (::strerror_r(error_number, buffer, sizeof buffer) != 0) return "Unknown error";
  return buffer;
#endif
}

platform::Status CreateDirectories(const std::string& path) {
  if (path.empty()) return Failure(ENOENT, path);
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string part = path.substr(0, pos);
    if (part.empty() || part == "/") continue;
    // Never group- or world-writable, whatever the umask: another user could
    // plant files (an autostart entry runs at the next login).
    if (::mkdir(part.c_str(), 0755) == 0) continue;
    const int e = errno;
    if (e == EEXIST || e == EISDIR) {
      if (IsDirectory(part)) continue;
      return Failure(ENOTDIR, part);
    }
    // An existing folder may refuse mkdir for other reasons (read-only
    // parent, no search right for creation): it still counts as there.
    if (IsDirectory(part)) continue;
    return Failure(e, part);
  }
  return platform::Status::Ok();
}

platform::Status WriteFileAtomically(const std::string& path, const std::string& bytes) {
  if (path.empty() || path.back() == '/') return Failure(EISDIR, path);
  TempFile temp(path);
  if (!temp.ok()) return Failure(temp.error(), FolderOf(path));
  if (const int e = WriteAll(temp.fd(), bytes); e != 0) return Failure(e, temp.path());
  if (::fsync(temp.fd()) != 0) return Failure(errno, temp.path());
  if (temp.Close() != 0) return Failure(errno, temp.path());
  if (::rename(temp.path().c_str(), path.c_str()) != 0) return Failure(errno, path);
  temp.Keep();
  // Make the rename itself durable; the file is in place either way.
  UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
  return platform::Status::Ok();
}

bool SetPermissions(const std::string& path, unsigned mode) {
  return ::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::access(path.c_str(), X_OK) == 0;
}

platform::Result<std::string> ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return platform::Result<std::string>::Fail(ErrorText(errno));
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return platform::Result<std::string>::Fail(ErrorText(errno));
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return platform::Result<std::string>::Of(std::move(out));
}

platform::Result<std::string> ReadRegularFile(const std::string& path, size_t limit) {
  // Non-blocking, so that opening a named pipe does not wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return platform::Result<std::string>::Fail(ErrorText(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return platform::Result<std::string>::Fail(ErrorText(errno));
  if (S_ISDIR(st.st_mode)) return platform::Result<std::string>::Fail(ErrorText(EISDIR));
  if (!S_ISREG(st.st_mode)) return platform::Result<std::string>::Fail("not a regular file");
  if (static_cast<unsigned long long>(st.st_size) > limit) {
    return platform::Result<std::string>::Fail(ErrorText(EFBIG));
  }
  std::string out;
  char buffer[4096];
  // One byte more than allowed tells a file that grew since fstat.
  while (out.size() <= limit) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return platform::Result<std::string>::Fail(ErrorText(errno));
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  if (out.size() > limit) return platform::Result<std::string>::Fail(ErrorText(EFBIG));
  return platform::Result<std::string>::Of(std::move(out));
}

}  // namespace posix
