#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "WTree.h"

using namespace qlon::controls;

namespace {

// Row r's vertical centre, and the x of a node part for a node of level l.
int rowY(int r) { return r * 18 + 9; }
int buttonX(int level) { return (level - 1) * 18 + 9; }

class TreeWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.resize(320, 200);
    tree.show();
    tree.OnBeep = [this] { ++beeps; };
    tree.OnBeforeExpand = [this](TCustomWTree*, TWTreeNode* n) { log.push_back("before-expand " + n->text); };
    tree.OnAfterExpand = [this](TCustomWTree*, TWTreeNode* n) { log.push_back("after-expand " + n->text); };
    tree.OnBeforeCollapse = [this](TCustomWTree*, TWTreeNode* n) { log.push_back("before-collapse " + n->text); };
    tree.OnAfterCollapse = [this](TCustomWTree*, TWTreeNode* n) { log.push_back("after-collapse " + n->text); };
    tree.OnAction = [this](TCustomWTree*, TWTreeNode* n) { log.push_back("action " + n->text); };
    // folder
    //   f1 (check box)
    //   f2
    // leaf
    folder = tree.AddChild(nullptr, "folder", TWTreeNode::knFolder);
    f1 = tree.AddChild(folder, "f1");
    f1->SetHasCheckBox(true);
    f2 = tree.AddChild(folder, "f2");
    leaf = tree.AddChild(nullptr, "leaf");
  }
  void click(int x, int y) { QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(x, y)); }
  void key(int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(&tree, Qt::Key(k), m); }
  TWTreeNode* current() { return tree.NodeAtRow(tree.Row()); }

  TCustomWTree tree;
  TWTreeNode *folder, *f1, *f2, *leaf;
  int beeps = 0;
  std::vector<QString> log;
};

}  // namespace

TEST_F(TreeWidget, ClickOnExpandBoxTogglesAndFiresHooks) {
  ASSERT_EQ(tree.RowCount(), 2);
  click(buttonX(1), rowY(0));
  EXPECT_TRUE(folder->GetExpanded());
  EXPECT_EQ(tree.RowCount(), 4);
  EXPECT_EQ(log, (std::vector<QString>{"before-expand folder", "after-expand folder"}));
  log.clear();
  click(buttonX(1), rowY(0));
  EXPECT_FALSE(folder->GetExpanded());
  EXPECT_EQ(log, (std::vector<QString>{"before-collapse folder", "after-collapse folder"}));
  // The folder icon toggles as well; the text does not.
  click(18 + 9, rowY(0));
  EXPECT_TRUE(folder->GetExpanded());
  click(18 + 18 + 10, rowY(0));
  EXPECT_TRUE(folder->GetExpanded());
}

TEST_F(TreeWidget, ClickOnCheckBoxTogglesAndFiresOnCheck) {
  folder->SetExpanded(true);
  int checks = 0;
  tree.OnCheck = [&](TCustomWTree*, TWTreeNode* n) { EXPECT_EQ(n, f1); ++checks; };
  // f1: level 2, leaf, kind 0: the check box follows the (absent) button.
  const int boxX = buttonX(2) + 18;
  click(boxX, rowY(1));
  EXPECT_EQ(f1->GetCheckState(), 1);
  EXPECT_EQ(checks, 1);
  click(boxX, rowY(1));
  EXPECT_EQ(f1->GetCheckState(), 0);
  // Three-state boxes cycle.
  f1->SetThreeState(true);
  for (int expected : {1, 2, 0}) {
    click(boxX, rowY(1));
    EXPECT_EQ(f1->GetCheckState(), expected);
  }
  // With option 4 the handler decides.
  tree.SetOptions(tree.Options() | TCustomWTree::toCheckByHandler);
  click(boxX, rowY(1));
  EXPECT_EQ(f1->GetCheckState(), 0);
  EXPECT_EQ(checks, 6);
  // A disabled node's box does nothing.
  f1->SetEnabled(false);
  click(boxX, rowY(1));
  EXPECT_EQ(checks, 6);
}

