// Helpers shared by the fuzz targets: a property check that stops the run,
// the input cut into words, and an in-memory file that readers open by path.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

// A broken property is a finding: say which, and stop as a crash does, so
// the fuzzer keeps the input that broke it.
inline void Check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

// The input as text.
inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The input cut at each NUL byte: the words of an argument vector (a
// trailing NUL ends the last word instead of starting an empty one).
inline std::vector<std::string> Words(const uint8_t* data, size_t size) {
  std::vector<std::string> words;
  std::string text = Text(data, size);
  if (text.empty()) return words;
  if (text.back() == '\0') text.pop_back();
  size_t start = 0;
  for (;;) {
    const size_t nul = text.find('\0', start);
    words.push_back(text.substr(start, nul - start));
    if (nul == std::string::npos) break;
    start = nul + 1;
  }
  return words;
}

// A file that lives in memory only (memfd), reachable through its
// /proc/self/fd path, so that readers taking a path read the fuzzer's bytes
// without touching the disk. Closing the descriptor frees it.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    Check(fd_ >= 0, "memfd_create works");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the whole content.
  void Fill(const void* data, size_t size) {
    Check(::ftruncate(fd_, 0) == 0, "the memory file can be emptied");
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, static_cast<const char*>(data) + done, size - done,
                                 static_cast<off_t>(done));
      Check(n > 0, "the memory file can be written");
      done += static_cast<size_t>(n);
    }
  }
  void Fill(const std::string& text) { Fill(text.data(), text.size()); }

  const std::string& Path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

}  // namespace fuzz
