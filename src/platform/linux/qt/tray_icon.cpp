#include "platform/linux/qt/tray_icon.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "shared/product.h"

namespace linux_platform {
namespace {

// The drawing is made at this size and scaled down by the tray.
constexpr int kCanvas = 64;
constexpr int kInner = 3;  // the light ring, in canvas pixels
constexpr int kOuter = 5;  // the dark ring around it

// The shape of `image` (its alpha) filled with one colour.
QImage Silhouette(const QImage& image, const QColor& colour) {
  QImage shape(image.size(), QImage::Format_ARGB32_Premultiplied);
  shape.fill(Qt::transparent);
  QPainter painter(&shape);
  painter.drawImage(0, 0, image);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(shape.rect(), colour);
  return shape;
}

// `shape` stamped around a circle of `radius`, which grows it by that much.
void StampAround(QPainter& painter, const QImage& shape, int radius) {
  for (int angle = 0; angle < 360; angle += 15) {
    const double a = angle * 3.14159265358979 / 180.0;
    painter.drawImage(QPointF(radius * std::cos(a), radius * std::sin(a)), shape);
  }
}

}  // namespace

QIcon OutlinedIcon(const QPixmap& picture) {
  const int inset = kOuter + 1;
  const QImage image = picture.toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                           .scaled(kCanvas - 2 * inset, kCanvas - 2 * inset, Qt::KeepAspectRatio,
                                   Qt::SmoothTransformation);
  QImage placed(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
  placed.fill(Qt::transparent);
  {
    QPainter painter(&placed);
    painter.drawImage((kCanvas - image.width()) / 2, (kCanvas - image.height()) / 2, image);
  }
  QImage canvas(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  StampAround(painter, Silhouette(placed, QColor(20, 20, 24, 230)), kOuter);
  StampAround(painter, Silhouette(placed, QColor(250, 250, 250)), kInner);
  painter.drawImage(0, 0, placed);
  painter.end();
  return QIcon(QPixmap::fromImage(canvas));
}

QIcon TitleIcon(const QString& title) {
  QPixmap pixmap(kCanvas, kCanvas);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = painter.font();
  font.setPixelSize(18);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QPen(QColor(250, 250, 250), 3));
  painter.setBrush(QColor(40, 40, 40));
  painter.drawRoundedRect(QRectF(pixmap.rect()).adjusted(2, 2, -2, -2), 10, 10);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, title);
  painter.end();
  return QIcon(pixmap);
}

QIcon ThemedIcon(const QIcon& fallback) {
  return QIcon::fromTheme(QString::fromLatin1(kAgentLabel), fallback);
}

}  // namespace linux_platform
