// The listen-only event tap and the 50 ms poll timer that feed the gesture
// recognisers, started and stopped as one unit.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/input.h"
#include "platform/run_loop.h"

inline constexpr double kInputPollIntervalSec = 0.05;

extern std::unique_ptr<platform::EventTap> gEventTap;
extern std::unique_ptr<platform::RunLoopSource> gEventTapSource;
extern std::unique_ptr<platform::Timer> gInputPollTimer;

// Creates, schedules and enables the tap, then starts the poll timer; false
// (nothing left allocated) when the tap or its source cannot be made.
bool StartEventTap();
// Stops the poll timer, the hold timer and the tap; safe in any state.
void StopEventTap();
// The tap's callback; always returns `event`. After a tap-disabled
// notification it switches the tap on again, catches up with the live state
// as a tick does, and reports a permission that was taken away.
platform::EventRef eventCallback(platform::TapProxy proxy, uint32_t type, platform::EventRef event,
                                 void* user_info);
// True exactly for the mouse event types 1, 2, 3, 4, 6, 7, 25, 26 and 27.
bool IsMouseEvent(uint32_t type);
// Takes the live Control state as the recogniser's starting point and
// starts the tick (when the platform needs it now).
void StartInputPollTimer();
void StopInputPollTimer();
// Whether a tick can change an outcome now: always where the live state can
// change without an event; elsewhere only while Control is down or its
// release pending, a mouse button is down or the hold timer is armed.
bool InputPollTickNeeded();
// Where state changes arrive as events, starts or stops the tick to match
// InputPollTickNeeded; elsewhere the tick runs from start to stop and this
// does nothing. Runs after every event and every tick.
void UpdateInputPollTimer();
// The 50 ms tick; also run once when the tap comes back on.
void InputPollTimerCallback(platform::Timer* timer, void* info);
