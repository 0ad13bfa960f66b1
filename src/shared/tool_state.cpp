#include "shared/tool_state.h"

#include <algorithm>
#include <vector>

namespace {

// Made on first use: members join during static initialisation, in an order
// the language leaves open.
std::vector<ToolStatePiece>& Joined() {
  static std::vector<ToolStatePiece> pieces;
  return pieces;
}

}  // namespace

ToolStateMember::ToolStateMember(const char* variables, void (*reset)(), bool (*at_start)(),
                                 int order) {
  Joined().push_back({variables, reset, at_start, order});
}

std::vector<ToolStatePiece> ToolStatePieces() {
  std::vector<ToolStatePiece> pieces = Joined();
  std::stable_sort(
      pieces.begin(), pieces.end(),
      [](const ToolStatePiece& a, const ToolStatePiece& b) { return a.order < b.order; });
  return pieces;
}

void ResetToolState() {
  for (const ToolStatePiece& piece : ToolStatePieces()) piece.reset();
}
