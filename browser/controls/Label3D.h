#pragma once
// TLabel3D: a label whose caption is drawn raised or recessed by shadow
// copies, optionally highlighted while the mouse is over it.
#include <QColor>
#include <QLabel>

namespace qlon::controls {

enum TCaptionStyle { csNone, csRaised, csHeavyRaised, csRecessed, csHeavyRecessed };

class TLabel3D : public QLabel {
  Q_OBJECT
 public:
  explicit TLabel3D(QWidget* parent = nullptr);

  TCaptionStyle CaptionStyle() const { return style_; }
  void SetCaptionStyle(TCaptionStyle s);
  QColor ColorLowerText() const { return lower_; }
  void SetColorLowerText(const QColor& c);
  QColor ColorFocusText() const { return focus_; }
  void SetColorFocusText(const QColor& c);
  bool FocusHighLighing() const { return highlighting_; }
  void SetFocusHighLighing(bool on) { highlighting_ = on; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool MouseInside() const { return inside_; }

  struct Copy {
    QPoint offset;
    QColor color;
  };
  // The copies of the caption in drawing order, the caption itself last.
  std::vector<Copy> Copies() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  TCaptionStyle style_ = csRecessed;
  QColor lower_, focus_;
  bool highlighting_ = false, transparent_ = false, inside_ = false;
};

}  // namespace qlon::controls
