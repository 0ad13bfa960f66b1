// Gesture settings put in force: at start-up, and when they change while
// the tool runs, between two events, with nothing under way carried across.
#pragma once

#include "gestures/gesture_settings.h"

// Puts `next` in force. When it differs from the settings in force, no
// gesture begun before counts towards a switch or a quit: a pending first
// Control or Q tap is forgotten, a Control held now is no tap when it is
// let go, and a chord held now (its hold timer stopped) must be let go and
// made again. The tap is widened or narrowed to the keys `next` needs.
// Equal settings change nothing.
void ApplyGestureSettings(const GestureSettings& next);
