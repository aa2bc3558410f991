#pragma once
// TWCustomGrid: the base of every owner-drawn list and tree (the connection
// list, the tree grid and through it the web, MIME, filter and task trees,
// the URL grid). It adds to WGrid a paint lock that holds the screen still
// while a caller makes many changes.
#include "WGrid.h"

namespace qlon::controls {

class TWCustomGrid : public WGrid {
  Q_OBJECT
 public:
  explicit TWCustomGrid(QWidget* parent = nullptr);
  bool PaintLocked() const { return paintLocked_; }
  // Locking only records the flag (the screen stops following). Unlocking
  // first serves the pending events against the still-locked screen, then
  // repaints the whole control once.
  void SetPaintLocked(bool locked);

 private:
  bool paintLocked_ = false;
};

}  // namespace qlon::controls
