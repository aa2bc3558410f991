#pragma once
// Small drawing helpers shared by the owner-drawn controls.
//
// Colours: the controls keep their colour constants as COLORREF values
// (0x00BBGGRR: 0x0000FF is red, 0x800000 is navy); fromColorRef turns them
// into QColor so the byte order is decided in one place.
//
// Rectangles: the drawing rules count in half-open boxes (left, top, right,
// bottom) where right and bottom lie just outside, as the grids' geometry
// does. QRect's right()/bottom() are inclusive, so code here uses
// rightOf/bottomOf (exclusive) and ltrb() to build rectangles.
#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;

namespace qlon::controls {

QColor fromColorRef(quint32 colorRef);

inline int rightOf(const QRect& r) { return r.x() + r.width(); }
inline int bottomOf(const QRect& r) { return r.y() + r.height(); }
inline QRect ltrb(int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); }

// Raised (or sunken) one-pixel 3D border: light at top and left, dark at
// bottom and right; returns the rectangle inside the border.
QRect draw3dFrame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight);

// A strip of equal cells cut out of one picture, with a transparent key
// colour turned into a mask when loaded.
class ImageStrip {
 public:
  ImageStrip() = default;
  // cellW x cellH cells; key is the colour drawn transparent.
  ImageStrip(const QImage& picture, int cellW, int cellH, QColor key);
  bool isNull() const { return pixmap_.isNull(); }
  int cellWidth() const { return cellW_; }
  int cellHeight() const { return cellH_; }
  int columns() const { return cellW_ > 0 ? pixmap_.width() / cellW_ : 0; }
  int rows() const { return cellH_ > 0 ? pixmap_.height() / cellH_ : 0; }
  // Draws cell (col, row) at (x, y); opaque draws the key colour too.
  // Out-of-range cells draw nothing.
  void draw(QPainter& p, int x, int y, int col, int row, bool opaque = false) const;

 private:
  QPixmap pixmap_;   // key colour transparent
  QPixmap opaque_;   // as loaded
  int cellW_ = 0;
  int cellH_ = 0;
};

}  // namespace qlon::controls
