// Reading fields of events, and the owners of CoreFoundation references, on
// events the test makes itself (no input permission needed).
#include <ApplicationServices/ApplicationServices.h>
#include <Carbon/Carbon.h>
#include <gtest/gtest.h>

#include "platform/macos/cf_ref.h"
#include "platform/macos/mac_input.h"

namespace {

using platform::EventField;
using platform::EventRef;
using platform::macos::CfRef;

EventRef AsEvent(CGEventRef event) {
  return reinterpret_cast<EventRef>(event);
}

TEST(MacInputTest, KeyCodesAndButtonNumbersAreReadFromTheirFields) {
  platform::macos::MacInput input;
  CfRef<CGEventRef> key_up =
      CfRef<CGEventRef>::Adopt(CGEventCreateKeyboardEvent(nullptr, 12, false));
  ASSERT_TRUE(key_up);
  EXPECT_EQ(input.EventIntegerField(AsEvent(key_up.get()), EventField::kKeyboardEventKeycode), 12);

  CfRef<CGEventRef> middle = CfRef<CGEventRef>::Adopt(CGEventCreateMouseEvent(
      nullptr, kCGEventOtherMouseDown, CGPointMake(10, 10), kCGMouseButtonCenter));
  ASSERT_TRUE(middle);
  EXPECT_EQ(input.EventIntegerField(AsEvent(middle.get()), EventField::kMouseEventButtonNumber), 2);

  EXPECT_EQ(input.EventIntegerField(nullptr, EventField::kKeyboardEventKeycode), 0);
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
  EXPECT_EQ(static_cast<uint32_t>(EventField::kMouseEventButtonNumber),
            static_cast<uint32_t>(kCGMouseEventButtonNumber));
  EXPECT_EQ(static_cast<uint32_t>(EventField::kKeyboardEventKeycode),
            static_cast<uint32_t>(kCGKeyboardEventKeycode));
  EXPECT_EQ(platform::kMouseButtonOther, static_cast<int64_t>(kCGMouseButtonCenter));
  EXPECT_EQ(platform::kEventFlagMaskShift, static_cast<uint64_t>(kCGEventFlagMaskShift));
  EXPECT_EQ(platform::kEventFlagMaskControl, static_cast<uint64_t>(kCGEventFlagMaskControl));
  EXPECT_EQ(platform::kEventFlagMaskAlternate, static_cast<uint64_t>(kCGEventFlagMaskAlternate));
  EXPECT_EQ(platform::kEventFlagMaskCommand, static_cast<uint64_t>(kCGEventFlagMaskCommand));
  EXPECT_EQ(platform::kKeyCodeQ, static_cast<int64_t>(kVK_ANSI_Q));
  EXPECT_EQ(platform::kKeyCodeControl, static_cast<int64_t>(kVK_Control));
  EXPECT_EQ(platform::kKeyCodeRightControl, static_cast<int64_t>(kVK_RightControl));
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
