#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "QtCanvas.h"
#include "RecordingCanvas.h"

namespace qlon::viewer {
namespace {

TEST(Color, SystemAndPaletteRelative) {
  EXPECT_EQ(PlainColor(0x020000FF), 0x0000FFu);
  EXPECT_EQ(ColorToRgb(0x020000FF), qRgb(255, 0, 0));
  EXPECT_EQ(ColorToRgb(0x00FF0000), qRgb(0, 0, 255));
  EXPECT_EQ(ColorToRgb(clBtnFace), qRgb(192, 192, 192));
  EXPECT_EQ(PlainColor(clBtnText | kPaletteRelative), clBtnText);
  EXPECT_EQ(PointsToPixels(12), 16);
  EXPECT_EQ(PointsToPixels(10), 13);
}

TEST(RecordingCanvas, FormulaMetricsAndFit) {
  RecordingCanvas c;
  c.SetFont({"Serif", 16, 0});
  TextMetrics m = c.Metrics();
  EXPECT_EQ(m.ascent, 12);
  EXPECT_EQ(m.descent, 4);
  EXPECT_EQ(m.externalLeading, 2);
  std::u16string s = u"abcdef";
  EXPECT_EQ(c.TextWidth(s.data(), 6), 48);
  EXPECT_EQ(c.FitCount(s.data(), 6, 47), 5);
  EXPECT_EQ(c.FitCount(s.data(), 6, 48), 6);
  EXPECT_EQ(c.FitCount(s.data(), 6, 3), 0);
}

// The Qt canvas must give additive advances so that run and prefix
// measurements agree; painted text lands at its baseline.
TEST(QtCanvas, AdditiveAdvancesAndBaselineText) {
  QImage img(200, 60, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  QtCanvas c(p, img.rect());
  c.SetFont({"DejaVu Sans Mono", 16, 0});
  std::u16string one = u"A", ten = u"AAAAAAAAAA";
  int w1 = c.TextWidth(one.data(), 1);
  EXPECT_GT(w1, 0);
  EXPECT_EQ(c.TextWidth(ten.data(), 10), 10 * w1);
  TextMetrics m = c.Metrics();
  EXPECT_GT(m.ascent, 0);
  std::u16string pair = u"\U0001F600";  // one glyph in two units: the low half adds nothing
  EXPECT_EQ(c.CharWidth(pair[1]), 0);
  EXPECT_GT(c.TextWidth(pair.data(), 2), 0);
  c.DrawText(10, 40, ten.data(), 3, clBlack | kPaletteRelative);
  c.FillRect(QRect(150, 0, 10, 10), 0x000000FF);
  c.Line(QPoint(0, 55), QPoint(5, 55), 0);
  p.end();
  bool inked = false;
  for (int y = 40 - m.ascent; y < 40; ++y)
    for (int x = 10; x < 10 + 3 * w1; ++x) inked |= img.pixel(x, y) != qRgb(255, 255, 255);
  EXPECT_TRUE(inked);
  EXPECT_EQ(img.pixel(155, 5), qRgb(255, 0, 0));
  EXPECT_EQ(img.pixel(159, 9), qRgb(255, 0, 0));
  EXPECT_EQ(img.pixel(160, 10), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(4, 55), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(5, 55), qRgb(255, 255, 255));  // the end point is excluded
}

// Layout without a window measures exactly as painting does.
TEST(QtCanvas, MeasureCanvasAgreesWithPainting) {
  QImage img(50, 50, QImage::Format_RGB32);
  QPainter p(&img);
  QtCanvas paint(p, img.rect());
  QtMeasureCanvas measure;
  FontDesc f{"DejaVu Serif", 16, kBold};
  paint.SetFont(f);
  measure.SetFont(f);
  std::u16string s = u"Layout widths";
  EXPECT_EQ(measure.TextWidth(s.data(), int(s.size())), paint.TextWidth(s.data(), int(s.size())));
  EXPECT_EQ(measure.Metrics().height, paint.Metrics().height);
}

}  // namespace
}  // namespace qlon::viewer
