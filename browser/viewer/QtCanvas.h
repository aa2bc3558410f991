#pragma once
// The canvas on a QPainter: a widget during paint events, a QImage for page
// pictures, a QPrinter when printing. Fonts are set by pixel size with full
// hinting and no kerning, so advances are integers that add up the way the
// layout expects; one advance table per font keeps measuring cheap.
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <array>
#include <memory>

#include "Canvas.h"

class QPainter;

namespace qlon::viewer {

class QtCanvas : public Canvas {
 public:
  // clip: the rectangle being painted, in the painter's logical coordinates.
  QtCanvas(QPainter& painter, const QRect& clip, bool printer = false);
  ~QtCanvas() override;

  void SetFont(const FontDesc& font) override;
  TextMetrics Metrics() override;
  int CharWidth(char16_t c) override;

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

  // The Qt font for a font description (also used by the form controls).
  static QFont MakeFont(const FontDesc& desc);

 private:
  struct FontEntry {
    QFont font;
    QFontMetrics metrics;
    TextMetrics tm;
    std::array<int, 256> latin;  // -1 = not measured yet
    QHash<char16_t, int> other;
    explicit FontEntry(const QFont& f);
  };
  QPainter& painter_;
  QRect clip_;
  bool printer_;
  QHash<FontDesc, std::shared_ptr<FontEntry>> fonts_;
  // The fonts set last: runs of a few fonts alternate.
  struct Recent {
    FontDesc desc;
    FontEntry* entry = nullptr;
  };
  std::array<Recent, 4> recent_;
  size_t nextRecent_ = 0;
  FontEntry* current_ = nullptr;
  FontEntry& Current();
};

namespace detail {
struct MeasureDevice {
  MeasureDevice();
  ~MeasureDevice();
  QImage image;
  std::unique_ptr<QPainter> painter;
};
}  // namespace detail

// A canvas for layout only: the same metrics as QtCanvas, on a device of its
// own (a 1 x 1 image), so that a model can be laid out with no window.
class QtMeasureCanvas : private detail::MeasureDevice, public QtCanvas {
 public:
  explicit QtMeasureCanvas(const QRect& clip = QRect(0, 0, 1, 1)) : QtCanvas(*painter, clip) {}
};

}  // namespace qlon::viewer
