// Which executables the macOS login agent may name.
#include <gtest/gtest.h>

#include <string>

#include "platform/macos/agent_program.h"

namespace {

TEST(MacAgentProgramTest, OnlyABundlesProgramThatStaysWhereItIsMayBeNamed) {
  enum Verdict { kOk, kTranslocated, kVolume, kBare };
  const struct {
    const char* path;
    Verdict verdict;
  } cases[] = {
      {"/Applications/QuembrastellaSwitch.app/Contents/MacOS/QuembrastellaSwitch", kOk},
      {"/Users/ann/Applications/Renamed.app/Contents/MacOS/QuembrastellaSwitch", kOk},
      {"/private/var/folders/x1/abc/T/AppTranslocation/6A1B-22/d/QuembrastellaSwitch.app/"
       "Contents/MacOS/QuembrastellaSwitch",
       kTranslocated},
      {"/Volumes/Quembrastella USB-C Switch/QuembrastellaSwitch.app/Contents/MacOS/"
       "QuembrastellaSwitch",
       kVolume},
      {"/Volumes/Data/Applications/QuembrastellaSwitch.app/Contents/MacOS/QuembrastellaSwitch",
       kVolume},
      {"/Users/ann/src/build/mac/src/platform/macos/quembrastella-switch", kBare},
      {"/Applications/QuembrastellaSwitch.app/Contents/Resources/QuembrastellaSwitch", kBare},
      {"/Applications/QuembrastellaSwitch.app/Contents/MacOS/Helpers/QuembrastellaSwitch", kBare},
      {"/Applications/QuembrastellaSwitch.app/Contents/MacOS/", kBare},
      {"/.app/Contents/MacOS/QuembrastellaSwitch", kBare},
      {"QuembrastellaSwitch", kBare},
      {"", kBare},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto problem = platform::macos::AgentProgramProblem(c.path);
    ASSERT_EQ(problem.has_value(), c.verdict != kOk);
    if (!problem) continue;
    const char* says = c.verdict == kTranslocated ? "App Translocation"
                       : c.verdict == kVolume     ? "disk image"
                                                  : "outside its application bundle";
    EXPECT_NE(problem->find(says), std::string::npos) << *problem;
    // Every refusal names what to do.
    const char* fix = c.verdict == kBare ? "install from there" : "Applications folder";
    EXPECT_NE(problem->find(fix), std::string::npos) << *problem;
  }
}

}  // namespace
