// Text sections laid out on the recording canvas. Size 12 text: every
// character 8 px wide, line height 18 (16 + leading 2), descent 4, so a line's
// baseline is 14 below its top.
#include <gtest/gtest.h>

#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using test::Attrs;
using test::Doc;
using Op = RecordingCanvas::Op;

TEST(TextLayout, WrapsAtBlanksKeepingThemOnTheLine) {
  Doc d;
  TSection& s = d.Para(u"aaa bbb ccc ddd");
  EXPECT_EQ(d.Layout(60), 36);
  ASSERT_EQ(s.Lines.size(), 2u);
  EXPECT_EQ(s.Lines[0].Ln, 8);  // "aaa bbb " fits 56 px, its blank stays
  EXPECT_EQ(s.Lines[1].Start, 8);
  d.Draw(10);
  ASSERT_EQ(d.canvas.Texts(), (std::vector<QString>{"aaa bbb ", "ccc ddd"}));
  EXPECT_EQ(d.canvas.FindText("aaa bbb ")->a, QPoint(10, 14));
  EXPECT_EQ(d.canvas.FindText("ccc ddd")->a, QPoint(10, 32));
}

TEST(TextLayout, LongWordStandsAloneAndZeroWidthStillProgresses) {
  Doc d;
  TSection& s = d.Para(u"abcdefghij xy");
  d.Layout(40);
  ASSERT_EQ(s.Lines.size(), 2u);
  EXPECT_EQ(s.Lines[0].Ln, 11);
  d.Layout(0);
  EXPECT_EQ(s.Lines.size(), 2u);  // one word per line, never zero characters
}

TEST(TextLayout, Justification) {
  Doc d;
  TSection& c = d.Para(u"ab  ", kCentre);
  TSection& r = d.Para(u"ab", kRight);
  TSection& wide = d.Para(u"abcdefghijklmno", kCentre);
  d.Layout(100);
  EXPECT_EQ(c.Lines[0].LineIndent, 42);  // trailing blanks do not count
  EXPECT_EQ(r.Lines[0].LineIndent, 84);
  EXPECT_EQ(wide.Lines[0].LineIndent, 0);  // never left of the margin
}

TEST(TextLayout, LeadingBlanksAfterImages) {
  Doc d;
  TSection& s = d.Para(u"");
  s.AddImage(Attrs({{Attr::Src, "10x10.gif"}, {Attr::Align, "left"}}));
  s.AddText(u" x");
  EXPECT_EQ(s.Buff, std::u16string(u"\x04x"));
  TSection& t = d.Para(u"");
  t.AddImage(Attrs({{Attr::Src, "10x10.gif"}}));
  t.AddText(u" x");
  EXPECT_EQ(t.Buff, std::u16string(u"\x04 x"));
  TSection& u = d.Para(u"a ");
  u.AddText(u" b");
  EXPECT_EQ(u.Buff, u"a b");
}

TEST(TextLayout, LeftImageNarrowsTheLinesBesideIt) {
  Doc d;
  TSection& s = d.Para(u"");
  s.AddImage(Attrs({{Attr::Src, "40x50.gif"}, {Attr::Align, "left"}}));
  s.AddText(u"aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj");
  TSection& after = d.Para(u"zz");
  d.Layout(200);
  ASSERT_EQ(s.Lines.size(), 3u);
  EXPECT_EQ(s.Lines[0].Ln, 21);  // image + "aaaa bbbb cccc dddd "
  EXPECT_EQ(s.Lines[0].LineIndent, 45);
  EXPECT_EQ(s.Lines[1].Ln, 20);
  EXPECT_EQ(s.Lines[2].LineIndent, 45);
  EXPECT_EQ(s.SectionHeight, 54);
  EXPECT_EQ(after.Lines[0].LineIndent, 0);  // below the band at 54
  d.Draw(10);
  auto images = d.canvas.CallsOf(Op::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].rect, QRect(10, 0, 40, 50));
  EXPECT_EQ(d.canvas.FindText("aaaa bbbb cccc dddd ")->a, QPoint(55, 14));
}

