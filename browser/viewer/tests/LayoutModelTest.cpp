#include <gtest/gtest.h>

#include "Htmlsubs.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using test::Attrs;
using test::Doc;

TEST(ImageObj, AttributesAsTheyAreRead) {
  TImageObj a(Attrs({{Attr::Height, "20"}, {Attr::HSpace, "-30"}, {Attr::Align, "center"}}), 0);
  EXPECT_EQ(a.SpecHeight, 0);  // HEIGHT without WIDTH sizes by the picture
  EXPECT_EQ(a.HSpace, 20);
  EXPECT_EQ(a.ObjAlign, kAlignBottom);
  TImageObj b(Attrs({{Attr::UseMap, "#m"}, {Attr::Align, "left"}, {Attr::Width, "5"}, {Attr::Height, "6"}}), 3);
  EXPECT_EQ(b.MapName, "M");
  EXPECT_EQ(b.HSpace, 5);
  EXPECT_EQ(b.ObjAlign, kAlignLeft);
  EXPECT_EQ(b.SpecWidth, 5);
  TImageObj c(Attrs({{Attr::UseMap, "#"}, {Attr::Border, "0"}}), 0);
  EXPECT_EQ(c.MapName, "#");
  EXPECT_TRUE(c.NoBorder);
}

TEST(ImageObj, SizingByGivenSizeAltAndLink) {
  Doc d;
  TFontObj plain(0, d.font), link(0, d.font);
  link.UrlTarget.Url = "x.htm";
  TImageObj sized(Attrs({{Attr::Src, "40x30.gif"}, {Attr::Width, "100"}, {Attr::Height, "50"}}), 0);
  sized.SetImageSize(d.list, d.canvas, plain);
  EXPECT_EQ(sized.ImageWidth, 100);  // stretched to WIDTH x HEIGHT
  EXPECT_EQ(sized.ImageHeight, 50);
  TImageObj linked(Attrs({{Attr::Src, "40x30.gif"}}), 0);
  linked.SetImageSize(d.list, d.canvas, link);
  EXPECT_TRUE(linked.HasBorder);
  EXPECT_EQ(linked.ImageWidth, 42);
  // A picture that does not load shows the error picture, widened by its ALT text.
  TImageObj broken(Attrs({{Attr::Src, "nothing.gif"}, {Attr::Alt, "Logo"}, {Attr::Width, "300"}, {Attr::Height, "9"}}), 0);
  broken.SetImageSize(d.list, d.canvas, plain);
  EXPECT_TRUE(broken.IsError);
  EXPECT_EQ(broken.ImageWidth, 27 + 2 + 32 + 4);
  EXPECT_EQ(broken.ImageHeight, 32);
  d.canvas.clear();
  broken.Draw(d.canvas, 5, 100, 140, plain);
  ASSERT_NE(d.canvas.FindText("Logo"), nullptr);
  auto frames = d.canvas.CallsOf(RecordingCanvas::Op::FrameRect);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].rect, QRect(5, 140 - 32, 65, 32));
  // Image display off: every image is the no-image picture.
  d.list.ShowImages = false;
  TImageObj off(Attrs({{Attr::Src, "40x30.gif"}, {Attr::Width, "100"}, {Attr::Height, "50"}}), 0);
  off.SetImageSize(d.list, d.canvas, plain);
  EXPECT_EQ(off.ImageWidth, 32);
}

TEST(ImageList, LookupsAndHitEdges) {
  Doc d;
  TImageList l;
  l.Items.emplace_back(Attrs({}), 2);
  l.Items.back().ImageWidth = 10;
  l.Items.back().ImageHeight = 8;
  l.Items.back().DrawX = 100;
  l.Items.back().DrawY = 50;
  uint8_t align;
  EXPECT_EQ(l.GetHeightAt(2, align), 8);
  EXPECT_EQ(l.GetWidthAt(1, align), -1);
  EXPECT_EQ(l.GetImageCountAt(0), 2);
  EXPECT_EQ(l.GetImageCountAt(3), 9999);
  const TMapItem* map;
  bool usesMap, isMap;
  int pos, dx, dy;
  EXPECT_TRUE(l.PtInImage(109, 57, d.list, map, usesMap, isMap, pos, dx, dy));
  EXPECT_EQ(dx, 9);
  EXPECT_FALSE(l.PtInImage(110, 57, d.list, map, usesMap, isMap, pos, dx, dy));
  EXPECT_FALSE(l.PtInImage(105, 58, d.list, map, usesMap, isMap, pos, dx, dy));
}

TEST(FontList, RunInForceAndCounts) {
  TFontList f;
  f.Items.emplace_back(0, TMyFont{});
  f.Items.emplace_back(5, TMyFont{});
  f.Items.emplace_back(9, TMyFont{});
  int ov, idx;
  EXPECT_EQ(f.GetFontObjAt(4, idx).Pos, 0);
  EXPECT_EQ(f.GetFontObjAt(5, idx).Pos, 5);
  EXPECT_EQ(&f.GetFontAt(100, ov), &f.Items[2]);
  EXPECT_EQ(f.GetFontCountAt(2, 20), 3);
  EXPECT_EQ(f.GetFontCountAt(10, 20), 10);
}

TEST(IndentManager, ImageBandsAndListLevels) {
  IndentManager m;
  m.Reset(0, 300);
  TImageObj left(Attrs({{Attr::Align, "left"}}), 0), right(Attrs({{Attr::Align, "right"}, {Attr::HSpace, "0"}}), 1);
  left.ImageWidth = 40;
  left.ImageHeight = 50;
  right.ImageWidth = 60;
  right.ImageHeight = 20;
  m.Update(10, left);
  m.Update(10, right);
  EXPECT_EQ(left.HorzPos, 0);
  EXPECT_EQ(right.HorzPos, 240);
  EXPECT_EQ(m.LeftIndent(10), 45);
  EXPECT_EQ(m.LeftIndent(60), 45);  // bands are inclusive
  EXPECT_EQ(m.LeftIndent(61), 0);
  EXPECT_EQ(m.RightSide(30), 240);
  EXPECT_EQ(m.RightSide(31), 300);
  int l, r;
  m.GetClearY(l, r);
  EXPECT_EQ(l, 61);
  EXPECT_EQ(r, 31);
  EXPECT_EQ(m.ImageBottom(), 60);
  m.SetLevel(20, 2);  // two levels at once, each 35 further in
  EXPECT_EQ(m.LeftIndent(20), 115);
  EXPECT_EQ(m.NextLevelY(), 0);
  m.SetLevel(100, 1);
  EXPECT_EQ(m.LeftIndent(100), 80);
  EXPECT_EQ(m.LeftIndent(99), 45 + 35 + 35);
  m.SetLevel(200, 0);
  EXPECT_EQ(m.LeftIndent(200), 0);
}

}  // namespace
}  // namespace qlon::viewer
