#include "Gdi.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

namespace qlon::controls {

QColor fromColorRef(quint32 c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QRect draw3dFrame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  if (r.width() <= 0 || r.height() <= 0) return r;
  const int l = r.x(), t = r.y(), rr = rightOf(r) - 1, bb = bottomOf(r) - 1;
  p.fillRect(ltrb(l, t, rr + 1, t + 1), topLeft);
  p.fillRect(ltrb(l, t, l + 1, bb + 1), topLeft);
  p.fillRect(ltrb(l, bb, rr + 1, bb + 1), bottomRight);
  p.fillRect(ltrb(rr, t, rr + 1, bb + 1), bottomRight);
  return r.adjusted(1, 1, -1, -1);
}

ImageStrip::ImageStrip(const QImage& picture, int cellW, int cellH, QColor key)
    : cellW_(cellW), cellH_(cellH) {
  opaque_ = QPixmap::fromImage(picture);
  pixmap_ = opaque_;
  pixmap_.setMask(QBitmap::fromImage(
      picture.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
}

void ImageStrip::draw(QPainter& p, int x, int y, int col, int row, bool opaque) const {
  if (isNull() || col < 0 || row < 0 || col >= columns() || row >= rows()) return;
  p.drawPixmap(x, y, opaque ? opaque_ : pixmap_, col * cellW_, row * cellH_, cellW_, cellH_);
}

}  // namespace qlon::controls
