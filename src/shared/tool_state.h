// The tool's process-wide state, every piece joined to one reset: the file
// that owns a piece joins it here with the function that puts it back to its
// start value and a check that it is there. Tests, the benchmarks and a
// process that runs the tool more than once call ResetToolState.
#pragma once

#include <vector>

// The order of the reset: the event tap stops first (it feeds everything
// else), then what runs (timers, checks, hooks, the delegate, the lock),
// then the plain values under them are cleared.
inline constexpr int kToolStateInput = 0;
inline constexpr int kToolStateRunning = 1;
inline constexpr int kToolStateValues = 2;

struct ToolStatePiece {
  // The process-wide variables the piece holds, by name, comma separated
  // (function-local statics too): what the check of the sources looks for.
  const char* variables;
  void (*reset)();
  bool (*at_start)();
  int order;
};

// Joins a piece when the program starts: one per owning file, defined at
// namespace scope there.
class ToolStateMember {
 public:
  ToolStateMember(const char* variables, void (*reset)(), bool (*at_start)(),
                  int order = kToolStateValues);
};

// Puts every joined piece back to its start value, running pieces first.
void ResetToolState();
// The pieces joined, in the order ResetToolState resets them.
std::vector<ToolStatePiece> ToolStatePieces();
