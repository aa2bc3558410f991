#include "WCustomGrid.h"

#include <QCoreApplication>

namespace qlon::controls {

TWCustomGrid::TWCustomGrid(QWidget* parent) : WGrid(parent) {
  SetDefaultRowHeight(18);
  SetDefaultColWidth(100);
}

void TWCustomGrid::SetPaintLocked(bool locked) {
  if (locked == paintLocked_) return;
  if (locked) {
    paintLocked_ = true;
    viewport()->setUpdatesEnabled(false);
    return;
  }
  QCoreApplication::processEvents();
  paintLocked_ = false;
  viewport()->setUpdatesEnabled(true);
  viewport()->repaint();
}

}  // namespace qlon::controls
