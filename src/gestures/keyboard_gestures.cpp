#include "gestures/keyboard_gestures.h"

#include "gestures/gesture_settings.h"
#include "gestures/rules/control_tap_rule.h"
#include "gestures/rules/quit_tap_rule.h"
#include "hub/port_switch.h"
#include "platform/event_types.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

bool gControlKeyDown = false;
uint64_t gLastControlReleaseMs = 0;
int32_t wPreKBKey = 0;
uint32_t uKBTimeMs = 0;

namespace {

// What the rules keep beyond the variables above.
struct KeyboardRest {
  uint64_t control_release_stamp_ms = 0;
  bool control_spoiled = false;
  HeldKeys keys;
  uint64_t q_at_ms = 0;
  uint64_t q_stamp_ms = 0;
};
KeyboardRest gRest;

ControlTapState LoadControl() {
  return {gControlKeyDown, gLastControlReleaseMs, gRest.control_release_stamp_ms,
          gRest.control_spoiled};
}

void StoreControl(const ControlTapState& s) {
  gControlKeyDown = s.down;
  gLastControlReleaseMs = s.pending_ms;
  gRest.control_release_stamp_ms = s.pending_stamp_ms;
  gRest.control_spoiled = s.spoiled;
}

// Wall-clock milliseconds, kept to their low 32 bits: the Q recogniser's
// stamps.
uint32_t WallClockStampMs() {
  const platform::TimeSpec t = platform::Sys().clock->Realtime();
  const uint64_t ms =
      static_cast<uint64_t>(t.sec) * 1000u + static_cast<uint64_t>(t.nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace

void ResetKeyboardGestures() {
  gControlKeyDown = false;
  gLastControlReleaseMs = 0;
  wPreKBKey = 0;
  uKBTimeMs = 0;
  gRest = KeyboardRest{};
}

void ForgetPendingTaps(bool control_down) {
  gLastControlReleaseMs = 0;
  gRest.control_release_stamp_ms = 0;
  gControlKeyDown = control_down;
  gRest.control_spoiled = control_down;
  wPreKBKey = 0;
  uKBTimeMs = 0;
  gRest.q_at_ms = 0;
  gRest.q_stamp_ms = 0;
}

namespace {
const ToolStateMember kKeyboardState{
    "gControlKeyDown, gLastControlReleaseMs, wPreKBKey, uKBTimeMs, gRest", &ResetKeyboardGestures,
    [] {
      return !gControlKeyDown && gLastControlReleaseMs == 0 && wPreKBKey == 0 && uKBTimeMs == 0 &&
             gRest.control_release_stamp_ms == 0 && !gRest.control_spoiled &&
             gRest.keys.count == 0 && gRest.q_at_ms == 0 && gRest.q_stamp_ms == 0;
    }};
}  // namespace

namespace {

// The live flags as the Control rule reads them: with the two keys told
// apart only when the double-tap is bound to one of them.
uint64_t LiveControlFlags(ControlKey key) {
  platform::Input* input = platform::Sys().input;
  return key == ControlKey::kEither ? input->FlagsState() : input->FlagsStateWithControlKeys();
}

}  // namespace

bool IsControlKeyDown() {
  const ControlKey key = GestureSettingsInForce().control_key;
  return TapControlIn(LiveControlFlags(key), key);
}

void UpdateControlComboState(platform::EventRef event) {
  const GestureSettings& settings = GestureSettingsInForce();
  if (!settings.control_double_tap) return;
  const ControlTapState state = LoadControl();
  ControlReading reading;
  reading.flags = LiveControlFlags(settings.control_key);
  reading.keys_held = gRest.keys.count != 0;
  if (event != nullptr) {
    reading.from_event = true;
    reading.key_code = event->keycode;
    reading.made_up = event->made_up;
    reading.stamp_ms = event->time_ms;
  }
  const ControlTapParams params{settings.control_taps, settings.double_tap_ms,
                                settings.control_key};
  // Most readings (a modifier other than Control, an idle tick) change
  // nothing.
  if (!ControlReadingCanAct(state, reading, params)) return;
  // When this update happens: the event's own time where the platform
  // stamps events (one handled after the main thread was busy keeps its
  // place), else the clock; never later than now. Read only when needed.
  if (ControlReadingNeedsTime(state, reading, params)) {
    reading.at_ms = event != nullptr ? GetEventMilliseconds(event) : GetMilliseconds();
  }
  const ControlTapStep step = StepControlTap(state, reading, params);
  StoreControl(step.state);
  if (step.switch_now) TriggerSwitch("ctrl-ctrl", step.switch_at_ms);
}

void ForgetKeysHeld() {
  gRest.keys.count = 0;
}

void NoteKeyForCleanTap(uint32_t type, platform::EventRef event) {
  if (event == nullptr || GestureSettingsInForce().control_taps != ControlTapRule::kClean) return;
  const ControlTapState state = LoadControl();
  // An auto-repeat, or a key let go that was never listed, with no press
  // of Control left to spoil: nothing to keep.
  if (!CleanKeyCanAct(gRest.keys, state, type, event->keycode)) return;
  const CleanKeyStep step = StepCleanKey(gRest.keys, state, type, event->keycode);
  gRest.keys = step.keys;
  StoreControl(step.state);
}

bool ControlTapUnderWay() {
  return gControlKeyDown || gLastControlReleaseMs != 0;
}

bool UpdateQuitComboState(uint32_t type, platform::EventRef event) {
  const GestureSettings& settings = GestureSettingsInForce();
  if (!settings.quit_double_tap) return false;
  // Stamped before the type is looked at.
  const uint32_t stamp = WallClockStampMs();
  if (event == nullptr) return false;
  const QuitTapState state{wPreKBKey, uKBTimeMs, gRest.q_at_ms, gRest.q_stamp_ms};
  const QuitTapParams params{settings.quit_taps, settings.double_tap_ms};
  // Most events (every mouse event, and under the "any" rule every key but
  // a Q going up) leave the recogniser as it is.
  if (!QuitReadingCanAct(state, type, event->keycode, params)) return false;
  QuitReading reading;
  reading.type = type;
  reading.key_code = event->keycode;
  reading.made_up = event->made_up;
  reading.wall_ms = stamp;
  if (QuitReadingNeedsTime(type, event->keycode)) {
    // One read of the monotonic clock: how long the event waited (nothing
    // where the platform gives no time, or a time ahead of the clock), and
    // when it happened, never later than now.
    const uint64_t now = GetMilliseconds();
    reading.stamp_ms = event->time_ms;
    reading.age_ms = reading.stamp_ms != 0 ? ElapsedMs(now, reading.stamp_ms) : 0;
    reading.at_ms = reading.stamp_ms != 0 && reading.stamp_ms < now ? reading.stamp_ms : now;
  }
  const QuitTapStep step = StepQuitTap(state, reading, params);
  wPreKBKey = step.state.key;
  uKBTimeMs = step.state.wall_ms;
  gRest.q_at_ms = step.state.at_ms;
  gRest.q_stamp_ms = step.state.stamp_ms;
  return step.quit;
}
