#include <gtest/gtest.h>

#include "TempRoot.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using test::Attrs;
using test::Doc;

TEST(BitmapRequest, CachedByTrimmedUpperCaseName) {
  Doc d;
  int calls = 0;
  d.list.OnBitmapRequest = [&](const QString& name, QImage& bitmap, Color& color) {
    ++calls;
    EXPECT_EQ(color, kNoColor);
    if (name.trimmed().toLower() == "a.gif") {
      bitmap = QImage(4, 4, QImage::Format_RGB32);
      bitmap.fill(Qt::white);
      color = 0xFFFFFF;  // the host names the transparent colour
    }
  };
  uint8_t t = 0;
  QImage mask;
  EXPECT_EQ(d.list.GetTheBitmap("a.gif", t, mask).size(), QSize(4, 4));
  EXPECT_EQ(t, 2);
  EXPECT_EQ(qAlpha(mask.pixel(1, 1)), 0);
  t = 0;
  EXPECT_FALSE(d.list.GetTheBitmap(" A.GIF ", t, mask).isNull());
  EXPECT_EQ(t, 2);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(d.list.GetTheBitmap("none.gif", t, mask).isNull());
  EXPECT_TRUE(d.list.GetTheBitmap("", t, mask).isNull());
  EXPECT_EQ(calls, 2);
}

TEST(BitmapRequest, NoPictureMeansTheErrorPicture) {
  Doc d;
  TSection& s = d.Para(u"");
  TImageObj& img = s.AddImage(Attrs({{Attr::Src, "absent.gif"}}));
  d.Layout(300);
  EXPECT_TRUE(img.IsError);
  EXPECT_EQ(img.ImageWidth, 27);
  EXPECT_EQ(img.ImageHeight, 30);
}

TEST(BitmapRequest, FilesLoadThroughTheOwnersNameExpansion) {
  Doc d;
  qlon::test::TempDir dir;
  QImage pic(5, 6, QImage::Format_RGB32);
  pic.fill(Qt::green);
  ASSERT_TRUE(pic.save(QString::fromStdString((dir.path() / "p.bmp").string()), "BMP"));
  d.list.OnBitmapRequest = nullptr;
  d.list.ExpandName = [&](const QString& n) { return QString::fromStdString((dir.path() / n.toStdString()).string()); };
  uint8_t t = 0;
  QImage mask;
  EXPECT_EQ(d.list.GetTheBitmap("p.bmp", t, mask).size(), QSize(5, 6));
  EXPECT_EQ(d.list.BitmapList.Count(), 1);
}

struct LinkDoc : Doc {
  TSection* s;
  LinkDoc() {
    s = &Para(u"go ");
    TUrlTarget link;
    link.Assign("next.htm", "main");
    s->HRef('>', font, link);
    s->AddText(u"there");
    s->HRef('<', font, {});
    s->AddText(u" now");
    Layout(400);
    Draw(10);
  }
};

TEST(HitTesting, LinksCursorPositionsAndSearch) {
  LinkDoc d;
  TUrlTarget link;
  EXPECT_TRUE(d.list.GetURL(d.canvas, 10 + 3 * 8 + 1, 5, link));  // on "there"
  EXPECT_EQ(link.Url, "next.htm");
  EXPECT_EQ(link.Target, "main");
  EXPECT_FALSE(d.list.GetURL(d.canvas, 11, 5, link));
  EXPECT_FALSE(d.list.GetURL(d.canvas, 10 + 3 * 8 + 1, 30, link));  // below the text
  int h, top, caret;
  EXPECT_EQ(d.list.FindCursor(d.canvas, 10 + 8 + 5, 5, h, top, caret), 2);  // nearer the right side
  EXPECT_EQ(caret, 26);
  EXPECT_EQ(h, 18);
  EXPECT_EQ(d.list.FindCursor(d.canvas, 12, 50, h, top, caret), -1);
  EXPECT_EQ(d.list.FindString(0, "THERE", false), 3);
  EXPECT_EQ(d.list.FindString(0, "THERE", true), -1);
  EXPECT_EQ(d.list.FindString(4, "o", true), 10);
  int y, x;
  EXPECT_TRUE(d.list.FindCursorPos(5, y, x));
  EXPECT_EQ(y, 0);
  EXPECT_FALSE(d.list.FindCursorPos(99, y, x));
  // Link text is drawn in the hot-spot colour once fonts are updated.
  d.list.UpdateFonts();
  EXPECT_EQ(d.s->Fonts.Items[1].TheFont.FontColor, d.list.HotSpotColor | kPaletteRelative);
}

TEST(HitTesting, MapsAndIsmapImages) {
  Doc d;
  auto map = std::make_unique<TMapItem>();
  map->MapName = "NAV";
  map->AddArea(Attrs({{Attr::Coords, "0,0,9,9"}, {Attr::Href, "corner.htm"}}));
  d.list.MapList.push_back(std::move(map));
  TSection& s = d.Para(u"");
  s.AddImage(Attrs({{Attr::Src, "40x30.gif"}, {Attr::UseMap, "#nav"}}));
  TUrlTarget link;
  link.Url = "click.htm";
  s.HRef('>', d.font, link);
  s.AddImage(Attrs({{Attr::Src, "20x20.gif"}, {Attr::IsMap, ""}, {Attr::Border, "0"}}));
  d.Layout(300);
  d.Draw(0);
  TUrlTarget got;
  EXPECT_TRUE(d.list.GetURL(d.canvas, 5, 5, got));
  EXPECT_EQ(got.Url, "corner.htm");
  EXPECT_FALSE(d.list.GetURL(d.canvas, 20, 20, got));  // on the map, outside every area
  EXPECT_TRUE(d.list.GetURL(d.canvas, 40 + 3, 10 + 7, got));
  EXPECT_EQ(got.Url, "click.htm?3,7");
}

TEST(Selection, LengthAndCopiedTextWithIndents) {
  Doc d;
  d.Para(u"first line");
  d.Add<TUListItem>(u"item", 1, d.font, nullptr, kLeft, false);
  d.list.Add(std::make_unique<TParagraphSpace>(&d.list));
  d.Para(u"last");
  d.Layout(400);
  d.list.SelB = d.list.SelE = 3;
  EXPECT_EQ(d.list.GetSelLength(), 0);
  d.list.SelB = 6;
  d.list.SelE = 16;
  EXPECT_EQ(d.list.GetSelText(), "line\r\n   item\r\n\r\nla");
  EXPECT_EQ(d.list.GetSelLength(), 19);
}

TEST(SectionList, PrintCopySharesPicturesAndLaysOutAlike) {
  Doc d;
  TSection& s = d.Para(u"text ");
  s.AddImage(Attrs({{Attr::Src, "40x30.gif"}}));
  int h = d.Layout(300);
  TSectionList copy(d.list);
  copy.OnBitmapRequest = nullptr;  // pictures come with the copy
  d.list.BitmapList.Clear();
  int curs = 0, mw = 0;
  EXPECT_EQ(copy.DoLogic(d.canvas, 0, curs, mw, 300), h);
  auto& img = static_cast<TSection&>(*copy.Sections[0]).Images.Items[0];
  EXPECT_FALSE(img.IsError);
  EXPECT_EQ(img.ImageWidth, 40);
  d.list.Clear();
  EXPECT_TRUE(d.list.Sections.empty());
  EXPECT_EQ(copy.Sections.size(), 1u);
}

}  // namespace
}  // namespace qlon::viewer
