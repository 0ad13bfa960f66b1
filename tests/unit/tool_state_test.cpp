// One reset for the whole tool: every process-wide variable of the core is
// joined to it, and after it every piece is at its start value.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gestures/event_tap.h"
#include "gestures/gesture_settings.h"
#include "gestures/settings_change.h"
#include "hub/hub_hooks.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "platform/event_types.h"
#include "shared/tool_state.h"
#include "switch_test_support.h"

namespace {

namespace fs = std::filesystem;

// The names every joined piece lists.
std::set<std::string> JoinedNames() {
  std::set<std::string> names;
  for (const ToolStatePiece& piece : ToolStatePieces()) {
    std::stringstream list(piece.variables);
    std::string name;
    while (std::getline(list, name, ',')) {
      name.erase(0, name.find_first_not_of(' '));
      names.insert(name);
    }
  }
  return names;
}

// The process-wide variables a core source defines: mutable definitions at
// namespace scope (the code is not indented inside namespaces) and
// function-local statics.
std::vector<std::string> VariablesIn(const fs::path& file) {
  static const std::regex kAtNamespaceScope(
      R"(^(?:static\s+)?(?!(?:const|constexpr|extern|using|typedef|return|static_assert|template|struct|class|enum|namespace|friend|inline)\b)[A-Za-z_][\w:<>,\s*&]*?[\s*&](?:\(\*\s*(\w+)\)\s*\([^)]*\)|(\w+)(?:\[[^\]]*\])*)\s*(?:=[^;]*|\{[^;]*\})?;$)");
  static const std::regex kFunctionStatic(
      R"(^\s+static\s+(?!(?:const|constexpr)\b)[^(;=]*?\b(\w+)\s*(?:=[^;]*|\{[^;]*\})?;$)");
  std::vector<std::string> found;
  std::ifstream in(file);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, kAtNamespaceScope)) {
      found.push_back(m[1].matched ? m[1].str() : m[2].str());
    } else if (std::regex_match(line, m, kFunctionStatic)) {
      found.push_back(m[1].str());
    }
  }
  return found;
}

TEST(ToolStateTest, EveryProcessWideVariableOfTheCoreIsJoinedToTheReset) {
  const std::set<std::string> joined = JoinedNames();
  const fs::path src = fs::path(QS_SOURCE_DIR) / "src";
  std::vector<std::string> missing;
  size_t seen = 0;
  for (const char* dir :
       {"app", "commands", "output", "hub", "gestures", "service", "ui", "shared"}) {
    if (!fs::exists(src / dir)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(src / dir)) {
      const fs::path& file = entry.path();
      if (file.extension() != ".cpp" && file.extension() != ".h") continue;
      // The register itself is no state of the tool.
      if (file.filename() == "tool_state.cpp") continue;
      for (const std::string& name : VariablesIn(file)) {
        ++seen;
        if (joined.count(name) == 0) missing.push_back(file.filename().string() + ": " + name);
      }
    }
  }
  EXPECT_GE(seen, 20u) << "the scan no longer finds the variables it should";
  EXPECT_TRUE(missing.empty()) << "not joined to ResetToolState (shared/tool_state.h):\n"
                               << ::testing::PrintToString(missing);
}

// The scan finds the shapes the core writes state in, and passes over
// constants, declarations and functions.
TEST(ToolStateTest, TheScanTellsVariablesFromConstantsAndFunctions) {
  const fs::path file = fs::temp_directory_path() / "tool_state_scan_probe.cpp";
  {
    std::ofstream out(file);
    out << "bool gA = false;\nstd::unique_ptr<platform::Timer> gB;\nint64_t gC[kMax] = {};\n"
           "void (*gD)() = nullptr;\nHookWorld gE;\nstatic int gF;\n"
           "  static std::string fix;\n"
           "const int kA = 1;\nconstexpr int kB = 2;\nextern bool gX;\nvoid F();\n"
           "bool G(int a);\nusing T = int;\n  static const int kC = 3;\n  return x;\n"
           "inline constexpr uint32_t kD = 4;\n";
  }
  const std::vector<std::string> found = VariablesIn(file);
  fs::remove(file);
  EXPECT_EQ(found, (std::vector<std::string>{"gA", "gB", "gC", "gD", "gE", "gF", "fix"}));
}

// After a busy run (the tap, gestures, a switch, settings and output
// switched), the one reset puts every piece back.
class ToolStateResetTest : public switch_test::SimTest {};

TEST_F(ToolStateResetTest, AfterTheResetEveryPieceIsAtItsStart) {
  gConsoleMode = true;
  gDbgMsg = false;
  GestureSettings slower;
  slower.double_tap_ms = 900;
  ApplyGestureSettings(slower);
  SetHubHooks(HubHooks{{"/bin/true"}, {}});
  ASSERT_TRUE(StartEventTap());
  RunAt(1000, [this] {
    In().SetLiveButton(0, true);
    In().Deliver(platform::kEventLeftMouseDown, 0, 0);
    In().Deliver(platform::kEventKeyUp, platform::kKeyCodeQ, 0);
    In().SetLiveControl(true);
    In().Deliver(platform::kEventFlagsChanged, platform::kKeyCodeControl, 0);
  });
  RunAt(1100, [] { TriggerSwitch("test"); });
  size_t busy = 0;
  for (const ToolStatePiece& piece : ToolStatePieces()) busy += piece.at_start() ? 0 : 1;
  EXPECT_GE(busy, 6u) << "the run should have left state behind to reset";

  ResetToolState();
  for (const ToolStatePiece& piece : ToolStatePieces()) {
    EXPECT_TRUE(piece.at_start()) << piece.variables;
  }
}

}  // namespace
