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
  Page(const std::u16string& html, int width) {
    ParseString(d.list, anchors, html);
    d.Layout(width);
    d.Draw(0, QRect(0, 0, 1 << 24, 1 << 28));
  }
  std::vector<RecordingCanvas::Call> Texts() const { return d.canvas.CallsOf(Op::Text); }
  // Where a text call's ink ends: its trailing blanks are not drawn (every
  // character of a run is as wide as the others on this canvas).
  static int InkEnd(const RecordingCanvas::Call& c) {
    QString t = c.text;
    while (t.endsWith(' ')) t.chop(1);
    return c.rect.left() + (c.text.isEmpty() ? 0 : c.rect.width() * int(t.size()) / int(c.text.size()));
  }
  // The lines of each text section, in document order.
  std::vector<QStringList> Lines() {
    std::vector<QStringList> out;
    test::ForEachText(d.list, [&](TSection& s) {
      QStringList lines;
      for (const LineRec& l : s.Lines) lines << QString::fromStdU16String(s.Buff.substr(size_t(l.Start), size_t(l.Ln)));
      out.push_back(lines);
    });
    return out;
  }
  std::vector<RecordingCanvas::Call> Images() const { return d.canvas.CallsOf(Op::Image); }
  // What is drawn over a picture: text, or another picture.
  QStringList Overlaps() const {
    QStringList out;
    auto images = Images();
    for (size_t i = 0; i < images.size(); ++i) {
      for (size_t j = i + 1; j < images.size(); ++j)
        if (images[i].rect.intersects(images[j].rect)) out << QString("pictures %1 and %2").arg(i).arg(j);
      for (const auto& t : Texts())
        if (t.rect.intersects(images[i].rect) && !t.text.trimmed().isEmpty()) out << "text over a picture: " + t.text;
    }
    return out;
  }
  QString Copied() {
    d.list.SelB = 0;
    d.list.SelE = d.list.Len;
    return d.list.GetSelText();
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
  const std::u16string rows[] = {
      u"<p>a " + word + u" b",
      u"<p>x" + std::u16string(100, u'\u00a0') + u"y",
      Repeat(u"<ul><li>", 30) + u"item",
      u"<p align=right>" + word,
      u"<p align=center>" + word,
      u"<table><tr><td>" + word + u"</table>",
      u"<p><img src=1000x20.gif align=right>beside",
      u"<p><img src=1000x20.gif align=left>beside",
  };
  for (const std::u16string& html : rows) {
    Page p(html, 780);
    int left = INT_MAX, right = 0;
    for (const auto& c : p.Texts()) {
      left = std::min(left, c.rect.left());
      right = std::max(right, Page::InkEnd(c));
    }
    for (const auto& c : p.Images()) {
      left = std::min(left, c.rect.left());
      right = std::max(right, c.rect.right() + 1);
    }
    const std::string what = QString::fromStdU16String(html.substr(0, 40)).toStdString();
    EXPECT_GT(right, 780) << what;
    EXPECT_GE(p.d.maxWidth, right) << what;
    EXPECT_GE(left, 0) << what;
    EXPECT_EQ(p.Overlaps().join('\n').toStdString(), "") << what;
  }
}

// Chinese, Japanese and Korean lines break between characters (ten fit in
// 80 px here), never before closing or after opening punctuation, never
// inside a surrogate pair; a word of another script among them stays whole.
TEST(WideScripts, LinesBreakBetweenCharacters) {
  std::u16string pairs;
  for (int i = 0; i < 30; ++i) pairs += u"\U00020000";
  Page p(u"<p>一二三四五六七八九十。二三<p>一二三四五六七八九「十二」<p>中文Englishword中文<p>" + pairs +
             u"<p>한국어문장한국어문장한국어", 80);
  auto lines = p.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], QStringList({"一二三四五六七八九", "十。二三"}));
  EXPECT_EQ(lines[1], QStringList({"一二三四五六七八九", "「十二」"}));
  EXPECT_EQ(lines[2], QStringList({"中文", "Englishword", "中文"}));
  EXPECT_EQ(lines[3].size(), 6);
  for (const QString& l : lines[3]) EXPECT_EQ(l.size(), 10);  // five characters of two units
  EXPECT_EQ(lines[4], QStringList({"한국어문장한국어문장", "한국어"}));
  // Drawn as laid out: no text past the margin but the one long word.
  for (const auto& t : p.Texts()) {
    if (t.text != "Englishword") {
      EXPECT_LE(t.rect.right() + 1, 80) << t.text.toStdString();
    }
  }

  // A table cell of such text is as narrow as the room: its lines wrap.
  Page cell(u"<table border><tr><td>" + Repeat(u"漢字かな", 100) + u"</table>", 400);
  EXPECT_LE(cell.d.maxWidth, 400);
  for (const auto& t : cell.Texts()) EXPECT_LE(Page::InkEnd(t), 400);
}

