#include "gestures/rules/quit_tap_rule.h"

#include "gestures/rules/tap_time.h"
#include "platform/event_types.h"

bool QuitReadingNeedsTime(uint32_t type, int64_t key_code) {
  return type == platform::kEventKeyUp && static_cast<uint16_t>(key_code) == platform::kKeyCodeQ;
}

QuitTapStep StepQuitTap(QuitTapState s, const QuitReading& r, const QuitTapParams& params) {
  QuitTapStep step{s, false};
  const bool pending = s.wall_ms != 0;
  if (r.type != platform::kEventKeyUp) {
    // Under the "consecutive" rule any other key between the two Qs, a
    // modifier included, breaks the pair; a Q going down does not.
    if (params.taps == QuitTapRule::kConsecutive && pending &&
        (r.type == platform::kEventFlagsChanged ||
         (r.type == platform::kEventKeyDown && r.key_code != platform::kKeyCodeQ))) {
      step.state = QuitTapState{};
    }
    return step;
  }
  // The key code is taken as 16 bits.
  if (static_cast<uint16_t>(r.key_code) != platform::kKeyCodeQ) {
    // Under the "any" rule other keys leave a pending tap alone.
    if (params.taps == QuitTapRule::kConsecutive) step.state = QuitTapState{};
    return step;
  }
  if (r.made_up) {
    // The keyboard went away with Q held: no tap, and the pair is broken.
    step.state = QuitTapState{};
    return step;
  }
  // A Q that waited while the main thread was busy is stamped back by how
  // long it waited, so that two Qs typed apart are not taken for a pair
  // when they are handled together. Where the platform gives no event time
  // nothing is subtracted; a time ahead of the clock subtracts nothing either.
  const uint32_t tapped = r.wall_ms - static_cast<uint32_t>(r.age_ms);
  const TapTime time{r.at_ms, r.stamp_ms};
  if (!pending) {
    step.state =
        QuitTapState{static_cast<int32_t>(platform::kKeyCodeQ), tapped, time.at, time.stamp};
    return step;
  }
  // How far apart, whichever was typed first (32-bit arithmetic), and by the
  // monotonic measures, which tell about device clocks.
  const uint32_t after = tapped - s.wall_ms;
  const uint32_t before = s.wall_ms - tapped;
  const uint32_t apart = after < before ? after : before;
  const TapTime first{s.at_ms, s.stamp_ms};
  const bool within = TapsWithin(time, first, params.window_ms, false) &&
                      ((time.Ahead() && first.Ahead()) || apart < params.window_ms);
  step.quit = within && s.key == platform::kKeyCodeQ;
  // A late second tap does not become the first of a new pair.
  step.state = QuitTapState{};
  return step;
}
