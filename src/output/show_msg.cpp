#include "output/show_msg.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/services.h"
#include "shared/tool_state.h"

bool gConsoleMode = false;
bool gLogFile = false;
bool gDbgMsg = true;
bool gConsoleOnStandardError = false;

void ResetMessageOutput() {
  gConsoleMode = false;
  gConsoleOnStandardError = false;
  gLogFile = false;
  gDbgMsg = true;
}

namespace {

// Every message is formatted into a buffer of this size: at most 499 bytes
// of text and the terminating zero.
constexpr int kMessageBufferSize = 500;

constexpr const char* kDebugLogName = "hubdebug.log";

ConsoleSink gConsoleSink = nullptr;

}  // namespace

void SetConsoleSink(ConsoleSink sink) {
  gConsoleSink = sink;
}

namespace {
const ToolStateMember kMessageState{
    "gConsoleMode, gLogFile, gDbgMsg, gConsoleOnStandardError, gConsoleSink",
    [] {
      ResetMessageOutput();
      SetConsoleSink(nullptr);
    },
    [] {
      return !gConsoleMode && !gLogFile && gDbgMsg && !gConsoleOnStandardError &&
             gConsoleSink == nullptr;
    }};
}  // namespace

int showMsg(const char* format, ...) {
  char buffer[kMessageBufferSize] = {};
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);

  if (gConsoleMode) {
    if (gConsoleSink != nullptr) {
      // The gesture loop never waits for whoever reads the console.
      gConsoleSink(buffer, std::strlen(buffer));
    } else {
      // Through "%s": a per-cent sign in the formatted text is printed as
      // is. Flushed at once so that every line shows even on a pipe or a
      // file.
      std::FILE* console = gConsoleOnStandardError ? stderr : stdout;
      std::fprintf(console, "%s", buffer);
      std::fflush(console);
    }
  }
  if (gLogFile) DbgLogPrint(buffer);
  return length;
}

void DbgLogPrint(const char* text) {
  // Opened and closed for every message: no handle lives between messages,
  // and a log that cannot be opened costs only this message.
  std::FILE* log = std::fopen(kDebugLogName, "a");
  if (log == nullptr) return;
  std::fputs(text, log);
  std::fclose(log);
}

void ShowToolHeader() {
  showMsg("=========================================\n");
  showMsg("=     Quembrastella USB-C Switch v0.1   =\n");
  showMsg("=                                       =\n");
  showMsg("=              Zentrivoxalm             =\n");
  showMsg("=               2025.12.02              =\n");
  showMsg("=========================================\n");
  const std::tm now = platform::Sys().clock->LocalTime();
  showMsg("==== LocalTime: %04d/%02d/%02d, %02d:%02d:%02d ====\n", now.tm_year + 1900,
          now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
}
