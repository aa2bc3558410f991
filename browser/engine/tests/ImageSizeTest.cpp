#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>

#include "ImageSize.h"
#include "TempRoot.h"

namespace {
using namespace qlon;
using qlon::test::TempDir;

// Real files from ImageMagick, made at test time (the set-up installs it).
class ImageSizeFiles : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, int w, int h, const QStringList& extra = {}, const QString& format = {}) {
    const QString exe = QStandardPaths::findExecutable("convert");
    EXPECT_FALSE(exe.isEmpty()) << "ImageMagick's convert is missing";
    const std::string out = (dir_.path() / name).string();
    QStringList args{"-size", QString("%1x%2").arg(w).arg(h), "gradient:red-blue"};
    args << extra << format + QString::fromStdString(out);
    QProcess p;
    p.start(exe, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return out;
  }
  static QSize SizeOf(const std::string& file) {
    QSize s;
    return GetImageSize(QString::fromStdString(file), s) ? s : QSize();
  }
  TempDir dir_;
};

TEST_F(ImageSizeFiles, MeasuresEveryKindAndRefusesEveryTruncation) {
  struct Case {
    const char* name;
    int w, h;
    QStringList extra;
    QString format;
  };
  const Case cases[] = {
      {"a.gif", 37, 21, {}, {}},
      {"b.gif", 2047, 3, {}, {}},
      {"base.jpg", 123, 45, {}, {}},
      {"prog.jpg", 77, 301, {"-interlace", "JPEG"}, {}},
      // A comment segment near the 64 KB limit of one segment in front of
      // the frame.
      {"big.jpg", 40, 30, {"-set", "comment", QString(65000, 'x')}, {}},
      {"v3.bmp", 19, 7, {}, "BMP3:"},
      {"os2.bmp", 9, 4, {}, "BMP2:"},
      {"v5.bmp", 64, 48, {}, {}},
  };
  for (const Case& c : cases) {
    const std::string file = Make(c.name, c.w, c.h, c.extra, c.format);
    EXPECT_EQ(SizeOf(file), QSize(c.w, c.h)) << c.name;
    const std::string bytes = test::ReadFileBytes(file);
    if (c.extra.contains("-interlace")) {
      EXPECT_NE(bytes.find("\xFF\xC2"), std::string::npos) << "not a progressive file";
    }
    ASSERT_GT(bytes.size(), 40u) << c.name;
    // Every cut before the width and height are reached gives no size.
    std::size_t measuredFrom = bytes.size();
    for (std::size_t cut = 0; cut < bytes.size(); cut += (cut < 64 ? 1 : cut / 16)) {
      const std::string shortFile = (dir_.path() / "cut").string();
      test::WriteFileBytes(shortFile, bytes.substr(0, cut));
      const QSize s = SizeOf(shortFile);
      if (s.isValid()) {
        EXPECT_EQ(s, QSize(c.w, c.h)) << c.name << " cut at " << cut;
        measuredFrom = std::min(measuredFrom, cut);
      } else {
        EXPECT_LT(cut, measuredFrom) << c.name << " lost its size again at " << cut;
      }
    }
  }
}

TEST_F(ImageSizeFiles, ProgressiveFrameAfterLargeExifSegment) {
  const std::string jpg = Make("p.jpg", 50, 60, {"-interlace", "JPEG"});
  std::string bytes = test::ReadFileBytes(jpg);
  // An APP1 segment of 60000 bytes right after SOI.
  std::string app1 = "\xFF\xE1";
  app1 += static_cast<char>((60002 >> 8) & 0xFF);
  app1 += static_cast<char>(60002 & 0xFF);
  app1 += "Exif";
  app1.append(60002 - 2 - 4, '\0');
  bytes.insert(2, app1);
  test::WriteFileBytes(jpg, bytes);
  EXPECT_EQ(SizeOf(jpg), QSize(50, 60));
}

QSize FromBytes(const QByteArray& bytes) {
  QByteArray copy = bytes;
  QBuffer b(&copy);
  b.open(QIODevice::ReadOnly);
  QSize s;
  return GetImageSize(b, s) ? s : QSize();
}

QByteArray Gif(int w, int h) {
  QByteArray g("GIF89a");
  for (int v : {w, h}) g.append(char(v & 0xFF)).append(char(v >> 8));
  return g.append(QByteArray(7, '\0'));
}

