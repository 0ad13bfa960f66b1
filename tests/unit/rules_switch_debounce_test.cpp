// The switch debounce as a table: requests and their times in, accepted or
// dropped out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hub/switch_debounce.h"

namespace {

TEST(SwitchDebounceTest, FiveHundredMillisecondsFromTheLastAcceptedRequest) {
  struct Case {
    std::vector<uint64_t> requests;
    std::vector<bool> accepted;
  } cases[] = {
      {{1000}, {true}},
      {{1000, 1499}, {true, false}},
      {{1000, 1500}, {true, true}},
      // A dropped request does not move the window.
      {{1000, 1300, 1600}, {true, false, true}},
      // A request made before the last accepted one is dropped.
      {{2000, 1200}, {true, false}},
      {{1000, 1500, 1999, 2000}, {true, true, false, true}},
  };
  for (const Case& c : cases) {
    uint64_t last = 0;
    std::vector<bool> accepted;
    for (uint64_t at : c.requests) {
      const SwitchDebounceStep step = StepSwitchDebounce(last, at);
      accepted.push_back(step.accept);
      last = step.last_ms;
    }
    EXPECT_EQ(accepted, c.accepted) << c.requests.size() << " requests from " << c.requests[0];
  }
}

}  // namespace