TEST_F(TreeWidget, LeafButtonZoneBelongsToItsText) {
  EXPECT_EQ(tree.PartAt(buttonX(1), rowY(1)), TCustomWTree::npText);
  EXPECT_EQ(tree.PartAt(buttonX(1), rowY(0)), TCustomWTree::npButton);
  click(buttonX(1), rowY(1));
  EXPECT_EQ(current(), leaf);
  EXPECT_TRUE(log.empty());
}

TEST_F(TreeWidget, ActionZoneAndDoubleClickFireOnAction) {
  tree.SetRow(1);
  const int textEnd = 18 + 2 + QFontMetrics(tree.font()).horizontalAdvance("leaf") + 3;
  EXPECT_EQ(tree.PartAt(textEnd + 9, rowY(1)), TCustomWTree::npAction);
  click(textEnd + 9, rowY(1));
  EXPECT_EQ(log, (std::vector<QString>{"action leaf"}));
  log.clear();
  QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(1)));
  EXPECT_EQ(log, (std::vector<QString>{"action leaf"}));
  // Without the option the zone is gone.
  tree.SetOptions(0);
  EXPECT_EQ(tree.PartAt(textEnd + 9, rowY(1)), TCustomWTree::npNone);
}

TEST_F(TreeWidget, KeysMoveExpandAndCollapse) {
  tree.SetRow(0);
  key(Qt::Key_Right);  // collapsed: beep, no expansion
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(folder->GetExpanded());
  QTest::keyClicks(&tree, "+");
  EXPECT_TRUE(folder->GetExpanded());
  key(Qt::Key_Right);
  EXPECT_EQ(current(), f1);
  key(Qt::Key_Down);
  EXPECT_EQ(current(), f2);
  EXPECT_EQ(tree.GetSelectedNode(), f2);
  key(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(current(), f1);
  key(Qt::Key_Up, Qt::ControlModifier);  // first child
  EXPECT_EQ(beeps, 2);
  key(Qt::Key_Left);
  EXPECT_EQ(current(), folder);
  key(Qt::Key_Left);  // top level
  EXPECT_EQ(beeps, 3);
  key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(current(), leaf);
  key(Qt::Key_Home);
  EXPECT_EQ(current(), folder);
  QTest::keyClicks(&tree, "-");
  EXPECT_FALSE(folder->GetExpanded());
  key(Qt::Key_Return);
  EXPECT_TRUE(folder->GetExpanded());
  key(Qt::Key_End);
  EXPECT_EQ(current(), leaf);
  log.clear();
  key(Qt::Key_Return);  // a leaf's Enter is its action
  EXPECT_EQ(log, (std::vector<QString>{"action leaf"}));
}

TEST_F(TreeWidget, SpaceTogglesCheckAndKeypadStarExpandsAll) {
  TWTreeNode* deep = tree.AddChild(f2, "deep");
  tree.AddChild(deep, "deeper");
  key(Qt::Key_Asterisk, Qt::ControlModifier | Qt::KeypadModifier);
  EXPECT_TRUE(folder->GetExpanded());
  EXPECT_TRUE(f2->GetExpanded());
  EXPECT_TRUE(deep->GetExpanded());
  EXPECT_EQ(tree.RowCount(), 6);
  tree.SetRow(1);
  key(Qt::Key_Space);
  EXPECT_EQ(f1->GetCheckState(), 1);
}

TEST_F(TreeWidget, NodeIndexUnderPoint) {
  EXPECT_EQ(tree.GetNodeIndexAt(5, rowY(1)), leaf->GetIndex());
  EXPECT_EQ(tree.GetNodeIndexAt(5, rowY(5)), -1);
  tree.Clear();
  EXPECT_EQ(tree.RowCount(), 0);
  EXPECT_EQ(tree.GetNodeIndexAt(5, rowY(0)), -1);
  EXPECT_EQ(tree.GetItemCount(), 0);
}

TEST_F(TreeWidget, FileNodeZonesFollowTheCheckOption) {
  TWTreeNode* file = tree.AddChild(nullptr, "dir/page.htm", TWTreeNode::knFile);
  file->SetHasCheckBox(true);
  const int y = rowY(2);
  const int x0 = 18;  // after the (leaf) button zone
  EXPECT_EQ(tree.PartAt(x0 + 9, y), TCustomWTree::npIcon);
  EXPECT_EQ(tree.PartAt(x0 + 18 + 9, y), TCustomWTree::npCheck);
  EXPECT_EQ(tree.PartAt(x0 + 36 + 9, y), TCustomWTree::npText);
  tree.SetOptions(tree.Options() | TCustomWTree::toCheckFirst);
  EXPECT_EQ(tree.PartAt(x0 + 9, y), TCustomWTree::npCheck);
  EXPECT_EQ(tree.PartAt(x0 + 18 + 9, y), TCustomWTree::npIcon);
  EXPECT_EQ(tree.PartAt(x0 + 36 + 9, y), TCustomWTree::npText);
}

TEST_F(TreeWidget, HintShowsOnlyOverCutText) {
  TWTreeNode* wide = tree.AddChild(nullptr, QString(80, 'W'));
  tree.AddChild(wide, "child");  // gives the row a button zone
  const int y = rowY(wide->Parent()->ChildCount() - 1);
  QTest::mouseMove(tree.viewport(), QPoint(40, y));
  EXPECT_TRUE(tree.Hint().isVisible());
  EXPECT_EQ(tree.Hint().text(), wide->text);
  QTest::mouseMove(tree.viewport(), QPoint(2, y));  // on the button
  EXPECT_FALSE(tree.Hint().isVisible());
  QTest::mouseMove(tree.viewport(), QPoint(60, y));
  EXPECT_TRUE(tree.Hint().isVisible());
  QTest::mouseMove(tree.viewport(), QPoint(30, rowY(1)));  // "leaf" fits
  EXPECT_FALSE(tree.Hint().isVisible());
}

TEST_F(TreeWidget, PartialCheckDrawsCheckedMarkOnSilver) {
  f1->SetCheckState(1);
  folder->SetExpanded(true);
  auto paint = [&](int row) {
    QImage img(320, 18, QImage::Format_RGB32);
    QPainter p(&img);
    tree.SetRow(0);
    tree.PaintRow(p, row, QRect(0, 0, 320, 18), false);
    return img;
  };
  const int boxX = 18 + 18;  // level 2, leaf zone
  const QRgb checkedCorner = paint(1).pixel(boxX + 1, 1);
  f1->SetCheckValue(3);
  const QImage partial = paint(1);
  EXPECT_EQ(QColor(partial.pixel(boxX + 1, 1)), QColor(192, 192, 192));
  EXPECT_NE(partial.pixel(boxX + 1, 1), checkedCorner);
  // The mark itself is the checked one.
  f1->SetCheckValue(1);
  const QImage checked = paint(1);
  for (int x = boxX + 4; x < boxX + 13; ++x)
    for (int y = 4; y < 13; ++y) ASSERT_EQ(checked.pixel(x, y), partial.pixel(x, y)) << x << "," << y;
}

TEST_F(TreeWidget, SuffixDrawsItalicPartAtRightEdge) {
  TWTreeNode* mime = tree.AddChild(nullptr, "text/html#htm html");
  const int row = 2;
  auto inkNearRightEdge = [&] {
    QImage img(320, 18, QImage::Format_RGB32);
    QPainter p(&img);
    tree.PaintRow(p, row, QRect(0, 0, 320, 18), false);
    const QRgb bg = img.pixel(319, 0);
    for (int x = 280; x < 318; ++x)
      for (int y = 0; y < 18; ++y)
        if (img.pixel(x, y) != bg) return true;
    return false;
  };
  tree.SetRow(0);
  EXPECT_FALSE(inkNearRightEdge());
  mime->SetShowSuffix(true);
  EXPECT_TRUE(inkNearRightEdge());
}

namespace {
void moveWithButton(QWidget* w, QPoint at) {
  QMouseEvent e(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(w, &e);
}
}  // namespace

TEST_F(TreeWidget, DragInsideTheTreeDropsOnAcceptedRow) {
  std::vector<QString> drag;
  tree.OnStartDrag = [&](WGrid*) { drag.push_back("start"); };
  tree.OnDragOver = [&](WGrid*, WGrid* source, int x, int y, TDragState st, bool& accept) {
    EXPECT_EQ(source, &tree);
    tree.TrackMouse(x, y);
    drag.push_back(st == dsDragEnter ? "enter" : st == dsDragMove ? "move" : "leave");
    accept = tree.MouseRow() == 1;  // only "leaf" takes the drop
  };
  tree.OnDragDrop = [&](WGrid*, WGrid*, int, int y) { drag.push_back("drop " + tree.NodeAtRow(y / 18)->text); };
  tree.OnEndDrag = [&](WGrid*, WGrid* target, int, int) { drag.push_back(target ? "end on target" : "end"); };
  QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(0)));
  tree.BeginDrag(true);
  EXPECT_TRUE(tree.Dragging());
  moveWithButton(tree.viewport(), QPoint(30, rowY(0)));
  EXPECT_TRUE(tree.DragOver());  // the row under the mouse takes the selected look
  moveWithButton(tree.viewport(), QPoint(30, rowY(1)));
  QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(1)));
  EXPECT_EQ(drag, (std::vector<QString>{"start", "enter", "move", "drop leaf", "end on target"}));
  EXPECT_FALSE(tree.Dragging());
  EXPECT_FALSE(tree.DragOver());
  EXPECT_TRUE(log.empty());  // the drop was no click
}

