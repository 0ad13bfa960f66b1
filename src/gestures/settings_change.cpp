#include "gestures/settings_change.h"

#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"

void ApplyGestureSettings(const GestureSettings& next) {
  GestureSettings& in_force = GestureSettingsKeeper::in_force_;
  if (next == in_force) return;
  const bool every_key_before = GesturesNeedEveryKey(in_force);
  const bool every_key = GesturesNeedEveryKey(next);
  in_force = next;

  // No pending first Control or Q tap, and a Control press under way ends
  // in no tap. The live state is read again: while the double-tap was off
  // nothing followed it.
  ForgetPendingTaps(gEventTap != nullptr && IsControlKeyDown());
  // The chord: a hold under way is dropped, and a chord held now is
  // latched as if it had fired, so only one made afresh switches.
  StopMouseComboTimer();
  gMouseComboTriggered = gEventTap != nullptr && AreLeftAndRightMouseButtonsDown();

  if (every_key != every_key_before) {
    // The keys held were not followed while only the gesture keys came.
    if (every_key) ForgetKeysHeld();
    if (gEventTap) {
      gEventTap->SetKeyInterest(every_key ? platform::KeyInterest::kAllKeys
                                          : platform::KeyInterest::kGestureKeys);
    }
  }
  if (gEventTap) UpdateInputPollTimer();
}
