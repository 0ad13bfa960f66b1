// At most one desktop notice per kind of failure in a window of time, so
// that a gesture repeated against an absent hub does not bury the desktop
// in notices.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace linux_platform {

inline constexpr uint64_t kNoticeIntervalMs = 5000;

class NoticeThrottle {
 public:
  explicit NoticeThrottle(uint64_t interval_ms = kNoticeIntervalMs) : interval_ms_(interval_ms) {}
  // Whether a notice of `kind` may be shown at `now_ms` (a monotonic time);
  // when it may, the window for that kind starts again at `now_ms`.
  // Header-only: both the tool and its Qt module use it.
  bool Allow(const std::string& kind, uint64_t now_ms) {
    const auto last = last_shown_ms_.find(kind);
    if (last != last_shown_ms_.end() && now_ms - last->second < interval_ms_) return false;
    last_shown_ms_[kind] = now_ms;
    return true;
  }

 private:
  uint64_t interval_ms_;
  std::map<std::string, uint64_t> last_shown_ms_;
};

}  // namespace linux_platform