TEST(ImageSizeHeaders, GifLimitsAndHandBuiltJpegMarkers) {
  EXPECT_EQ(FromBytes(Gif(2047, 5)), QSize(2047, 5));
  EXPECT_FALSE(FromBytes(Gif(2048, 5)).isValid());
  EXPECT_FALSE(FromBytes(Gif(0, 5)).isValid());
  EXPECT_FALSE(FromBytes(Gif(5, 0)).isValid());
  EXPECT_FALSE(FromBytes("GIX89a\x05\x00\x05\x00").isValid());

  const QByteArray sof("\xFF\xC0\x00\x0B\x08\x00\x10\x00\x20\x01\x01\x11\x00", 13);  // 32 x 16
  const QByteArray soi("\xFF\xD8", 2);
  EXPECT_EQ(FromBytes(soi + sof), QSize(32, 16));
  // Fill bytes, a restart marker and TEM carry no length.
  EXPECT_EQ(FromBytes(soi + QByteArray("\xFF\xFF\xFF\xD3\xFF\x01", 6) + sof), QSize(32, 16));
  // DHT (C4) is a table, not a frame.
  EXPECT_EQ(FromBytes(soi + QByteArray("\xFF\xC4\x00\x04\xAA\xBB", 6) + sof), QSize(32, 16));
  // A scan or the end before any frame, a segment length below 2, a byte
  // that is no marker, a zero height: no size.
  for (const QByteArray& bad : {soi + QByteArray("\xFF\xDA\x00\x02", 4) + sof,
                                soi + QByteArray("\xFF\xD9", 2) + sof,
                                soi + QByteArray("\xFF\xE0\x00\x01", 4) + sof,
                                soi + QByteArray("\x00\xC0", 2) + sof,
                                soi + QByteArray("\xFF\xC0\x00\x0B\x08\x00\x00\x00\x20\x01", 10),
                                soi + QByteArray("\xFF\xC0\x00\x05\x08\x00\x10\x00\x20", 9),
                                QByteArray("G"), QByteArray()})
    EXPECT_FALSE(FromBytes(bad).isValid()) << bad.toHex().toStdString();
}

TEST(ImageSizeHeaders, PngTakesItsHeaderChunkAndSvgItsRootElement) {
  const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\x2C\0\0\0\x10", 24);  // 300 x 16
  EXPECT_EQ(FromBytes(png), QSize(300, 16));
  // Not IHDR first, a wrong signature, a width past 2^31 - 1, cut short.
  for (const QByteArray& bad : {QByteArray(png).replace(12, 4, "IDAT"), QByteArray(png).replace(4, 1, "\n"),
                                QByteArray(png).replace(16, 1, "\x80"), png.left(23)})
    EXPECT_FALSE(FromBytes(bad).isValid()) << bad.toHex().toStdString();

  struct Svg {
    const char* text;
    QSize size;
  };
  const Svg cases[] = {
      {"<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'/>", {64, 48}},
      {"\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- a comment -->\n<!DOCTYPE svg>\n"
       "<svg width='12.6px' height=\"1in\" viewBox='0 0 5 5'>",
       {13, 96}},
      {"<svg viewBox='0 0 300 100'><circle r='4'/></svg>", {300, 100}},
      // A relative length takes the view box's proportions from the other.
      {"<svg width='100%' height='50' viewBox='0,0,300,100'/>", {150, 50}},
      {"<svg width='2cm' height='10mm'/>", {76, 38}},
  };
  for (const Svg& c : cases) EXPECT_EQ(FromBytes(c.text), c.size) << c.text;
  // No size anywhere, another root, not XML, a negative box.
  for (const char* bad : {"<svg width='100%'/>", "<html width='5' height='5'/>", "<<svg", "<svg viewBox='0 0 -3 4'/>",
                          "<svg width='1e12' height='3'/>"})
    EXPECT_FALSE(FromBytes(bad).isValid()) << bad;
}

TEST(ImageSizeHeaders, BmpCoreAndTopDownHeaders) {
  auto bmp = [](int dib, qint32 w, qint32 h) {
    QByteArray b("BM");
    b.append(QByteArray(12, '\0'));
    auto le = [&](quint32 v, int n) {
      for (int i = 0; i < n; ++i) b.append(char((v >> (8 * i)) & 0xFF));
    };
    le(static_cast<quint32>(dib), 4);
    const int field = dib == 12 ? 2 : 4;
    le(static_cast<quint32>(w), field);
    le(static_cast<quint32>(h), field);
    return b;
  };
  EXPECT_EQ(FromBytes(bmp(12, 300, 200)), QSize(300, 200));
  EXPECT_EQ(FromBytes(bmp(40, 300, -200)), QSize(300, 200));
  EXPECT_EQ(FromBytes(bmp(124, 5000, 1)), QSize(5000, 1));
  EXPECT_FALSE(FromBytes(bmp(40, -3, 10)).isValid());
  EXPECT_FALSE(FromBytes(bmp(40, 3, INT32_MIN)).isValid());
  EXPECT_FALSE(FromBytes(bmp(8, 3, 3)).isValid());
  EXPECT_FALSE(FromBytes(bmp(40, 3, 3).left(24)).isValid());
  QSize s;
  EXPECT_FALSE(GetImageSize(QString(), s));
  EXPECT_FALSE(GetImageSize(QString("/nonexistent/x.gif"), s));
}

}  // namespace
