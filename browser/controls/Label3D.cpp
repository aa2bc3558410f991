#include "Label3D.h"

#include <QPainter>
#include <QPalette>

namespace qlon::controls {

TLabel3D::TLabel3D(QWidget* parent) : QLabel(parent) {
  lower_ = palette().color(QPalette::Dark);
  focus_ = QColor(0xFF, 0xFF, 0xFF);
  resize(62, 16);
}

void TLabel3D::SetCaptionStyle(TCaptionStyle s) { style_ = s; update(); }
void TLabel3D::SetColorLowerText(const QColor& c) { lower_ = c; update(); }
void TLabel3D::SetColorFocusText(const QColor& c) { focus_ = c; update(); }
void TLabel3D::SetTransparent(bool on) { transparent_ = on; update(); }

std::vector<TLabel3D::Copy> TLabel3D::Copies() const {
  std::vector<Copy> out;
  const bool recessed = style_ == csRecessed || style_ == csHeavyRecessed;
  const QColor lower = recessed ? palette().color(QPalette::Dark) : lower_;
  if (style_ == csHeavyRaised || style_ == csRecessed || style_ == csHeavyRecessed)
    out.push_back({QPoint(1, 1), lower_});
  if (style_ == csRaised || style_ == csHeavyRaised || style_ == csHeavyRecessed)
    out.push_back({QPoint(-1, -1), lower});
  QColor ink = inside_ ? focus_ : palette().color(QPalette::WindowText);
  if (!isEnabled()) ink = palette().color(QPalette::Disabled, QPalette::WindowText);
  out.push_back({QPoint(0, 0), ink});
  return out;
}

void TLabel3D::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!transparent_) p.fillRect(rect(), palette().color(QPalette::Window));
  QString caption = text();
  if (caption.isEmpty() || caption == "&") caption = " ";
  // Mnemonics shown: "&" marks the accelerator.
  const int flags = int(alignment()) | Qt::TextExpandTabs | Qt::TextWordWrap | Qt::TextShowMnemonic;
  p.setFont(font());
  for (const Copy& c : Copies()) {
    p.setPen(c.color);
    p.drawText(rect().translated(c.offset), flags, caption);
  }
}

void TLabel3D::enterEvent(QEnterEvent* e) {
  QLabel::enterEvent(e);
  if (!highlighting_) return;
  inside_ = true;
  update();
}

void TLabel3D::leaveEvent(QEvent* e) {
  QLabel::leaveEvent(e);
  if (!highlighting_ || !inside_) return;
  inside_ = false;
  update();
}

}  // namespace qlon::controls
