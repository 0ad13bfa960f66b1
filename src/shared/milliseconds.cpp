#include "shared/milliseconds.h"

#include "platform/services.h"

uint64_t GetMilliseconds() {
  const platform::TimeSpec t = platform::Sys().clock->Monotonic();
  return static_cast<uint64_t>(t.sec) * 1000u + static_cast<uint64_t>(t.nsec) / 1000000u;
}