TEST(TextLayout, MidLineRightImageWaitsBelowTheLine) {
  Doc d;
  TSection& s = d.Para(u"aa ");
  s.AddImage(Attrs({{Attr::Src, "30x20.gif"}, {Attr::Align, "right"}}));
  s.AddText(u"bb cc dd ee ff gg hh ii jj kk");
  d.Layout(100);
  ASSERT_EQ(s.Lines.size(), 4u);
  EXPECT_EQ(s.Lines[0].Ln, 13);
  EXPECT_EQ(s.Lines[0].DrawHeight, 38);  // the image hangs below the first line
  EXPECT_EQ(s.Lines[1].Ln, 9);           // 65 px beside the image: "ee ff gg "
  EXPECT_EQ(s.Lines[2].Ln, 9);
  EXPECT_EQ(s.Lines[3].Start, 31);
  d.Draw(0);
  auto images = d.canvas.CallsOf(Op::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].rect, QRect(70, 18, 30, 20));
}

TEST(TextLayout, InlineImageRaisesItsLine) {
  Doc d;
  TSection& s = d.Para(u"ab");
  s.AddImage(Attrs({{Attr::Src, "10x40.gif"}}));
  TSection& t = d.Para(u"cd");
  t.AddImage(Attrs({{Attr::Src, "10x40.gif"}, {Attr::Align, "top"}}));
  d.Layout(300);
  EXPECT_EQ(s.Lines[0].SpaceBefore, 40 - (18 - 4));
  EXPECT_EQ(s.SectionHeight, 18 + 26);
  EXPECT_EQ(t.Lines[0].SpaceAfter, 22);
  d.Draw(0);
  auto images = d.canvas.CallsOf(Op::Image);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].rect, QRect(16, 0, 10, 40));  // bottom on the baseline 40
  EXPECT_EQ(d.canvas.FindText("ab")->a.y(), 40);
  EXPECT_EQ(images[1].rect.top(), 44);
}

TEST(TextLayout, ClearStartsBelowTheImageBand) {
  Doc d;
  TSection& a = d.Para(u"");
  a.AddImage(Attrs({{Attr::Src, "40x50.gif"}, {Attr::Align, "left"}}));
  a.AddText(u"hi");
  TSection& b = d.Para(u"after");
  b.ProcessClear(Attrs({{Attr::Clear, "LEFT"}}));
  EXPECT_EQ(b.ClearAttr, 1);
  d.Layout(300);
  EXPECT_EQ(a.DrawHeight, 50);
  EXPECT_EQ(b.Lines[0].SpaceBefore, 51 - 18);
  EXPECT_EQ(b.Lines[0].LineIndent, 0);
}

TEST(Lists, IndentsMarkersAndNesting) {
  Doc d;
  TUListItem& u = d.Add<TUListItem>(u"one", 1, d.font, nullptr, kLeft, false);
  TOListItem& o = d.Add<TOListItem>(u"", 2, d.font, nullptr, kLeft, 7);
  o.CheckEmpty();  // an empty item still has its line and number
  TSection& back = d.Para(u"body");
  d.Layout(400);
  EXPECT_EQ(u.Lines[0].LineIndent, 35);
  EXPECT_EQ(o.Lines[0].LineIndent, 70);
  EXPECT_EQ(back.Lines[0].LineIndent, 0);
  d.Draw(10);
  auto discs = d.canvas.CallsOf(Op::Ellipse);
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_EQ(discs[0].rect.size(), QSize(5, 5));
  EXPECT_LT(discs[0].rect.right(), 45);
  const auto* number = d.canvas.FindText("7.");
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(number->a, QPoint(80 - 16 - 5, 18 + 14));
}

