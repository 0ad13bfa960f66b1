// The user interface without a display: no status item, alerts on standard
// error, and a choice asked on the terminal (or settled without one).
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui.h"

namespace linux_platform {

// A menu that only keeps its entries (nothing can open it).
class PlainMenu : public platform::Menu {
 public:
  struct Item {
    std::string title;
    std::string key_equivalent;
    std::function<void()> action;
  };
  void AddItem(const std::string& title, const std::string& key_equivalent,
               std::function<void()> action) override {
    items_.push_back({title, key_equivalent, std::move(action)});
  }
  const std::vector<Item>& items() const { return items_; }

 private:
  std::vector<Item> items_;
};

// Whether `fd` is a terminal on which this process may ask: its own
// terminal, with this process in the foreground. A start in the background
// (`tool &`) would be stopped by SIGTTIN at the first read, holding the
// single-instance lock, so it counts as no terminal.
bool IsForegroundTerminal(int fd);

// The button a choice falls back to when nobody can be asked.
inline constexpr const char* kUnattendedButton = "Start Program";

class HeadlessUi : public platform::Ui {
 public:
  // `in` is read for choices when `interactive` (standard input is a
  // terminal); alerts and questions go to `out` (standard error).
  HeadlessUi(std::FILE* in, std::FILE* out, bool interactive);

  std::unique_ptr<platform::StatusItem> CreateStatusItem() override { return nullptr; }
  std::unique_ptr<platform::Menu> CreateMenu(const std::string&) override {
    return std::make_unique<PlainMenu>();
  }
  std::shared_ptr<platform::Image> LoadImage(const std::string&) override { return nullptr; }
  std::optional<std::string> BundleResourcePath(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void ActivateIgnoringOtherApps() override {}
  // Without a display (or without the toolkit module) nothing can show a
  // status item.
  std::optional<bool> TrayHostPresent(std::string* detail) override {
    if (detail) *detail = "none reachable: no display, or the toolkit module did not load";
    return false;
  }
  // Whether `out` is a terminal.
  bool ConsoleSeen() override;
  // Alerts are lines on `out`.
  bool AlertsAreText() override { return true; }
  // False: with the problem and its fix when a display answered that Qt
  // could not open (SetDisplayProblem), else that none answered.
  std::optional<bool> DisplayUsable(std::string* detail, std::string* fix) override;
  void SetDisplayProblem(std::string line, std::string fix) {
    display_problem_ = std::move(line);
    display_fix_ = std::move(fix);
  }
  // One button: the text is written and the alert is done. More: the user
  // picks one by number on the terminal; without a terminal, the unattended
  // button (or the first) is taken and one line says so. End of input on
  // the terminal picks the last button.
  int RunModalAlert(const platform::AlertSpec& alert) override;

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool interactive_;
  std::string display_problem_;
  std::string display_fix_;
};

}  // namespace linux_platform
