#pragma once
// TWCheckListBox: a list box whose items each carry a check box in front of
// their text. The checked state lives in the item's object slot (the
// Qt::UserRole data): unset or false means unchecked. Rows have one fixed
// height and are drawn by DrawItem; a press in the 16 x 16 square at an
// item's top left, or Space on the current item, toggles it.
#include <QListWidget>

namespace qlon {

class TWCheckListBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kItemHeight = 18;
  static constexpr int kCheckSize = 16;
  static constexpr int kTextIndent = 20;

  explicit TWCheckListBox(QWidget* parent = nullptr);

  // False for an index outside the items.
  bool Checked(int index) const;
  // Ignored for an index outside the items; redraws only that item.
  void SetChecked(int index, bool value);
  int CheckedCount() const;

  // Draws item `index` into rect (the row's delegate calls it).
  void DrawItem(QPainter& p, int index, const QRect& rect, bool selected, bool focused);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace qlon
