// The monotonic millisecond clock shared by the switch debounce and the
// Control double-tap, and the times of delivered events on that clock.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/input.h"
#include "shared/elapsed_ms.h"

// Milliseconds since an arbitrary start on the monotonic clock. A stored time
// of 0 means that no time is stored.
uint64_t GetMilliseconds();
// A monotonic-clock reading in milliseconds: seconds x 1000 + nanoseconds /
// 1000000.
uint64_t MillisecondsOf(const platform::TimeSpec& t);
// When `event` happened, on GetMilliseconds' clock, where the platform
// stamps its events; 0 (no time) for no event or where it cannot tell.
// Reads no clock.
uint64_t EventTimeMs(platform::EventRef event);
// When `event` happened, or now where the platform cannot tell: the time a
// recogniser driven by this event works with. Never later than now (a clock
// read): an event cannot have happened after it is handled, so a time ahead
// of the clock (a device whose clock runs fast) is taken as now.
uint64_t GetEventMilliseconds(platform::EventRef event);
// How long ago `event` happened, in ms: 0 where the platform cannot tell
// (no clock is read then), never negative.
uint64_t EventAgeMs(platform::EventRef event);
// How late a gesture completed at `at_ms` (GetMilliseconds' clock) is acted
// on, when that is later than kLateGestureMs; 0 otherwise, and for no time.
uint64_t TooLateByMs(uint64_t at_ms);
