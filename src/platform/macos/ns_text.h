// Text between std::string (UTF-8) and NSString. Objective-C++ only.
#pragma once

#import <Foundation/Foundation.h>

#include <string>

namespace platform::macos {

// Nil when `text` is not valid UTF-8.
inline NSString* ToNSStringOrNil(const std::string& text) {
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSUTF8StringEncoding];
}

// For text shown to the user: invalid UTF-8 shows as "".
inline NSString* ToNSString(const std::string& text) {
  NSString* string = ToNSStringOrNil(text);
  return string ? string : @"";
}

// "" for nil.
inline std::string FromNSString(NSString* string) {
  const char* utf8 = string ? string.UTF8String : nullptr;
  return utf8 ? std::string(utf8) : std::string();
}

}  // namespace platform::macos
