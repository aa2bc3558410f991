#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "CaptureFixture.h"
#include "MenusEx.h"
#include "WUrlList.h"

namespace qlon {
namespace {

using test::CaptureFixture;

class WUrlListInputTest : public ::testing::Test, public CaptureFixture {
 protected:
  WUrlListInputTest() : grid(usHtml, usFiltered) {
    grid.resize(600, 300);
    grid.SetWeb(&web);
    grid.SortByColumn(0);  // a.htm, b.htm, c.htm, now.htm
    grid.OnPopupMenu = [this](QMenu* menu, QPoint) { popups.push_back(menu); };
    grid.show();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(grid.viewport(), key, mods); }
  // Bits of each row: 1 marked, 2 selected.
  std::vector<int> Flags() const {
    std::vector<int> out;
    for (int i = 0; i < grid.List().Count(); ++i) out.push_back(grid.List().Flags(i));
    return out;
  }
  // A key pressed while Shift stays down (QTest would release it between keys).
  void HeldShift(Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::ShiftModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::ShiftModifier);
    QApplication::sendEvent(grid.viewport(), &press);
    QApplication::sendEvent(grid.viewport(), &release);
  }
  QPoint CellCenter(int col, int row) const { return grid.CellRect(col, row).center(); }
  TWUrlList grid;
  std::vector<QMenu*> popups;
};

TEST_F(WUrlListInputTest, EscapeClearsMarksAndSpaceMarksTheCurrentRowOnly) {
  grid.MarkAll();
  EXPECT_EQ(grid.MarkedCount(), 4);
  Key(Qt::Key_Escape);
  EXPECT_EQ(grid.MarkedCount(), 0);
  EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 0, 0}));
  grid.SetRow(2);
  Key(Qt::Key_Space);
  EXPECT_EQ(Flags(), (std::vector<int>{0, 3, 0, 0}));
  EXPECT_EQ(grid.MarkedCount(), 1);
  // Space again toggles the mark off; moving drops the selection, not the mark.
  Key(Qt::Key_Space);
  EXPECT_EQ(Flags()[1], 2);
  Key(Qt::Key_Space);
  Key(Qt::Key_Down);
  EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 0, 0}));
  EXPECT_EQ(grid.SelectedCount(), 0);
  EXPECT_EQ(grid.Row(), 3);
}

TEST_F(WUrlListInputTest, ShiftDownSelectsAndShiftUpDeselects) {
  grid.SetRow(1);
  QTest::keyPress(grid.viewport(), Qt::Key_Shift);
  EXPECT_TRUE(grid.ShiftHeld());
  EXPECT_EQ(grid.Anchor(), 1);
  HeldShift(Qt::Key_Down);
  HeldShift(Qt::Key_Down);
  HeldShift(Qt::Key_Down);
  EXPECT_EQ(grid.Row(), 4);
  EXPECT_EQ(Flags(), (std::vector<int>{2, 2, 2, 0}));
  EXPECT_EQ(grid.SelectedCount(), 3);
  HeldShift(Qt::Key_Up);
  HeldShift(Qt::Key_Up);
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(Flags(), (std::vector<int>{2, 2, 0, 0}));
  HeldShift(Qt::Key_Up);
  EXPECT_EQ(Flags(), (std::vector<int>{2, 0, 0, 0}));
  EXPECT_EQ(grid.SelectedCount(), 1);
  QTest::keyRelease(grid.viewport(), Qt::Key_Shift);
  EXPECT_FALSE(grid.ShiftHeld());
  // Space marks the whole selection.
  grid.SelectRange(2, 3, 1);
  Key(Qt::Key_Space);
  EXPECT_EQ(grid.MarkedCount(), 3);
}

TEST_F(WUrlListInputTest, PageDownWithShiftExtendsTheRange) {
  grid.resize(600, grid.DefaultRowHeight() * 3 + 4);
  grid.SetRow(1);
  QTest::keyPress(grid.viewport(), Qt::Key_Shift);
  HeldShift(Qt::Key_PageDown);
  ASSERT_GT(grid.Row(), 1);
  for (int r = 1; r <= grid.Row(); ++r) EXPECT_EQ(Flags()[size_t(r - 1)], 2) << r;
  EXPECT_EQ(grid.SelectedCount(), grid.Row());
  QTest::keyRelease(grid.viewport(), Qt::Key_Shift);
}

TEST_F(WUrlListInputTest, ErrorAndFilteredListsNeverShowMarks) {
  for (TWUrlListStyle style : {usErrors, usFiltered}) {
    grid.SetStyle(style);
    ASSERT_GT(grid.List().Count(), 0);
    grid.MarkAll();
    Key(Qt::Key_Space);
    Key(Qt::Key_Down);
    Key(Qt::Key_Space);
    grid.MarkOperation(false, 2);
    EXPECT_EQ(grid.MarkedCount(), 0) << int(style);
    for (int f : Flags()) EXPECT_EQ(f & TUrlList::rfMarked, 0) << int(style);
  }
  grid.SetStyle(usHtml);
  grid.MarkAll();
  grid.ClearMarks();
  EXPECT_EQ(grid.MarkedCount(), 0);
}

