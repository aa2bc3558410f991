#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "Gdi.h"
#include "WCustomGrid.h"

using namespace qlon::controls;

namespace {

// A list as the program's lists are: one title row that the user sizes the
// columns on, then rows of cells.
class TitledGrid : public TWCustomGrid {
 public:
  TitledGrid() {
    SetOptions(GridLayout::ColSizing);
    SetColCount(5);
    SetRowCount(17);
    SetFixedCols(0);
    SetFixedRows(1);
  }
};

}  // namespace

TEST(CustomGrid, UserSizesColumnsOnTheTitleRow) {
  TitledGrid list;
  list.resize(500, 120);
  list.show();
  const int border = rightOf(list.CellRect(0, 0));
  QTest::mousePress(list.viewport(), Qt::LeftButton, {}, QPoint(border, 8));
  QMouseEvent move(QEvent::MouseMove, QPointF(border + 30, 8), list.viewport()->mapToGlobal(QPointF(border + 30, 8)),
                   Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(list.viewport(), &move);
  QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, QPoint(border + 30, 8));
  EXPECT_EQ(rightOf(list.CellRect(0, 0)), border + 30);
}

TEST(CustomGrid, UnlockingRepaintsOnceAfterPendingEvents) {
  TitledGrid list;
  list.resize(300, 120);
  list.show();
  QCoreApplication::processEvents();
  list.SetPaintLocked(true);
  const int before = list.paintCount();
  list.InvalidateCell(0, 1);
  list.InvalidateCell(1, 2);
  QCoreApplication::processEvents();
  EXPECT_EQ(list.paintCount(), before);  // the screen holds still
  list.SetPaintLocked(false);
  EXPECT_EQ(list.paintCount(), before + 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(list.paintCount(), before + 1);
  list.SetPaintLocked(false);  // unchanged: nothing
  EXPECT_EQ(list.paintCount(), before + 1);
}
