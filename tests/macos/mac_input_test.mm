// Reading fields of events, and the owners of CoreFoundation references, on
// events the test makes itself (no input permission needed).
#include <ApplicationServices/ApplicationServices.h>
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

TEST(MacInputTest, TheSeamsControlFlagIsTheSystemsControlMask) {
  EXPECT_EQ(platform::kEventFlagMaskControl, static_cast<uint64_t>(kCGEventFlagMaskControl));
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
