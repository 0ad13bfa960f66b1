// A user interface that forwards to another and records every failure
// notice, with whether standard error is seen set by the test.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui.h"

namespace switch_test {

class NoticeRecorder : public platform::Ui {
 public:
  explicit NoticeRecorder(platform::Ui* inner) : inner_(inner) {}
  std::unique_ptr<platform::StatusItem> CreateStatusItem() override {
    return inner_->CreateStatusItem();
  }
  std::unique_ptr<platform::Menu> CreateMenu(const std::string& title) override {
    return inner_->CreateMenu(title);
  }
  std::shared_ptr<platform::Image> LoadImage(const std::string& path) override {
    return inner_->LoadImage(path);
  }
  std::optional<std::string> BundleResourcePath(const std::string& name,
                                                const std::string& type) override {
    return inner_->BundleResourcePath(name, type);
  }
  void ActivateIgnoringOtherApps() override { inner_->ActivateIgnoringOtherApps(); }
  int RunModalAlert(const platform::AlertSpec& alert) override {
    return inner_->RunModalAlert(alert);
  }
  void ShowFailureNotice(const std::string& kind, const std::string& text) override {
    notices.emplace_back(kind, text);
  }
  bool ConsoleSeen() override { return console_seen; }

  std::vector<std::pair<std::string, std::string>> notices;  // kind, text
  bool console_seen = true;

 private:
  platform::Ui* inner_;
};

}  // namespace switch_test
