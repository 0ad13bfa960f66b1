#include "gestures/mouse_chord.h"

#include "gestures/gesture_settings.h"
#include "gestures/rules/mouse_chord_rule.h"
#include "hub/port_switch.h"
#include "platform/services.h"
#include "shared/milliseconds.h"
#include "shared/tool_state.h"

uint8_t MSButton = 0;
std::unique_ptr<platform::Timer> gMouseComboTimer;
bool gMouseComboTriggered = false;

namespace {

// What the rule keeps beyond the variables above.
struct ChordRest {
  uint64_t due_ms = 0;
  uint64_t last_press_ms = 0;
};
ChordRest gRest;

ChordState Load() {
  return {MSButton, gMouseComboTimer != nullptr, gMouseComboTriggered, gRest.due_ms,
          gRest.last_press_ms};
}

void Store(const ChordState& s) {
  MSButton = s.buttons;
  gMouseComboTriggered = s.triggered;
  gRest.due_ms = s.due_ms;
  gRest.last_press_ms = s.last_press_ms;
}

// Keeps the rule's new state and carries out what it decided.
void Act(const ChordStep& step) {
  Store(step.state);
  if (step.timer == HoldTimer::kArm) {
    // Common modes: the hold is timed also while a menu or an alert is up.
    gMouseComboTimer = platform::Sys().run_loop->AddTimer(
        static_cast<double>(step.arm_in_ms) / 1000.0, 0, MouseComboTimerCallback, nullptr,
        platform::RunLoopMode::kCommon);
    if (!gMouseComboTimer) gRest.due_ms = 0;
  } else if (step.timer == HoldTimer::kStop) {
    StopMouseComboTimer();
  }
  if (step.switch_now) TriggerSwitch("mouse", step.switch_at_ms);
}

ChordReading ReadingOf(uint32_t type, platform::EventRef event) {
  ChordReading reading;
  reading.type = type;
  if (event != nullptr) {
    reading.from_event = true;
    reading.button = event->button;
    reading.made_up = event->made_up;
    reading.stamp_ms = event->time_ms;
  }
  // All three buttons in one query, whatever the tracked bits say: this
  // runs for every mouse event.
  reading.live = platform::Sys().input->ButtonStates();
  return reading;
}

}  // namespace

void ResetMouseChord() {
  MSButton = 0;
  gMouseComboTimer.reset();
  gMouseComboTriggered = false;
  gRest = ChordRest{};
}

namespace {
const ToolStateMember kMouseChordState{
    "MSButton, gMouseComboTimer, gMouseComboTriggered, gRest", &ResetMouseChord,
    [] {
      return MSButton == 0 && !gMouseComboTimer && !gMouseComboTriggered && gRest.due_ms == 0 &&
             gRest.last_press_ms == 0;
    },
    kToolStateRunning};
}  // namespace

void TrackMouseButtonEvent(uint32_t type, platform::EventRef event) {
  if (event == nullptr) return;
  MSButton = TrackChordButtons(MSButton, type, event->button);
}

bool AreLeftAndRightMouseButtonsDown() {
  return ChordDown(MSButton, platform::Sys().input->ButtonStates());
}

bool MouseChordUnderWay() {
  return MSButton != 0 || gMouseComboTimer != nullptr;
}

void UpdateMouseComboState(uint32_t type, platform::EventRef event) {
  const GestureSettings& settings = GestureSettingsInForce();
  if (!settings.mouse_chord) return;
  const ChordParams params{settings.chord_hold_ms};
  const ChordState state = Load();
  ChordReading reading = ReadingOf(type, event);
  // Most readings (a drag, a button alone, an idle tick) only move the
  // tracked bits.
  if (!ChordReadingCanAct(state, reading)) {
    MSButton = ChordButtonsAfter(state.buttons, reading);
    return;
  }
  if (ChordReadingNeedsTime(state, reading, params)) reading.now_ms = GetMilliseconds();
  Act(StepChord(state, reading, params));
}

void StartMouseComboTimer(platform::EventRef event) {
  const ChordParams params{GestureSettingsInForce().chord_hold_ms};
  const ChordState state = Load();
  if (state.armed || state.triggered) return;
  Act(ArmChordHold(state, event != nullptr ? event->time_ms : 0, GetMilliseconds(), params));
}

void StopMouseComboTimer() {
  gRest.due_ms = 0;
  if (!gMouseComboTimer) return;
  gMouseComboTimer->Invalidate();
  gMouseComboTimer.reset();
}

void MouseComboTimerCallback(platform::Timer* timer, void* /*info*/) {
  // A one-shot timer has invalidated itself by now; only forget it.
  const bool own = timer != nullptr && timer == gMouseComboTimer.get();
  const ChordStep step = StepChordExpiry(Load(), own, platform::Sys().input->ButtonStates());
  if (own) gMouseComboTimer.reset();
  Store(step.state);
  // The hold was complete when it was due: a timer served late (the main
  // thread was held up) asks for the switch as of then.
  if (step.switch_now) TriggerSwitch("mouse", step.switch_at_ms);
}
