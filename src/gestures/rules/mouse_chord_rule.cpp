#include "gestures/rules/mouse_chord_rule.h"

#include "platform/event_types.h"
#include "shared/elapsed_ms.h"

bool ChordReadingNeedsTime(const ChordState& s, const ChordReading& r, const ChordParams&) {
  if (r.from_event && IsButtonPress(r.type) && r.stamp_ms != 0) return true;
  if (ChordDown(ChordButtonsAfter(s.buttons, r), r.live)) return !s.armed && !s.triggered;
  return s.armed && !s.triggered && s.due_ms != 0 && !r.made_up && r.stamp_ms != 0;
}

ChordStep StepChord(ChordState s, const ChordReading& r, const ChordParams& params) {
  ChordStep step;
  // The poll tick: a button the live state shows up was released, whether
  // or not its event came. A release that never arrives (the hub moved the
  // mouse to the other computer while it was held) must not leave a bit
  // set for a later single-button hold to complete into a chord.
  s.buttons = ChordButtonsAfter(s.buttons, r);
  if (r.from_event && IsButtonPress(r.type) && r.stamp_ms != 0) {
    const uint64_t pressed = r.stamp_ms < r.now_ms ? r.stamp_ms : r.now_ms;
    if (pressed > s.last_press_ms) s.last_press_ms = pressed;
  }
  if (ChordDown(s.buttons, r.live)) {
    if (!s.armed && !s.triggered) return ArmChordHold(s, r.stamp_ms, r.now_ms, params);
    step.state = s;
    return step;
  }
  // A release that waited while the main thread was busy may have come
  // after the hold was complete: the hold counts as if its timer had fired
  // in time. Only an event's own time can tell, and only one not ahead of
  // the clock (a device whose clock runs fast says nothing); without one the
  // release is taken as happening now, before the timer. A release made up
  // for a mouse that went away tells nothing either: nobody let go.
  const bool pending = s.armed && !s.triggered && s.due_ms != 0 && !r.made_up;
  const uint64_t released = pending ? r.stamp_ms : 0;
  if (released != 0 && released >= s.due_ms && released <= r.now_ms) {
    step.switch_now = true;
    step.switch_at_ms = s.due_ms;
  }
  step.timer = HoldTimer::kStop;
  s.armed = false;
  s.due_ms = 0;
  s.triggered = false;
  step.state = s;
  return step;
}

ChordStep StepChordExpiry(ChordState s, bool own_timer, uint32_t live) {
  ChordStep step;
  // The hold was complete when it was due.
  const uint64_t due = s.due_ms;
  if (own_timer) {
    s.armed = false;
    s.due_ms = 0;
  }
  if (ChordDown(s.buttons, live) && !s.triggered) {
    s.triggered = true;
    step.switch_now = true;
    step.switch_at_ms = due;
  }
  step.state = s;
  return step;
}

ChordStep ArmChordHold(ChordState s, uint64_t stamp_ms, uint64_t now_ms,
                       const ChordParams& params) {
  ChordStep step;
  step.timer = HoldTimer::kArm;
  if (stamp_ms != 0) {
    // From when the chord was made, where the event says so: never later
    // than now, and never before the last press served, which may have
    // come from another mouse served first but pressed later.
    uint64_t since = stamp_ms < now_ms ? stamp_ms : now_ms;
    if (s.last_press_ms > since) since = s.last_press_ms;
    s.due_ms = since + params.hold_ms;
    step.arm_in_ms = ElapsedMs(s.due_ms, now_ms);
  } else {
    s.due_ms = now_ms + params.hold_ms;
    step.arm_in_ms = params.hold_ms;
  }
  s.armed = true;
  step.state = s;
  return step;
}
