// The fixture of the tests that run the real executable against umockdev's
// fake devices as its user would: in a folder of the test's own, with HOME
// there (and its settings folder), a runtime folder of its own for the
// single-instance lock (so that no instance of the machine's user is met,
// and none is disturbed) and no display.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/hostile_support.h"
#include "testbed.h"

namespace linux_test {

class ToolRunTest : public ::testing::Test {
 protected:
  using Env = std::map<std::string, std::optional<std::string>>;

  void SetUp() override;
  // Ends a resident tool still running.
  void TearDown() override;

  // The tool with `args`, run to its end, its output captured.
  hostile::ChildRun Tool(const std::vector<std::string>& args) const;

  std::string SettingsFile() const;
  // Writes the settings file (renamed into place is the tests' own business).
  void Settings(const std::string& text) const;

  // Starts `--service --console` in the background, its standard output and
  // error in Out() and Err(), and waits for its banner (the lock is held by
  // then). False when it did not come up.
  bool StartResident();
  std::string Out() const;
  std::string Err() const;
  // Waits up to 10 s for `text` in the resident's standard output ("out") or
  // error ("err") after what earlier waits found there.
  bool WaitFor(const std::string& which, const std::string& text);
  // Waits for the resident's end: its wait status, -1 when none is running.
  int WaitResident();

  Testbed testbed_;
  hostile::TempFolder made_{"qs-tool-run"};
  const std::string dir_ = made_.path();
  Env env_;  // what the tool's environment changes; a test may add to it

 private:
  pid_t resident_ = -1;
  size_t out_seen_ = 0, err_seen_ = 0;
};

}  // namespace linux_test
