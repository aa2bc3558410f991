#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "Gdi.h"
#include "WSList.h"

using namespace qlon::shell;
using qlon::controls::fromColorRef;

namespace {

// Counts the box colours of a progress cell drawn alone.
struct Boxes {
  int red = 0, navy = 0, silver = 0;
};

Boxes drawProgress(TWSocketList& list, int width, int percent, qlon::THTTP_STATE state) {
  list.SetProgress(0, percent);
  list.SetState(0, state);
  QImage img(width, 17, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  list.PaintCell(p, 4, 1, QRect(0, 0, width, 17));
  Boxes b;
  for (int k = 0; 4 + 5 * k < width; ++k) {
    const QColor c = img.pixel(5 + 5 * k, 8);
    if (c == fromColorRef(0x0000FF)) ++b.red;
    else if (c == fromColorRef(0x800000)) ++b.navy;
    else if (c == fromColorRef(0xC0C0C0)) ++b.silver;
  }
  return b;
}

}  // namespace

TEST(SocketList, ProgressBoxesAndTheirColours) {
  TWSocketList list;
  Boxes b = drawProgress(list, 100, 0, qlon::sReceive);
  EXPECT_EQ(b.red, 0);
  EXPECT_EQ(b.navy, 18);
  b = drawProgress(list, 100, 100, qlon::sReceive);
  EXPECT_EQ(b.red, 18);
  b = drawProgress(list, 100, 40, qlon::sError);
  EXPECT_EQ(b.red, 8);
  EXPECT_EQ(b.silver, 10);
  b = drawProgress(list, 100, 40, qlon::sClose);
  EXPECT_EQ(b.silver, 10);
  // 5 boxes at 50 %: 2.5 rounds to even.
  b = drawProgress(list, 25, 50, qlon::sLookup);
  EXPECT_EQ(b.red, 2);
  EXPECT_EQ(b.navy, 1);
  EXPECT_EQ(fromColorRef(0x0000FF), QColor(255, 0, 0));
}

TEST(SocketList, CountsSettersAndClear) {
  TWSocketList list;
  EXPECT_EQ(list.SocketCount(), 1);
  list.SetSocketCount(5);
  EXPECT_EQ(list.RowCount(), 6);
  EXPECT_EQ(list.SocketCount(), 5);
  list.SetSocketCount(40);
  EXPECT_EQ(list.SocketCount(), TWSocketList::kRows);
  list.SetWeb(3, "web");
  list.SetUrl(3, "http://a/");
  list.SetState(3, qlon::sReceive);
  list.SetSize(3, 1234);
  list.SetProgress(3, 55);
  list.SetWeb(-1, "x");
  list.SetUrl(16, "out of the table");
  list.SetState(99, qlon::sError);
  EXPECT_EQ(list.row(3).web, "web");
  EXPECT_EQ(list.row(3).size, 1234);
  list.Clear();
  EXPECT_TRUE(list.row(3).web.isEmpty());
  EXPECT_TRUE(list.row(3).url.isEmpty());
  EXPECT_EQ(list.row(3).size, 0);
  EXPECT_EQ(list.row(3).progress, 0);
  EXPECT_EQ(list.row(3).state, qlon::sReceive);
  EXPECT_EQ(list.Caption(4), "Avancement");
}

TEST(SocketList, ColumnsShareTheClientWidth) {
  TWSocketList list;
  list.resize(404, 120);
  list.show();
  const int w = list.viewport()->width();
  EXPECT_EQ(list.ColWidth(0), w * 20 / 100);
  EXPECT_EQ(list.ColWidth(1), w * 30 / 100);
  EXPECT_EQ(list.ColWidth(2), w * 15 / 100);
  EXPECT_EQ(list.ColWidth(4), w * 20 / 100);
}

TEST(SocketList, StateColumnShowsTheStateText) {
  TWSocketList list;
  auto draw = [&] {
    QImage img(100, 17, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    list.PaintCell(p, 2, 1, QRect(0, 0, 100, 17));
    return img;
  };
  list.SetState(0, qlon::sReceive);
  const QImage receive = draw();
  list.SetState(0, qlon::sError);
  EXPECT_NE(receive, draw());
  QImage blank(100, 17, QImage::Format_RGB32);
  blank.fill(list.Color());
  EXPECT_NE(receive, blank);
}
