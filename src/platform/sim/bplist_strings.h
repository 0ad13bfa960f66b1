// The string objects of a binary property list that hold a NUL, read from
// its bytes: libplist's binary reader keeps such a string only up to the NUL,
// so "org.quembrastella.switch" NUL "x" would come back as the bare label and
// pass for it.
#pragma once

#include <string>
#include <vector>

namespace sim {

// For each ASCII or UTF-16 string object of `bytes` (a binary property list,
// "bplist00") that holds a NUL, the text before its first NUL in UTF-8, as
// the parser gives it back. Empty for anything that is no well-formed binary
// property list; never reads outside `bytes`.
std::vector<std::string> CutStringsOfBinaryPlist(const std::string& bytes);

}  // namespace sim
