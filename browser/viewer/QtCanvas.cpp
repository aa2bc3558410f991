#include "QtCanvas.h"

#include <QPainter>
#include <QWidget>

namespace qlon::viewer {

namespace {
QColor ToQColor(Color c) { return QColor(ColorToRgb(c)); }
}  // namespace

QtCanvas::FontEntry::FontEntry(const QFont& f) : font(f), metrics(f) {
  tm.ascent = metrics.ascent();
  tm.descent = metrics.descent();
  tm.height = tm.ascent + tm.descent;
  tm.externalLeading = qMax(0, metrics.leading());
  tm.overhang = 0;
  latin.fill(-1);
}

QtCanvas::QtCanvas(QPainter& painter, const QRect& clip, bool printer)
    : painter_(painter), clip_(clip), printer_(printer) {}

QtCanvas::~QtCanvas() = default;

QFont QtCanvas::MakeFont(const FontDesc& desc) {
  QFont f(desc.face);
  f.setPixelSize(qMax(1, desc.pixelSize));
  f.setHintingPreference(QFont::PreferFullHinting);
  f.setKerning(false);
  f.setBold(desc.style & kBold);
  f.setItalic(desc.style & kItalic);
  f.setUnderline(desc.style & kUnderline);
  f.setStrikeOut(desc.style & kStrikeOut);
  return f;
}

void QtCanvas::SetFont(const FontDesc& font) {
  // The runs of a document share their face names: equal data is the same name.
  auto same = [&](const Recent& r) {
    return r.entry && r.desc.pixelSize == font.pixelSize && r.desc.style == font.style &&
           r.desc.face.size() == font.face.size() &&
           (r.desc.face.constData() == font.face.constData() || r.desc.face == font.face);
  };
  for (const Recent& r : recent_)
    if (same(r)) {
      current_ = r.entry;
      return;
    }
  auto it = fonts_.find(font);
  if (it == fonts_.end()) it = fonts_.insert(font, std::make_shared<FontEntry>(MakeFont(font)));
  Recent& slot = recent_[nextRecent_++ % recent_.size()];
  slot = {font, it->get()};
  current_ = slot.entry;
}

QtCanvas::FontEntry& QtCanvas::Current() {
  if (!current_) SetFont(FontDesc{});
  return *current_;
}

TextMetrics QtCanvas::Metrics() { return Current().tm; }

int QtCanvas::CharWidth(char16_t c) {
  FontEntry& f = Current();
  if (c < 256) {
    int& w = f.latin[c];
    if (w < 0) w = f.metrics.horizontalAdvance(QChar(c));
    return w;
  }
  // A surrogate pair is one glyph: its high half carries the advance (measured
  // on a pair of its plane block), the low half none.
  if (QChar::isLowSurrogate(c)) return 0;
  auto it = f.other.find(c);
  if (it != f.other.end()) return *it;
  int w = QChar::isHighSurrogate(c) ? f.metrics.horizontalAdvance(QString(QChar(c)) + QChar(0xDC00))
                                    : f.metrics.horizontalAdvance(QChar(c));
  f.other.insert(c, w);
  return w;
}

void QtCanvas::DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg, const QRect* clip) {
  if (n <= 0) return;
  FontEntry& f = Current();
  painter_.save();
  if (clip) painter_.setClipRect(*clip, Qt::IntersectClip);
  if (bg != kNoColor)
    painter_.fillRect(QRect(x, baseline - f.tm.ascent, TextWidth(s, n), f.tm.height), ToQColor(bg));
  painter_.setFont(f.font);
  painter_.setPen(ToQColor(fg));
  painter_.drawText(QPoint(x, baseline), QString::fromUtf16(s, n));
  painter_.restore();
}

void QtCanvas::FillRect(const QRect& r, Color c) {
  if (r.width() > 0 && r.height() > 0) painter_.fillRect(r, ToQColor(c));
}

void QtCanvas::FrameRect(const QRect& r, Color c) {
  if (r.width() <= 0 || r.height() <= 0) return;
  QColor q = ToQColor(c);
  painter_.fillRect(QRect(r.left(), r.top(), r.width(), 1), q);
  painter_.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), q);
  painter_.fillRect(QRect(r.left(), r.top(), 1, r.height()), q);
  painter_.fillRect(QRect(r.right(), r.top(), 1, r.height()), q);
}

void QtCanvas::Line(QPoint a, QPoint b, Color c) {
  QColor q = ToQColor(c);
  if (a.y() == b.y()) {
    int x0 = qMin(a.x(), b.x() + 1), x1 = qMax(a.x(), b.x() - 1);
    if (b.x() != a.x()) painter_.fillRect(QRect(QPoint(x0, a.y()), QPoint(x1, a.y())), q);
  } else if (a.x() == b.x()) {
    int y0 = qMin(a.y(), b.y() + 1), y1 = qMax(a.y(), b.y() - 1);
    painter_.fillRect(QRect(QPoint(a.x(), y0), QPoint(a.x(), y1)), q);
  } else {
    painter_.save();
    painter_.setPen(QPen(q, 0));
    painter_.drawLine(a, b);
    painter_.restore();
  }
}

void QtCanvas::FillEllipse(const QRect& r, Color c) {
  painter_.save();
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(ToQColor(c));
  painter_.drawEllipse(r);
  painter_.restore();
}

void QtCanvas::DrawImage(const QRect& dst, const QImage& image) {
  if (!image.isNull() && dst.width() > 0 && dst.height() > 0) painter_.drawImage(dst, image);
}

void QtCanvas::FillRegion(const QRegion& region, Color c) {
  if (region.isEmpty()) return;
  painter_.save();
  painter_.setClipRegion(region, Qt::IntersectClip);
  painter_.fillRect(region.boundingRect(), ToQColor(c));
  painter_.restore();
}

void QtCanvas::DrawWidget(QWidget* widget, QPoint at) {
  if (!widget) return;
  painter_.save();
  painter_.translate(at);
  widget->render(&painter_, QPoint(), QRegion(), QWidget::DrawChildren);
  painter_.restore();
}

namespace detail {
MeasureDevice::MeasureDevice() : image(1, 1, QImage::Format_RGB32), painter(std::make_unique<QPainter>(&image)) {}
MeasureDevice::~MeasureDevice() = default;
}  // namespace detail

}  // namespace qlon::viewer
