// Heap allocations counted by a replaced global operator new.
#pragma once

#include <cstdint>

namespace bench {

// How many times operator new (any form) has run in this process so far.
uint64_t AllocationCount();

}  // namespace bench
