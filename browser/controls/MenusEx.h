#pragma once
// TPopupMenuEx: a popup menu that can open upwards from a point, so that a
// menu dropped from a control near the bottom of the screen stays above it.
// Item commands, sub-menu preparation and the highlighted item's hint reach
// their handlers through the actions' own signals.
#include <QMenu>
#include <functional>

namespace qlon::controls {

class TPopupMenuEx : public QMenu {
  Q_OBJECT
 public:
  explicit TPopupMenuEx(QWidget* parent = nullptr);

  bool DropUp() const { return dropUp_; }
  void SetDropUp(bool on) { dropUp_ = on; }
  // Opens at (x, y) in screen coordinates; with DropUp the menu lies above y.
  void Popup(int x, int y);
  // Where Popup places the menu's top-left corner.
  QPoint PopupPosition(int x, int y) const;

  std::function<void(TPopupMenuEx*)> OnPopup;
  // The highlighted item's hint (its status tip), empty when none.
  std::function<void(const QString&)> OnHint;

 private:
  bool dropUp_ = false;
};

}  // namespace qlon::controls
