// The input event types the recognisers look at, numbered as the reference
// platform numbers them.
#pragma once

#include <cstdint>

inline constexpr uint32_t kEventNull = 0;
inline constexpr uint32_t kEventLeftMouseDown = 1;
inline constexpr uint32_t kEventLeftMouseUp = 2;
inline constexpr uint32_t kEventRightMouseDown = 3;
inline constexpr uint32_t kEventRightMouseUp = 4;
inline constexpr uint32_t kEventMouseMoved = 5;
inline constexpr uint32_t kEventLeftMouseDragged = 6;
inline constexpr uint32_t kEventRightMouseDragged = 7;
inline constexpr uint32_t kEventKeyDown = 10;
inline constexpr uint32_t kEventKeyUp = 11;
inline constexpr uint32_t kEventFlagsChanged = 12;
inline constexpr uint32_t kEventScrollWheel = 22;
inline constexpr uint32_t kEventOtherMouseDown = 25;
inline constexpr uint32_t kEventOtherMouseUp = 26;
inline constexpr uint32_t kEventOtherMouseDragged = 27;
// Notifications that the system has switched the tap off.
inline constexpr uint32_t kEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr uint32_t kEventTapDisabledByUserInput = 0xFFFFFFFF;

// Mouse button numbers as carried in an event.
inline constexpr int64_t kMouseButtonLeft = 0;
inline constexpr int64_t kMouseButtonRight = 1;
inline constexpr int64_t kMouseButtonOther = 2;
