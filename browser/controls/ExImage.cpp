#include "ExImage.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>

namespace qlon::controls {

// ---- TQLImage -----------------------------------------------------------------

TQLImage::TQLImage(QWidget* parent) : QWidget(parent) { resize(105, 105); }

void TQLImage::SetPicture(const QImage& picture) {
  picture_ = picture;
  pictureChanged();
}

void TQLImage::SetAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  pictureChanged();
}

void TQLImage::SetStretch(bool on) {
  if (on == stretch_) return;
  stretch_ = on;
  pictureChanged();
}

void TQLImage::SetCenter(bool on) {
  if (on == center_) return;
  center_ = on;
  pictureChanged();
}

void TQLImage::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  pictureChanged();
}

QRect TQLImage::DestRect() const {
  if (stretch_) return rect();
  if (center_)
    return QRect((width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_.width(),
                 picture_.height());
  return QRect(QPoint(0, 0), picture_.size());
}

void TQLImage::pictureChanged() {
  if (autoSize_ && picture_.width() > 0 && picture_.height() > 0) resize(picture_.size());
  if (picture_.isNull()) {
    opaque_ = false;
    drawn_ = QImage();
  } else {
    drawn_ = picture_;
    // A transparent picture without an alpha channel keys out the colour of
    // its bottom-left pixel, as bitmaps always did.
    if (transparent_ && !picture_.hasAlphaChannel()) {
      drawn_ = picture_.convertToFormat(QImage::Format_ARGB32);
      const QRgb key = picture_.pixel(0, picture_.height() - 1);
      for (int y = 0; y < drawn_.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(drawn_.scanLine(y));
        for (int x = 0; x < drawn_.width(); ++x)
          if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF)) line[x] = 0;
      }
    }
    const bool graphicTransparent = transparent_ || picture_.hasAlphaChannel();
    opaque_ = !graphicTransparent &&
              (stretch_ || (picture_.width() >= width() && picture_.height() >= height()));
  }
  setAttribute(Qt::WA_OpaquePaintEvent, opaque_);
  if (!drawing_) update();
}

void TQLImage::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (!picture_.isNull())
    opaque_ = !(transparent_ || picture_.hasAlphaChannel()) &&
              (stretch_ || (picture_.width() >= width() && picture_.height() >= height()));
}

void TQLImage::paintEvent(QPaintEvent*) {
  if (drawn_.isNull()) return;
  QPainter p(this);
  drawing_ = true;
  p.drawImage(DestRect(), drawn_);
  drawing_ = false;
}

// ---- TExImage -----------------------------------------------------------------

TExImage::TExImage(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  color_ = palette().color(QPalette::Window);
  horizontalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setPageStep(16);
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setPageStep(16);
  resize(105, 105);
  updateScrollBars();
}

void TExImage::SetBitmap(const QImage& bitmap) {
  bitmap_ = bitmap.convertToFormat(QImage::Format_RGB32);
  BitmapChanged();
}

void TExImage::SetColor(const QColor& c) {
  color_ = c;
  viewport()->update();
}

void TExImage::SetAutoSize(bool on) {
  autoSize_ = on;
  BitmapChanged();
}

void TExImage::SetStretch(bool on) {
  if (on == stretch_) return;
  stretch_ = on;
  BitmapChanged();
}

void TExImage::SetCenter(bool on) {
  if (on == center_) return;
  center_ = on;
  BitmapChanged();
}

void TExImage::BitmapChanged() {
  if (autoSize_ && bitmap_.width() > 0 && bitmap_.height() > 0) {
    updateScrollBars();  // no bars while sizing to the bitmap
    const QSize extra = size() - viewport()->size();
    resize(bitmap_.size() + extra);
  }
  updateScrollBars();
  opaque_ = bitmap_.width() >= viewport()->width() && bitmap_.height() >= viewport()->height();
  viewport()->update();
}

void TExImage::updateScrollBars() {
  auto apply = [&](QScrollBar* bar, int image, int client, Qt::ScrollBarPolicy& policy) {
    const bool shown = ScrollingActive() && image > client;
    bar->setRange(0, shown ? image - client : 0);
    if (!shown) bar->setValue(0);
    policy = shown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  };
  // Each bar's need depends on the room the other leaves: settle in two passes.
  for (int pass = 0; pass < 2; ++pass) {
    Qt::ScrollBarPolicy h, v;
    apply(horizontalScrollBar(), bitmap_.width(), viewport()->width(), h);
    apply(verticalScrollBar(), bitmap_.height(), viewport()->height(), v);
    if (h == horizontalScrollBarPolicy() && v == verticalScrollBarPolicy()) break;
    setHorizontalScrollBarPolicy(h);
    setVerticalScrollBarPolicy(v);
  }
}