TEST_F(TreeWidget, RefusedOrCancelledDragDropsNothing) {
  int drops = 0;
  WGrid* endTarget = &tree;
  tree.OnDragOver = [](WGrid*, WGrid*, int, int, TDragState, bool& accept) { accept = false; };
  tree.OnDragDrop = [&](WGrid*, WGrid*, int, int) { ++drops; };
  tree.OnEndDrag = [&](WGrid*, WGrid* target, int, int) { endTarget = target; };
  tree.BeginDrag(true);
  moveWithButton(tree.viewport(), QPoint(30, rowY(1)));
  QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(1)));
  EXPECT_EQ(drops, 0);
  EXPECT_EQ(endTarget, nullptr);
  // Escape cancels; a move handler may end the drag itself.
  tree.OnDragOver = [](WGrid*, WGrid*, int, int, TDragState, bool& accept) { accept = true; };
  tree.BeginDrag(true);
  moveWithButton(tree.viewport(), QPoint(30, rowY(1)));
  QTest::keyClick(&tree, Qt::Key_Escape);
  EXPECT_FALSE(tree.Dragging());
  EXPECT_EQ(drops, 0);
  tree.OnMouseMove = [&](WGrid* g, Qt::MouseButtons, int, int) { static_cast<WGrid*>(g)->EndDrag(false); };
  tree.BeginDrag(true);
  moveWithButton(tree.viewport(), QPoint(30, rowY(1)));
  EXPECT_FALSE(tree.Dragging());
}

