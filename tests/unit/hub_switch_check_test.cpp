// The checked switch on the simulated hub: the watch armed before the write,
// the hub leaving or staying, a second switch while a check waits.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hub/hub_failure.h"
#include "hub/switch_check.h"
#include "switch_test_support.h"

namespace {

using sim::HubFault;

class SwitchCheckTest : public switch_test::SimTest {
 protected:
  // Runs a checked switch at T = t; the verdicts land in results_.
  SwitchOutcome CheckedSwitchAt(uint64_t t) {
    SwitchOutcome outcome;
    RunAt(t, [this, &outcome] {
      SwitchRequest request;
      request.checked = true;
      request.on_checked = [this](SwitchCheckResult r) {
        results_.push_back({World().NowMs(), r});
      };
      outcome = SwitchHubPort(std::move(request));
    });
    return outcome;
  }

  struct Verdict {
    uint64_t t_ms;
    SwitchCheckResult result;
  };
  std::vector<Verdict> results_;
};

TEST_F(SwitchCheckTest, HubThatLeavesIsReportedWithTheTimeItTook) {
  Hub().SetRemovalWatch(true, 180);
  CaptureConsole();
  const SwitchOutcome outcome = CheckedSwitchAt(100);
  EXPECT_TRUE(outcome.written);
  EXPECT_TRUE(outcome.checking);
  World().RunUntil(5000);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].t_ms, 280u);
  EXPECT_EQ(results_[0].result, SwitchCheckResult::kLeft);
  const std::string console = Console();
  EXPECT_NE(console.find("Hub left this computer after 180 ms\n"), std::string::npos) << console;
  EXPECT_FALSE(SwitchCheckPending());
  // Nothing is left that could still fire: the deadline went with the check.
  EXPECT_EQ(World().ValidTimerCount(), 0u);
}

TEST_F(SwitchCheckTest, HubThatStaysIsAFailureExactlyAtTheDeadline) {
  Hub().SetRemovalWatch(true, std::nullopt);
  CaptureConsole();
  CheckedSwitchAt(100);
  World().RunUntil(2099);
  EXPECT_TRUE(results_.empty());
  World().RunUntil(2100);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].result, SwitchCheckResult::kStayed);
  const std::string console = Console();
  EXPECT_NE(console.find(std::string(kSwitchNotTakenLine) + "\n" + kSwitchNotTakenFix + "\n"),
            std::string::npos)
      << console;
}

TEST_F(SwitchCheckTest, HubLeavingJustAfterTheDeadlineCountsAsStayed) {
  Hub().SetRemovalWatch(true, 2001);
  CheckedSwitchAt(0);
  World().RunUntil(5000);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].result, SwitchCheckResult::kStayed);
}

TEST_F(SwitchCheckTest, FailedWriteStartsNoCheckAndDropsTheWatch) {
  Hub().SetRemovalWatch(true, 100);
  Hub().SetFault(HubFault::kWriteF5, true);
  const SwitchOutcome outcome = CheckedSwitchAt(0);
  EXPECT_FALSE(outcome.written);
  EXPECT_FALSE(outcome.checking);
  ASSERT_TRUE(outcome.failure.has_value());
  EXPECT_EQ(outcome.failure->kind, HubFailureKind::kWriteFailed);
  EXPECT_FALSE(SwitchCheckPending());
  World().RunUntil(5000);
  EXPECT_TRUE(results_.empty());
}

TEST_F(SwitchCheckTest, WithoutAWatchTheSwitchIsNotChecked) {
  // The reference platform offers none: the outcome says so, nothing waits.
  const SwitchOutcome outcome = CheckedSwitchAt(0);
  EXPECT_TRUE(outcome.written);
  EXPECT_FALSE(outcome.checking);
  EXPECT_EQ(World().ValidTimerCount(), 0u);
}

TEST_F(SwitchCheckTest, SecondSwitchReplacesTheWaitingCheck) {
  Hub().SetRemovalWatch(true, std::nullopt);
  CheckedSwitchAt(0);
  CheckedSwitchAt(1000);
  World().RunUntil(2500);
  EXPECT_TRUE(results_.empty()) << "the first check must not report";
  World().RunUntil(3000);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].t_ms, 3000u);
}

TEST_F(SwitchCheckTest, UnplugWhileWaitingCountsAsLeft) {
  Hub().SetRemovalWatch(true, std::nullopt);
  CheckedSwitchAt(0);
  RunAt(700, [this] { Hub().SetPresent(false); });
  World().RunUntil(3000);
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].t_ms, 700u);
  EXPECT_EQ(results_[0].result, SwitchCheckResult::kLeft);
}

TEST_F(SwitchCheckTest, NoTimerMeansNoCheck) {
  Hub().SetRemovalWatch(true, std::nullopt);
  World().SetTimerCreationFails(true);
  const SwitchOutcome outcome = CheckedSwitchAt(0);
  EXPECT_TRUE(outcome.written);
  EXPECT_FALSE(outcome.checking);
  EXPECT_FALSE(SwitchCheckPending());
}

}  // namespace
