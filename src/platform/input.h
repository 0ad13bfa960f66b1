// Global input: a listen-only tap on the login session's events, and the live
// state of the Control key and the mouse buttons.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/event_types.h"
#include "platform/run_loop.h"

namespace platform {

// One delivered event, decoded once by the platform that read it: all the
// tool reads of an event, as one plain value. Allocation-free to make and to
// read; it lives for the callback it is handed to.
struct InputEvent {
  uint32_t type = kEventNull;
  int64_t keycode = 0;  // key and flags-changed events: the key code (kKeyCode*)
  int64_t button = 0;   // mouse events: 0 left, 1 right, 2 middle
  // The modifier flags the event carries, where the platform's events carry
  // them (kEventFlagMask*); 0 elsewhere. The recognisers read the live state.
  uint64_t flags = 0;
  // When it happened, in milliseconds on the clock Clock::Monotonic reads
  // (seconds x 1000 + nanoseconds / 1000000): an event that waited while the
  // main thread was busy keeps its own time. 0 where the platform cannot
  // tell that with certainty; the tool then takes the event as happening
  // when it handles it.
  uint64_t time_ms = 0;
  // A release the platform made up rather than read: a device went away with
  // the key or button held, and its release is delivered so that the held
  // state clears. It ends what was held but completes no gesture.
  bool made_up = false;
};

// A delivered event as the tap's callback receives it, and an opaque handle
// to the tap that delivered it (only its platform reads it).
struct OpaqueTapProxy;
using EventRef = const InputEvent*;
using TapProxy = OpaqueTapProxy*;

// The tap's callback: called on the main thread for every event whose type is
// in the tap's mask, and for the two tap-disabled notifications. It returns
// the event it was given; a listen-only tap never alters or diverts it.
using EventCallback = EventRef (*)(TapProxy proxy, uint32_t type, EventRef event, void* user_info);

// The run-loop source through which a tap delivers its events. Destroying it
// removes it from the main run loop (when it was added) and then releases it.
class RunLoopSource {
 public:
  virtual ~RunLoopSource() = default;
  // Schedules the source on the current (main) run loop in `mode`.
  virtual void AddToRunLoop(RunLoopMode mode) = 0;
};

// Which keys a tap must deliver. A platform that can leave keys out before
// they wake the tool delivers only the gesture keys (Control, Q) unless
// asked for all of them; the others deliver every key either way.
enum class KeyInterest { kGestureKeys, kAllKeys };

// A listen-only event tap. Destroying it releases it; it must outlive its
// source. Once its source is out of the run loop, its callback is not called.
class EventTap {
 public:
  virtual ~EventTap() = default;
  // Makes the source that delivers this tap's events; null on failure.
  virtual std::unique_ptr<RunLoopSource> CreateRunLoopSource() = 0;
  // Switches the tap on or off. Switching it on also undoes a switch-off by
  // the system (announced by a tap-disabled notification), and may be done
  // from inside the tap's own callback.
  virtual void Enable(bool on) = 0;
  // Widens (kAllKeys) or narrows the keys delivered from now on. The
  // mouse buttons and Control's state are delivered either way.
  virtual void SetKeyInterest(KeyInterest /*interest*/) {}
};

class Input {
 public:
  virtual ~Input() = default;
  // Creates a listen-only tap on the login session, placed ahead of existing
  // taps, for the event types whose bit (1 << type) is set in `mask`. Null
  // when the system refuses the tap (the user has not allowed input
  // monitoring).
  virtual std::unique_ptr<EventTap> CreateEventTap(uint64_t mask, EventCallback callback,
                                                   void* user_info) = 0;
  // After a refused tap: one line telling the user how to allow input
  // monitoring on this platform (a group, a permission), or "" when the
  // tool's own messages already say it.
  virtual std::string RefusedTapFix() { return ""; }
  // Whether the tool may read the session's input, asked without creating a
  // tap and without prompting the user. `detail` receives what was found
  // (how many devices are readable, which permission is missing) and, on a
  // refusal, `fix` the one line that tells the user how to allow it.
  // Every platform the tool ships on answers it; this default serves test
  // doubles that never refuse.
  virtual bool CheckInputAccess(std::string* detail, std::string* fix) {
    (void)fix;
    if (detail) *detail = "not checked on this platform";
    return true;
  }
  // A refused tap's console line and alert text in this platform's words,
  // or "" for the tool's own, which speak of the Accessibility permission.
  virtual std::string RefusedTapLine() { return ""; }
  virtual std::string RefusedTapAlert() { return ""; }
  // Whether every change of the live state (FlagsState, ButtonStates)
  // reaches the tap as an event, a resynchronisation after lost events
  // included. Where it does, a poll between events finds nothing new, so
  // the tool polls only while time alone can change an outcome; where the
  // live state can change behind the tap's back, it polls all the time.
  virtual bool StateChangesArriveAsEvents() const { return false; }
  // The live modifier flags of the input system now (kEventFlagMaskControl
  // among them), whatever events were or were not delivered.
  virtual uint64_t FlagsState() = 0;
  // FlagsState with the device-dependent bits of the Control keys down now
  // (kEventFlagMaskLeftControl, kEventFlagMaskRightControl), which tell the
  // two keys apart. Asked instead of FlagsState only while the double-tap
  // is bound to one Control key; a platform whose FlagsState carries those
  // bits already keeps this default.
  virtual uint64_t FlagsStateWithControlKeys() { return FlagsState(); }
  // Whether mouse button `button` (0 left, 1 right, 2 middle) is down now.
  virtual bool ButtonState(uint32_t button) = 0;
  // The live state of buttons 0, 1 and 2 in one query: bit n set when
  // button n is down now. A platform that can read all three at once
  // overrides it; this one asks ButtonState for each.
  virtual uint32_t ButtonStates() {
    return (ButtonState(0) ? 1u : 0u) | (ButtonState(1) ? 2u : 0u) | (ButtonState(2) ? 4u : 0u);
  }
};

}  // namespace platform
