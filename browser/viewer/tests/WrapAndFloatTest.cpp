// Pages read by the reader, laid out and drawn on the recording canvas (size
// 12 text: 8 px per character, lines 18 px): what cannot wrap, lines of wide
// scripts, and pictures aligned left or right, each also at a hostile size.
#include <gtest/gtest.h>

#include <climits>

#include "Readhtml.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using Op = RecordingCanvas::Op;

struct Page {
  test::Doc d;
  TAnchorList anchors;
  int left = INT_MAX, right = 0;  // what is drawn, trailing blanks aside
  QStringList overlaps;           // text or pictures drawn over a picture

  Page(const std::u16string& html, int width) {
    ParseString(d.list, anchors, html);
    d.Layout(width);
    d.Draw(0, QRect(0, 0, 1 << 24, 1 << 28));
    const auto& calls = d.canvas.calls();
    for (const auto& c : calls) {
      if (c.op != Op::Text && c.op != Op::Image) continue;
      QString ink = c.text;
      while (ink.endsWith(' ')) ink.chop(1);
      int end = c.op == Op::Image ? c.rect.right() + 1 : c.rect.left() + 8 * int(ink.size());
      left = std::min(left, c.rect.left());
      right = std::max(right, end);
      for (const auto& i : calls)
        if (i.op == Op::Image && &c != &i && c.rect.intersects(i.rect) && (c.op == Op::Image || !ink.trimmed().isEmpty()))
          overlaps << c.text;
    }
  }
  // The lines of each text section, in document order.
  std::vector<QStringList> Lines() {
    std::vector<QStringList> out;
    test::ForEachText(d.list, [&](TSection& s) {
      out.emplace_back();
      for (const LineRec& l : s.Lines) out.back() << QString::fromStdU16String(s.Buff.substr(size_t(l.Start), size_t(l.Ln)));
    });
    return out;
  }
};

std::u16string Repeat(const std::u16string& s, int n) {
  std::u16string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// What cannot break runs past the margin, and the document is as wide as
// what is drawn, so that the horizontal bar reaches its end; nothing starts
// left of the page.
TEST(Overflow, WhatCannotBreakWidensTheDocumentToItsEnd) {
  const std::u16string word(120, u'w');
  for (const std::u16string& html :
       {u"<p>a " + word + u" b", u"<p>x" + std::u16string(100, u'\u00a0') + u"y", Repeat(u"<ul><li>", 30) + u"item",
        u"<p align=right>" + word, u"<table><tr><td>" + word + u"</table>",
        std::u16string(u"<p><img src=1000x20.gif align=right>beside"),
        std::u16string(u"<p><img src=1000x20.gif align=left>beside")}) {
    Page p(html, 780);
    const std::string what = QString::fromStdU16String(html.substr(0, 40)).toStdString();
    EXPECT_GT(p.right, 780) << what;
    EXPECT_GE(p.d.maxWidth, p.right) << what;
    EXPECT_GE(p.left, 0) << what;
    EXPECT_EQ(p.overlaps.join('|').toStdString(), "") << what;
  }
}

// Chinese, Japanese and Korean lines break between characters (ten fit in
// 80 px), never before closing or after opening punctuation, never inside a
// surrogate pair; a word of another script among them stays whole.
TEST(WideScripts, LinesBreakBetweenCharacters) {
  Page p(u"<p>一二三四五六七八九十。二三<p>一二三四五六七八九「十二」<p>中文Englishword中文<p>" +
             Repeat(u"\U00020000", 30) + u"<p>한국어문장한국어문장한국어",
         80);
  auto lines = p.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], QStringList({"一二三四五六七八九", "十。二三"}));
  EXPECT_EQ(lines[1], QStringList({"一二三四五六七八九", "「十二」"}));
  EXPECT_EQ(lines[2], QStringList({"中文", "Englishword", "中文"}));
  EXPECT_EQ(lines[3], QStringList(6, QString::fromStdU16String(Repeat(u"\U00020000", 5))));
  EXPECT_EQ(lines[4], QStringList({"한국어문장한국어문장", "한국어"}));

  // A table cell of such text is as narrow as the room.
  Page cell(u"<table border><tr><td>" + Repeat(u"漢字かな", 100) + u"</table>", 400);
  EXPECT_LE(cell.d.maxWidth, 400);
  EXPECT_LE(cell.right, 400);

  // A million characters without a blank: lines of 97 within the width.
  std::u16string text;
  for (int i = 0; i < 1000000; ++i) text += char16_t(0x4E00 + i % 20000);
  Page big(u"<p>" + text, 780);
  EXPECT_EQ(big.Lines()[0].size(), (1000000 + 96) / 97);
  EXPECT_LE(big.right, 780);
}

// Pictures of 248 px aligned left in a 780-px window: three to a row, a
// fourth below the first of them to end, the text after them below them
// when no word fits beside; with captions, every caption shown. Thousands
// of them copy as text in proportion to the page.
TEST(Floats, PicturesThatDoNotFitGoBelowTheOthers) {
  Page p(u"<p>" + Repeat(u"<img src=248x100.gif align=left>", 12) + u"<p>After the pictures", 780);
  auto images = p.d.canvas.CallsOf(Op::Image);
  ASSERT_EQ(images.size(), 12u);
  const int top = images[0].rect.top();  // below the paragraph's space
  for (size_t i = 0; i < images.size(); ++i)
    EXPECT_EQ(images[i].rect, QRect(int(i % 3) * 253, top + int(i / 3) * 101, 248, 100)) << i;
  ASSERT_NE(p.d.canvas.FindText("After the pictures"), nullptr);
  EXPECT_GE(p.d.canvas.FindText("After the pictures")->rect.top(), top + 4 * 101);
  EXPECT_EQ(p.overlaps.join('|').toStdString(), "");

  for (int n : {12, 4000}) {
    std::u16string captioned = u"<p>";
    for (int i = 0; i < n; ++i)
      captioned += u"<img src=248x100.gif align=left>Caption" + QString::number(i).toStdU16String() + u" ";
    Page c(captioned, 780);
    EXPECT_LE(c.right, 780);
    EXPECT_EQ(c.overlaps.join('|').toStdString(), "");
    c.d.list.SelB = 0;
    c.d.list.SelE = c.d.list.Len;
    QString copied = c.d.list.GetSelText();
    for (int i = 0; i < n; ++i) ASSERT_TRUE(copied.contains(QString("Caption%1 ").arg(i))) << i;
    EXPECT_LT(copied.size(), n * 100);  // each line: at most 3 blanks for each 35 px of indent
  }
}

}  // namespace
}  // namespace qlon::viewer
