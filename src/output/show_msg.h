// The one routine every console and log message passes through, and the
// start banner.
#pragma once

#include <cstddef>
#include <cstdint>

// Messages are printed to standard output (set by --console).
extern bool gConsoleMode;
// Console messages go to standard error instead, where standard output
// carries only a command's answer (--status --json).
extern bool gConsoleOnStandardError;
// Messages are also appended to the debug log file (a build-time switch).
extern bool gLogFile;
// Successful hub register transfers are traced (a build-time switch).
extern bool gDbgMsg;
// Puts the four switches above back to their start values.
void ResetMessageOutput();

// Where console text goes instead of straight to standard output: a writer
// that never makes the caller wait for the reader. Null (the default):
// written and flushed on standard output at once.
using ConsoleSink = void (*)(const char* text, std::size_t length);
void SetConsoleSink(ConsoleSink sink);

// printf-style; routes the formatted text (at most 499 bytes) to standard
// output and/or the debug log. The result carries no meaning.
int showMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends one formatted message to "hubdebug.log" in the working directory.
void DbgLogPrint(const char* text);
// Writes the six-line banner and the local date and time.
void ShowToolHeader();
