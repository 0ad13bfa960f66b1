#include "gestures/mouse_chord.h"

#include "gestures/gesture_settings.h"
#include "hub/port_switch.h"
#include "platform/event_types.h"
#include "platform/services.h"
#include "shared/milliseconds.h"

uint8_t MSButton = 0;
std::unique_ptr<platform::Timer> gMouseComboTimer;
bool gMouseComboTriggered = false;
uint64_t gMouseComboDueMs = 0;
uint64_t gLastMousePressMs = 0;

void ResetMouseChord() {
  MSButton = 0;
  gMouseComboTimer.reset();
  gMouseComboTriggered = false;
  gMouseComboDueMs = 0;
  gLastMousePressMs = 0;
}

namespace {

constexpr uint8_t kLeftHeldBit = 0x10;
constexpr uint8_t kRightHeldBit = 0x01;

bool IsPressType(uint32_t type) {
  return type == platform::kEventLeftMouseDown || type == platform::kEventRightMouseDown ||
         type == platform::kEventOtherMouseDown;
}

bool IsReleaseType(uint32_t type) {
  return type == platform::kEventLeftMouseUp || type == platform::kEventRightMouseUp ||
         type == platform::kEventOtherMouseUp;
}

}  // namespace

void TrackMouseButtonEvent(uint32_t type, platform::EventRef event) {
  if (event == nullptr) return;
  const bool press = IsPressType(type);
  const bool release = IsReleaseType(type);
  if (!press && !release) return;  // drags and the rest change nothing

  const int64_t button = platform::Sys().input->EventIntegerField(
      event, platform::EventField::kMouseEventButtonNumber);
  const bool left = button == platform::kMouseButtonLeft;
  const bool right = button == platform::kMouseButtonRight || button == platform::kMouseButtonOther;

  if (type == platform::kEventLeftMouseDown || (press && left)) {
    MSButton |= kLeftHeldBit;
  } else if (type == platform::kEventLeftMouseUp || (release && left)) {
    MSButton &= static_cast<uint8_t>(~kLeftHeldBit);
  }
  if (type == platform::kEventRightMouseDown || (press && right)) {
    MSButton |= kRightHeldBit;
  } else if (type == platform::kEventRightMouseUp || (release && right)) {
    MSButton &= static_cast<uint8_t>(~kRightHeldBit);
  }
}

namespace {

// The chord predicate over the tracked bits and one reading of the live
// state (bit n set when button n is down).
bool ChordDown(uint32_t live) {
  const bool live_left = (live & 1u) != 0;
  const bool live_right = (live & 2u) != 0;
  const bool live_other = (live & 4u) != 0;
  const uint8_t both = kLeftHeldBit | kRightHeldBit;
  if ((MSButton & both) == both) return true;
  return live_left && (live_right || live_other);
}

}  // namespace

bool AreLeftAndRightMouseButtonsDown() {
  // All three are read on every call, whatever the tracked bits say, in
  // one query: this runs for every mouse event.
  return ChordDown(platform::Sys().input->ButtonStates());
}

void ForgetReleasedMouseButtons(uint32_t live) {
  if ((live & 1u) == 0) MSButton &= static_cast<uint8_t>(~kLeftHeldBit);
  if ((live & 6u) == 0) MSButton &= static_cast<uint8_t>(~kRightHeldBit);
}

void UpdateMouseComboState(uint32_t type, platform::EventRef event) {
  if (!gGestureSettings.mouse_chord) return;
  bool down = false;
  if (event == nullptr) {
    // The poll tick: a button the live state shows up was released, whether
    // or not its event came. A release that never arrives (the hub moved the
    // mouse to the other computer while it was held) must not leave a bit
    // set for a later single-button hold to complete into a chord.
    const uint32_t live = platform::Sys().input->ButtonStates();
    ForgetReleasedMouseButtons(live);
    down = ChordDown(live);
  } else {
    TrackMouseButtonEvent(type, event);
    if (IsPressType(type) && EventTimeMs(event) != 0) {
      const uint64_t pressed = GetEventMilliseconds(event);
      if (pressed > gLastMousePressMs) gLastMousePressMs = pressed;
    }
    down = AreLeftAndRightMouseButtonsDown();
  }
  if (down) {
    StartMouseComboTimer(event);
    return;
  }
  // A release that waited while the main thread was busy may have come
  // after the hold was complete: the hold counts as if its timer had fired
  // in time. Only an event's own time can tell, and only one not ahead of
  // the clock (a device whose clock runs fast says nothing); without one the
  // release is taken as happening now, before the timer. A release made up
  // for a mouse that went away tells nothing either: nobody let go.
  const bool pending = gMouseComboTimer && !gMouseComboTriggered && gMouseComboDueMs != 0 &&
                       !platform::Sys().input->IsSynthesisedRelease(event);
  const uint64_t released = pending ? EventTimeMs(event) : 0;
  const bool completed =
      released != 0 && released >= gMouseComboDueMs && released <= GetMilliseconds();
  const uint64_t completed_at = gMouseComboDueMs;
  StopMouseComboTimer();
  gMouseComboTriggered = false;
  if (completed) TriggerSwitch("mouse", completed_at);
}

void StartMouseComboTimer(platform::EventRef event) {
  if (gMouseComboTimer || gMouseComboTriggered) return;
  const uint64_t hold_ms = gGestureSettings.chord_hold_ms;
  double delay_sec = static_cast<double>(hold_ms) / 1000.0;
  const uint64_t stamp = EventTimeMs(event);
  if (stamp != 0) {
    // From when the chord was made, where the event says so: never later
    // than now, and never before the last press served, which may have
    // come from another mouse served first but pressed later.
    const uint64_t now = GetMilliseconds();
    uint64_t since = stamp < now ? stamp : now;
    if (gLastMousePressMs > since) since = gLastMousePressMs;
    gMouseComboDueMs = since + hold_ms;
    delay_sec = static_cast<double>(ElapsedMs(gMouseComboDueMs, now)) / 1000.0;
  } else {
    gMouseComboDueMs = GetMilliseconds() + hold_ms;
  }
  // Common modes: the hold is timed also while a menu or an alert is up.
  gMouseComboTimer = platform::Sys().run_loop->AddTimer(delay_sec, 0, MouseComboTimerCallback,
                                                        nullptr, platform::RunLoopMode::kCommon);
  if (!gMouseComboTimer) gMouseComboDueMs = 0;
}

void StopMouseComboTimer() {
  gMouseComboDueMs = 0;
  if (!gMouseComboTimer) return;
  gMouseComboTimer->Invalidate();
  gMouseComboTimer.reset();
}

void MouseComboTimerCallback(platform::Timer* timer, void* /*info*/) {
  // A one-shot timer has invalidated itself by now; only forget it.
  // The hold was complete when it was due: a timer served late (the main
  // thread was held up) asks for the switch as of then.
  const uint64_t due = gMouseComboDueMs;
  if (timer != nullptr && timer == gMouseComboTimer.get()) {
    gMouseComboTimer.reset();
    gMouseComboDueMs = 0;
  }
  if (AreLeftAndRightMouseButtonsDown() && !gMouseComboTriggered) {
    gMouseComboTriggered = true;
    TriggerSwitch("mouse", due);
  }
}
