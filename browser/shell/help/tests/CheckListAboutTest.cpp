#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include "DlgAbout.h"
#include "Label3D.h"
#include "WCheckListBox.h"

namespace qlon {
namespace {

class CheckListTest : public ::testing::Test {
 protected:
  CheckListTest() {
    list.resize(200, 120);
    list.addItems({"premier", "second", "troisième"});
    list.show();
  }
  QPoint ItemPoint(int row, int x) {
    const QRect r = list.visualItemRect(list.item(row));
    return {r.left() + x, r.top() + 4};
  }
  TWCheckListBox list;
};

TEST_F(CheckListTest, IndexesOutsideTheItemsAreIgnored) {
  EXPECT_FALSE(list.Checked(3));
  EXPECT_FALSE(list.Checked(-1));
  list.SetChecked(3, true);
  list.SetChecked(-1, true);
  EXPECT_EQ(list.CheckedCount(), 0);
  list.SetChecked(2, true);
  list.SetChecked(0, true);
  EXPECT_TRUE(list.Checked(2));
  EXPECT_FALSE(list.Checked(1));
  EXPECT_EQ(list.CheckedCount(), 2);
  list.SetChecked(2, false);
  EXPECT_EQ(list.CheckedCount(), 1);
}

TEST_F(CheckListTest, PressOnTheBoxTogglesAndOnTheTextOnlySelects) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ItemPoint(1, 60));
  EXPECT_EQ(list.currentRow(), 1);
  EXPECT_FALSE(list.Checked(1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ItemPoint(1, 5));
  EXPECT_TRUE(list.Checked(1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ItemPoint(1, 5));
  EXPECT_FALSE(list.Checked(1));
  // Below the last item: nothing to toggle.
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, 110));
  EXPECT_EQ(list.CheckedCount(), 0);
}

TEST_F(CheckListTest, SpaceTogglesTheCurrentEnabledItem) {
  list.setCurrentRow(2);
  QTest::keyClick(&list, Qt::Key_Space);
  EXPECT_TRUE(list.Checked(2));
  QTest::keyClick(&list, Qt::Key_Space);
  EXPECT_FALSE(list.Checked(2));
  list.item(0)->setFlags(list.item(0)->flags() & ~Qt::ItemIsEnabled);
  list.setCurrentRow(0);
  QTest::keyClick(&list, Qt::Key_Space);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ItemPoint(0, 5));
  EXPECT_FALSE(list.Checked(0));
}

TEST_F(CheckListTest, SelectedItemFillsItsTextWithTheHighlight) {
  QImage img(200, TWCheckListBox::kItemHeight, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    list.DrawItem(p, 0, img.rect(), true, false);
  }
  const QColor highlight = list.palette().color(QPalette::Highlight);
  EXPECT_EQ(img.pixelColor(190, 1), highlight);
  EXPECT_EQ(img.pixelColor(TWCheckListBox::kTextIndent + 1, 1), highlight);
  EXPECT_EQ(img.pixelColor(TWCheckListBox::kCheckSize + 2, 1), list.palette().color(QPalette::Base));
  {
    QPainter p(&img);
    list.DrawItem(p, 0, img.rect(), false, false);
  }
  EXPECT_EQ(img.pixelColor(190, 1), list.palette().color(QPalette::Base));
}

// The darkest pixel of the text area (after the check box) of a drawn row.
int DarkestText(TWCheckListBox& list, bool selected, bool focused) {
  QImage img(200, TWCheckListBox::kItemHeight, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    list.DrawItem(p, 0, img.rect(), selected, focused);
  }
  int darkest = 255;
  for (int y = 2; y < img.height() - 2; ++y)
    for (int x = TWCheckListBox::kTextIndent + 2; x < 120; ++x) darkest = std::min(darkest, qGray(img.pixel(x, y)));
  return darkest;
}

TEST_F(CheckListTest, TextStaysReadableWhenTheItemHasTheFocusOnly) {
  // The list's first item takes the focus without being selected.
  QPalette pal = list.palette();
  pal.setColor(QPalette::Base, Qt::white);
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::Highlight, QColor(0, 0, 128));
  list.setPalette(pal);
  EXPECT_LT(DarkestText(list, false, true), 100);

  // As a person sees it: the dialog's list with the first row current.
  list.setCurrentRow(0, QItemSelectionModel::NoUpdate);
  list.setFocus();
  const QImage shot = list.viewport()->grab().toImage();
  const QRect row = list.visualItemRect(list.item(0));
  int darkest = 255;
  for (int y = row.top() + 3; y < row.bottom() - 3; ++y)
    for (int x = row.left() + TWCheckListBox::kTextIndent + 2; x < row.left() + 70; ++x)
      darkest = std::min(darkest, qGray(shot.pixel(x, y)));
  EXPECT_LT(darkest, qGray(list.palette().color(QPalette::Base).rgb()) - 100);
}

void MoveOver(QWidget* w) { QTest::mouseMove(w, QPoint(3, 3)); }

TEST(AboutBox, LinksLightUpUnderTheMouseAndOpenInTheBrowser) {
  TDlgAbout about;
  std::vector<std::string> opened;
  about.OpenAddress = [&](const std::string& a) { opened.push_back(a); };
  about.show();
  EXPECT_EQ(about.VersionLabel->text(), "Version 2.03");
  EXPECT_EQ(about.QuillonLabel->text(), "Quillon  98");
  const auto ink = [](QLabel* l) { return l->palette().color(QPalette::WindowText); };
  MoveOver(about.LabelContact);
  EXPECT_EQ(ink(about.LabelContact), QColor(Qt::blue));
  EXPECT_EQ(ink(about.QuillonUrlLabel), QColor(Qt::black));
  MoveOver(about.Panel1);
  EXPECT_EQ(ink(about.LabelContact), QColor(Qt::black));
  MoveOver(about.QuillonUrlLabel);
  MoveOver(about.Label4);
  EXPECT_EQ(ink(about.QuillonUrlLabel), QColor(Qt::black));

  QTest::mouseClick(about.LabelContact, Qt::LeftButton);
  QTest::mouseClick(about.QuillonUrlLabel, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], std::string("mailto:") + TDlgAbout::kContact);
  EXPECT_EQ(opened[1], TDlgAbout::kHomePage);
}

}  // namespace
}  // namespace qlon
