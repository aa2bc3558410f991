#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

#include "ExImage.h"

using namespace qlon::controls;

namespace {

QImage solid(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

// A control whose client area is w x h while both bars show.
void sizeWithBars(TExImage& ex, int w, int h) {
  const int bar = ex.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &ex);
  ex.resize(w + bar, h + bar);
}

}  // namespace

TEST(ExImage, SmallCentredBitmapHasNoBars) {
  TExImage ex;
  ex.resize(300, 200);
  ex.SetColor(Qt::white);
  ex.SetCenter(true);
  ex.SetBitmap(solid(100, 100, Qt::red));
  ex.show();
  EXPECT_EQ(ex.Margins(), QPoint(100, 50));
  EXPECT_EQ(ex.HorzRange(), 0);
  EXPECT_EQ(ex.VertRange(), 0);
  EXPECT_FALSE(ex.horizontalScrollBar()->isVisible());
  const QImage shot = ex.viewport()->grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(100, 50)), QColor(Qt::red));
  EXPECT_EQ(QColor(shot.pixel(99, 50)), QColor(Qt::white));
  EXPECT_EQ(QColor(shot.pixel(199, 149)), QColor(Qt::red));
  EXPECT_EQ(QColor(shot.pixel(200, 150)), QColor(Qt::white));
  EXPECT_FALSE(ex.IsOpaque());
}

TEST(ExImage, LargeBitmapScrollsByEveryCommand) {
  TExImage ex;
  sizeWithBars(ex, 400, 300);
  ex.SetBitmap(solid(1000, 800, Qt::blue));
  ex.show();
  ASSERT_EQ(ex.viewport()->size(), QSize(400, 300));
  EXPECT_EQ(ex.HorzRange(), 600);
  EXPECT_EQ(ex.VertRange(), 500);
  EXPECT_TRUE(ex.IsOpaque());
  struct Step {
    int code, thumb, expected;
  } steps[] = {
      {TExImage::SB_LINEDOWN, 0, 1},        {TExImage::SB_PAGEDOWN, 0, 17},
      {TExImage::SB_PAGEUP, 0, 1},          {TExImage::SB_LINEUP, 0, 0},
      {TExImage::SB_LINEUP, 0, 0},          {TExImage::SB_THUMBTRACK, 300, 300},
      {TExImage::SB_THUMBPOSITION, 9999, 600}, {TExImage::SB_TOP, 0, 0},
      {TExImage::SB_BOTTOM, 0, 600},        {TExImage::SB_ENDSCROLL, 0, 600},
  };
  for (const Step& s : steps) {
    ex.ScrollMessage(Qt::Horizontal, s.code, s.thumb);
    EXPECT_EQ(ex.HorzPos(), s.expected) << "code " << s.code;
  }
  ex.ScrollMessage(Qt::Vertical, TExImage::SB_BOTTOM);
  EXPECT_EQ(ex.VertPos(), 500);
}

