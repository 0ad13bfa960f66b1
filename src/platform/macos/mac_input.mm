#include "platform/macos/mac_input.h"

#include <ApplicationServices/ApplicationServices.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/macos/cf_ref.h"
#include "platform/macos/mac_run_loop.h"

namespace platform::macos {
namespace {

// Where the tap's events go: the tool's callback and its data.
struct TapTarget {
  EventCallback callback;
  void* user_info;
};

// The tap's callback as the system calls it: decodes the event once and
// hands the tool the decoded value. A listen-only tap passes the system's
// event on unchanged, whatever the tool returns.
CGEventRef ForwardTapEvent(CGEventTapProxy proxy, CGEventType type, CGEventRef event, void* info) {
  const TapTarget* target = static_cast<const TapTarget*>(info);
  // Read before the call: a quit requested inside it tears the tap (and
  // this target) down while the call is still running.
  const EventCallback callback = target->callback;
  void* const user_info = target->user_info;
  const InputEvent decoded = DecodeTapEvent(type, event);
  (void)callback(reinterpret_cast<TapProxy>(proxy), decoded.type, &decoded, user_info);
  return event;
}

// The tap's run-loop source. Teardown: out of the main run loop first (so
// the tap's callback is no longer called), then released (the member's
// owner). It must go before the tap it was made from.
class MacRunLoopSource final : public RunLoopSource {
 public:
  explicit MacRunLoopSource(CfRef<CFRunLoopSourceRef> source) : source_(std::move(source)) {}
  ~MacRunLoopSource() override {
    if (added_) CFRunLoopRemoveSource(CFRunLoopGetMain(), source_.get(), mode_);
  }

  // Called on the main thread, so the current run loop is the main one.
  void AddToRunLoop(RunLoopMode mode) override {
    if (added_) return;
    mode_ = ModeName(mode);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source_.get(), mode_);
    added_ = true;
  }

 private:
  CfRef<CFRunLoopSourceRef> source_;
  CFStringRef mode_ = kCFRunLoopCommonModes;  // a constant: not owned
  bool added_ = false;
};

// The tap. Teardown: its source has gone already (see above); then the
// tap's port is released, neither disabled nor invalidated first, and
// last the target its callback read. Without invalidation the port and the
// source made from it keep each other alive until the process ends; the
// callback is no longer called because the source is out of the run loop.
// A tool that restarted its tap within one run would have to disable it and
// invalidate the port first.
class MacEventTap final : public EventTap {
 public:
  MacEventTap(std::unique_ptr<TapTarget> target, CfRef<CFMachPortRef> port)
      : target_(std::move(target)), port_(std::move(port)) {}

  std::unique_ptr<RunLoopSource> CreateRunLoopSource() override {
    auto source = CfRef<CFRunLoopSourceRef>::Adopt(
        CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port_.get(), 0));
    if (!source) return nullptr;
    return std::make_unique<MacRunLoopSource>(std::move(source));
  }

  // Also how the tool switches the tap on again from inside its callback
  // after a kCGEventTapDisabledByTimeout or kCGEventTapDisabledByUserInput
  // notification: the system leaves a tap it disabled off until then.
  void Enable(bool on) override { CGEventTapEnable(port_.get(), on); }

 private:
  // Declared first so that it is destroyed last, after the port.
  std::unique_ptr<TapTarget> target_;
  CfRef<CFMachPortRef> port_;
};

class SystemAccess final : public ListenAccess {
 public:
  bool Granted() override { return CGPreflightListenEventAccess(); }
  void Request() override { (void)CGRequestListenEventAccess(); }
  bool AccessibilityTrusted() override { return AXIsProcessTrusted(); }
};

}  // namespace

std::unique_ptr<ListenAccess> SystemListenAccess() {
  return std::make_unique<SystemAccess>();
}

MacInput::MacInput(std::unique_ptr<ListenAccess> access)
    : access_(access ? std::move(access) : SystemListenAccess()) {}
MacInput::~MacInput() = default;