TEST_F(TreeWidget, AutomaticDragWaitsForTheMouseToMove) {
  bool started = false;
  tree.SetDragMode(dmAutomatic);
  tree.OnStartDrag = [&](WGrid*) { started = true; };
  QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(0)));
  moveWithButton(tree.viewport(), QPoint(31, rowY(0)));
  EXPECT_FALSE(started);
  moveWithButton(tree.viewport(), QPoint(30, rowY(1)));
  EXPECT_TRUE(started);
  QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, QPoint(30, rowY(1)));
  EXPECT_FALSE(tree.Dragging());
  // A press and release without moving is a plain click.
  started = false;
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(buttonX(1), rowY(0)));
  EXPECT_FALSE(started);
  EXPECT_TRUE(folder->GetExpanded());
}

TEST_F(TreeWidget, ColumnFitsTheWidestShownNode) {
  tree.SetScrollBars(WGrid::ssBoth);
  tree.AdjustColumnWidth();
  EXPECT_EQ(tree.ColWidth(0), tree.viewport()->width());  // everything fits
  TWTreeNode* wide = tree.AddChild(f1, QString(120, 'm'));
  EXPECT_EQ(tree.ColWidth(0), tree.viewport()->width());  // hidden: no change
  folder->SetExpanded(true);
  f1->SetExpanded(true);
  const int expected = 3 * 18 + QFontMetrics(tree.font()).horizontalAdvance(wide->text) + 6;
  EXPECT_EQ(tree.ColWidth(0), expected);
  EXPECT_GT(tree.horizontalScrollBar()->maximum(), 0);
  folder->SetExpanded(false);
  EXPECT_EQ(tree.ColWidth(0), tree.viewport()->width());
  // Added while shown: the column widens at once.
  tree.AddChild(nullptr, QString(150, 'm'));
  EXPECT_GT(tree.ColWidth(0), expected);
}

