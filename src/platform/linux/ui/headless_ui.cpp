#include "platform/linux/ui/headless_ui.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace linux_platform {
namespace {

// One line from `in` without its newline; false at end of input.
bool ReadLine(std::FILE* in, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line->size() < 256) line->push_back(static_cast<char>(c));
  }
  return any;
}

}  // namespace

bool IsForegroundTerminal(int fd) {
  if (::isatty(fd) != 1) return false;
  const pid_t foreground = ::tcgetpgrp(fd);
  return foreground != -1 && foreground == ::getpgrp();
}

HeadlessUi::HeadlessUi(std::FILE* in, std::FILE* out, bool interactive)
    : in_(in), out_(out), interactive_(interactive) {}

bool HeadlessUi::ConsoleSeen() {
  return out_ != nullptr && ::isatty(::fileno(out_)) == 1;
}

std::optional<bool> HeadlessUi::DisplayUsable(std::string* detail, std::string* fix) {
  if (detail) {
    *detail = !display_problem_.empty()
                  ? display_problem_
                  : "no display answers (WAYLAND_DISPLAY and DISPLAY name none that does): "
                    "messages go to the terminal";
  }
  if (fix) *fix = display_fix_;
  return false;
}

int HeadlessUi::RunModalAlert(const platform::AlertSpec& alert) {
  const std::string& title = alert.message_text;
  const std::string& text = alert.informative_text;
  std::fprintf(out_, "%s: %s\n", title.c_str(), text.c_str());
  if (alert.buttons.size() <= 1) {
    std::fflush(out_);
    return platform::kAlertFirstButtonReturn;
  }
  const int count = static_cast<int>(alert.buttons.size());
  if (!interactive_ || in_ == nullptr) {
    int pick = 0;
    for (int i = 0; i < count; ++i) {
      if (alert.buttons[i] == kUnattendedButton) pick = i;
    }
    std::fprintf(out_, "No terminal to ask on: going on as with \"%s\".\n",
                 alert.buttons[pick].c_str());
    std::fflush(out_);
    return platform::kAlertFirstButtonReturn + pick;
  }
  for (;;) {
    for (int i = 0; i < count; ++i) {
      std::fprintf(out_, "  %d) %s\n", i + 1, alert.buttons[i].c_str());
    }
    std::fprintf(out_, "Choose 1-%d: ", count);
    std::fflush(out_);
    std::string line;
    if (!ReadLine(in_, &line)) {
      std::fprintf(out_, "\n");
      std::fflush(out_);
      return platform::kAlertFirstButtonReturn + count - 1;
    }
    char* end = nullptr;
    const long n = std::strtol(line.c_str(), &end, 10);
    const bool blank_tail = end != nullptr && std::strspn(end, " \t\r") == std::strlen(end);
    if (end != line.c_str() && blank_tail && n >= 1 && n <= count) {
      return platform::kAlertFirstButtonReturn + static_cast<int>(n) - 1;
    }
    std::fprintf(out_, "Please type a number from 1 to %d.\n", count);
  }
}

}  // namespace linux_platform
