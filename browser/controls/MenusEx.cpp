#include "MenusEx.h"

#include <QGuiApplication>
#include <QScreen>

namespace qlon::controls {

TPopupMenuEx::TPopupMenuEx(QWidget* parent) : QMenu(parent) {
  connect(this, &QMenu::hovered, this, [this](QAction* a) {
    if (OnHint) OnHint(a ? a->statusTip() : QString());
  });
  connect(this, &QMenu::aboutToHide, this, [this] {
    if (OnHint) OnHint(QString());
  });
}

QPoint TPopupMenuEx::PopupPosition(int x, int y) const {
  if (!dropUp_) return QPoint(x, y);
  QScreen* screen = QGuiApplication::screenAt(QPoint(x, y));
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
  // Everything from y down is excluded: the menu ends at y, and is pushed
  // down only when the screen has no room above.
  const int top = std::max(avail.top(), y - sizeHint().height());
  return QPoint(x, top);
}

void TPopupMenuEx::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  popup(PopupPosition(x, y));
}

}  // namespace qlon::controls