TEST(Lists, ItemReachesBelowItsFloatingImage) {
  Doc d;
  TUListItem& u = d.Add<TUListItem>(u"", 1, d.font, nullptr, kLeft, false);
  u.AddImage(Attrs({{Attr::Src, "40x50.gif"}, {Attr::Align, "left"}}));
  u.AddText(u"hi");
  d.Layout(200);
  EXPECT_EQ(u.Lines[0].LineIndent, 80);
  EXPECT_EQ(u.SectionHeight, 51);
}

TEST(TextLayout, WidthsForTables) {
  Doc d;
  TSection& s = d.Para(u"aa bbbbb c", kLeft, 1);
  int mn, mx;
  s.MinMaxWidth(d.canvas, mn, mx);
  EXPECT_EQ(mn, 40 + 35);
  EXPECT_EQ(mx, 80 + 35);
  TPreFormated& p = d.Add<TPreFormated>(u"  x   y ", 0, d.font, nullptr, kLeft);
  p.MinMaxWidth(d.canvas, mn, mx);
  EXPECT_EQ(mn, 56);
  EXPECT_EQ(mx, 56);
}

TEST(TextLayout, PreformattedLineEndsBreakLinesAndCopyOnce) {
  Doc d;
  TPreFormated& p = d.Add<TPreFormated>(u"ab\r\r  cd  e\rlast", 0, d.font, nullptr, kLeft);
  d.Layout(1000);
  ASSERT_EQ(p.Lines.size(), 4u);
  EXPECT_EQ(p.Lines[1].Start, 3);
  EXPECT_EQ(p.Lines[2].Start, 4);
  EXPECT_EQ(p.Lines[2].Ln, 8);  // the blanks that open a line stay on it
  EXPECT_EQ(p.SectionHeight, 4 * 18);
  int mn, mx;
  p.MinMaxWidth(d.canvas, mn, mx);
  EXPECT_EQ(mx, 7 * 8);  // the widest line, "  cd  e", without its line end
  d.list.SelB = 0;
  d.list.SelE = p.Len();
  EXPECT_EQ(d.list.GetSelText(), "ab\r\n\r\n  cd  e\r\nlast\r\n");
  EXPECT_EQ(d.list.GetSelLength(), d.list.GetSelText().size());
}

TEST(TextLayout, SubAndSuperscriptRuns) {
  Doc d;
  TSection& s = d.Para(u"x");
  d.list.CurrentSScript = 2;
  s.ChangeFont(d.font);
  s.AddText(u"2");
  EXPECT_EQ(s.Fonts.Items.back().TheFont.Size, 9);
  d.Layout(100);
  d.Draw(0);
  const auto* sup = d.canvas.FindText("2");
  ASSERT_NE(sup, nullptr);
  EXPECT_LT(sup->a.y(), d.canvas.FindText("x")->a.y());
}

TEST(SpacingSections, HeightsScaleWithTheBaseSize) {
  Doc d;
  d.list.Add(std::make_unique<TParagraphSpace>(&d.list));
  d.list.Add(std::make_unique<THeadingSpace>(&d.list, 1));
  d.list.Add(std::make_unique<THorzLine>(&d.list, Attrs({{Attr::Size, "40"}})));
  EXPECT_EQ(d.Layout(300), 14 + 16 + 20);
  d.list.FontSize = 24;
  d.list.UpdateFonts();
  EXPECT_EQ(d.Layout(300), 28 + 32 + 40);
}

TEST(SpacingSections, RuleWidths) {
  Doc d;
  THorzLine pct(&d.list, Attrs({{Attr::Width, "150%"}}));
  EXPECT_TRUE(pct.Percent);
  EXPECT_EQ(pct.Width, -1);
  d.list.Add(std::make_unique<THorzLine>(&d.list, Attrs({{Attr::Width, "150%"}})));
  d.list.Add(std::make_unique<THorzLine>(&d.list, Attrs({{Attr::Width, "50%"}})));
  d.Layout(300);
  d.Draw(0);
  auto lines = d.canvas.CallsOf(Op::Line);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1].a.x(), 10);  // full width less 10 px each side
  EXPECT_EQ(lines[1].b.x(), 290);
  EXPECT_EQ(lines[5].a.x(), 75);  // half the width, centred
  EXPECT_EQ(lines[5].b.x(), 225);
}

