#include "platform/macos/mac_settings.h"

#include <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/macos/cf_ref.h"

// Observes the settings' keys on a defaults object and calls the tool back
// on the main thread, until stopped.
@interface QSSettingsObserver : NSObject
- (instancetype)initWithDefaults:(NSUserDefaults*)defaults
                            keys:(NSArray<NSString*>*)keys
                         changed:(std::function<void()>)changed;
- (void)stop;
@end

@implementation QSSettingsObserver {
  NSUserDefaults* _defaults;
  NSArray<NSString*>* _keys;
  std::function<void()> _changed;
  BOOL _observing;
}

- (instancetype)initWithDefaults:(NSUserDefaults*)defaults
                            keys:(NSArray<NSString*>*)keys
                         changed:(std::function<void()>)changed {
  if ((self = [super init])) {
    _defaults = defaults;
    _keys = [keys copy];
    _changed = std::move(changed);
    for (NSString* key in _keys) {
      [_defaults addObserver:self forKeyPath:key options:0 context:nullptr];
    }
    _observing = YES;
  }
  return self;
}

- (void)stop {
  if (!_observing) return;
  _observing = NO;
  for (NSString* key in _keys) {
    [_defaults removeObserver:self forKeyPath:key context:nullptr];
  }
  _changed = nullptr;
}

- (void)dealloc {
  [self stop];
}

- (void)observeValueForKeyPath:(NSString*)keyPath
                      ofObject:(id)object
                        change:(NSDictionary<NSKeyValueChangeKey, id>*)change
                       context:(void*)context {
  (void)keyPath;
  (void)object;
  (void)change;
  (void)context;
  // A change made by another process may be reported on another thread;
  // the tool reads its settings on the main thread only.
  if ([NSThread isMainThread]) {
    [self fire];
    return;
  }
  QSSettingsObserver* observer = self;
  dispatch_async(dispatch_get_main_queue(), ^{
    [observer fire];
  });
}

- (void)fire {
  if (!_observing || !_changed) return;
  // The call may stop this observer.
  std::function<void()> changed = _changed;
  changed();
}

@end

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

// Stops the observer when the tool lets the watch go.
class MacSettingsWatch final : public SettingsWatch {
 public:
  explicit MacSettingsWatch(QSSettingsObserver* observer) : observer_(observer) {}
  ~MacSettingsWatch() override { [observer_ stop]; }

 private:
  QSSettingsObserver* observer_;
};

}  // namespace

std::unique_ptr<SettingsWatch> MacSettings::Watch(const std::vector<std::string>& keys,
                                                  std::function<void()> changed,
                                                  std::string* /*failure*/) {
  NSString* domain = [NSString stringWithUTF8String:domain_.c_str()];
  if (domain == nil || keys.empty()) return nullptr;
  // The application's own domain is the standard defaults' (a suite may not
  // be named after the application); elsewhere (the bare executable, whose
  // domain is its name) the domain is added as a suite.
  NSString* bundle = [[NSBundle mainBundle] bundleIdentifier];
  NSUserDefaults* defaults = [bundle isEqualToString:domain]
                                 ? [NSUserDefaults standardUserDefaults]
                                 : [[NSUserDefaults alloc] initWithSuiteName:domain];
  if (defaults == nil) return nullptr;
  NSMutableArray<NSString*>* names = [NSMutableArray arrayWithCapacity:keys.size()];
  for (const std::string& key : keys) {
    NSString* name = [NSString stringWithUTF8String:key.c_str()];
    if (name != nil) [names addObject:name];
  }
  QSSettingsObserver* observer = [[QSSettingsObserver alloc] initWithDefaults:defaults
                                                                         keys:names
                                                                      changed:std::move(changed)];
  return std::make_unique<MacSettingsWatch>(observer);
}

SettingsRead MacSettings::Read() {
  SettingsRead read;
  const auto domain = CfRef<CFStringRef>::Adopt(
      CFStringCreateWithCString(kCFAllocatorDefault, domain_.c_str(), kCFStringEncodingUTF8));
  if (!domain) return read;
  // What another process wrote since the last read, such as `defaults
  // write` while the tool runs: the cached values are brought up to date
  // first (the tool itself writes nothing here).
  CFPreferencesSynchronize(domain.get(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
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
