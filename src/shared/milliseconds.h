// The monotonic millisecond clock shared by the switch debounce and the
// Control double-tap.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start on the monotonic clock. A stored time
// of 0 means that no time is stored.
uint64_t GetMilliseconds();