TEST(ExImage, DragAndKeysScroll) {
  TExImage ex;
  sizeWithBars(ex, 400, 300);
  ex.SetBitmap(solid(1000, 800, Qt::blue));
  ex.show();
  QTest::mousePress(ex.viewport(), Qt::LeftButton, {}, QPoint(100, 100));
  QMouseEvent move(QEvent::MouseMove, QPointF(110, 100), ex.viewport()->mapToGlobal(QPointF(110, 100)),
                   Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(ex.viewport(), &move);
  EXPECT_EQ(ex.HorzPos(), 40);
  EXPECT_EQ(ex.VertPos(), 0);
  QTest::keyClick(&ex, Qt::Key_Right);
  EXPECT_EQ(ex.HorzPos(), 44);
  QTest::keyClick(&ex, Qt::Key_Down);
  QTest::keyClick(&ex, Qt::Key_Down);
  EXPECT_EQ(ex.VertPos(), 8);
  QTest::keyClick(&ex, Qt::Key_Up);
  EXPECT_EQ(ex.VertPos(), 4);
  ex.ScrollHorizontal(-1000);
  EXPECT_EQ(ex.HorzPos(), 0);
  ex.ScrollHorizontal(5000);
  EXPECT_EQ(ex.HorzPos(), 600);
  QTest::keyClick(&ex, Qt::Key_Home);
  EXPECT_EQ(ex.HorzPos(), 0);
  EXPECT_EQ(ex.VertPos(), 0);
}

TEST(ExImage, StretchAndAutoSizeNeverScroll) {
  for (int mode = 0; mode < 2; ++mode) {
    TExImage ex;
    sizeWithBars(ex, 400, 300);
    if (mode == 0) ex.SetStretch(true);
    else ex.SetAutoSize(true);
    ex.SetBitmap(solid(1000, 800, Qt::blue));
    ex.show();
    EXPECT_EQ(ex.HorzRange(), 0);
    EXPECT_EQ(ex.VertRange(), 0);
    QTest::mousePress(ex.viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), ex.viewport()->mapToGlobal(QPointF(30, 30)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(ex.viewport(), &move);
    EXPECT_EQ(ex.HorzPos(), 0);
    if (mode == 1) {
      ex.SetBitmap(solid(300, 200, Qt::blue));
      EXPECT_EQ(ex.viewport()->size(), QSize(300, 200));
    }
  }
}

TEST(ExImage, OwnerPaintsOverTheVisiblePart) {
  TExImage ex;
  sizeWithBars(ex, 400, 300);
  std::vector<std::array<int, 3>> calls;
  ex.OnPaint = [&](TExImage*, QPainter& p, int h, int v, int m) {
    calls.push_back({h, v, m});
    p.fillRect(QRect(0, 0, 5, 5), Qt::green);
  };
  ex.show();
  ex.viewport()->grab();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), (std::array<int, 3>{0, 0, 0}));  // empty bitmap
  ex.SetBitmap(solid(1000, 800, Qt::blue));
  ex.ScrollHorizontal(40);
  ex.ScrollVertical(8);
  const QImage shot = ex.viewport()->grab().toImage();
  EXPECT_EQ(calls.back(), (std::array<int, 3>{40, 8, 0}));
  EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(Qt::green));
  {
    auto canvas = ex.GetCanvas();
    canvas->fillRect(QRect(40, 8, 10, 10), Qt::yellow);
  }
  EXPECT_EQ(QColor(ex.viewport()->grab().toImage().pixel(6, 6)), QColor(Qt::yellow));
}

TEST(QLImage, DestinationFollowsStretchAndCentre) {
  TQLImage img;
  img.resize(300, 200);
  img.SetPicture(solid(100, 50, Qt::red));
  EXPECT_EQ(img.DestRect(), QRect(0, 0, 100, 50));
  EXPECT_FALSE(img.IsOpaque());  // smaller than the control
  img.SetCenter(true);
  EXPECT_EQ(img.DestRect(), QRect(100, 75, 100, 50));
  img.SetStretch(true);
  EXPECT_EQ(img.DestRect(), QRect(0, 0, 300, 200));
  EXPECT_TRUE(img.IsOpaque());
  img.SetTransparent(true);
  EXPECT_FALSE(img.IsOpaque());
  img.SetAutoSize(true);
  EXPECT_EQ(img.size(), QSize(100, 50));
  img.SetPicture(QImage());
  EXPECT_FALSE(img.IsOpaque());
}

TEST(QLImage, TransparentPictureKeysOutItsCornerColour) {
  QImage pic = solid(20, 20, Qt::magenta);
  pic.setPixel(10, 10, qRgb(0, 0, 255));
  TQLImage img;
  img.resize(20, 20);
  img.SetTransparent(true);
  img.SetPicture(pic);
  QImage shot(20, 20, QImage::Format_RGB32);
  shot.fill(Qt::white);
  img.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(Qt::white));
  EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(0, 0, 255));
}
