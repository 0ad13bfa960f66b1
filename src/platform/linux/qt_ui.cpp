#include "platform/linux/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <vector>

#include "platform/linux/headless_ui.h"

namespace linux_platform {
namespace {

class QtImage : public platform::Image {
 public:
  explicit QtImage(QPixmap pixmap) : pixmap_(std::move(pixmap)) {}
  void SetSize(double width, double height) override {
    size_ = QSize(static_cast<int>(width), static_cast<int>(height));
  }
  // The picture at its set size; the tray scales it further to fit.
  QIcon Icon() const {
    if (!size_.isValid() || size_.isEmpty()) return QIcon(pixmap_);
    QIcon icon;
    icon.addPixmap(pixmap_.scaled(size_, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon.addPixmap(pixmap_);
    return icon;
  }

 private:
  QPixmap pixmap_;
  QSize size_;
};

// The tray has no room for text: the title is drawn into a square picture.
QIcon TitleIcon(const std::string& title) {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  QFont font = painter.font();
  font.setPixelSize(18);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.setBrush(QColor(40, 40, 40));
  painter.drawRoundedRect(pixmap.rect().adjusted(1, 1, -1, -1), 10, 10);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::fromStdString(title));
  painter.end();
  return QIcon(pixmap);
}

// The tool's menu; it only keeps the entries. The tray shows them through
// its own context menu when the tool asks (see QtStatusItem).
class QtMenu : public PlainMenu {};

// The tray icon. Its context menu is the one thing every tray protocol
// opens on a right click, so that is where the right-mouse-up action runs:
// when the tray is about to show the menu, the action runs, and the menu it
// pops up is copied into the tray's menu. A left click does nothing.
// Teardown: the tray icon is hidden and destroyed before its menu.
class QtStatusItem : public platform::StatusItem {
 public:
  QtStatusItem() : menu_(std::make_unique<QMenu>()), tray_(std::make_unique<QSystemTrayIcon>()) {
    tray_->setContextMenu(menu_.get());
    QObject::connect(menu_.get(), &QMenu::aboutToShow, [this] { OnContextRequest(); });
  }
  ~QtStatusItem() override {
    tray_->hide();
    tray_.reset();
    menu_.reset();
  }
  bool HasButton() const override { return true; }
  void SetImage(std::shared_ptr<platform::Image> image) override {
    image_ = std::move(image);
    if (auto* qt = dynamic_cast<QtImage*>(image_.get())) tray_->setIcon(qt->Icon());
    tray_->show();
  }
  void SetTitle(const std::string& title) override {
    tray_->setIcon(TitleIcon(title));
    tray_->show();
  }
  void SetToolTip(const std::string& tool_tip) override {
    tray_->setToolTip(QString::fromStdString(tool_tip));
  }
  void SetRightMouseUpAction(std::function<void()> action) override { action_ = std::move(action); }
  bool PopUpContextMenu(platform::Menu& menu) override {
    if (!in_request_) return false;  // no right click being handled
    auto* plain = dynamic_cast<PlainMenu*>(&menu);
    if (plain == nullptr) return false;
    for (const PlainMenu::Item& item : plain->items()) {
      QAction* entry = menu_->addAction(QString::fromStdString(item.title));
      if (!item.key_equivalent.empty()) {
        entry->setShortcut(QKeySequence(QString::fromStdString(item.key_equivalent)));
      }
      const std::function<void()> run = item.action;
      QObject::connect(entry, &QAction::triggered, [run] {
        if (run) run();
      });
    }
    return true;
  }

 private:
  void OnContextRequest() {
    menu_->clear();
    if (!action_) return;
    in_request_ = true;
    action_();
    in_request_ = false;
  }

  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::shared_ptr<platform::Image> image_;
  std::function<void()> action_;
  bool in_request_ = false;
};

}  // namespace

QtUi::QtUi(std::string executable) : executable_(std::move(executable)) {}

std::unique_ptr<platform::StatusItem> QtUi::CreateStatusItem() {
  return std::make_unique<QtStatusItem>();
}

std::unique_ptr<platform::Menu> QtUi::CreateMenu(const std::string&) {
  return std::make_unique<QtMenu>();
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

int QtUi::RunModalAlert(const platform::AlertSpec& alert) {
  QMessageBox box;
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