TEST(Hostile, OneMegabyteWordIsOneLine) {
  Doc d;
  TSection& s = d.Para(std::u16string(1 << 20, u'w'));
  d.Layout(500);
  ASSERT_EQ(s.Lines.size(), 1u);
  EXPECT_EQ(s.Lines[0].Ln, 1 << 20);
}

}  // namespace
}  // namespace qlon::viewer

namespace qlon::viewer {
namespace {

// Placeholder codes that reach the text without their objects (a stray byte
// in a file) are laid out and drawn as nothing, never dereferenced.
TEST(Hostile, PlaceholderCodesWithoutObjects) {
  test::Doc d;
  TSection& s = d.Para(u"a\x04\x02" u"b \x04\x04\x02 c");
  d.Layout(20);
  d.Draw(0);
  int mn, mx;
  s.MinMaxWidth(d.canvas, mn, mx);
  EXPECT_GT(s.Lines.size(), 1u);
  EXPECT_GE(mx, 24);
  TUrlTarget link;
  EXPECT_FALSE(d.list.GetURL(d.canvas, 4, 4, link));
}

}  // namespace
}  // namespace qlon::viewer

namespace qlon::viewer {
namespace {

// A printing pass draws one page: a line or table that would cross the page
// bottom moves it up and waits for the next page; a page break ends the page.
TEST(Printing, PageBottomMovesAboveWhatDoesNotFit) {
  test::Doc d;
  for (const char16_t* t : {u"p1", u"p2", u"p3"}) d.Para(t);
  d.Layout(300);
  d.list.Printing = true;
  d.Draw(0, QRect(0, 0, 300, 50));
  EXPECT_EQ(d.canvas.Texts(), (std::vector<QString>{"p1", "p2"}));
  EXPECT_EQ(d.list.PageBottom, 36);

  test::Doc b;
  b.Para(u"p1");
  b.list.Add(std::make_unique<TPage>(&b.list));
  b.Para(u"p2");
  b.Layout(300);
  b.list.Printing = true;
  b.Draw(0, QRect(0, 0, 300, 1000));
  EXPECT_EQ(b.canvas.Texts(), std::vector<QString>{"p1"});
  EXPECT_EQ(b.list.PageBottom, 18);

  test::Doc t;
  for (const char16_t* s : {u"p1", u"p2", u"p3"}) t.Para(s);
  auto table = std::make_unique<ThtmlTable>(&t.list, TAttributeList(), kLeft);
  table->Rows.push_back(std::make_unique<TCellList>());
  table->Rows[0]->Add(test::TextCell(t, u"cell"));
  t.list.Add(std::move(table));
  t.Layout(300);
  t.list.Printing = true;
  t.Draw(0, QRect(0, 0, 300, 70));
  EXPECT_EQ(t.canvas.FindText("cell"), nullptr);
  EXPECT_EQ(t.list.PageBottom, 54);
}

}  // namespace
}  // namespace qlon::viewer

namespace qlon::viewer {
namespace {

// A repaint of a strip below a line still paints the image hanging from it.
TEST(TextLayout, PartialRepaintDrawsHangingFloat) {
  test::Doc d;
  TSection& s = d.Para(u"");
  s.AddImage(test::Attrs({{Attr::Src, "40x50.gif"}, {Attr::Align, "left"}}));
  s.AddText(u"hi");
  d.Layout(300);
  EXPECT_EQ(s.Lines[0].DrawHeight, 50);
  d.Draw(0, QRect(0, 30, 300, 10));
  EXPECT_EQ(d.canvas.CallsOf(RecordingCanvas::Op::Image).size(), 1u);
}

}  // namespace
}  // namespace qlon::viewer
