#include "Gauge95.h"

#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "Gdi.h"

namespace qlon::controls {

namespace {
constexpr int kDefaultHeight = 24;
}  // namespace

TGauge95::TGauge95(QWidget* parent) : QWidget(parent) {
  boxColor_ = palette().color(QPalette::Highlight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(boxWidth_ * 20 + 3, kDefaultHeight);
}

QSize TGauge95::sizeHint() const { return {boxWidth_ * 20 + BorderWidth(), kDefaultHeight}; }

void TGauge95::SetMinValue(int v) {
  if (v == min_) return;
  min_ = v;
  update();
}

void TGauge95::SetMaxValue(int v) {
  if (v == max_) return;
  max_ = v;
  update();
}

void TGauge95::SetProgress(int v) {
  if (v == progress_ || v < min_ || v > max_) return;
  progress_ = v;
  update();
}

void TGauge95::SetBoxColor(const QColor& c) {
  if (c == boxColor_) return;
  boxColor_ = c;
  update();
}

void TGauge95::SetParentColor(bool on) {
  parentColor_ = on;
  update();
}

int TGauge95::BoxCount() const { return std::max(1, (width() - BorderWidth()) / boxWidth_); }

void TGauge95::applyBoxWidth(int count) {
  resize(boxWidth_ * count + 1 + (bevel_ != bsNone ? 2 : 0), height());
  update();
}

void TGauge95::SetBoxCount(int n) { applyBoxWidth(std::max(1, n)); }

void TGauge95::SetBoxWidth(int w) {
  const int count = BoxCount();
  boxWidth_ = std::max(3, w);
  applyBoxWidth(count);
}

void TGauge95::SetBevelStyle(TBevelStyle s) {
  if (s == bevel_) return;
  if (bevel_ == bsNone) resize(width() + 2, height() + 2);
  else if (s == bsNone) resize(width() - 2, height() - 2);
  bevel_ = s;
  update();
}

void TGauge95::SetBounds(int x, int y, int w, int h) {
  const int b = BorderWidth();
  int innerW = std::max(boxWidth_, w - b);
  const int innerH = std::max(3, h - b - 1);
  if (!aligned_) innerW = std::max(1, innerW / boxWidth_) * boxWidth_;
  setGeometry(x, y, innerW + b, innerH + b + 1);
}

int TGauge95::FilledBoxes() const {
  const double percent = max_ == min_ ? 0.0 : double(progress_ - min_) / double(max_ - min_) * 100.0;
  const int count = BoxCount();
  return std::clamp(int(percent * count * 0.01), 0, count);
}

QRect TGauge95::BoxRect(int k) const {
  const int inset = bevel_ == bsNone ? 0 : 1;
  return QRect(inset + 1 + k * boxWidth_, inset + 1, boxWidth_ - 2, height() - BorderWidth() - 1);
}

void TGauge95::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = rect();
  const QPalette& pal = palette();
  if (bevel_ == bsLowered) r = draw3dFrame(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
  else if (bevel_ == bsRaised) r = draw3dFrame(p, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
  const QWidget* parent = parentWidget();
  p.fillRect(r, parentColor_ && parent ? parent->palette().color(QPalette::Window) : pal.color(QPalette::Window));
  const QColor fill = isEnabled() ? boxColor_ : pal.color(QPalette::Button);
  for (int k = 0; k < FilledBoxes(); ++k) p.fillRect(BoxRect(k), fill);
}

}  // namespace qlon::controls
