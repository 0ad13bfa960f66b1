// The held mouse chord: left with right (or middle) held for the chord hold
// time (one second unless the user chose another). A thin shell over the
// pure rule in gestures/rules/mouse_chord_rule.h, which owns the timer.
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
// Puts the variables above, and what the recogniser keeps beyond them,
// back to their start values (a pending hold timer is invalidated and
// released).
void ResetMouseChord();

// One step of the recogniser; `event` is null from the poll tick (type 0),
// which also forgets tracked buttons the live state shows released.
void UpdateMouseComboState(uint32_t type, platform::EventRef event);
// Updates MSButton from one event; null changes nothing.
void TrackMouseButtonEvent(uint32_t type, platform::EventRef event);
// The chord predicate, from tracked bits and the live button state.
bool AreLeftAndRightMouseButtonsDown();
// Arms the hold timer (unless one is pending or the latch is set) to
// expire the hold time after `event` happened: a chord made while the main
// thread was busy has been held that long already. Null: from now.
void StartMouseComboTimer(platform::EventRef event = nullptr);
void StopMouseComboTimer();
// The hold timer's expiry.
void MouseComboTimerCallback(platform::Timer* timer, void* info);
// Whether the recogniser waits on time: a button is tracked as held, or the
// hold timer is armed.
bool MouseChordUnderWay();
