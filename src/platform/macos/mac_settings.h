// The settings on macOS: the user defaults of the agent label's domain
// (`defaults write org.quembrastella.switch MouseChord -bool false`),
// followed while the tool runs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings.h"

namespace platform::macos {

class MacSettings final : public SettingsSource {
 public:
  // `domain` is the agent label.
  explicit MacSettings(std::string domain) : domain_(std::move(domain)) {}
  std::string Location() override { return "user defaults " + domain_; }
  SettingNames Names() override { return SettingNames::kCamelCase; }
  // Every key the current user set in the domain on any host, in name
  // order; the keys AppKit keeps there for itself (NS..., Apple...) are
  // left out.
  SettingsRead Read() override;
  // Key-value observing of each key on the defaults object: unlike
  // NSUserDefaultsDidChangeNotification, which is posted only for changes
  // made by this process, it reports a change made by any process, such as
  // `defaults write` in a terminal. `changed` runs on the main thread.
  std::unique_ptr<SettingsWatch> Watch(const std::vector<std::string>& keys,
                                       std::function<void()> changed,
                                       std::string* failure) override;

 private:
  std::string domain_;
};

}  // namespace platform::macos