TEST_F(WUrlListInputTest, MouseSelectsWithCtrlAndShiftAndAPlainClickDropsIt) {
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(1, 1));
  QTest::keyPress(grid.viewport(), Qt::Key_Control);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellCenter(1, 3));
  EXPECT_EQ(Flags(), (std::vector<int>{2, 0, 2, 0}));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellCenter(1, 3));
  EXPECT_EQ(Flags(), (std::vector<int>{2, 0, 0, 0}));
  QTest::keyRelease(grid.viewport(), Qt::Key_Control);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(1, 2));
  EXPECT_EQ(grid.SelectedCount(), 0);
  QTest::keyPress(grid.viewport(), Qt::Key_Shift);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, CellCenter(1, 4));
  EXPECT_EQ(Flags(), (std::vector<int>{0, 2, 2, 2}));
  QTest::keyRelease(grid.viewport(), Qt::Key_Shift);
}

TEST_F(WUrlListInputTest, HeaderClickSortsOnReleaseAndGripDrags) {
  int sorts = 0;
  grid.OnSortChange = [&](TWUrlList*) { ++sorts; };
  const QPoint caption = CellCenter(0, 0);
  QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, caption);
  EXPECT_TRUE(grid.SortClickPending());
  EXPECT_EQ(sorts, 0);
  QTest::mouseRelease(grid.viewport(), Qt::LeftButton, Qt::NoModifier, caption);
  EXPECT_FALSE(grid.SortClickPending());
  EXPECT_EQ(sorts, 1);
  EXPECT_EQ(grid.List().SortOrder(), soDescending);  // it was ascending by URL already
  EXPECT_EQ(grid.List().Url(0), Url("now.htm"));

  // The grip at the caption's left edge moves the column instead.
  const QRect first = grid.CellRect(0, 0);
  const QPoint grip(first.x() + 2, first.center().y());
  EXPECT_EQ(grid.HeaderHitTest(grip.x(), grip.y()), TWUrlList::hhDrag);
  QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, grip);
  EXPECT_TRUE(grid.ColumnDragPending());
  QTest::mouseRelease(grid.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(2, 0));
  EXPECT_FALSE(grid.ColumnDragPending());
  EXPECT_EQ(sorts, 1);
  EXPECT_EQ(grid.Columns()[2].Id, 0);
  EXPECT_EQ(grid.Columns()[0].Id, 1);
  EXPECT_EQ(grid.Layout(usHtml).Cols[2].Id, 0);
}

TEST_F(WUrlListInputTest, RightButtonOpensTheColumnMenuOrTheStyleMenu) {
  QMenu styleMenu;
  grid.SetStylePopup(usHtml, &styleMenu);
  QTest::mouseClick(grid.viewport(), Qt::RightButton, Qt::NoModifier, CellCenter(1, 0));
  QTest::mouseClick(grid.viewport(), Qt::RightButton, Qt::NoModifier, CellCenter(1, 2));
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0], static_cast<QMenu*>(grid.ColumnMenu()));
  EXPECT_EQ(popups[1], &styleMenu);
  EXPECT_EQ(grid.ColumnMenuColumn(), 1);
  // "Ordre de tri décroissant" on the title column.
  const auto actions = grid.ColumnMenu()->actions();
  ASSERT_EQ(actions.size(), 6);
  EXPECT_EQ(actions[5]->text(), "Ajouter la colonne");
  actions[1]->trigger();
  EXPECT_EQ(grid.List().SortColumn(), skTitle);
  EXPECT_EQ(grid.List().SortOrder(), soDescending);
  // "Supprimer la colonne" removes it from the layout.
  actions[4]->trigger();
  EXPECT_EQ(grid.ColCount(), 4);
  EXPECT_NE(grid.Columns()[1].Id, 1);
}

TEST_F(WUrlListInputTest, SelectedAndCurrentRowsDrawHighlighted) {
  grid.SetRow(1);
  grid.SelectRow(3, 1);
  grid.MarkOperation(true, 1);
  auto pixel = [&](int row, int x) {
    const QRect r = grid.CellRect(1, row);
    QImage img(r.size(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    grid.PaintCell(p, 1, row, QRect(QPoint(0, 0), r.size()));
    p.end();
    return img.pixelColor(x < 0 ? r.width() - 2 : x, 1);
  };
  const QColor highlight = grid.palette().color(QPalette::Highlight);
  EXPECT_EQ(pixel(1, -1), highlight);
  EXPECT_EQ(pixel(3, -1), highlight);
  EXPECT_NE(pixel(2, -1), highlight);
  // The request list never highlights.
  TWUrlList requests(usRequest, usRequest);
  requests.SetWeb(&web);
  const QRect r = requests.CellRect(0, 1);
  QImage img(r.size(), QImage::Format_RGB32);
  QPainter p(&img);
  requests.PaintCell(p, 0, 1, QRect(QPoint(0, 0), r.size()));
  p.end();
  EXPECT_NE(img.pixelColor(r.width() - 2, 1), highlight);
}

}  // namespace
}  // namespace qlon
