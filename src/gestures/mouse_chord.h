// The held mouse chord: left with right (or middle) held for the chord hold
// time (one second unless the user chose another).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/input.h"
#include "platform/run_loop.h"

// Buttons tracked from events: 0x10 left held, 0x01 right or middle held.
extern uint8_t MSButton;
// The pending hold timer, or none.
extern std::unique_ptr<platform::Timer> gMouseComboTimer;
// Set from the moment a hold has fired until the chord is seen released.
extern bool gMouseComboTriggered;
// GetMilliseconds time at which the pending hold is complete; 0 = no hold
// pending.
extern uint64_t gMouseComboDueMs;
// When the latest button press served happened (never later than it was
// served); 0 = none yet.
extern uint64_t gLastMousePressMs;
// Puts every variable above back to its start value (a pending hold timer
// is invalidated and released).
void ResetMouseChord();

// One step of the recogniser; `event` is null from the poll tick (type 0),
// which also forgets tracked buttons the live state shows released.
void UpdateMouseComboState(uint32_t type, platform::EventRef event);
// Updates MSButton from one event; null changes nothing.
void TrackMouseButtonEvent(uint32_t type, platform::EventRef event);
// The chord predicate, from tracked bits and the live button state.
bool AreLeftAndRightMouseButtonsDown();
// Clears the tracked bit of each button that `live` (bit n: button n down)
// shows up. Run by the poll tick: the tracked bits follow the live state
// down to released, never up to held.
void ForgetReleasedMouseButtons(uint32_t live);
// Arms the hold timer (unless one is pending or the latch is set) to
// expire the hold time after `event` happened: a chord made while the main
// thread was busy has been held that long already. Null: from now.
void StartMouseComboTimer(platform::EventRef event = nullptr);
void StopMouseComboTimer();
// The hold timer's expiry.
void MouseComboTimerCallback(platform::Timer* timer, void* info);
