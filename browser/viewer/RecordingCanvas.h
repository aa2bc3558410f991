#pragma once
// A canvas with formula metrics that records every drawing call, so that
// layout is checked against numbers worked out by hand, never against the
// pixels of a machine's fonts. For a font of p pixels:
//   every character advances p / 2;  ascent p - p / 4;  descent p / 4;
//   height p;  external leading p / 8;  overhang 0.
// Size 12 (16 px): advance 8, ascent 12, descent 4, leading 2.
// Size 10 (13 px): advance 6, ascent 10, descent 3, leading 1.
#include <vector>

#include "Canvas.h"

namespace qlon::viewer {

class RecordingCanvas : public Canvas {
 public:
  enum class Op { Text, FillRect, FrameRect, Line, Ellipse, Image, Region, Widget };
  struct Call {
    Op op;
    QRect rect;        // boxes; for text the run's box
    QPoint a, b;       // text: (x, baseline); lines: ends
    QString text;
    Color color = 0;   // text: foreground
    Color bg = kNoColor;
    FontDesc font;
    QRegion region;
  };

  explicit RecordingCanvas(QRect clip = QRect(0, 0, 100000, 1000000), bool printer = false)
      : clip_(clip), printer_(printer) {}

  static TextMetrics MetricsFor(int pixelSize);

  void SetFont(const FontDesc& font) override { font_ = font; }
  TextMetrics Metrics() override { return MetricsFor(font_.pixelSize); }
  int CharWidth(char16_t) override { return font_.pixelSize / 2; }

  void DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg = kNoColor,
                const QRect* clip = nullptr) override;
  void FillRect(const QRect& r, Color c) override;
  void FrameRect(const QRect& r, Color c) override;
  void Line(QPoint a, QPoint b, Color c) override;
  void FillEllipse(const QRect& r, Color c) override;
  void DrawImage(const QRect& dst, const QImage& image) override;
  void FillRegion(const QRegion& region, Color c) override;
  void DrawWidget(QWidget* widget, QPoint at) override;
  QRect ClipBox() const override { return clip_; }
  bool IsPrinter() const override { return printer_; }

  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> CallsOf(Op op) const;
  // The text calls joined in drawing order, one run per entry.
  std::vector<QString> Texts() const;
  // The first text call whose text is s, or nullptr.
  const Call* FindText(const QString& s) const;
  void clear() { calls_.clear(); }

 private:
  static Call Make(Op op, const QRect& r, Color c);
  QRect clip_;
  bool printer_;
  FontDesc font_;
  std::vector<Call> calls_;
};

}  // namespace qlon::viewer
