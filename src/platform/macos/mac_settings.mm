#include "platform/macos/mac_settings.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/macos/cf_ref.h"

namespace platform::macos {
namespace {

std::string ToUtf8(CFStringRef text) {
  const CFIndex length = CFStringGetLength(text);
  const CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
  std::vector<char> buffer(static_cast<size_t>(size));
  if (!CFStringGetCString(text, buffer.data(), size, kCFStringEncodingUTF8)) return "";
  return buffer.data();
}

// AppKit keeps its own entries (the status item's position, panels' state)
// in the application's domain; they are none of the user's settings.
bool IsSystemKey(const std::string& key) {
  return key.rfind("NS", 0) == 0 || key.rfind("Apple", 0) == 0 || key.rfind("com.apple.", 0) == 0;
}

SettingValue ValueOf(CFPropertyListRef value) {
  SettingValue out;
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFBooleanGetTypeID()) {
    out.kind = SettingValue::Kind::kBoolean;
    out.boolean = CFBooleanGetValue(static_cast<CFBooleanRef>(value));
  } else if (type == CFNumberGetTypeID()) {
    const auto number = static_cast<CFNumberRef>(value);
    int64_t integer = 0;
    if (CFNumberIsFloatType(number) || !CFNumberGetValue(number, kCFNumberSInt64Type, &integer)) {
      out.text = "a fractional number";
    } else {
      out.kind = SettingValue::Kind::kInteger;
      out.integer = integer;
    }
  } else if (type == CFStringGetTypeID()) {
    out.kind = SettingValue::Kind::kText;
    out.text = ToUtf8(static_cast<CFStringRef>(value));
  } else if (type == CFArrayGetTypeID()) {
    // `defaults write ... -array a b` gives an array of strings; an array in
    // an array is told as one.
    const auto array = static_cast<CFArrayRef>(value);
    out.kind = SettingValue::Kind::kList;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
      const auto item = static_cast<CFPropertyListRef>(CFArrayGetValueAtIndex(array, i));
      SettingValue one = CFGetTypeID(item) == CFArrayGetTypeID() ? SettingValue{} : ValueOf(item);
      if (one.kind == SettingValue::Kind::kOther && one.text.empty()) one.text = "an array";
      out.items.push_back(std::move(one));
    }
  } else if (type == CFDictionaryGetTypeID()) {
    out.text = "a dictionary";
  } else if (type == CFDateGetTypeID()) {
    out.text = "a date";
  } else {
    out.text = "data";
  }
  return out;
}

}  // namespace

SettingsRead MacSettings::Read() {
  SettingsRead read;
  const auto domain = CfRef<CFStringRef>::Adopt(
      CFStringCreateWithCString(kCFAllocatorDefault, domain_.c_str(), kCFStringEncodingUTF8));
  if (!domain) return read;
  // What `defaults write DOMAIN` wrote: the current user, any host. Never
  // the global domain, which CFPreferencesCopyAppValue would also search.
  const auto all = CfRef<CFDictionaryRef>::Adopt(CFPreferencesCopyMultiple(
      nullptr, domain.get(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
  if (!all) return read;
  const CFIndex count = CFDictionaryGetCount(all.get());
  std::vector<const void*> keys(static_cast<size_t>(count));
  std::vector<const void*> values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(all.get(), keys.data(), values.data());
  for (CFIndex i = 0; i < count; ++i) {
    if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) continue;
    SettingEntry entry;
    entry.key = ToUtf8(static_cast<CFStringRef>(keys[i]));
    if (IsSystemKey(entry.key)) continue;
    entry.value = ValueOf(static_cast<CFPropertyListRef>(values[i]));
    read.entries.push_back(std::move(entry));
  }
  // A dictionary has no order; messages come in name order.
  std::sort(read.entries.begin(), read.entries.end(),
            [](const SettingEntry& a, const SettingEntry& b) { return a.key < b.key; });
  return read;
}

}  // namespace platform::macos
