#include "platform/linux/qt/qt_ui.h"

#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "platform/linux/qt/desktop_notice.h"
#include "platform/linux/qt/tray_icon.h"
#include "platform/linux/ui/headless_ui.h"

namespace linux_platform {
namespace {

// How long a session has to bring a tray up before the tool says there is
// none.
constexpr int kTrayHostGraceMs = 5000;

class QtImage : public platform::Image {
 public:
  explicit QtImage(QPixmap pixmap) : pixmap_(std::move(pixmap)) {}
  // A panel draws its icons at the size it wants, from the theme icon or
  // from the outlined picture, whatever size is set here.
  void SetSize(double, double) override {}
  QIcon Icon() const { return ThemedIcon(OutlinedIcon(pixmap_)); }

 private:
  QPixmap pixmap_;
};

}  // namespace

// The tray's context menu is the tool's menu, shown from the moment it has
// entries: a StatusNotifierItem host may read the exported layout without
// ever announcing that it is about to show it (xfce4-panel never does), and
// it must find "Exit" there. The link ties the one status item and the one
// menu a QtUi makes; each clears itself from it when destroyed.
class QtStatusItem;
struct TrayLink {
  QtStatusItem* item = nullptr;
  const PlainMenu* menu = nullptr;
};

namespace {

// The tool's menu; it keeps the entries and hands each change to the tray.
class QtMenu : public PlainMenu {
 public:
  explicit QtMenu(std::shared_ptr<TrayLink> link) : link_(std::move(link)) { link_->menu = this; }
  ~QtMenu() override {
    if (link_->menu == this) link_->menu = nullptr;
  }
  void AddItem(const std::string& title, const std::string& key_equivalent,
               std::function<void()> action) override;

 private:
  std::shared_ptr<TrayLink> link_;
};

}  // namespace

// The tray icon. Its context menu holds the tool's menu entries as soon as
// they exist. A right click still runs the right-mouse-up action when the
// tray is about to show the menu (the tool's action pops its menu up, which
// refreshes the entries); a left click does nothing.
// Teardown: the tray icon is hidden and destroyed before its menu.
class QtStatusItem : public platform::StatusItem {
 public:
  explicit QtStatusItem(std::shared_ptr<TrayLink> link)
      : link_(std::move(link)),
        menu_(std::make_unique<QMenu>()),
        tray_(std::make_unique<QSystemTrayIcon>()) {
    link_->item = this;
    // Set before the icon is shown: the menu is exported together with the
    // item when it registers.
    tray_->setContextMenu(menu_.get());
    QObject::connect(menu_.get(), &QMenu::aboutToShow, [this] { OnContextRequest(); });
    if (link_->menu != nullptr) Show(*link_->menu);
    // A desktop without any tray (plain GNOME) would leave the tool
    // invisible: once the session has had time to bring its panel up, say
    // once that the gestures work all the same and how to end the tool.
    QTimer::singleShot(kTrayHostGraceMs, tray_.get(), [this] {
      tray_host_ = QSystemTrayIcon::isSystemTrayAvailable();
      if (tray_host_ || no_tray_notice_.empty()) return;
      const size_t newline = no_tray_notice_.find('\n');
      const std::string how =
          no_tray_notice_.substr(newline == std::string::npos ? 0 : newline + 1);
      // The log keeps the full line; the desktop gets the short notice.
      std::fprintf(stderr,
                   "No tray on this desktop shows the program's icon, but it is running. %s On "
                   "GNOME, the AppIndicator extension shows the icon.\n",
                   how.c_str());
      std::fflush(stderr);
      ShowOnDesktop(kNoTrayNoticeKind, no_tray_notice_, nullptr);
    });
  }
  ~QtStatusItem() override {
    if (link_->item == this) link_->item = nullptr;
    tray_->hide();
    tray_.reset();
    menu_.reset();
  }
  bool HasButton() const override { return true; }
  QSystemTrayIcon* tray() const { return tray_.get(); }
  // The icon once a tray host was seen to show it; null before that and
  // without one, when a message through it would reach nobody.
  QSystemTrayIcon* shown_tray() const { return tray_host_ ? tray_.get() : nullptr; }
  void SetImage(std::shared_ptr<platform::Image> image) override {
    image_ = std::move(image);
    if (auto* qt = dynamic_cast<QtImage*>(image_.get())) tray_->setIcon(qt->Icon());
    tray_->show();
  }
  void SetTitle(const std::string& title) override {
    tray_->setIcon(ThemedIcon(TitleIcon(QString::fromStdString(title))));
    tray_->show();
  }
  void SetNoTrayNotice(const std::string& text) override { no_tray_notice_ = text; }
  void SetToolTip(const std::string& tool_tip) override {
    tray_->setToolTip(QString::fromStdString(tool_tip));
  }
  void SetRightMouseUpAction(std::function<void()> action) override { action_ = std::move(action); }
  bool PopUpContextMenu(platform::Menu& menu) override {
    if (!in_request_) return false;  // no right click being handled
    auto* plain = dynamic_cast<PlainMenu*>(&menu);
    if (plain == nullptr) return false;
    Show(*plain);
    return true;
  }

