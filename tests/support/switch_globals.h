// The process-wide variables of the switch, the recognisers and the output,
// put back to their start values between tests that run the tool's code
// in-process.
#pragma once

#include "gestures/gesture_settings.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"

namespace test_support {

// The switch's last time, every recogniser's state and the default settings.
inline void ResetRecogniserGlobals() {
  gGestureSettings = GestureSettings{};
  gControlTapSpoiled = false;
  gLastSwitchMs = 0;
  CancelSwitchCheck();
  SetSwitchNotTakenReporter(nullptr);
  gControlKeyDown = false;
  gLastControlReleaseMs = 0;
  wPreKBKey = 0;
  uKBTimeMs = 0;
  MSButton = 0;
  gMouseComboTriggered = false;
}

// Console mode off, no log file, debug messages on.
inline void ResetOutputGlobals() {
  gConsoleMode = false;
  gLogFile = false;
  gDbgMsg = true;
}

}  // namespace test_support
