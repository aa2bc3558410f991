#include "W95Meter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <cmath>

#include "Gdi.h"

namespace qlon::controls {

TW95Meter::TW95Meter(QWidget* parent) : QWidget(parent) {
  back_ = palette().color(QPalette::Button);
  segment_ = fromColorRef(0x800000);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 18);
}

void TW95Meter::SetPercent(int v) {
  v = std::clamp(v, 0, 100);
  if (v == percent_) return;
  percent_ = v;
  // Always the whole control: a smaller value must lose its segments.
  update();
}

void TW95Meter::SetBackGroundColor(const QColor& c) { back_ = c; update(); }
void TW95Meter::SetSegmentColor(const QColor& c) { segment_ = c; update(); }
void TW95Meter::SetSegmentWidth(int w) { segW_ = std::max(1, w); update(); }
void TW95Meter::SetSegmentGap(int g) { gap_ = std::max(0, g); update(); }
void TW95Meter::SetEdgeStyle(StyleType s) { edge_ = s; update(); }

std::vector<QRect> TW95Meter::Segments() const {
  std::vector<QRect> out;
  const int pitch = segW_ + gap_;
  const int w = width(), h = height();
  if (w > h) {
    const int count = w / pitch;
    const int n = int(std::nearbyint(count * percent_ * 0.01));
    for (int k = 0; k < n; ++k) {
      const int x = 4 + k * pitch;
      if (x + segW_ > w - 4) break;
      out.push_back(ltrb(x, 4, x + segW_, h - 4));
    }
  } else {
    const int count = h / pitch;
    const int n = int(std::nearbyint(count * percent_ * 0.01));
    for (int k = 0; k < n; ++k) {
      const int bottom = h - 4 - k * pitch;
      if (bottom - segW_ < 4) break;
      out.push_back(ltrb(4, bottom - segW_, w - 4, bottom));
    }
  }
  return out;
}

void TW95Meter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), back_);
  const QColor grey = fromColorRef(0x808080), white = fromColorRef(0xFFFFFF);
  if (edge_ == st95Lowered) draw3dFrame(p, rect(), grey, white);
  else if (edge_ == st95Raised) draw3dFrame(p, rect(), white, grey);
  for (const QRect& r : Segments()) p.fillRect(r, segment_);
}

void TW95Meter::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
}

void TW95Meter::mouseDoubleClickEvent(QMouseEvent*) {
  if (OnDblClick) OnDblClick(this);
}

}  // namespace qlon::controls
