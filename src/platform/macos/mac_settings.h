// The settings on macOS: the user defaults of the agent label's domain
// (`defaults write org.quembrastella.switch MouseChord -bool false`).
#pragma once

#include <string>
#include <utility>

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

 private:
  std::string domain_;
};

}  // namespace platform::macos
