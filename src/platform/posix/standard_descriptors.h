// The three standard descriptors, kept open for the life of the process.
#pragma once

#include <string>

namespace posix {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. A
// process started with standard output closed would otherwise hand
// descriptor 1 to the next file it opens (the lock file, a device, a
// socket), and every console line would be written into that file. Call
// first thing in main, before anything else opens a descriptor. When
// /dev/null cannot be opened the descriptor stays closed.
void KeepStandardDescriptorsOpen();

// Flushes standard output; true when everything written to it through
// stdio has landed. Otherwise `reason`, when given, receives the system's
// text for the error.
bool StandardOutputWritten(std::string* reason);

}  // namespace posix