  // Makes the tray's menu hold `plain`'s entries; nothing changes when it
  // holds them already, so a host that reads the layout sees stable items.
  void Show(const PlainMenu& plain) {
    std::vector<std::string> shown;
    for (const PlainMenu::Item& item : plain.items()) {
      shown.push_back(item.title + '\n' + item.key_equivalent);
    }
    if (shown == shown_) return;
    shown_ = std::move(shown);
    menu_->clear();
    for (const PlainMenu::Item& item : plain.items()) {
      QAction* entry = menu_->addAction(QString::fromStdString(item.title));
      if (!item.key_equivalent.empty()) {
        entry->setShortcut(QKeySequence(QString::fromStdString(item.key_equivalent)));
      }
      const std::function<void()> run = item.action;
      QObject::connect(entry, &QAction::triggered, [run] {
        if (run) run();
      });
    }
  }

 private:
  void OnContextRequest() {
    if (!action_) return;
    in_request_ = true;
    action_();
    in_request_ = false;
  }

  std::shared_ptr<TrayLink> link_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::shared_ptr<platform::Image> image_;
  std::function<void()> action_;
  bool in_request_ = false;
  bool tray_host_ = false;          // a tray host was there at the last look
  std::vector<std::string> shown_;  // the entries the tray's menu holds
  std::string no_tray_notice_;
};

namespace {

void QtMenu::AddItem(const std::string& title, const std::string& key_equivalent,
                     std::function<void()> action) {
  PlainMenu::AddItem(title, key_equivalent, std::move(action));
  if (link_->item != nullptr && link_->menu == this) link_->item->Show(*this);
}

}  // namespace

QtUi::QtUi(std::string executable)
    : executable_(std::move(executable)), link_(std::make_shared<TrayLink>()) {
  // Every window (the message boxes) carries the tool's icon: the theme's,
  // or the picture the tray falls back to.
  QPixmap picture;
  std::string path = BundleResourcePath("ZRN_Pivlo", "png").value_or("");
  if (path.empty() && !executable_.empty()) {
    path = QFileInfo(QString::fromStdString(executable_)).absolutePath().toStdString() +
           "/ZRN_Pivlo.png";
  }
  const bool loaded = !path.empty() && picture.load(QString::fromStdString(path));
  QApplication::setWindowIcon(
      ThemedIcon(loaded ? QIcon(picture) : TitleIcon(QStringLiteral("Pivlo"))));
}

QtUi::~QtUi() = default;

std::unique_ptr<platform::StatusItem> QtUi::CreateStatusItem() {
  return std::make_unique<QtStatusItem>(link_);
}

std::unique_ptr<platform::Menu> QtUi::CreateMenu(const std::string&) {
  return std::make_unique<QtMenu>(link_);
}

std::shared_ptr<platform::Image> QtUi::LoadImage(const std::string& path) {
  QPixmap pixmap;
  if (path.empty() || !pixmap.load(QString::fromStdString(path))) return nullptr;
  return std::make_shared<QtImage>(std::move(pixmap));
}

std::optional<std::string> QtUi::BundleResourcePath(const std::string& name,
                                                    const std::string& type) {
  if (executable_.empty()) return std::nullopt;
  const QFileInfo exe(QString::fromStdString(executable_));
  const QFileInfo resource(exe.absolutePath() + "/" + kResourceFolder + "/" +
                           QString::fromStdString(name + "." + type));
  if (!resource.isFile()) return std::nullopt;
  return resource.canonicalFilePath().toStdString();
}

void QtUi::ShowFailureNotice(const std::string& kind, const std::string& text) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  // The same notice again within a few seconds is held back; another one
  // of its kind replaces it.
  if (!throttle_.Allow(kind + '\n' + text, static_cast<uint64_t>(now.count()))) return;
  ShowDesktopNotice(kind, text, link_->item != nullptr ? link_->item->shown_tray() : nullptr);
}

bool QtUi::ConsoleSeen() {
  return ::isatty(STDERR_FILENO) == 1;
}

std::optional<bool> QtUi::DisplayUsable(std::string* detail, std::string* fix) {
  (void)fix;
  if (detail) {
    *detail = "Qt shows the tray and windows through its " +
              QGuiApplication::platformName().toStdString() + " platform plugin";
  }
  return true;
}

int QtUi::RunModalAlert(const platform::AlertSpec& alert) {
  QMessageBox box;
  box.setWindowIcon(QApplication::windowIcon());
  box.setWindowTitle(QString::fromStdString(alert.message_text));
  box.setText(QString::fromStdString(alert.message_text));
  box.setInformativeText(QString::fromStdString(alert.informative_text));
  box.setIcon(QMessageBox::NoIcon);
  std::vector<QAbstractButton*> buttons;
  for (const std::string& title : alert.buttons) {
    buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
  }
  if (buttons.empty()) buttons.push_back(box.addButton(QMessageBox::Ok));
  box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
  // Closing the box counts as its last button (the choice's "Cancel").
  box.setEscapeButton(buttons.back());
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) {
      return platform::kAlertFirstButtonReturn + static_cast<int>(i);
    }
  }
  // Left without a button (the tool was told to quit meanwhile).
  return platform::kAlertFirstButtonReturn + static_cast<int>(buttons.size());
}

std::optional<bool> QtUi::TrayHostPresent(std::string* detail) {
  const bool present = QSystemTrayIcon::isSystemTrayAvailable();
  if (detail) {
    *detail = present ? "a tray host answers on this desktop"
                      : "no tray host answers on this desktop (no status-notifier host, no "
                        "system-tray area)";
  }
  return present;
}

}  // namespace linux_platform
