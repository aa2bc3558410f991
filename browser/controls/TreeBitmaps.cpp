#include "TreeBitmaps.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

namespace qlon::controls {

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kSilver(192, 192, 192);

void drawBox(QPainter& p, int cx, int cy, bool plus) {
  p.setPen(QColor(128, 128, 128));
  p.setBrush(Qt::white);
  p.drawRect(cx - 4, cy - 4, 8, 8);
  p.setPen(Qt::black);
  p.drawLine(cx - 2, cy, cx + 2, cy);
  if (plus) p.drawLine(cx, cy - 2, cx, cy + 2);
}

QImage buttons() {
  QImage img(7 * 18, 18, QImage::Format_RGB32);
  img.fill(kMagenta);
  QPainter p(&img);
  const int cy = 9;
  for (int k = 0; k < 7; ++k) {
    const int cx = k * 18 + 9;
    p.setPen(QPen(QColor(128, 128, 128), 1, Qt::DotLine));
    const bool last = k == 3 || k == 5 || k == 6;
    if (k != 4) p.drawLine(cx, cy, k * 18 + 17, cy);
    p.drawLine(cx, 0, cx, last ? cy : 17);
    if (k == 0 || k == 5) drawBox(p, cx, cy, false);
    if (k == 1 || k == 6) drawBox(p, cx, cy, true);
  }
  return img;
}

void drawMark(QPainter& p, QRect box, int style, int state, bool disabled) {
  const QColor ink = disabled ? QColor(128, 128, 128) : Qt::black;
  const QColor face = disabled ? kSilver.lighter(110) : Qt::white;
  p.setPen(QColor(128, 128, 128));
  p.setBrush(face);
  if (style == 1) p.drawEllipse(box);
  else p.drawRect(box);
  p.setPen(QPen(ink, 2));
  p.setBrush(ink);
  const QPoint c = box.center();
  if (state == 1) {
    if (style == 1) p.drawEllipse(c, 2, 2);
    else if (style == 3) {  // include mark: a plus
      p.drawLine(c.x() - 3, c.y(), c.x() + 3, c.y());
      p.drawLine(c.x(), c.y() - 3, c.x(), c.y() + 3);
    } else {
      QPainterPath tick;
      tick.moveTo(c.x() - 3, c.y());
      tick.lineTo(c.x() - 1, c.y() + 3);
      tick.lineTo(c.x() + 4, c.y() - 3);
      p.setBrush(Qt::NoBrush);
      p.drawPath(tick);
    }
  } else if (state == 2) {
    if (style == 3) {  // exclude mark: a cross
      p.drawLine(c.x() - 3, c.y() - 3, c.x() + 3, c.y() + 3);
      p.drawLine(c.x() - 3, c.y() + 3, c.x() + 3, c.y() - 3);
    } else {
      p.fillRect(QRect(c.x() - 3, c.y() - 3, 7, 7), QColor(128, 128, 128));
    }
  }
}

QImage checks() {
  QImage img(6 * 16, 4 * 16, QImage::Format_RGB32);
  img.fill(kSilver);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 6; ++col) {
      const QRect box(col * 16 + 2, row * 16 + 2, 11, 11);
      drawMark(p, box, row, col % 3, col >= 3);
    }
  return img;
}

QImage folders() {
  QImage img(6 * 16, 17 * 16, QImage::Format_RGB32);
  img.fill(kMagenta);
  QPainter p(&img);
  for (int row = 0; row < 17; ++row) {
    const QColor base = QColor::fromHsv((40 + row * 21) % 360, 160, 230);
    for (int col = 0; col < 6; ++col) {
      const int x = col * 16, y = row * 16;
      QColor c = base;
      if (col % 3 == 1) c = base.darker(130);
      if (col % 3 == 2) c = QColor(170, 170, 170);
      p.setPen(c.darker(160));
      p.setBrush(c);
      p.drawRect(x + 1, y + 3, 5, 2);  // tab
      if (col >= 3) {                  // open: a slanted front
        p.drawRect(x + 1, y + 5, 12, 8);
        p.setBrush(c.lighter(120));
        p.drawPolygon(QPolygon({QPoint(x + 3, y + 8), QPoint(x + 15, y + 8), QPoint(x + 13, y + 13),
                                QPoint(x + 1, y + 13)}));
      } else {
        p.drawRect(x + 1, y + 5, 13, 8);
      }
    }
  }
  return img;
}

QPixmap drawnPage(bool selected, bool program) {
  QImage img(16, 16, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setPen(Qt::black);
  p.setBrush(selected ? QColor(0, 0, 128) : (program ? QColor(200, 200, 255) : Qt::white));
  if (program) p.drawRect(1, 3, 13, 10);
  else p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(10, 1), QPoint(13, 4), QPoint(13, 14), QPoint(3, 14)}));
  return QPixmap::fromImage(img);
}

QPixmap themed(const QString& iconName, const QString& fallbackName, bool selected, bool program) {
  QIcon icon = QIcon::fromTheme(iconName);
  if (icon.isNull() && !fallbackName.isEmpty()) icon = QIcon::fromTheme(fallbackName);
  if (icon.isNull()) return drawnPage(selected, program);
  return icon.pixmap(16, 16, selected ? QIcon::Selected : QIcon::Normal);
}

}  // namespace

const ImageStrip& TreeButtonStrip() {
  static const ImageStrip strip(buttons(), 18, 18, kMagenta);
  return strip;
}

const ImageStrip& TreeCheckStrip() {
  static const ImageStrip strip(checks(), 16, 16, kSilver);
  return strip;
}

const ImageStrip& TreeFolderStrip() {
  static const ImageStrip strip(folders(), 16, 16, kMagenta);
  return strip;
}

QString FileIconKey(const QString& fileName) {
  QString s = fileName.toLower();
  const qsizetype exe = s.indexOf(".exe");
  if (exe >= 0) s.truncate(exe + 4);
  return s;
}

QPixmap FileTypeIcon(const QString& fileName, bool selected) {
  static QHash<QString, QPixmap> cache;
  const QString key = FileIconKey(fileName);
  const QString cacheKey = QString::number(selected) + key.section('.', -1);
  auto it = cache.find(cacheKey);
  if (it != cache.end()) return *it;
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(key, QMimeDatabase::MatchExtension);
  const QPixmap pm = themed(mime.iconName(), mime.genericIconName(), selected, false);
  cache.insert(cacheKey, pm);
  return pm;
}

QPixmap AssociatedProgramIcon(const QString& extension, bool selected) {
  Q_UNUSED(extension);
  static QPixmap normal = themed("application-x-executable", "system-run", false, true);
  static QPixmap sel = themed("application-x-executable", "system-run", true, true);
  return selected ? sel : normal;
}

}  // namespace qlon::controls
