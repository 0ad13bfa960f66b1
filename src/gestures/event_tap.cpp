#include "gestures/event_tap.h"

#include "gestures/gesture_settings.h"
#include "gestures/input_access_notice.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "output/show_msg.h"
#include "platform/event_types.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

// Teardown order: the source leaves the run loop before the tap it was made
// from is released (StopEventTap resets them in that order).
std::unique_ptr<platform::EventTap> gEventTap;
std::unique_ptr<platform::RunLoopSource> gEventTapSource;
std::unique_ptr<platform::Timer> gInputPollTimer;

namespace {
const ToolStateMember kEventTapState{
    "gEventTap, gEventTapSource, gInputPollTimer", &StopEventTap,
    [] { return !gEventTap && !gEventTapSource && !gInputPollTimer; }, kToolStateInput};
}  // namespace

bool IsMouseEvent(uint32_t type) {
  switch (type) {
    case platform::kEventLeftMouseDown:
    case platform::kEventLeftMouseUp:
    case platform::kEventRightMouseDown:
    case platform::kEventRightMouseUp:
    case platform::kEventLeftMouseDragged:
    case platform::kEventRightMouseDragged:
    case platform::kEventOtherMouseDown:
    case platform::kEventOtherMouseUp:
    case platform::kEventOtherMouseDragged:
      return true;
    default:
      return false;
  }
}

bool StartEventTap() {
  ResetInputAccessNotice();
  gEventTap =
      platform::Sys().input->CreateEventTap(platform::kEventTapMask, eventCallback, nullptr);
  if (!gEventTap) return false;
  // A strict tap rule judges a tap by the keys around it, so a platform
  // that filters keys before they reach the tool must let them all in.
  if (GesturesNeedEveryKey(GestureSettingsInForce())) {
    gEventTap->SetKeyInterest(platform::KeyInterest::kAllKeys);
  }
  gEventTapSource = gEventTap->CreateRunLoopSource();
  if (!gEventTapSource) {
    gEventTap.reset();
    return false;
  }
  gEventTapSource->AddToRunLoop(platform::RunLoopMode::kCommon);
  gEventTap->Enable(true);
  // Without a poll timer the recognisers still run on events alone.
  StartInputPollTimer();
  return true;
}

void StopEventTap() {
  CancelInputAccessNotice();
  StopInputPollTimer();
  StopMouseComboTimer();
  // Destroying the source takes it out of the run loop; once it is out, the
  // tap's callback is no longer called, so the tap needs no disabling.
  gEventTapSource.reset();
  gEventTap.reset();
}

platform::EventRef eventCallback(platform::TapProxy /*proxy*/, uint32_t type,
                                 platform::EventRef event, void* /*user_info*/) {
  if (type == platform::kEventTapDisabledByTimeout ||
      type == platform::kEventTapDisabledByUserInput) {
    // The system switched the tap off (the callback took too long, or secure
    // input is on). Left off, the Q double-tap and the button events would
    // be gone for the rest of the run: switch it on again at once. Key-ups
    // may have been lost meanwhile: no key is taken as still held.
    if (!gEventTap) return event;
    gEventTap->Enable(true);
    ForgetKeysHeld();
    // What changed while it was off came with no event (Control pressed or
    // let go, a button): read the live state now, as a tick does, and keep
    // ticking while that shows a gesture under way.
    InputPollTimerCallback(nullptr, nullptr);
    // A tap switched off because the permission was taken away stays deaf:
    // say so once rather than run on silently.
    ReportInputAccessLost();
    return event;
  }
  // Key-up, flags-changed and the mouse types are disjoint: at most one
  // recogniser beyond the Q recogniser acts on any event.
  const bool quit = UpdateQuitComboState(type, event);
  if (type == platform::kEventFlagsChanged) {
    UpdateControlComboState(event);
  } else if (type == platform::kEventKeyDown || type == platform::kEventKeyUp) {
    NoteKeyForCleanTap(type, event);
  }
  if (IsMouseEvent(type)) UpdateMouseComboState(type, event);
  if (quit) {
    if (const uint64_t late = TooLateByMs(EventTimeMs(event)); late != 0) {
      showMsg("Not quitting: the Q taps were read %llu ms after they were made\n",
              static_cast<unsigned long long>(late));
      UpdateInputPollTimer();
      return event;
    }
    showMsg("Quit\n");
    // The terminate request stops this tap (and may end the process) while
    // this callback is on the stack: nothing here is touched afterwards.
    platform::Sys().app->Terminate();
    return event;
  }
  UpdateInputPollTimer();
  return event;
}

namespace {

void ArmInputPollTimer() {
  if (gInputPollTimer) return;
  gInputPollTimer = platform::Sys().run_loop->AddTimer(kInputPollIntervalSec, kInputPollIntervalSec,
                                                       InputPollTimerCallback, nullptr,
                                                       platform::RunLoopMode::kCommon);
}

}  // namespace

void StartInputPollTimer() {
  if (gInputPollTimer) return;
  // The Control state at start is not a change.
  gControlKeyDown = IsControlKeyDown();
  if (platform::Sys().input->StateChangesArriveAsEvents()) {
    UpdateInputPollTimer();
  } else {
    ArmInputPollTimer();
  }
}

bool InputPollTickNeeded() {
  platform::Input* input = platform::Sys().input;
  if (!input->StateChangesArriveAsEvents()) return true;
  // Cheapest first: the live buttons are read only when nothing else
  // already asks for the tick.
  return ControlTapUnderWay() || MouseChordUnderWay() || input->ButtonStates() != 0;
}

void UpdateInputPollTimer() {
  // Where the tick runs all the time it is started once, with the tap, and
  // a timer that could not be made is not asked for again on every event.
  if (!platform::Sys().input->StateChangesArriveAsEvents()) return;
  if (InputPollTickNeeded()) {
    ArmInputPollTimer();
  } else {
    StopInputPollTimer();
  }
}

void StopInputPollTimer() {
  if (!gInputPollTimer) return;
  gInputPollTimer->Invalidate();
  gInputPollTimer.reset();
}

void InputPollTimerCallback(platform::Timer* /*timer*/, void* /*info*/) {
  UpdateControlComboState();
  UpdateMouseComboState(platform::kEventNull, nullptr);
  // Stopping the timer from inside its own callback is allowed.
  UpdateInputPollTimer();
}