std::unique_ptr<EventTap> MacInput::CreateEventTap(uint64_t mask, EventCallback callback,
                                                   void* user_info) {
  no_listen_ = !access_->Granted();
  if (no_listen_) {
    if (!requested_) access_->Request();
    requested_ = true;
    return nullptr;
  }
  auto target = std::make_unique<TapTarget>(TapTarget{callback, user_info});
  auto port = CfRef<CFMachPortRef>::Adopt(
      CGEventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap, kCGEventTapOptionListenOnly,
                       static_cast<CGEventMask>(mask), &ForwardTapEvent, target.get()));
  if (!port) return nullptr;
  return std::make_unique<MacEventTap>(std::move(target), std::move(port));
}

uint64_t MacInput::FlagsState() {
  return static_cast<uint64_t>(CGEventSourceFlagsState(kCGEventSourceStateHIDSystemState));
}

uint64_t MacInput::FlagsStateWithControlKeys() {
  constexpr uint64_t kSides =
      platform::kEventFlagMaskLeftControl | platform::kEventFlagMaskRightControl;
  // The flags' own side bits are replaced, never trusted: what each key
  // says is the live state (a side bit left over in the flags would keep a
  // released key down for the rule).
  uint64_t flags = FlagsState() & ~kSides;
  if (CGEventSourceKeyState(kCGEventSourceStateHIDSystemState,
                            static_cast<CGKeyCode>(platform::kKeyCodeControl))) {
    flags |= platform::kEventFlagMaskLeftControl;
  }
  if (CGEventSourceKeyState(kCGEventSourceStateHIDSystemState,
                            static_cast<CGKeyCode>(platform::kKeyCodeRightControl))) {
    flags |= platform::kEventFlagMaskRightControl;
  }
  return flags;
}

bool MacInput::ButtonState(uint32_t button) {
  return CGEventSourceButtonState(kCGEventSourceStateHIDSystemState,
                                  static_cast<CGMouseButton>(button));
}

// The event's time is left at 0 (none): the tool reads its clocks when it
// handles an event, as it always has here. The event's own stamp,
// CGEventGetTimestamp, cannot be put on the tool's clock with certainty: it
// counts on the mach_absolute_time base, which stops while the machine
// sleeps, whereas the tool's monotonic clock (CLOCK_MONOTONIC, clock number 6)
// keeps counting; an offset between the two taken when the event is handled
// is wrong by the length of any sleep between the event and its handling, and
// some releases have given the stamp in mach ticks rather than nanoseconds.
// Events that wait while the main thread is busy are therefore timed when
// they are handled on this platform. The system makes up no releases.
InputEvent DecodeTapEvent(CGEventType type, CGEventRef event) {
  InputEvent decoded;
  decoded.type = static_cast<uint32_t>(type);
  // The tap-disabled notifications carry nothing the tool reads.
  if (event == nullptr || type == kCGEventTapDisabledByTimeout ||
      type == kCGEventTapDisabledByUserInput) {
    return decoded;
  }
  decoded.flags = static_cast<uint64_t>(CGEventGetFlags(event));
  switch (type) {
    case kCGEventKeyDown:
    case kCGEventKeyUp:
    case kCGEventFlagsChanged:
      decoded.keycode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
      break;
    case kCGEventLeftMouseDown:
    case kCGEventLeftMouseUp:
    case kCGEventRightMouseDown:
    case kCGEventRightMouseUp:
    case kCGEventLeftMouseDragged:
    case kCGEventRightMouseDragged:
    case kCGEventOtherMouseDown:
    case kCGEventOtherMouseUp:
    case kCGEventOtherMouseDragged:
      decoded.button = CGEventGetIntegerValueField(event, kCGMouseEventButtonNumber);
      break;
    default:
      break;
  }
  return decoded;
}

std::string MacInput::RefusedTapFix() {
  return no_listen_ ? kInputMonitoringFix : "";
}

bool MacInput::CheckInputAccess(std::string* detail, std::string* fix) {
  // Accessibility alone does not let a listen-only tap see the keys.
  const bool listen = access_->Granted();
  const bool trusted = access_->AccessibilityTrusted();
  if (detail) {
    *detail = std::string("Input Monitoring ") + (listen ? "allowed" : "not allowed") +
              ", Accessibility " + (trusted ? "allowed" : "not allowed");
  }
  if (!listen && fix) *fix = kInputMonitoringFix;
  return listen;
}

}  // namespace platform::macos
