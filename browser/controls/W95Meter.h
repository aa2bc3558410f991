#pragma once
// TW95Meter: a segmented progress meter with a one-pixel 3D edge, drawn
// across when wider than high, else from the bottom up.
#include <QColor>
#include <QWidget>
#include <functional>

namespace qlon::controls {

enum StyleType { st95None, st95Lowered, st95Raised };

class TW95Meter : public QWidget {
  Q_OBJECT
 public:
  explicit TW95Meter(QWidget* parent = nullptr);

  int Percent() const { return percent_; }
  void SetPercent(int v);  // clamped to 0..100
  QColor BackGroundColor() const { return back_; }
  void SetBackGroundColor(const QColor& c);
  QColor SegmentColor() const { return segment_; }
  void SetSegmentColor(const QColor& c);
  int SegmentWidth() const { return segW_; }
  void SetSegmentWidth(int w);
  int SegmentGap() const { return gap_; }
  void SetSegmentGap(int g);
  StyleType EdgeStyle() const { return edge_; }
  void SetEdgeStyle(StyleType s);

  // The segments the current value fills, in drawing order.
  std::vector<QRect> Segments() const;

  std::function<void(TW95Meter*)> OnClick, OnDblClick;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  int percent_ = 0;
  QColor back_, segment_;
  int segW_ = 8, gap_ = 2;
  StyleType edge_ = st95Lowered;
};

}  // namespace qlon::controls