TEST_F(TreeWidget, StateImagesAndUnknownKinds) {
  // A strip of two 10x10 state images: red for state 0, blue for state 1.
  QPixmap strip(20, 10);
  {
    QPainter p(&strip);
    p.fillRect(0, 0, 10, 10, Qt::red);
    p.fillRect(10, 0, 10, 10, Qt::blue);
    p.fillRect(0, 0, 2, 2, QColor(255, 0, 255));  // transparent corner
  }
  tree.SetStateBitmap(strip);
  leaf->SetFlags(TWTreeNode::nfStateImage);
  auto paintLeaf = [&] {
    QImage img(320, 18, QImage::Format_RGB32);
    QPainter p(&img);
    tree.PaintRow(p, 1, QRect(0, 0, 320, 18), false);
    return img;
  };
  // The state zone follows the (leaf) button zone and is h + 2 wide.
  EXPECT_EQ(tree.PartAt(18 + 5, rowY(1)), TCustomWTree::npCheck);
  EXPECT_EQ(tree.PartAt(18 + 12 + 3, rowY(1)), TCustomWTree::npText);
  QImage img = paintLeaf();
  EXPECT_EQ(QColor(img.pixel(18 + 1 + 5, 1 + 5)), QColor(Qt::red));
  EXPECT_EQ(QColor(img.pixel(18 + 1, 1)), tree.Color());  // magenta shows the background
  leaf->SetCheckValue(1);
  img = paintLeaf();
  EXPECT_EQ(QColor(img.pixel(18 + 1 + 5, 1 + 5)), QColor(Qt::blue));
  // A kind the tree does not know shows only its button.
  leaf->kind = 7;
  tree.SetRow(0);
  img = paintLeaf();
  for (int x = 18; x < 320; ++x)
    for (int y = 0; y < 18; ++y) ASSERT_EQ(QColor(img.pixel(x, y)), tree.Color()) << x << "," << y;
}

TEST_F(TreeWidget, LastCheckStyleWithNextStyleFlagStillDrawsABox) {
  folder->SetExpanded(true);
  tree.SetCheckStyle(3);
  f1->SetFlags(TWTreeNode::nfCheckBox | TWTreeNode::nfNextCheckStyle);
  f1->SetCheckValue(1);
  QImage img(320, 18, QImage::Format_RGB32);
  {
    QPainter p(&img);
    tree.PaintRow(p, 1, QRect(0, 0, 320, 18), false);
  }
  const int boxX = 18 + 18;
  int ink = 0;
  for (int x = boxX + 1; x < boxX + 17; ++x)
    for (int y = 1; y < 17; ++y) ink += QColor(img.pixel(x, y)) != tree.Color();
  EXPECT_GT(ink, 20);
}

TEST_F(TreeWidget, KeyboardMovesClickWithoutActingOnNodeParts) {
  int clicks = 0;
  tree.OnClick = [&](WGrid*) { ++clicks; };
  TWTreeNode* other = tree.AddChild(nullptr, "other");
  tree.AddChild(other, "child");
  // The mouse rests on the button of the current row.
  tree.SetRow(0);
  QTest::mouseMove(tree.viewport(), QPoint(buttonX(1), rowY(0)));
  ASSERT_EQ(tree.CurrentRowPart(), TCustomWTree::npButton);
  EXPECT_EQ(clicks, 0);  // moving the cursor from code is no click
  QTest::keyClick(&tree, Qt::Key_End);  // the tree's own move
  EXPECT_EQ(current(), other);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(other->GetExpanded());
  QTest::keyClick(&tree, Qt::Key_Up);  // the grid's move
  EXPECT_EQ(current(), leaf);
  EXPECT_EQ(clicks, 2);
  QTest::keyClick(&tree, Qt::Key_Home);
  QTest::keyClick(&tree, Qt::Key_Up);  // already at the top: no move, no click
  EXPECT_EQ(clicks, 3);
  EXPECT_FALSE(folder->GetExpanded());
}
