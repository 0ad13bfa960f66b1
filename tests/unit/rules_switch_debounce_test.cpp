// The switch request rule as tables: requests with when they were made and
// when they were read in, accepted, dropped or let go out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hub/switch_debounce.h"

namespace {

constexpr auto kAccept = SwitchVerdict::kAccept;
constexpr auto kTooSoon = SwitchVerdict::kTooSoon;
constexpr auto kTooLate = SwitchVerdict::kTooLate;

// Requests made at `at` (0: now) and read at `now`.
struct Request {
  uint64_t at;
  uint64_t now;
};

TEST(SwitchDebounceTest, FiveHundredMillisecondsFromTheLastAcceptedRequest) {
  struct Case {
    std::vector<Request> requests;
    std::vector<SwitchVerdict> verdicts;
  } cases[] = {
      {{{0, 1000}}, {kAccept}},
      {{{0, 1000}, {0, 1499}}, {kAccept, kTooSoon}},
      {{{0, 1000}, {0, 1500}}, {kAccept, kAccept}},
      // A dropped request does not move the window.
      {{{0, 1000}, {0, 1300}, {0, 1600}}, {kAccept, kTooSoon, kAccept}},
      // Dated by its event: made before the last accepted one, it is dropped.
      {{{0, 2000}, {1200, 2100}}, {kAccept, kTooSoon}},
      {{{1000, 1000}, {1500, 1900}, {1999, 2000}, {2000, 2000}},
       {kAccept, kAccept, kTooSoon, kAccept}},
      // Read more than a second after it was made: let go, and the window
      // does not move (from 1200 the last request would be too soon).
      {{{1000, 1000}, {1200, 2201}, {0, 1600}}, {kAccept, kTooLate, kAccept}},
      {{{5000, 6001}, {6001, 6001}}, {kTooLate, kAccept}},
  };
  for (const Case& c : cases) {
    uint64_t last = 0;
    std::vector<SwitchVerdict> verdicts;
    for (const Request& r : c.requests) {
      const SwitchDebounceStep step = StepSwitchDebounce(last, r.at, r.now);
      verdicts.push_back(step.verdict);
      last = step.last_ms;
    }
    EXPECT_EQ(verdicts, c.verdicts) << c.requests.size() << " requests from " << c.requests[0].now;
  }
}

TEST(SwitchDebounceTest, HowLateALetGoGestureWas) {
  EXPECT_EQ(StepSwitchDebounce(0, 1000, 2001).late_ms, 1001u);
  EXPECT_EQ(StepSwitchDebounce(0, 1000, 2000).late_ms, 0u);
  EXPECT_EQ(LateByMs(0, 99'999), 0u) << "no time: never late";
  EXPECT_EQ(LateByMs(3000, 2000), 0u) << "a time ahead of the clock is not late";
}

}  // namespace