int TExImage::HorzPos() const { return horizontalScrollBar()->value(); }
int TExImage::VertPos() const { return verticalScrollBar()->value(); }
int TExImage::HorzRange() const { return horizontalScrollBar()->maximum(); }
int TExImage::VertRange() const { return verticalScrollBar()->maximum(); }

void TExImage::ScrollHorizontal(int delta) {
  const int pos = std::max(0, std::min(HorzPos() + delta, std::max(0, bitmap_.width() - viewport()->width())));
  if (pos != HorzPos()) ScrollMessage(Qt::Horizontal, SB_THUMBPOSITION, pos);
}

void TExImage::ScrollVertical(int delta) {
  const int pos = std::max(0, std::min(VertPos() + delta, std::max(0, bitmap_.height() - viewport()->height())));
  if (pos != VertPos()) ScrollMessage(Qt::Vertical, SB_THUMBPOSITION, pos);
}

void TExImage::ScrollMessage(Qt::Orientation bar, int code, int thumbPos) {
  QScrollBar* sb = bar == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
  int pos = sb->value();
  switch (code) {
    case SB_LINEUP: pos -= 1; break;
    case SB_LINEDOWN: pos += 1; break;
    case SB_PAGEUP: pos -= 16; break;
    case SB_PAGEDOWN: pos += 16; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = thumbPos; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = sb->maximum(); break;
    default: return;
  }
  sb->setValue(pos);  // the bar clamps to its range
  viewport()->update();
}

void TExImage::scrollContentsBy(int, int) { viewport()->update(); }

QPoint TExImage::Margins() const {
  const int cw = viewport()->width(), ch = viewport()->height();
  if (ScrollingActive()) {
    return QPoint(center_ && bitmap_.width() < cw ? (cw - bitmap_.width()) / 2 : 0,
                  center_ && bitmap_.height() < ch ? (ch - bitmap_.height()) / 2 : 0);
  }
  if (center_) return QPoint((cw - bitmap_.width()) / 2, (ch - bitmap_.height()) / 2);
  return QPoint(0, 0);
}

void TExImage::fillBands(QPainter& p, const QRect& image) {
  const QRegion bands = QRegion(viewport()->rect()) - QRegion(image);
  for (const QRect& r : bands) p.fillRect(r, color_);
}

void TExImage::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  if (bitmap_.isNull() || bitmap_.width() == 0 || bitmap_.height() == 0) {
    p.fillRect(viewport()->rect(), color_);
    if (OnPaint) OnPaint(this, p, 0, 0, 0);
    return;
  }
  if (stretch_) {
    p.drawImage(viewport()->rect(), bitmap_);
    return;
  }
  const QPoint m = Margins();
  if (ScrollingActive()) {
    const QRect source(HorzPos(), VertPos(), std::min(bitmap_.width() - HorzPos(), viewport()->width() - m.x()),
                       std::min(bitmap_.height() - VertPos(), viewport()->height() - m.y()));
    p.drawImage(m, bitmap_, source);
    fillBands(p, QRect(m, source.size()));
    if (OnPaint) OnPaint(this, p, HorzPos(), VertPos(), m.y());
    return;
  }
  p.drawImage(m, bitmap_);
  fillBands(p, QRect(m, bitmap_.size()));
  if (OnPaint) OnPaint(this, p, 0, 0, m.y());
}

void TExImage::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  updateScrollBars();
  opaque_ = bitmap_.width() >= viewport()->width() && bitmap_.height() >= viewport()->height();
}

void TExImage::mousePressEvent(QMouseEvent* e) { lastMouse_ = e->position().toPoint(); }

void TExImage::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pt = e->position().toPoint();
  if (e->buttons() == Qt::LeftButton && ScrollingActive() && scrollMouse_) {
    ScrollHorizontal((pt.x() - lastMouse_.x()) * 4);
    ScrollVertical((pt.y() - lastMouse_.y()) * 4);
  }
  lastMouse_ = pt;
}

void TExImage::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Left: ScrollHorizontal(-4); break;
    case Qt::Key_Right: ScrollHorizontal(4); break;
    case Qt::Key_Up: ScrollVertical(-4); break;
    case Qt::Key_Down: ScrollVertical(4); break;
    case Qt::Key_Home:  // back to the top-left corner
      ScrollMessage(Qt::Horizontal, SB_TOP);
      ScrollMessage(Qt::Vertical, SB_TOP);
      break;
    default: QAbstractScrollArea::keyPressEvent(e); return;
  }
  e->accept();
}

}  // namespace qlon::controls
