#pragma once
// TUserHint: the hint window the trees and the URL drop target show under
// the mouse: a black frame and word-wrapped text in the hint colours.
#include <QEvent>
#include <QWidget>

namespace qlon::controls {

// Sent to a control before its hint shows; setting cancel vetoes it.
class HintShowEvent : public QEvent {
 public:
  static QEvent::Type eventType();
  HintShowEvent() : QEvent(eventType()) {}
  bool cancel = false;
};

class TUserHint : public QWidget {
  Q_OBJECT
 public:
  explicit TUserHint(QWidget* parent = nullptr);
  // Shows text at a screen point, moved down by the visible height of the
  // mouse cursor when moveDown is set, unless control vetoes it.
  void ShowHintAt(QWidget* control, QPoint screenPos, bool moveDown, const QString& text);
  void HideHint();
  const QString& text() const { return text_; }
  // Rows of the current cursor down to its last non-transparent one.
  static int VisibleCursorHeight();
  // The window rectangle for text with maxWidth as the limit, at (0, 0).
  QRect HintRect(int maxWidth, const QString& text) const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QString text_;
};

}  // namespace qlon::controls
