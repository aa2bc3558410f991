#include <gtest/gtest.h>

#include <QImage>

#include "HTMLUn2.h"
#include "TempRoot.h"
#include "ViewerTestSupport.h"
#include "ZoomLib.h"

namespace qlon::viewer {
namespace {

using test::Attrs;

TEST(Text, PathsTrimAndColours) {
  EXPECT_EQ(HtmlToDos("FILE:///home/a/b.htm"), "/home/a/b.htm");
  EXPECT_EQ(HtmlToDos("images/a.gif"), "images/a.gif");
  EXPECT_EQ(HtmlTrim(QString("\t\r a b \n")), "a b");
  Color c = 1;
  EXPECT_TRUE(ColorFromString("navy", c));
  EXPECT_EQ(c, 0x800000u);
  EXPECT_TRUE(ColorFromString("#102030", c));
  EXPECT_EQ(c, 0x302010u);
  // Values with system or palette flags are cut to 24 bits; bad text is refused.
  EXPECT_TRUE(ColorFromString("#80000005", c));
  EXPECT_EQ(c & 0xFF000000u, 0u);
  c = 7;
  EXPECT_FALSE(ColorFromString("notacolour", c));
  EXPECT_FALSE(ColorFromString("", c));
  EXPECT_EQ(c, 7u);
}

TEST(Text, DecodesDeclaredThenUtf8ThenWindows1252) {
  EXPECT_EQ(DecodeDocument("caf\xc3\xa9"), u"caf\u00e9");
  EXPECT_EQ(DecodeDocument("caf\xe9 \x93q\x94"), u"caf\u00e9 \u201cq\u201d");
  EXPECT_EQ(DecodeDocument("caf\xc3\xa9", "iso-8859-1"), u"caf\u00c3\u00a9");
  EXPECT_EQ(DecodeDocument("\xef\xbb\xbfok"), u"ok");
}

TEST(Attributes, FindGivesTheFirst) {
  TAttributeList a = Attrs({{Attr::Width, "50%"}, {Attr::Src, "a"}, {Attr::Width, "7"}});
  ASSERT_NE(a.Find(Attr::Width), nullptr);
  EXPECT_EQ(a.Find(Attr::Width)->Value, 50);
  EXPECT_EQ(a.Find(Attr::Width)->Name, "50%");
  EXPECT_EQ(a.Find(Attr::Alt), nullptr);
}

TEST(SelText, SkipsPlaceholdersAndCountsLineEnds) {
  SelTextBuilder b;
  std::u16string s = u"a\x04" u"b\x02" u"c";
  b.AddText(s.data(), int(s.size()));
  b.AddLineEnd();
  EXPECT_EQ(b.Terminate(), 5);
  EXPECT_EQ(b.Text(), "abc\r\n");
}

TEST(ImageCache, AgesByLoadAndDropsUnused) {
  TStringBitmapList cache;
  cache.MaxCache = 2;
  TBitmapItem* a = cache.Add("A", {});
  cache.Add("B", {});
  cache.PurgeCache();
  cache.PurgeCache();
  cache.GetImage(a);  // A used by the second load
  cache.PurgeCache();
  EXPECT_NE(cache.Find("A"), nullptr);
  EXPECT_EQ(cache.Find("B"), nullptr);
  cache.SetCacheCount(0);
  EXPECT_EQ(cache.Count(), 0);
  cache.Add("C", {});
  cache.PurgeCache();  // MaxCache 0: nothing outlives a load
  EXPECT_EQ(cache.Count(), 0);
}

TEST(ImageMap, ShapesAndShadowingInDocumentOrder) {
  TMapItem m;
  m.AddArea(Attrs({{Attr::Shape, "CIRCLE"}, {Attr::Coords, "50,50"}, {Attr::Href, "none"}}));
  EXPECT_EQ(m.AreaCount(), 0);  // a circle needs three numbers
  m.AddArea(Attrs({{Attr::Shape, "circ"}, {Attr::Coords, "50, 50, 10"}, {Attr::Href, "c.htm"}, {Attr::Target, "t"}}));
  m.AddArea(Attrs({{Attr::Shape, "rect"}, {Attr::Coords, "0,0,9,9"}, {Attr::NoHref, ""}}));
  m.AddArea(Attrs({{Attr::Coords, "0,0,100,100"}, {Attr::Href, "r.htm"}}));
  m.AddArea(Attrs({{Attr::Shape, "poly"}, {Attr::Coords, "200,0,300,0,250,80"}, {Attr::Href, "p.htm"}}));
  QString url, target;
  ASSERT_TRUE(m.GetURL(52, 48, url, target));
  EXPECT_EQ(url, "c.htm");
  EXPECT_EQ(target, "t");
  ASSERT_TRUE(m.GetURL(9, 9, url, target));  // rectangles include their far edge
  EXPECT_EQ(url, "");                        // NOHREF hides the area behind it
  ASSERT_TRUE(m.GetURL(10, 10, url, target));
  EXPECT_EQ(url, "r.htm");
  ASSERT_TRUE(m.GetURL(250, 20, url, target));
  EXPECT_EQ(url, "p.htm");
  EXPECT_FALSE(m.GetURL(400, 400, url, target));
}

class ImageFiles : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& bytes) {
    std::string p = (dir_.path() / name).string();
    qlon::test::WriteFileBytes(p, bytes);
    return p;
  }
  std::string Gif(bool v89, bool globalTable, bool appExtensionFirst) {
    std::string g = v89 ? "GIF89a" : "GIF87a";
    g += std::string("\x01\x00\x01\x00", 4);
    g += char(globalTable ? 0x80 : 0x00);
    g += std::string("\x00\x00", 2);
    if (globalTable) g += std::string("\x10\x20\x30\xff\xff\xff", 6);
    if (appExtensionFirst) g += std::string("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    g += std::string("\x21\xf9\x04\x01\x00\x00\x00\x00", 8);
    g += std::string("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b", 16);
    return g;
  }
  qlon::test::TempDir dir_;
};

TEST_F(ImageFiles, SniffsKindsFromContent) {
  QImage img(4, 3, QImage::Format_RGB32);
  img.fill(Qt::blue);
  std::string bmp = (dir_.path() / "x.bin").string(), jpg = (dir_.path() / "y.bin").string();
  ASSERT_TRUE(img.save(QString::fromStdString(bmp), "BMP"));
  ASSERT_TRUE(img.save(QString::fromStdString(jpg), "JPEG"));
  EXPECT_EQ(GetImageType(bmp), kBmpImage);
  EXPECT_EQ(GetImageType(jpg), kJpegImage);
  EXPECT_EQ(GetImageType(Put("g.gif", Gif(true, true, false))), kGifImage);
  EXPECT_EQ(GetImageType(Put("t.txt", "<html>")), kUnknownImage);
  EXPECT_EQ(GetImageType(Put("j.jpg", std::string("\xff\xd8\xff\xe0\x00\x04\x00\x00\x41\x42\x43\x44", 12))), kUnknownImage);
  EXPECT_EQ(GetImageType((dir_.path() / "missing").string()), kUnknownImage);
  EXPECT_EQ(LoadImageFile(bmp).size(), QSize(4, 3));
  EXPECT_TRUE(LoadImageFile(Put("t2.txt", "plain")).isNull());
}

TEST_F(ImageFiles, GifTransparencyHonoursTablesAndExtensions) {
  Color c = 0;
  ASSERT_TRUE(GetGifTransparentColor(Put("a.gif", Gif(true, true, false)), c));
  EXPECT_EQ(c, 0x302010u);
  c = 0;
  ASSERT_TRUE(GetGifTransparentColor(Put("b.gif", Gif(true, true, true)), c));  // animation block first
  EXPECT_EQ(c, 0x302010u);
  EXPECT_FALSE(GetGifTransparentColor(Put("c.gif", Gif(false, true, false)), c));  // GIF87a
  EXPECT_FALSE(GetGifTransparentColor(Put("d.gif", Gif(true, false, false)), c));  // no colour table
  QImage mask;
  uint8_t transp = 0;
  QImage pic = LoadImageWithMask(Put("e.gif", Gif(true, true, false)), mask, transp);
  ASSERT_FALSE(pic.isNull());
  EXPECT_EQ(transp, 2);
  EXPECT_EQ(qAlpha(mask.pixel(0, 0)), 0);
}

TEST_F(ImageFiles, CornerMaskAndMissingLibrary) {
  QImage img(3, 2, QImage::Format_RGB32);
  img.fill(Qt::white);
  img.setPixel(0, 1, qRgb(0, 255, 0));
  img.setPixel(2, 0, qRgb(0, 255, 0));
  QImage m = CreateMask(img, false, 0);
  EXPECT_EQ(qAlpha(m.pixel(2, 0)), 0);
  EXPECT_EQ(qAlpha(m.pixel(1, 0)), 255);
  std::string bmp = (dir_.path() / "a.bmp").string();
  ASSERT_TRUE(img.save(QString::fromStdString(bmp), "BMP"));
  SetImageLibraryFolder(dir_.path().string());  // no library there
  EXPECT_TRUE(LoadImageFile(bmp).isNull());
  SetImageLibraryFolder({});
  EXPECT_FALSE(LoadImageFile(bmp).isNull());
}

TEST(Palette, CubeAndGreys) {
  std::vector<QRgb> t = SharedPaletteTable();
  ASSERT_EQ(t.size(), 256u);
  EXPECT_EQ(t[10], qRgb(55, 55, 55));
  EXPECT_EQ(t[11], qRgb(115, 55, 55));  // red fastest
  EXPECT_EQ(t[225], qRgb(255, 255, 255));
  EXPECT_EQ(t[226], qRgb(135, 135, 135));
  EXPECT_EQ(t[249], qRgb(250, 250, 250));
}

}  // namespace
}  // namespace qlon::viewer

namespace qlon::viewer {
namespace {

TEST(ZoomBinding, EntryPointsOrNothing) {
  const ZoomEntryPoints& z = Zoom();
  ASSERT_TRUE(z.Loaded);
  ASSERT_NE(z.StretchFilterDIB, nullptr);
  ASSERT_NE(z.SaveToGIF, nullptr);
  QImage page(800, 600, QImage::Format_RGB32), thumb, small;
  page.fill(Qt::white);
  EXPECT_EQ(z.StretchFilterDIB(&page, 0, 0, 800, 600, 200, 150, 1, &thumb), 1);
  EXPECT_EQ(z.ConvertDIB(&thumb, 8, &small), 1);
  EXPECT_EQ(small.size(), QSize(200, 150));
  qlon::test::TempDir empty;
  RebindZoom(empty.path().string());
  EXPECT_FALSE(Zoom().Loaded);
  EXPECT_EQ(Zoom().SaveToGIF, nullptr);
  RebindZoom({});
  EXPECT_TRUE(Zoom().Loaded);
}

}  // namespace
}  // namespace qlon::viewer
