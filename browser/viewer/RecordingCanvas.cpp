#include "RecordingCanvas.h"

namespace qlon::viewer {

TextMetrics RecordingCanvas::MetricsFor(int p) {
  TextMetrics m;
  m.descent = p / 4;
  m.ascent = p - m.descent;
  m.height = p;
  m.externalLeading = p / 8;
  return m;
}

void RecordingCanvas::DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg, const QRect* clip) {
  Call c = Make(Op::Text, {}, PlainColor(fg));
  c.a = QPoint(x, baseline);
  c.bg = bg == kNoColor ? kNoColor : PlainColor(bg);
  c.font = font_;
  c.text = QString::fromUtf16(s, n);
  TextMetrics m = Metrics();
  c.rect = QRect(x, baseline - m.ascent, TextWidth(s, n), m.height);
  if (clip) c.region = QRegion(*clip);
  calls_.push_back(c);
}

RecordingCanvas::Call RecordingCanvas::Make(Op op, const QRect& r, Color c) {
  Call call;
  call.op = op;
  call.rect = r;
  call.color = PlainColor(c);
  return call;
}

void RecordingCanvas::FillRect(const QRect& r, Color c) { calls_.push_back(Make(Op::FillRect, r, c)); }
void RecordingCanvas::FrameRect(const QRect& r, Color c) { calls_.push_back(Make(Op::FrameRect, r, c)); }
void RecordingCanvas::Line(QPoint a, QPoint b, Color c) {
  Call call = Make(Op::Line, {}, c);
  call.a = a;
  call.b = b;
  calls_.push_back(call);
}
void RecordingCanvas::FillEllipse(const QRect& r, Color c) { calls_.push_back(Make(Op::Ellipse, r, c)); }
void RecordingCanvas::DrawImage(const QRect& dst, const QImage& image) {
  Call c = Make(Op::Image, dst, 0);
  c.a = QPoint(image.width(), image.height());
  calls_.push_back(c);
}
void RecordingCanvas::FillRegion(const QRegion& region, Color c) {
  Call call = Make(Op::Region, region.boundingRect(), c);
  call.region = region;
  calls_.push_back(call);
}
void RecordingCanvas::DrawWidget(QWidget*, QPoint at) {
  Call call = Make(Op::Widget, {}, 0);
  call.a = at;
  calls_.push_back(call);
}

std::vector<RecordingCanvas::Call> RecordingCanvas::CallsOf(Op op) const {
  std::vector<Call> out;
  for (const Call& c : calls_)
    if (c.op == op) out.push_back(c);
  return out;
}

std::vector<QString> RecordingCanvas::Texts() const {
  std::vector<QString> out;
  for (const Call& c : calls_)
    if (c.op == Op::Text) out.push_back(c.text);
  return out;
}

const RecordingCanvas::Call* RecordingCanvas::FindText(const QString& s) const {
  for (const Call& c : calls_)
    if (c.op == Op::Text && c.text == s) return &c;
  return nullptr;
}

}  // namespace qlon::viewer