// A million characters without a blank: about ten thousand lines within the
// width, every character drawn once.
TEST(WideScripts, MegabyteParagraphWraps) {
  std::u16string text;
  for (int i = 0; i < 1000000; ++i) text += char16_t(0x4E00 + i % 20000);
  Page p(u"<p>" + text, 780);
  ASSERT_EQ(p.Lines().size(), 1u);
  EXPECT_EQ(p.Lines()[0].size(), (1000000 + 96) / 97);
  long long drawn = 0;
  for (const auto& t : p.Texts()) {
    EXPECT_LE(Page::InkEnd(t), 780);
    drawn += t.text.size();
  }
  EXPECT_EQ(drawn, 1000000);
  EXPECT_EQ(p.d.maxWidth, 780);
}

// Pictures of 248 px aligned left in a 780-px window: three to a row, a
// fourth below the first of them to end, the text after them below them
// when no word fits beside; nothing past the edge, nothing drawn over them.
TEST(Floats, PicturesThatDoNotFitGoBelowTheOthers) {
  Page p(u"<p>" + Repeat(u"<img src=248x100.gif align=left>", 12) + u"<p>After the pictures", 780);
  auto images = p.Images();
  ASSERT_EQ(images.size(), 12u);
  const int top = images[0].rect.top();  // below the paragraph's space
  for (size_t i = 0; i < images.size(); ++i)
    EXPECT_EQ(images[i].rect, QRect(int(i % 3) * 253, top + int(i / 3) * 101, 248, 100)) << i;
  const auto* after = p.d.canvas.FindText("After the pictures");
  ASSERT_NE(after, nullptr);
  EXPECT_GE(after->rect.top(), top + 4 * 101);
  EXPECT_EQ(p.Overlaps().join('\n').toStdString(), "");

  // Each with a caption: every caption shown, beside or below the pictures.
  std::u16string captioned = u"<p>";
  for (int i = 0; i < 12; ++i)
    captioned += u"<img src=248x100.gif align=left>Caption" + QString::number(i).toStdU16String() + u" ";
  Page c(captioned, 780);
  EXPECT_EQ(c.Images().size(), 12u);
  QString shown;
  for (const auto& t : c.Texts()) shown += t.text;
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(shown.contains(QString("Caption%1 ").arg(i))) << i;
  for (const auto& t : c.Texts()) EXPECT_LE(Page::InkEnd(t), 780) << t.text.toStdString();
  for (const auto& i : c.Images()) EXPECT_LE(i.rect.right() + 1, 780);
  EXPECT_EQ(c.Overlaps().join('\n').toStdString(), "");
  EXPECT_EQ(c.d.maxWidth, 780);
}

// Four thousand captioned pictures: placed within the window, and the
// copied text grows with the page, never with the pictures above a line.
TEST(Floats, ThousandsOfPicturesCopyInProportion) {
  std::u16string html = u"<p>";
  for (int i = 0; i < 4000; ++i)
    html += u"<img src=248x100.gif align=left>Caption" + QString::number(i).toStdU16String() + u" ";
  Page p(html, 780);
  int right = 0;
  for (const auto& c : p.Images()) right = std::max(right, c.rect.right() + 1);
  EXPECT_LE(right, 780);
  QString copied = p.Copied();
  EXPECT_TRUE(copied.contains("Caption3999"));
  EXPECT_LT(copied.size(), 4000 * 100);
  // Three blanks for each 35 px of indent: at most the window's worth.
  for (const QString& line : copied.split("\r\n")) {
    qsizetype blanks = 0;
    while (blanks < line.size() && line[blanks] == ' ') ++blanks;
    EXPECT_LE(blanks, 780 / kListIndent * 3);
  }
}

}  // namespace
}  // namespace qlon::viewer
