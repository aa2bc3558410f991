#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "WGrid.h"

using namespace qlon::controls;

TEST(GridLayout, MapsCellsAndPointsWithFixedRowsAndScrolling) {
  GridLayout g;
  g.setColCount(3);
  g.setFixedCols(0);
  g.setDefaultColWidth(100);
  g.setDefaultRowHeight(20);
  g.setRowCount(50);
  g.setClientSize(250, 110);  // 1 fixed row + 4 whole rows
  EXPECT_EQ(g.visibleRows(), 4);
  EXPECT_EQ(g.cellRect(1, 0), QRect(100, 0, 100, 20));
  g.setTopRow(10);
  g.setLeftOffset(30);
  EXPECT_EQ(g.cellRect(1, 10), QRect(70, 20, 100, 20));
  EXPECT_EQ(g.cellRect(1, 0).y(), 0);  // fixed rows do not scroll vertically
  EXPECT_EQ(g.rowAt(25), 10);
  EXPECT_EQ(g.rowAt(5), 0);
  EXPECT_EQ(g.colAt(69), 0);
  EXPECT_EQ(g.colAt(70), 1);
  EXPECT_EQ(g.maxLeftOffset(), 50);
  g.setLeftOffset(500);
  EXPECT_EQ(g.leftOffset(), 50);
  g.setTopRow(1000);
  EXPECT_EQ(g.topRow(), 46);
  g.setRow(40);
  g.setRowCount(3);
  EXPECT_EQ(g.rowAt(20 * 3), -1);
  EXPECT_EQ(g.row(), 2);
}

TEST(GridLayout, NavigationKeysMoveTheCurrentRow) {
  GridLayout g;
  g.setColCount(1);
  g.setFixedCols(0);
  g.setFixedRows(0);
  g.setDefaultRowHeight(10);
  g.setRowCount(100);
  g.setClientSize(100, 50);
  g.setRow(0);
  g.moveByKey(Qt::Key_Down, {});
  EXPECT_EQ(g.row(), 1);
  g.moveByKey(Qt::Key_PageDown, {});
  EXPECT_EQ(g.row(), 6);
  EXPECT_EQ(g.lastVisibleRow(), g.topRow() + 4);
  EXPECT_LE(g.row(), g.lastVisibleRow());
  g.moveByKey(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(g.row(), 99);
  EXPECT_EQ(g.topRow(), 95);
  g.moveByKey(Qt::Key_Down, {});
  EXPECT_EQ(g.row(), 99);
  // Ctrl+Up scrolls without moving the cursor.
  g.moveByKey(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(g.topRow(), 94);
  EXPECT_EQ(g.row(), 99);
  g.moveByKey(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(g.row(), 0);
  EXPECT_EQ(g.topRow(), 0);
  g.moveByKey(Qt::Key_Up, {});
  EXPECT_EQ(g.row(), 0);
  EXPECT_FALSE(g.moveByKey(Qt::Key_A, {}));
}

namespace {

// A grid that records the row its key handler saw.
struct ProbeGrid : WGrid {
  int rowSeenByDescendant = -1;
  void KeyDown(int& key, Qt::KeyboardModifiers mods) override {
    WGrid::KeyDown(key, mods);
    rowSeenByDescendant = Row();
  }
};

}  // namespace

TEST(Grid, KeysMoveTheRowBeforeTheDescendantSeesThem) {
  ProbeGrid g;
  g.SetColCount(2);
  g.SetRowCount(100);
  g.SetDefaultRowHeight(20);
  g.resize(200, 200);
  g.show();
  const int first = g.Row();
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.rowSeenByDescendant, first + 1);
  // A handler that consumes the key keeps the row.
  g.OnKeyDown = [](WGrid*, int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_Down) key = 0;
  };
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.Row(), first + 1);
  QTest::keyClick(&g, Qt::Key_PageDown);
  EXPECT_GT(g.Row(), first + 1);
}

TEST(Grid, ScrollBarsFollowTheLayoutBothWays) {
  WGrid g;
  g.SetColCount(3);
  g.SetFixedCols(0);
  g.SetDefaultColWidth(150);
  g.SetRowCount(100);
  g.SetDefaultRowHeight(20);
  g.resize(300, 220);
  g.show();
  g.SetRow(60);
  EXPECT_EQ(g.verticalScrollBar()->value(), g.TopRow() - g.FixedRows());
  EXPECT_LE(g.TopRow(), 60);
  g.verticalScrollBar()->setValue(10);
  EXPECT_EQ(g.TopRow(), 10 + g.FixedRows());
  EXPECT_EQ(g.Row(), 60);  // scrolling does not move the cursor
  g.horizontalScrollBar()->setValue(40);
  EXPECT_EQ(g.HorzScrollPos(), 40);
  EXPECT_EQ(g.CellRect(0, 12).x(), -40);
  EXPECT_EQ(g.horizontalScrollBar()->maximum(), 450 - g.viewport()->width());
}

TEST(Grid, ClicksSelectDataCellsOnly) {
  WGrid g;
  g.SetColCount(2);
  g.SetFixedCols(0);
  g.SetRowCount(10);
  g.SetDefaultRowHeight(20);
  g.resize(200, 240);
  g.show();
  int clicks = 0;
  g.OnClick = [&](WGrid*) { ++clicks; };
  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(10, 20 * 4 + 5));
  EXPECT_EQ(g.Row(), 4);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(10, 5));  // fixed row
  EXPECT_EQ(g.Row(), 4);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(10, 20 * 11));  // below the rows
  EXPECT_EQ(clicks, 1);
}

TEST(Grid, TitleDragMovesAColumnWithItsWidth) {
  struct Recorder : WGrid {
    std::vector<std::pair<int, int>> moves;
    void ColumnMoved(int from, int to) override { moves.push_back({from, to}); }
  } g;
  g.SetColCount(3);
  g.SetFixedCols(0);
  g.SetRowCount(5);
  g.SetDefaultRowHeight(20);
  g.SetColWidth(0, 50);
  g.SetColWidth(1, 80);
  g.SetColWidth(2, 120);
  g.SetOptions(GridLayout::ColMoving | GridLayout::ColSizing);
  g.resize(400, 200);
  g.show();
  QTest::mousePress(g.viewport(), Qt::LeftButton, {}, QPoint(20, 10));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, QPoint(200, 10));
  ASSERT_EQ(g.moves.size(), 1u);
  EXPECT_EQ(g.moves[0], std::make_pair(0, 2));
  EXPECT_EQ(g.ColWidth(0), 80);
  EXPECT_EQ(g.ColWidth(2), 50);
  // A press on a border still sizes, and a drop on the same column moves nothing.
  QTest::mousePress(g.viewport(), Qt::LeftButton, {}, QPoint(80, 10));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, QPoint(90, 10));
  EXPECT_EQ(g.moves.size(), 1u);
  QTest::mousePress(g.viewport(), Qt::LeftButton, {}, QPoint(100, 10));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, QPoint(110, 10));
  EXPECT_EQ(g.moves.size(), 1u);
}
