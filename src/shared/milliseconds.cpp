#include "shared/milliseconds.h"

#include "platform/services.h"

uint64_t MillisecondsOf(const platform::TimeSpec& t) {
  return static_cast<uint64_t>(t.sec) * 1000u + static_cast<uint64_t>(t.nsec) / 1000000u;
}

uint64_t GetMilliseconds() {
  return MillisecondsOf(platform::Sys().clock->Monotonic());
}

uint64_t EventTimeMs(platform::EventRef event) {
  return event != nullptr ? event->time_ms : 0;
}

uint64_t GetEventMilliseconds(platform::EventRef event) {
  const uint64_t when = EventTimeMs(event);
  const uint64_t now = GetMilliseconds();
  return when != 0 && when < now ? when : now;
}

uint64_t EventAgeMs(platform::EventRef event) {
  const uint64_t when = EventTimeMs(event);
  return when != 0 ? ElapsedMs(GetMilliseconds(), when) : 0;
}

uint64_t TooLateByMs(uint64_t at_ms) {
  return at_ms != 0 ? LateByMs(at_ms, GetMilliseconds()) : 0;
}
