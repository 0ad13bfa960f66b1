// Reading fields of events, and the owners of CoreFoundation references, on
// events the test makes itself (no input permission needed).
#include <ApplicationServices/ApplicationServices.h>
#include <Carbon/Carbon.h>
#include <IOKit/hidsystem/IOLLEvent.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/event_types.h"
#include "platform/macos/cf_ref.h"
#include "platform/macos/listen_access.h"
#include "platform/macos/mac_input.h"

namespace {

using platform::EventRef;
using platform::macos::CfRef;
using platform::macos::DecodeTapEvent;

TEST(MacInputTest, TheDecoderReadsKeyCodesButtonNumbersAndFlags) {
  CfRef<CGEventRef> key_up =
      CfRef<CGEventRef>::Adopt(CGEventCreateKeyboardEvent(nullptr, 12, false));
  ASSERT_TRUE(key_up);
  CGEventSetFlags(key_up.get(), kCGEventFlagMaskShift);
  const platform::InputEvent q = DecodeTapEvent(kCGEventKeyUp, key_up.get());
  EXPECT_EQ(q.type, platform::kEventKeyUp);
  EXPECT_EQ(q.keycode, 12);
  EXPECT_EQ(q.flags & platform::kEventFlagMaskShift, platform::kEventFlagMaskShift);
  EXPECT_EQ(q.time_ms, 0u);
  EXPECT_FALSE(q.made_up);

  CfRef<CGEventRef> middle = CfRef<CGEventRef>::Adopt(CGEventCreateMouseEvent(
      nullptr, kCGEventOtherMouseDown, CGPointMake(10, 10), kCGMouseButtonCenter));
  ASSERT_TRUE(middle);
  const platform::InputEvent other = DecodeTapEvent(kCGEventOtherMouseDown, middle.get());
  EXPECT_EQ(other.type, platform::kEventOtherMouseDown);
  EXPECT_EQ(other.button, 2);

  // A right Control press as a flags-changed event: its key code names the
  // key, its flags carry the key's own device bit beside the Control flag.
  CfRef<CGEventRef> right_ctrl =
      CfRef<CGEventRef>::Adopt(CGEventCreateKeyboardEvent(nullptr, kVK_RightControl, true));
  ASSERT_TRUE(right_ctrl);
  CGEventSetType(right_ctrl.get(), kCGEventFlagsChanged);
  CGEventSetFlags(right_ctrl.get(),
                  static_cast<CGEventFlags>(kCGEventFlagMaskControl | NX_DEVICERCTLKEYMASK));
  const platform::InputEvent rc = DecodeTapEvent(kCGEventFlagsChanged, right_ctrl.get());
  EXPECT_EQ(rc.type, platform::kEventFlagsChanged);
  EXPECT_EQ(rc.keycode, platform::kKeyCodeRightControl);
  EXPECT_EQ(rc.flags & (platform::kEventFlagMaskLeftControl | platform::kEventFlagMaskRightControl),
            platform::kEventFlagMaskRightControl);

  const platform::InputEvent none = DecodeTapEvent(kCGEventTapDisabledByTimeout, nullptr);
  EXPECT_EQ(none.type, platform::kEventTapDisabledByTimeout);
  EXPECT_EQ(none.keycode, 0);
  EXPECT_EQ(none.button, 0);
}

// The seam's words are the system's own numbers, so events and flags pass
// through this platform untranslated.
TEST(MacInputTest, TheSeamsEventWordsAreTheSystemsNumbers) {
  EXPECT_EQ(platform::kEventLeftMouseDown, static_cast<uint32_t>(kCGEventLeftMouseDown));
  EXPECT_EQ(platform::kEventLeftMouseUp, static_cast<uint32_t>(kCGEventLeftMouseUp));
  EXPECT_EQ(platform::kEventRightMouseDown, static_cast<uint32_t>(kCGEventRightMouseDown));
  EXPECT_EQ(platform::kEventRightMouseUp, static_cast<uint32_t>(kCGEventRightMouseUp));
  EXPECT_EQ(platform::kEventMouseMoved, static_cast<uint32_t>(kCGEventMouseMoved));
  EXPECT_EQ(platform::kEventLeftMouseDragged, static_cast<uint32_t>(kCGEventLeftMouseDragged));
  EXPECT_EQ(platform::kEventRightMouseDragged, static_cast<uint32_t>(kCGEventRightMouseDragged));
  EXPECT_EQ(platform::kEventKeyDown, static_cast<uint32_t>(kCGEventKeyDown));
  EXPECT_EQ(platform::kEventKeyUp, static_cast<uint32_t>(kCGEventKeyUp));
  EXPECT_EQ(platform::kEventFlagsChanged, static_cast<uint32_t>(kCGEventFlagsChanged));
  EXPECT_EQ(platform::kEventScrollWheel, static_cast<uint32_t>(kCGEventScrollWheel));
  EXPECT_EQ(platform::kEventOtherMouseDown, static_cast<uint32_t>(kCGEventOtherMouseDown));
  EXPECT_EQ(platform::kEventOtherMouseUp, static_cast<uint32_t>(kCGEventOtherMouseUp));
  EXPECT_EQ(platform::kEventOtherMouseDragged, static_cast<uint32_t>(kCGEventOtherMouseDragged));
  EXPECT_EQ(platform::kEventTapDisabledByTimeout,
            static_cast<uint32_t>(kCGEventTapDisabledByTimeout));
  EXPECT_EQ(platform::kEventTapDisabledByUserInput,
            static_cast<uint32_t>(kCGEventTapDisabledByUserInput));
  EXPECT_EQ(static_cast<uint32_t>(platform::EventField::kMouseEventButtonNumber),
            static_cast<uint32_t>(kCGMouseEventButtonNumber));
  EXPECT_EQ(static_cast<uint32_t>(platform::EventField::kKeyboardEventKeycode),
            static_cast<uint32_t>(kCGKeyboardEventKeycode));
  EXPECT_EQ(platform::kMouseButtonOther, static_cast<int64_t>(kCGMouseButtonCenter));
  EXPECT_EQ(platform::kEventFlagMaskShift, static_cast<uint64_t>(kCGEventFlagMaskShift));
  EXPECT_EQ(platform::kEventFlagMaskControl, static_cast<uint64_t>(kCGEventFlagMaskControl));
  EXPECT_EQ(platform::kEventFlagMaskAlternate, static_cast<uint64_t>(kCGEventFlagMaskAlternate));
  EXPECT_EQ(platform::kEventFlagMaskCommand, static_cast<uint64_t>(kCGEventFlagMaskCommand));
  EXPECT_EQ(platform::kKeyCodeQ, static_cast<int64_t>(kVK_ANSI_Q));
  EXPECT_EQ(platform::kKeyCodeControl, static_cast<int64_t>(kVK_Control));
  EXPECT_EQ(platform::kKeyCodeRightControl, static_cast<int64_t>(kVK_RightControl));
  EXPECT_EQ(platform::kEventFlagMaskLeftControl, static_cast<uint64_t>(NX_DEVICELCTLKEYMASK));
  EXPECT_EQ(platform::kEventFlagMaskRightControl, static_cast<uint64_t>(NX_DEVICERCTLKEYMASK));
}

// The permission as a test sets it; the requests are counted.
class FakeAccess final : public platform::macos::ListenAccess {
 public:
  bool Granted() override { return granted; }
  void Request() override { ++requests; }
  bool AccessibilityTrusted() override { return trusted; }
  bool granted = false;
  bool trusted = false;
  int requests = 0;
};

EventRef PassOn(platform::TapProxy, uint32_t, EventRef event, void*) {
  return event;
}

// Without Input Monitoring no tap is made (one that the system makes anyway
// would drop every key): the system is asked once, the refusal names the
// setting, and Accessibility alone changes nothing.
TEST(MacInputTest, WithoutInputMonitoringTheTapIsRefusedAfterOneRequest) {
  auto owned = std::make_unique<FakeAccess>();
  FakeAccess& access = *owned;
  platform::macos::MacInput input(std::move(owned));
  for (const bool trusted : {false, true}) {
    access.trusted = trusted;
    EXPECT_EQ(input.CreateEventTap(platform::kEventTapMask, PassOn, nullptr), nullptr);
    EXPECT_EQ(input.RefusedTapFix(), platform::macos::kInputMonitoringFix);
    std::string detail;
    std::string fix;
    EXPECT_FALSE(input.CheckInputAccess(&detail, &fix));
    EXPECT_EQ(fix, platform::macos::kInputMonitoringFix);
    EXPECT_EQ(detail, std::string("Input Monitoring not allowed, Accessibility ") +
                          (trusted ? "allowed" : "not allowed"));
  }
  EXPECT_EQ(access.requests, 1) << "the system's prompt is asked for once";
  EXPECT_NE(std::string(platform::macos::kInputMonitoringFix).find("Input Monitoring"),
            std::string::npos);

  access.granted = true;
  std::string fix = "untouched";
  EXPECT_TRUE(input.CheckInputAccess(nullptr, &fix));
  EXPECT_EQ(fix, "untouched");
  EXPECT_EQ(access.requests, 1);
}

// The tap reports every Control and button change: the tool polls only
// while a gesture is under way.
TEST(MacInputTest, StateChangesArriveAsEventsSoTheIdleToolDoesNotPoll) {
  platform::macos::MacInput input(std::make_unique<FakeAccess>());
  EXPECT_TRUE(input.StateChangesArriveAsEvents());
}

TEST(CfRefTest, AdoptingKeepsTheCountAndRetainingAddsOne) {
  CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
  ASSERT_NE(array, nullptr);
  {
    CfRef<CFMutableArrayRef> owner = CfRef<CFMutableArrayRef>::Adopt(array);
    EXPECT_EQ(CFGetRetainCount(array), 1);
    {
      CfRef<CFMutableArrayRef> borrower = CfRef<CFMutableArrayRef>::Retain(array);
      EXPECT_EQ(CFGetRetainCount(array), 2);
    }
    EXPECT_EQ(CFGetRetainCount(array), 1);
    CFRetain(array);  // keep it alive past the owner, to look at the count
  }
  EXPECT_EQ(CFGetRetainCount(array), 1);
  CFRelease(array);
}

}  // namespace
