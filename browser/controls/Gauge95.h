#pragma once
// TGauge95: a progress bar drawn as a row of boxes inside an optional
// one-pixel 3D frame. The control sizes itself to whole boxes; the box
// count always follows the width, so a gauge that a layout stretches or
// shrinks fills its whole width when complete.
#include <QColor>
#include <QWidget>

namespace qlon::controls {

enum TBevelStyle { bsNone, bsLowered, bsRaised };

class TGauge95 : public QWidget {
  Q_OBJECT
 public:
  explicit TGauge95(QWidget* parent = nullptr);

  int MinValue() const { return min_; }
  void SetMinValue(int v);
  int MaxValue() const { return max_; }
  void SetMaxValue(int v);
  int Progress() const { return progress_; }
  // Ignored when unchanged or outside MinValue..MaxValue.
  void SetProgress(int v);
  TBevelStyle BevelStyle() const { return bevel_; }
  void SetBevelStyle(TBevelStyle s);
  QColor BoxColor() const { return boxColor_; }
  void SetBoxColor(const QColor& c);
  // The boxes that fit in the width inside the border (at least 1).
  int BoxCount() const;
  void SetBoxCount(int n);
  int BoxWidth() const { return boxWidth_; }
  void SetBoxWidth(int w);
  // An aligned gauge keeps the width its container gives it.
  bool Aligned() const { return aligned_; }
  void SetAligned(bool on) { aligned_ = on; }
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool on);

  // Sets the bounds the way the gauge accepts them: whole boxes inside the
  // border (unless aligned).
  void SetBounds(int x, int y, int w, int h);
  int BorderWidth() const { return bevel_ == bsNone ? 1 : 3; }
  // Twenty boxes, as high as a new gauge: a layout gives it that height
  // (it has no content to size it otherwise).
  QSize sizeHint() const override;
  int FilledBoxes() const;
  QRect BoxRect(int k) const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void applyBoxWidth(int count);
  int min_ = 0, max_ = 100, progress_ = 0;
  TBevelStyle bevel_ = bsLowered;
  QColor boxColor_;
  int boxWidth_ = 12;
  bool aligned_ = false;
  bool parentColor_ = false;
};

}  // namespace qlon::controls
