// The reduction to 256 colours: exact where the picture is flat or has few
// colours, close on average where it is a photograph.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <random>
#include <set>

#include "Quantize.h"

namespace {

using qlon::zoom::ReduceTo256;

// Smooth gradients with sensor noise: every pixel a colour of its own.
void PaintPhoto(QImage &img, const QRect &area, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-10, 10);
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const double u = double(x - area.left()) / area.width(), v = double(y - area.top()) / area.height();
      const int r = int(40 + 180 * u) + noise(rng), g = int(60 + 150 * v) + noise(rng),
                b = int(128 + 100 * std::sin(6 * u + 4 * v)) + noise(rng);
      img.setPixel(x, y, qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)));
    }
}

// A page: white, a pale-blue banner, a line of smoothed text, a photograph.
QImage Page(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.fillRect(0, 0, w, h / 8, QColor(204, 221, 255));
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1.3));
  for (int x = 4; x + 6 < w / 2; x += 7) p.drawLine(QPointF(x, h / 4.0), QPointF(x + 5.5, h / 4.0 + 7.3));
  p.end();
  PaintPhoto(img, QRect(w / 2, h / 2, w / 2, h / 2), 7);
  return img;
}

double MeanError(const QImage &a, const QImage &b, const QRect &area) {
  double sum = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * area.width() * area.height());
}

TEST(Quantize, AtMost256ColoursArePixelForPixel) {
  for (int colours : {1, 2, 255, 256}) {
    QImage src(64, 40, QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y)
      for (int x = 0; x < src.width(); ++x) {
        const int i = (x * 7 + y * 13) % colours;
        src.setPixel(x, y, qRgb(i, 255 - i, (i * 37) & 0xFF));
      }
    const QImage out = ReduceTo256(src);
    ASSERT_EQ(out.format(), QImage::Format_Indexed8);
    EXPECT_EQ(out.colorCount(), colours);
    EXPECT_EQ(out.convertToFormat(QImage::Format_RGB32), src) << colours << " colours";
  }
  EXPECT_TRUE(ReduceTo256(QImage()).isNull());
}

TEST(Quantize, FlatAreasStayExactBesideAPhotograph) {
  for (QSize size : {QSize(80, 60), QSize(133, 100), QSize(160, 120), QSize(800, 600)}) {
    const QImage src = Page(size.width(), size.height());
    const QImage out = ReduceTo256(src);
    ASSERT_EQ(out.format(), QImage::Format_Indexed8);
    ASSERT_LE(out.colorCount(), 256);
    const QImage back = out.convertToFormat(QImage::Format_RGB32);
    int whiteLost = 0, bannerLost = 0;
    for (int y = 0; y < src.height(); ++y)
      for (int x = 0; x < src.width(); ++x) {
        if (src.pixel(x, y) == qRgb(255, 255, 255) && back.pixel(x, y) != src.pixel(x, y)) ++whiteLost;
        if (src.pixel(x, y) == qRgb(204, 221, 255) && back.pixel(x, y) != src.pixel(x, y)) ++bannerLost;
      }
    EXPECT_EQ(whiteLost, 0) << size.width() << "x" << size.height();
    EXPECT_EQ(bannerLost, 0) << size.width() << "x" << size.height();
    const QRect photo(size.width() / 2, size.height() / 2, size.width() / 2, size.height() / 2);
    EXPECT_LT(MeanError(src, back, photo), 8.0) << size.width() << "x" << size.height();
    EXPECT_LT(MeanError(src, back, src.rect()), 4.0);
    EXPECT_EQ(ReduceTo256(src), out) << "the same picture, the same file";
  }
}

TEST(Quantize, DitheringKeepsTheAverageOfAGradient) {
  // A smooth ramp on all three channels has far more than 256 colours and
  // no flat area: each block's mean must stay close to the source's (a
  // little less at the ends of the ramp, beyond the table's outer colours).
  QImage src(256, 64, QImage::Format_RGB32);
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) src.setPixel(x, y, qRgb(x, (x + y * 3) % 256, 255 - x / 2 - y));
  const QImage back = ReduceTo256(src).convertToFormat(QImage::Format_RGB32);
  double worst = 0, total = 0;
  int blocks = 0;
  for (int by = 0; by + 8 <= src.height(); by += 8)
    for (int bx = 0; bx + 8 <= src.width(); bx += 8) {
      double diff[3] = {0, 0, 0};
      for (int y = by; y < by + 8; ++y)
        for (int x = bx; x < bx + 8; ++x) {
          diff[0] += qRed(src.pixel(x, y)) - qRed(back.pixel(x, y));
          diff[1] += qGreen(src.pixel(x, y)) - qGreen(back.pixel(x, y));
          diff[2] += qBlue(src.pixel(x, y)) - qBlue(back.pixel(x, y));
        }
      for (double d : diff) worst = std::max(worst, std::abs(d) / 64), total += std::abs(d) / 64;
      blocks += 3;
    }
  EXPECT_LT(worst, 6.0);
  EXPECT_LT(total / blocks, 1.0);
}

TEST(Quantize, TransparentPixelsShareOneEntry) {
  QImage src(120, 90, QImage::Format_ARGB32);
  src.fill(Qt::white);
  PaintPhoto(src, QRect(0, 30, 120, 60), 3);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 120; ++x) src.setPixel(x, y, qRgba(x, y, 9, x % 2 ? 0 : 100));
  const QImage out = ReduceTo256(src);
  ASSERT_EQ(out.format(), QImage::Format_Indexed8);
  std::set<int> transparentEntries;
  for (int i = 0; i < out.colorCount(); ++i)
    if (qAlpha(out.color(i)) == 0) transparentEntries.insert(i);
  EXPECT_EQ(transparentEntries.size(), 1u);
  for (int x = 0; x < 120; ++x) EXPECT_EQ(qAlpha(out.pixel(x, 5)), 0) << x;
  for (int x = 0; x < 120; ++x) EXPECT_EQ(out.pixel(x, 25), qRgb(255, 255, 255)) << x;
  EXPECT_EQ(qAlpha(out.pixel(10, 60)), 255);
}

}  // namespace
