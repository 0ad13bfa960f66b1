// The user interface: the status item with its context menu, images and
// modal alerts.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The result of the first button of an alert; the n-th button gives
// kAlertFirstButtonReturn + n - 1.
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;

// An image loaded from a file.
class Image {
 public:
  virtual ~Image() = default;
  // Makes the image draw at this size in points, whatever its pixel size.
  virtual void SetSize(double width, double height) = 0;
};

// A context menu. Destroying it destroys its entries.
class Menu {
 public:
  virtual ~Menu() = default;
  // Adds an entry with this title and key equivalent ("" = none) whose
  // choice calls `action` on the main thread.
  virtual void AddItem(const std::string& title, const std::string& key_equivalent,
                       std::function<void()> action) = 0;
};

// An item in the system menu bar (tray), square, with a button. Destroying it
// removes it from the bar.
class StatusItem {
 public:
  virtual ~StatusItem() = default;
  // Whether the item has a button to configure (false only on failure).
  virtual bool HasButton() const = 0;
  // Shows `image` on the button; the button keeps its own reference.
  virtual void SetImage(std::shared_ptr<Image> image) = 0;
  // Shows `title` on the button (used when there is no image).
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetToolTip(const std::string& tool_tip) = 0;
  // Calls `action` on the main thread when the button is released after a
  // right click, and on nothing else (a left click sends nothing).
  virtual void SetRightMouseUpAction(std::function<void()> action) = 0;
  // Pops `menu` up as a context menu for the button, placed by the event
  // being handled, and tracks it until it closes (the run loop keeps
  // running common-mode items meanwhile). False, showing nothing, when there
  // is no current event.
  virtual bool PopUpContextMenu(Menu& menu) = 0;
  // What to tell the user, once, when nothing on the desktop shows the item
  // after the session has had time to bring its panel up (a notice in the
  // form ShowFailureNotice takes). Where a menu bar always exists it is
  // never shown.
  virtual void SetNoTrayNotice(const std::string& text) { (void)text; }
};

struct AlertSpec {
  std::string message_text;      // the alert's title line
  std::string informative_text;  // the body
  std::vector<std::string> buttons;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // Creates a square item in the system menu bar; null when there is no bar.
  virtual std::unique_ptr<StatusItem> CreateStatusItem() = 0;
  // Creates an empty context menu with this title.
  virtual std::unique_ptr<Menu> CreateMenu(const std::string& title) = 0;
  // Loads an image file; null when the file is missing or is no image.
  virtual std::shared_ptr<Image> LoadImage(const std::string& path) = 0;
  // The path of a resource of the application bundle; none when absent or
  // when the tool does not run from a bundle.
  virtual std::optional<std::string> BundleResourcePath(const std::string& name,
                                                        const std::string& type) = 0;
  // Whether something shows status items on this desktop: true or false,
  // with what was found in `detail`; none where the system always has a
  // menu bar (the question does not arise).
  virtual std::optional<bool> TrayHostPresent(std::string* detail) {
    (void)detail;
    return std::nullopt;
  }
  // Brings the tool to the front, ahead of all other applications.
  virtual void ActivateIgnoringOtherApps() = 0;
  // Runs a modal alert and returns when the user pressed a button: the
  // button's return value (kAlertFirstButtonReturn for the first). While it
  // is up the run loop runs in its modal mode: only common-mode items fire.
  virtual int RunModalAlert(const AlertSpec& alert) = 0;
  // Tells the user, outside any window, that an action failed and how to
  // fix it. `text` is the notice: its first line the summary (what failed,
  // in a few words), the rest its body (the fix, in one short sentence). A
  // later notice of the same `kind` replaces the earlier one where the
  // platform can; a platform may hold back a repeat of the same notice for
  // a few seconds. None by default: the failure's console line stays the
  // record.
  virtual void ShowFailureNotice(const std::string& kind, const std::string& text) {
    (void)kind;
    (void)text;
  }
  // Whether the user reads the tool's standard error as it is written (a
  // terminal); false when it was started from the desktop or at login and
  // its standard error goes to a log.
  virtual bool ConsoleSeen() { return true; }
  // Whether an alert is written as text to the tool's standard streams (no
  // display to show it on): a line the alert holds is then not printed
  // beside it as well.
  virtual bool AlertsAreText() { return false; }
  // Whether the tool's windows and tray can show on the user's display:
  // true or false, with what was found in `detail` and, when false, how to
  // fix it in `fix`; none where the question does not arise.
  virtual std::optional<bool> DisplayUsable(std::string* detail, std::string* fix) {
    (void)detail;
    (void)fix;
    return std::nullopt;
  }
};

}  // namespace platform
