// The Input Monitoring permission, which a listen-only tap on the session's
// keyboard events needs from macOS 10.15 on.
#pragma once

#include <memory>

namespace platform::macos {

class ListenAccess {
 public:
  virtual ~ListenAccess() = default;
  // Whether this program has it, asked without a prompt
  // (CGPreflightListenEventAccess).
  virtual bool Granted() = 0;
  // Asks the system for it (CGRequestListenEventAccess): the system's own
  // prompt, which leads to the setting, the first time this program asks;
  // nothing visible after that.
  virtual void Request() = 0;
  // Whether this program is trusted for Accessibility (AXIsProcessTrusted),
  // for the diagnosis.
  virtual bool AccessibilityTrusted() = 0;
};

// The system's answers.
std::unique_ptr<ListenAccess> SystemListenAccess();

// How to give the permission, under a refused tap and under one that went.
inline constexpr const char* kInputMonitoringFix =
    "Allow this program under System Settings > Privacy & Security > Input Monitoring (System "
    "Preferences > Security & Privacy > Privacy before macOS 13), then start it again.";

}  // namespace platform::macos
