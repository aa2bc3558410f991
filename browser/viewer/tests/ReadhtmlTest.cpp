#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

#include "FormControls.h"
#include "Readhtml.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

struct Parsed {
  TSectionList list;
  TAnchorList anchors;
  TParseResult result;
  explicit Parsed(const std::u16string& html) { result = ParseString(list, anchors, html); }

  template <typename T>
  std::vector<T*> All(TCell& cell) {
    std::vector<T*> out;
    for (auto& s : cell.Sections)
      if (auto* t = dynamic_cast<T*>(s.get())) out.push_back(t);
    return out;
  }
  std::vector<TSection*> Texts() { return All<TSection>(list); }
  // Every text of the top level, sections joined by "|".
  QString Joined() {
    QString out;
    for (TSection* s : Texts()) out += (out.isEmpty() ? "" : "|") + QString::fromStdU16String(s->Buff);
    return out;
  }
};

std::u16string Repeat(const std::u16string& s, int n) {
  std::u16string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(ReadhtmlText, EntitiesWhiteSpaceAndStrayBrackets) {
  struct Row {
    std::u16string html;
    QString text;
  } rows[] = {
      {u"a&nbsp;b", QString("a") + QChar(160) + "b"},
      {u"&times; &amp;&lt;&gt;&quot;", "&times; &<>\""},
      {u"&#65;&#66 &#123456;", "AB " + QString::fromUcs4(U"\U0001E240", 1)},
      {u"a&#4;x", "a x"},  // control codes never become placeholders
      {u"a  \t\r\n\r\n  b", "a b"},
      {u"a < b and c > d", "a < b and c > d"},
      {u"x<5 y", "x<5 y"},
      {u"one<!-- gone -- >two<!DOCTYPE html>three", "onetwothree"},
      {u"<?xml version=\"1.0\"?>text", "text"},
      {u"a<script>if (a<b) document.write('<p>x')</script>b<style>p{}</STYLE>c", "abc"},
      {u"\u00e9t\u00e9 \u20ac", QString::fromUtf8("été €")},
  };
  for (const Row& r : rows) {
    Parsed p(r.html);
    EXPECT_EQ(p.Joined(), r.text) << QString::fromStdU16String(r.html).toStdString();
  }
}

// The text a document draws: every text run of its layout at the width, in
// drawing order.
QString DrawnText(const std::u16string& html, int width = 600) {
  test::Doc d;
  TAnchorList anchors;
  ParseString(d.list, anchors, html);
  d.Layout(width);
  d.Draw(0, QRect(0, 0, 2000, kMaxLayoutY));
  QString out;
  for (const QString& t : d.canvas.Texts()) out += t;
  return out;
}

TEST(ReadhtmlText, ReferencesAsBrowsersReadThem) {
  const QString bad(QChar(0xFFFD));
  struct Row {
    std::u16string html;
    QString text;
  } rows[] = {
      {u"&#x2192;&#X41;&#x1f600;", QString::fromUtf8("\u2192A\U0001F600")},
      {u"&#8212;&#128;&#150;&#159;", QString::fromUtf8("\u2014\u20ac\u2013\u0178")},
      {u"&#129;&#0;&#xD800;&#x110000;&#99999999999999999999;", bad + bad + bad + bad + bad},
      {u"&#0065&#x00041;", "AA"},
      {u"&#x;&#;&#xg;", "&#x;&#;&#xg;"},
      // The names HTML 4 added count only with their ";"; the older ones without.
      {u"&ndash;&mdash &hellip;&apos;&copy 2024 &sum=2", QString::fromUtf8("\u2013&mdash \u2026'\u00a9 2024 &sum=2")},
  };
  for (const Row& r : rows) EXPECT_EQ(DrawnText(r.html).toStdString(), r.text.toStdString());

  // Tens of thousands of them in one page, every one drawn.
  std::u16string many;
  QString want;
  for (int i = 0; i < 20000; ++i) {
    many += u"&#x2192;&#150;&#128512; ";
    want += QString::fromUtf8("\u2192\u2013\U0001F600 ");
  }
  EXPECT_EQ(DrawnText(many).simplified().toStdString(), want.simplified().toStdString());
}

TEST(ReadhtmlText, CommentsEndAsBrowsersEndThem) {
  struct Row {
    std::u16string html;
    QString text;
  } rows[] = {
      {u"a<!-- x --!>b", "ab"},
      {u"a<!-->b<!--->c<!---->d", "abcd"},
      {u"a<!-- x -- >b", "ab"},
      {u"a<!-- -> --!x --!>b", "ab"},
  };
  for (const Row& r : rows) EXPECT_EQ(DrawnText(r.html).toStdString(), r.text.toStdString());

  // What follows such a comment is all there.
  std::u16string page = u"<!-- note --!>";
  for (int i = 0; i < 20000; ++i) page += u"<p>para ";
  EXPECT_EQ(DrawnText(page).count("para"), 20000);
  TSectionList list;
  TAnchorList anchors;
  EXPECT_THROW(ParseString(list, anchors, u"a<!-- x --!"), EParseError);
}

TEST(ReadhtmlText, TitleBaseAndUnterminatedComment) {
  Parsed p(u"<html><head><title>My  &amp; page</title><base href=\"http://h/\" target=_top></head>"
           u"<body>x</body></html>");
  EXPECT_EQ(p.result.Title, "My & page");
  EXPECT_EQ(p.result.Base, "http://h/");
  EXPECT_EQ(p.result.BaseTarget, "_top");
  EXPECT_EQ(p.Joined(), "x");

  TSectionList list;
  TAnchorList anchors;
  EXPECT_THROW(ParseString(list, anchors, u"kept<!-- never closed"), EParseError);
  ASSERT_EQ(list.Sections.size(), 1u);  // what came before stays
}

// Long text is one section however long: its lines break between words
// only, on screen and in the copied text.
TEST(ReadhtmlText, LongParagraphAndTextFileReadWhole) {
  QStringList words;
  for (int i = 0; i < 4000; ++i) words << QString("w%1").arg(i * 7919 % 100000);
  test::Doc d;
  TAnchorList anchors;
  ParseString(d.list, anchors, (u"<p>" + words.join(' ').toStdU16String() + u"<p>after"));
  d.Layout(600);
  std::vector<TSection*> texts;
  test::ForEachText(d.list, [&](TSection& s) { texts.push_back(&s); });
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_GT(texts[0]->Lines.size(), 100u);
  EXPECT_EQ(test::SplitWord(*texts[0]), "");
  d.list.SelB = 0;
  d.list.SelE = 1 << 30;
  EXPECT_EQ(d.list.GetSelText().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts), words + QStringList{"after"});

  // A text file: each of its lines is one line on screen.
  QStringList lines;
  for (int i = 0; i < 3000; ++i) lines << QString("line %1 of a long text file").arg(i);
  test::Doc t;
  ParseText(t.list, (lines.join("\r\n") + "\r\n").toStdU16String());
  t.Layout(600);
  ASSERT_EQ(t.list.Sections.size(), 1u);
  auto& pre = dynamic_cast<TPreFormated&>(*t.list.Sections[0]);
  ASSERT_EQ(pre.Lines.size(), size_t(lines.size()));
  for (int i = 0; i < lines.size(); ++i) {
    const LineRec& l = pre.Lines[size_t(i)];
    ASSERT_EQ(QString::fromStdU16String(pre.Buff.substr(size_t(l.Start), size_t(l.Ln))), lines[i] + '\r');
  }
}

// A paragraph of tens of thousands of runs: every word is drawn in its own
// font, and a link is found under every linked word, whatever the order in
// which lines are drawn and hit.
TEST(ReadhtmlText, ParagraphOfManyRunsKeepsEveryRunsFontAndLink) {
  std::u16string html = u"<p>";
  const int kWords = 40000;
  for (int i = 0; i < kWords; ++i) {
    std::u16string n = QString::number(i).toStdU16String();
    switch (i % 4) {
      case 0: html += u"<b>b" + n + u"</b> "; break;
      case 1: html += u"<i>i" + n + u"</i> "; break;
      case 2: html += u"<a href=\"u" + n + u".htm\">l" + n + u"</a> "; break;
      default: html += u"n" + n + u" ";
    }
  }
  test::Doc d;
  TAnchorList anchors;
  ParseString(d.list, anchors, html);
  d.Layout(600);
  d.Draw();
  int words = 0;
  for (const auto& call : d.canvas.CallsOf(RecordingCanvas::Op::Text)) {
    for (const QString& w : call.text.split(' ', Qt::SkipEmptyParts)) {
      ++words;
      const uint8_t want = w[0] == 'b' ? kBold : w[0] == 'i' ? kItalic : w[0] == 'l' ? kUnderline : 0;
      ASSERT_EQ(call.font.style & (kBold | kItalic | kUnderline), want) << w.toStdString();
    }
  }
  EXPECT_EQ(words, kWords);

  // Hit tests from the last line up: on the first word of every line.
  std::vector<TSection*> texts;
  test::ForEachText(d.list, [&](TSection& s) { texts.push_back(&s); });
  ASSERT_EQ(texts.size(), 1u);
  const TSection& s = *texts[0];
  ASSERT_GT(s.Lines.size(), 2000u);
  int top = s.YValue;
  std::vector<int> tops;
  for (const LineRec& l : s.Lines) {
    tops.push_back(top);
    top += l.Height();
  }
  int linked = 0;
  for (size_t k = s.Lines.size(); k-- > 0;) {
    const LineRec& l = s.Lines[k];
    size_t b = size_t(l.Start);
    while (s.Buff[b] == u' ') ++b;
    QString word = QString::fromStdU16String(s.Buff.substr(b, s.Buff.find(u' ', b) - b));
    TUrlTarget link;
    bool hit = d.list.GetURL(d.canvas, int(b - size_t(l.Start)) * 8 + l.LineIndent + 1, tops[k] + 1, link);
    ASSERT_EQ(hit, word[0] == 'l') << word.toStdString();
    if (hit) {
      ASSERT_EQ(link.Url, "u" + word.mid(1) + ".htm");
      ++linked;
    }
  }
  EXPECT_GT(linked, 100);
}

TEST(ReadhtmlAttributes, ValuesAsTheyAreRead) {
  Parsed p(u"<table border width=\"80%\" cellpadding=7><tr><td>x</td></tr></table>"
           u"<img src='a.gif' alt=\"unclosed>after");
  auto tables = p.All<ThtmlTable>(p.list);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_TRUE(tables[0]->Border);
  EXPECT_EQ(tables[0]->SpecWidth, 80);
  EXPECT_TRUE(tables[0]->WidthAsPercent);
  // The quote left open ends at ">", and the tag ends there.
  auto texts = p.Texts();
  ASSERT_FALSE(texts.empty());
  TSection* last = texts.back();
  ASSERT_EQ(last->Images.Items.size(), 1u);
  EXPECT_EQ(last->Images.Items[0].Alt, "unclosed");
  EXPECT_EQ(QString::fromStdU16String(last->Buff).mid(1), "after");
}

// A ">" inside a quoted value belongs to the value; a quote left open still
// ends at ">" with its tag.
TEST(ReadhtmlAttributes, GreaterThanInsideQuotedValues) {
  Parsed p(u"<a href=\"x.htm#<satisfyall>\">all</a> <span title=\"a>b\" class='c>d'>kept</span> "
           u"<a data-x=\"1>\" href=\"y.htm\">y</a> <a href=\"open.htm>one</a> <a href='z.htm'>two</a>");
  auto texts = p.Texts();
  ASSERT_EQ(texts.size(), 1u);
  const TSection& s = *texts[0];
  EXPECT_EQ(QString::fromStdU16String(s.Buff).toStdString(), "all kept y one two");
  auto urlOf = [&](const char16_t* word) {
    int overhang;
    return const_cast<TSection&>(s).Fonts.GetFontAt(int(s.Buff.find(word)), overhang).UrlTarget.Url;
  };
  EXPECT_EQ(urlOf(u"all"), "x.htm#<satisfyall>");
  EXPECT_EQ(urlOf(u"kept"), "");
  EXPECT_EQ(urlOf(u"y"), "y.htm");
  EXPECT_EQ(urlOf(u"one"), "open.htm");
  EXPECT_EQ(urlOf(u"two"), "z.htm");

  // At size: a value of many ">", a quote left open before a long text
  // without quotes, and many quotes left open.
  std::u16string page = u"<a href=\"" + std::u16string(100000, u'>') + u"\">x</a>y <a title=\"open>";
  for (int i = 0; i < 50000; ++i) page += u"w ";
  for (int i = 0; i < 20000; ++i) page += u"<i title=\"t>v</i>";
  const QString drawn = DrawnText(page);
  EXPECT_TRUE(drawn.startsWith("xy w w ")) << drawn.left(40).toStdString();
  EXPECT_EQ(drawn.count('w'), 50000);
  EXPECT_EQ(drawn.count('v'), 20000);
  EXPECT_FALSE(drawn.contains('>'));
}

TEST(ReadhtmlAttributes, EntitiesInQuotedValuesKeepTheTag) {
  Parsed p(u"<img src=\"R&amp;D &quot;q&quot;.gif\" alt='&lt;x&gt;'><a href=\"a.htm?x=1&amp;y=2\">l</a>");
  auto texts = p.Texts();
  ASSERT_EQ(texts.size(), 1u);
  ASSERT_EQ(texts[0]->Images.Items.size(), 1u);
  EXPECT_EQ(texts[0]->Images.Items[0].Source, "R&D \"q\".gif");
  EXPECT_EQ(texts[0]->Images.Items[0].Alt, "<x>");
  int overhang;
  EXPECT_EQ(texts[0]->Fonts.GetFontAt(1, overhang).UrlTarget.Url, "a.htm?x=1&y=2");
  EXPECT_EQ(QString::fromStdU16String(texts[0]->Buff).mid(1), "l");
}

TEST(ReadhtmlFonts, StylesStackAndSizes) {
  Parsed p(u"<b>bold</b> plain <font color=red size=+2>big<big>bigger</big>red</font> x"
           u"<tt>mono</tt><basefont size=1><font size=+9>max</font>");
  TSection* s = p.Texts().at(0);
  auto runAt = [&](const char16_t* word) -> const TFontObj& {
    size_t at = s->Buff.find(word);
    int overhang;
    return s->Fonts.GetFontAt(int(at), overhang);
  };
  EXPECT_TRUE(runAt(u"bold").TheFont.Style & kBold);
  EXPECT_FALSE(runAt(u"plain").TheFont.Style & kBold);
  EXPECT_EQ(runAt(u"big").TheFont.NormalSize, 18);  // 3 + 2 = 5
  EXPECT_EQ(runAt(u"bigger").TheFont.NormalSize, 24);
  EXPECT_EQ(runAt(u"red").TheFont.FontColor & 0xFFFFFF, 0x0000FFu);  // still red after </big>
  EXPECT_NE(runAt(u" x").TheFont.FontColor & 0xFFFFFF, 0x0000FFu);
  EXPECT_TRUE(runAt(u"mono").TheFont.Fixed);
  EXPECT_EQ(runAt(u"max").TheFont.NormalSize, 36);  // clamped to 7
}

TEST(ReadhtmlFonts, FullStackLosesNoEnclosingFont) {
  std::u16string html = u"<font color=red>";
  for (int i = 0; i < 40; ++i) html += u"<font size=4>";
  html += u"<h1>deep</h1>";
  for (int i = 0; i < 40; ++i) html += u"</font>";
  html += u"red</font>plain</a>";
  Parsed p(html);
  TSection* s = p.Texts().back();
  int overhang;
  size_t red = s->Buff.find(u"red");
  ASSERT_NE(red, std::u16string::npos);
  EXPECT_EQ(s->Fonts.GetFontAt(int(red), overhang).TheFont.FontColor & 0xFFFFFF, 0x0000FFu);
  size_t plain = s->Buff.find(u"plain");
  EXPECT_NE(s->Fonts.GetFontAt(int(plain), overhang).TheFont.FontColor & 0xFFFFFF, 0x0000FFu);
  EXPECT_TRUE(p.All<THeadingSpace>(p.list).empty());
}

TEST(ReadhtmlBlocks, ParagraphsBreaksHeadingsAndRules) {
  Parsed p(u"one<p></p><P><p align=center>two<br>three<h2>head</h2>four<hr size=5><page>five");
  EXPECT_EQ(p.Joined(), "one|two|three|head|four|five");
  EXPECT_EQ(p.All<TParagraphSpace>(p.list).size(), 1u);
  auto texts = p.Texts();
  EXPECT_EQ(texts[1]->Justify, kCentre);
  EXPECT_EQ(texts[2]->Justify, kCentre);  // a break keeps the line's justification
  EXPECT_EQ(texts[3]->Fonts.Items[0].TheFont.NormalSize, 18);
  EXPECT_TRUE(texts[3]->Fonts.Items[0].TheFont.Style & kBold);
  EXPECT_EQ(texts[4]->Fonts.Items[0].TheFont.NormalSize, 12);
  EXPECT_EQ(p.All<THeadingSpace>(p.list).size(), 2u);
  ASSERT_EQ(p.All<THorzLine>(p.list).size(), 1u);
  EXPECT_EQ(p.All<TPage>(p.list).size(), 1u);
  Parsed centred(u"<center>mid<p>still</center>left");
  auto c = centred.Texts();
  EXPECT_EQ(c[0]->Justify, kCentre);
  EXPECT_EQ(c[1]->Justify, kCentre);
  EXPECT_EQ(c[2]->Justify, kLeft);
}

// Every run of a preformatted block is in the fixed font, whatever markup
// it holds; the text after the block is in the body font again.
// DIV ends the line before it and its own last line, without a paragraph
// space; its ALIGN holds for all it holds, paragraphs included, and its end
// gives back the alignment it found, through nesting, lists and tables.
TEST(ReadhtmlBlocks, DivEndsLinesAndAligns) {
  auto read = [](const std::u16string& html) {
    Parsed p(html);
    QString out;
    std::function<void(TCell&)> walk = [&](TCell& cell) {
      for (auto& s : cell.Sections)
        if (auto* t = dynamic_cast<TSection*>(s.get()))
          out += QString::fromStdU16String(t->Buff) + "=" + QString::number(t->Justify) + (t->ListType ? "*" : "") + " ";
        else if (auto* table = dynamic_cast<ThtmlTable*>(s.get()))
          for (auto& c : table->Rows[0]->Cells) walk(*c->Cell);
        else if (dynamic_cast<TParagraphSpace*>(s.get()))
          out += "/ ";
    };
    walk(p.list);
    return out.trimmed();
  };
  EXPECT_EQ(read(u"<div>one</div><div>two</div>a<div>b</div>c"), "one=1 two=1 a=1 b=1 c=1");
  EXPECT_EQ(read(u"<p>one<div>two</div>three"), "/ one=1 two=1 three=1");
  EXPECT_EQ(read(u"<div class=x><div class=line>int a;</div>\n<div class=line>int b;</div></div>"), "int a;=1 int b;=1");
  EXPECT_EQ(read(u"<div align=center>c1<p>c2<div align=right>r</div>c3</div>l1<div align=bogus>l2</div>"
                 u"<center><div>c4</div>c5</center>"),
            "c1=2 / c2=2 r=3 c3=2 l1=1 l2=1 c4=2 c5=2");
  // CENTER's end gives back the alignment it found, as a DIV's does.
  EXPECT_EQ(read(u"<div align=right>r1<center>c</center>r2</div>l<table><tr><td align=right>"
                 u"<center>c</center>r</td></tr></table>"),
            "r1=3 c=2 r2=3 l=1 c=2 r=3");
  // A list item's first line stays beside its bullet.
  EXPECT_EQ(read(u"<ul><li><div>item</div>more<li>next</ul>"), "item=1* more=1 next=1*");
  // A cell ends the DIVs left open in it; the end of one opened outside the
  // cell is passed over there.
  EXPECT_EQ(read(u"<div align=center><table><tr><td><div align=right>r</td><td>l</div>x</td></tr></table>"
                 u"after</div>end"),
            "r=3 lx=1 after=2 end=1");
  // A hundred thousand DIVs inside each other.
  EXPECT_EQ(read(Repeat(u"<div align=right>", 100000) + u"deep" + Repeat(u"</div>", 100000) + u"out"),
            "deep=3 out=1");

  // Drawn: a line each, placed as aligned.
  test::Doc d;
  TAnchorList anchors;
  ParseString(d.list, anchors, u"<div>one</div><div align=center>two</div><div align=right>six</div>");
  d.Layout(400);
  d.Draw();
  for (const auto& [text, at] : {std::pair{"one", QPoint(0, 14)}, {"two", QPoint(188, 32)}, {"six", QPoint(376, 50)}}) {
    ASSERT_NE(d.canvas.FindText(text), nullptr) << text;
    EXPECT_EQ(d.canvas.FindText(text)->a, at) << text;
  }
}

TEST(ReadhtmlBlocks, PreKeepsItsFixedFontThroughItsMarkup) {
  struct Row {
    std::u16string html;
    QString bodyAfter;  // text after the block, in the body font
    Color colour = kNoColor;  // its colour; kNoColor: the document's
    bool link = false;
  } rows[] = {
      {u"<pre>a <b>b</b> <i>i</i> <em>e</em> <strong>s</strong> <u>u</u> <sub>d</sub> <a href=x.htm>l</a> "
       u"<tt>t</tt> t2 <code>c</code> c2 <kbd>k</kbd> <samp>m</samp> <font color=red>f</font> "
       u"<big>g</big> <small>h</small> <em class=r><code>expr</code></em> [, ...]</pre>body",
       "body"},
      // End tags of fonts opened before the block pop them once it ends.
      {u"<tt>x<pre>y</tt>z</pre>body</tt>", "body"},
      {u"<font color=red><pre>y</font>z</pre>body", "body"},
      // A font left open in the block ends with it, its late end tag too.
      {u"<font color=red><pre><font color=blue>b</pre>body</font>", "body", 0x0000FF},
      // So does a link, whose late end tag then changes nothing.
      {u"<pre><a href=x.htm>l</pre>body</a>", "body"},
      {u"<a href=x.htm>l<pre>in</a>side</pre>body", "body"},
      {u"<a href=x.htm><pre>in</pre>body</a>", "body", 0, true},
  };
  for (const Row& r : rows) {
    const std::string html = QString::fromStdU16String(r.html).toStdString();
    Parsed p(r.html);
    auto pres = p.All<TPreFormated>(p.list);
    ASSERT_EQ(pres.size(), 1u) << html;
    for (const TFontObj& run : pres[0]->Fonts.Items) {
      EXPECT_TRUE(run.TheFont.Fixed) << html << " at " << run.Pos;
      EXPECT_EQ(run.TheFont.Name, p.list.PreFontName) << html << " at " << run.Pos;
    }
    TSection* after = p.Texts().back();
    ASSERT_EQ(QString::fromStdU16String(after->Buff), r.bodyAfter) << html;
    int overhang;
    const TFontObj& run = after->Fonts.GetFontObjAt(0, overhang);
    EXPECT_FALSE(run.TheFont.Fixed) << html;
    EXPECT_EQ(run.TheFont.Name, p.list.FontName) << html;
    const Color colour = r.link ? p.list.HotSpotColor : r.colour == kNoColor ? p.list.FontColor : r.colour;
    EXPECT_EQ(PlainColor(run.TheFont.FontColor), PlainColor(colour)) << html;
    EXPECT_EQ(run.UrlTarget.Url.isEmpty(), !r.link) << html;
  }
  // The block's font is pushed even on a full stack.
  std::u16string deep;
  for (int i = 0; i < kMaxFontStack + 3; ++i) deep += u"<font color=red>";
  Parsed full(deep + u"<pre>a <b>b</b> c</pre>d");
  auto pres = full.All<TPreFormated>(full.list);
  ASSERT_EQ(pres.size(), 1u);
  for (const TFontObj& run : pres[0]->Fonts.Items) EXPECT_TRUE(run.TheFont.Fixed) << run.Pos;
  EXPECT_FALSE(full.Texts().back()->Fonts.Items.back().TheFont.Fixed);
}

TEST(ReadhtmlBlocks, PreKeepsWhiteSpaceAndLinks) {
  Parsed p(u"<pre>\n a  b\n<b>c</b>\t<a href=x.htm>d</a></pre>after");
  auto pres = p.All<TPreFormated>(p.list);
  ASSERT_EQ(pres.size(), 1u);
  EXPECT_EQ(QString::fromStdU16String(pres[0]->Buff), " a  b\rc d");
  int overhang;
  EXPECT_EQ(pres[0]->Fonts.GetFontAt(int(pres[0]->Buff.find(u'd')), overhang).UrlTarget.Url, "x.htm");
  EXPECT_EQ(p.Texts().back()->Buff, u"after");
}

TEST(ReadhtmlBlocks, LinksAndAnchors) {
  Parsed p(u"<a name=top></a>x <a href=\"a.htm\" target=f>link</a> y</a> z<a name=\"Mid\">m</a>");
  ASSERT_EQ(p.anchors.size(), 2u);
  EXPECT_EQ(p.anchors[0].Name, "TOP");
  EXPECT_EQ(p.anchors[1].Name, "MID");
  TSection* s = p.Texts().at(0);
  EXPECT_EQ(p.anchors[1].Section, s);
  EXPECT_EQ(s->Buff.substr(size_t(p.anchors[1].Offset)), u"m");
  int overhang;
  const TFontObj& link = s->Fonts.GetFontAt(int(s->Buff.find(u"link")), overhang);
  EXPECT_EQ(link.UrlTarget.Url, "a.htm");
  EXPECT_EQ(link.UrlTarget.Target, "f");
  EXPECT_TRUE(link.TheFont.Style & kUnderline);
  EXPECT_TRUE(s->Fonts.GetFontAt(int(s->Buff.find(u" y")), overhang).UrlTarget.Url.isEmpty());
}

TEST(ReadhtmlLists, ItemsNumbersAndLevels) {
  Parsed p(u"<ol start=3><li><p>one<li>two<ul plain><li>inner</ul><li>three</ol>"
           u"<dl><dt>term<dd>def</dl><blockquote>quoted</blockquote></li></tr>after");
  auto texts = p.Texts();
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_TRUE(p.All<TParagraphSpace>(p.list).empty());  // P right after LI
  EXPECT_EQ(texts[0]->ListType, kNumberedItem);
  EXPECT_EQ(texts[0]->ListNumb, 3);
  EXPECT_EQ(texts[1]->ListNumb, 4);
  EXPECT_EQ(texts[2]->ListLevel, 2);
  EXPECT_EQ(texts[2]->ListType, kPlainList);
  EXPECT_EQ(texts[3]->ListNumb, 5);
  EXPECT_EQ(texts[4]->ListType, kDefinitionItem);
  EXPECT_EQ(texts[6]->ListLevel, 1);
  EXPECT_EQ(texts[6]->Buff, u"quoted");
  EXPECT_EQ(texts[7]->ListLevel, 0);
  EXPECT_EQ(texts[7]->Buff, u"after");
}

TEST(ReadhtmlTables, CellsRowsCaptionAndStrayText) {
  Parsed p(u"<table>before<caption align=BOTTOM>cap</caption><tr align=right><th>h<td>d"
           u"<tr><th>c</th><td align=center>e<table><tr><td>nested</table></td></table>after");
  auto texts = p.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0]->Buff, u"before");
  EXPECT_EQ(texts[1]->Buff, u"after");
  auto tables = p.All<ThtmlTable>(p.list);
  ASSERT_EQ(tables.size(), 1u);
  ThtmlTable& t = *tables[0];
  EXPECT_FALSE(t.CaptionOnTop);
  ASSERT_EQ(t.Rows.size(), 2u);
  ASSERT_EQ(t.Rows[0]->Cells.size(), 2u);
  ASSERT_EQ(t.Rows[1]->Cells.size(), 2u);
  auto first = [](TCellObj& c) { return dynamic_cast<TSection*>(c.Cell->Sections.at(0).get()); };
  TSection* h = first(*t.Rows[0]->Cells[0]);
  EXPECT_EQ(h->Justify, kRight);  // the row's ALIGN
  EXPECT_TRUE(h->Fonts.Items[0].TheFont.Style & kBold);
  EXPECT_FALSE(first(*t.Rows[0]->Cells[1])->Fonts.Items[0].TheFont.Style & kBold);
  TSection* c = first(*t.Rows[1]->Cells[0]);
  EXPECT_EQ(c->Justify, kCentre);
  EXPECT_EQ(first(*t.Rows[1]->Cells[1])->Justify, kCentre);
  EXPECT_EQ(t.Rows[1]->Cells[1]->Cell->Sections.size(), 2u);  // text and the nested table
  EXPECT_FALSE(p.Texts()[1]->Fonts.Items[0].TheFont.Style & kBold);  // bold does not leak out
}

TEST(ReadhtmlForms, ControlsOptionsAndTextArea) {
  Parsed p(u"<form action=/go method=post><input name=q value=\"a b\"><select name=s>"
           u"<option value=1>One<option selected>  Two  </select>"
           u"<textarea name=t><b>raw</b> &amp;\n</TextArea >after</form>");
  ASSERT_EQ(p.list.htmlFormList.size(), 1u);
  EXPECT_EQ(p.list.htmlFormList[0]->Action, "/go");
  TSection* s = p.Texts().at(0);
  ASSERT_EQ(s->FormControls.Items.size(), 3u);
  auto* box = dynamic_cast<TListBoxFormControlObj*>(s->FormControls.Items[1].get());
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->Options.size(), 2u);
  EXPECT_EQ(box->Options[0].Value, "1");
  EXPECT_EQ(box->Options[1].Text, "Two");
  auto* area = dynamic_cast<TTextAreaFormControlObj*>(s->FormControls.Items[2].get());
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->TheText, "<b>raw</b> &amp;\n");
  EXPECT_EQ(QString::fromStdU16String(s->Buff).right(5), "after");
  EXPECT_EQ(p.list.CurrentForm, nullptr);
}

TEST(ReadhtmlBody, ColoursBackgroundAndMaps) {
  Parsed p(u"<body text=#00ff00 bgcolor=\"navy\" link=red>x<map name=\"#M\"><area shape=rect coords=\"0,0,9,9\" "
           u"href=a.htm></map>");
  EXPECT_EQ(p.list.FontColor & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(p.Texts()[0]->Fonts.Items[0].TheFont.FontColor & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(p.list.HotSpotColor & 0xFFFFFF, 0x0000FFu);
  ASSERT_EQ(p.list.MapList.size(), 1u);
  EXPECT_EQ(p.list.MapList[0]->MapName, "M");
  QString url, target;
  EXPECT_TRUE(p.list.MapList[0]->GetURL(5, 5, url, target));
  EXPECT_EQ(url, "a.htm");
}

// The page colours hold while nothing but white space, comments and the head
// came before BODY; once a section is in the document they are ignored.
TEST(ReadhtmlBody, ColoursAfterDoctypeAndHead) {
  for (const std::u16string head : {u"<html>\n", u"<?xml version=\"1.0\"?>\n<!DOCTYPE html>\n<html><head>\n"
                                                 u"<title>t</title><style>p {}</style></head>\n  "}) {
    Parsed p(head + u"<body bgcolor=\"#00FF00\" text=#000080 link=#a06060>x <a href=y.htm>link</a>");
    EXPECT_EQ(p.list.Background & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(p.list.FontColor & 0xFFFFFF, 0x800000u);
    EXPECT_EQ(p.list.HotSpotColor & 0xFFFFFF, 0x6060A0u);
    TSection* s = p.Texts().at(0);
    int overhang;
    EXPECT_EQ(s->Fonts.GetFontAt(0, overhang).TheFont.FontColor & 0xFFFFFF, 0x800000u);
    EXPECT_EQ(s->Fonts.GetFontAt(int(s->Buff.find(u"link")), overhang).TheFont.FontColor & 0xFFFFFF, 0x6060A0u);
  }
  Parsed late(u"<p>text<body bgcolor=#00FF00>");
  EXPECT_NE(late.list.Background & 0xFFFFFF, 0x00FF00u);
}

// A list with SELECTED options shows and submits them, a drop-down list its
// selected option rather than the first.
TEST(ReadhtmlForms, SelectedOptionsAreShownAndSubmitted) {
  Parsed p(u"<form><select name=size><option>Small<option selected>Medium<option>Large</select>"
           u"<select name=m multiple><option selected>a<option>b<option value=cv selected>c</select>"
           u"<select name=l size=3><option>x<option selected>y<option>z</select>"
           u"<select name=none><option>first<option>second</select><input type=submit></form>");
  QStringList submitted;
  p.list.OnFormSubmit = [&](const QString&, const QString&, const QStringList& r) { submitted = r; };
  auto controls = p.list.AllControls();
  ASSERT_EQ(controls.size(), 5u);
  auto* combo = qobject_cast<QComboBox*>(controls[0]->Widget());
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->currentText(), "Medium");
  auto* multi = qobject_cast<QListWidget*>(controls[1]->Widget());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->selectedItems().size(), 2);
  qobject_cast<QPushButton*>(controls[4]->Widget())->click();
  EXPECT_EQ(submitted, (QStringList{"size=Medium", "m=a", "m=cv", "l=y", "none=first"}));
  // The reset button brings the initial choice back.
  combo->setCurrentIndex(2);
  controls[0]->MyForm->ResetControls();
  EXPECT_EQ(combo->currentText(), "Medium");
}

// BR CLEAR moves what follows below the floating images of that side.
TEST(ReadhtmlLayout, BreakClearGoesBelowFloats) {
  struct Row {
    std::u16string html;
    bool below;
  } rows[] = {
      {u"<img src=40x100.gif align=left>beside<br clear=left>after", true},
      {u"<img src=40x100.gif align=right>beside<br clear=right>after", true},
      {u"<img src=40x100.gif align=left>beside<br clear=all>after", true},
      {u"<img src=40x100.gif align=left>beside<br clear=all><p>after", true},
      {u"<img src=40x100.gif align=left>beside<br clear=right>after", false},
      {u"<img src=40x100.gif align=left>beside<br clear=none>after", false},
      {u"<img src=40x100.gif align=left>beside<br>after", false},
  };
  for (const Row& r : rows) {
    test::Doc d;
    TAnchorList anchors;
    ParseString(d.list, anchors, r.html);
    d.Layout(400);
    d.Draw();
    const RecordingCanvas::Call* after = d.canvas.FindText("after");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->rect.top() >= 100, r.below) << QString::fromStdU16String(r.html).toStdString();
  }
}

TEST(ReadhtmlRecovery, BrokenMarkupGivesAModel) {
  const std::u16string cases[] = {
      u"<b><i>unclosed <table><tr><td>cell",
      u"</td></tr></table></ul></b></font></h1></pre>text",
      u"<blink><marquee>unknown</marquee></blink>",
      std::u16string(u"nul\0in\0text", 11),
      u"<a href=\"x", u"<", u"&", u"<table", u"<select><option>a", u"<textarea>open",
      u"<td>cell outside</td><tr><li>item",
  };
  for (const std::u16string& html : cases) {
    TSectionList list;
    TAnchorList anchors;
    ASSERT_NO_THROW(ParseString(list, anchors, html));
    test::Doc d;
    int curs = 0, maxWidth = 0;
    list.DoLogic(d.canvas, 0, curs, maxWidth, 500);
  }
  Parsed unknown(u"<blink>unknown</blink> </td>text");
  EXPECT_EQ(unknown.Joined(), "unknown text");
  Parsed nul(std::u16string(u"nul\0in", 6));
  EXPECT_EQ(nul.Joined(), "nulin");
}

TEST(ReadhtmlRecovery, DeepNestingIsBounded) {
  for (const std::u16string open : {u"<table><tr><td>", u"<ul><li>", u"<div><b>", u"<blockquote>"}) {
    std::u16string html;
    for (int i = 0; i < 10000; ++i) html += open;
    html += u"bottom";
    TSectionList list;
    TAnchorList anchors;
    ASSERT_NO_THROW(ParseString(list, anchors, html));
    test::Doc d;
    int curs = 0, maxWidth = 0;
    list.DoLogic(d.canvas, 0, curs, maxWidth, 500);
    SelTextBuilder text;
    list.SelB = 0;
    list.SelE = 1 << 30;
    EXPECT_TRUE(list.GetSelText().contains("bottom"));
  }
}

TEST(ReadhtmlPlain, TextFileIsOnePreformattedBlock) {
  TSectionList list;
  ParseText(list, u"a <b>\r\nline\ttab\n\nend");
  ASSERT_EQ(list.Sections.size(), 1u);
  auto* pre = dynamic_cast<TPreFormated*>(list.Sections[0].get());
  ASSERT_NE(pre, nullptr);
  EXPECT_EQ(pre->Buff, u"a <b>\rline tab\r\rend");
  EXPECT_TRUE(pre->Fonts.Items[0].TheFont.Fixed);
}

TEST(ReadhtmlFrames, FrameSetsAndDetection) {
  std::u16string doc = u"<html><head><title>t</title></head><frameset rows=\"20%,*\">"
                       u"<frame src=top.htm name=top noresize><frameset cols=50,50><frame src=a.htm scrolling=no>"
                       u"<frame src=b.htm></frameset><noframes><frame src=no.htm></noframes></frameset>";
  EXPECT_TRUE(IsFrameSetText(doc));
  EXPECT_FALSE(IsFrameSetText(u"<html><body><frameset>"));
  EXPECT_FALSE(IsFrameSetText(u"text first<frameset>"));
  TFrameDef root;
  ASSERT_TRUE(ParseFrameSet(doc, root));
  EXPECT_EQ(root.Rows, "20%,*");
  ASSERT_EQ(root.Children.size(), 2u);
  EXPECT_EQ(root.Children[0].Src, "top.htm");
  EXPECT_TRUE(root.Children[0].NoResize);
  ASSERT_TRUE(root.Children[1].IsFrameSet);
  EXPECT_EQ(root.Children[1].Cols, "50,50");
  ASSERT_EQ(root.Children[1].Children.size(), 2u);
  EXPECT_EQ(root.Children[1].Children[0].Scrolling, "no");
  std::u16string deep;
  for (int i = 0; i < 10000; ++i) deep += u"<frameset cols=*>";
  EXPECT_TRUE(ParseFrameSet(deep, root));
}

// The largest numbers a page can write (and the smallest, and one past what
// an int holds) give sizes within what can be laid out, and the page around
// them is laid out and drawn whole.
TEST(ReadhtmlLayout, HostileNumbersStayWithinWhatCanBeLaidOut) {
  for (const std::u16string n : {u"2147483647", u"-2147483648", u"99999999999"}) {
    const std::u16string sign = n[0] == u'-' ? u"" : u"+";
    test::Doc d;
    TAnchorList anchors;
    ParseString(d.list, anchors,
                u"<p>before<table cellspacing=" + n + u" cellpadding=" + n + u" border=" + n + u" width=" + n +
                    u"><tr><td rowspan=" + n + u" width=" + n + u">cell</table>"
                    u"<ol start=" + n + u"><li>a<li>b</ol>"
                    u"<font size=" + sign + n + u">big</font> <basefont size=" + n + u"><font size=-1>base</font>"
                    u"<hr size=" + n + u" width=" + n + u"><img src=50x40.gif width=" + n + u" height=" + n +
                    u" hspace=" + n + u" border=" + n + u">"
                    u"<form><input size=" + n + u" maxlength=" + n + u"><select size=" + n +
                    u"><option>o</select><textarea rows=" + n + u" cols=" + n + u">t</textarea></form>"
                    u"<map name=m><area shape=circle coords=\"" + n + u"," + n + u"," + n + u"\" href=c.htm>"
                    u"<area shape=poly coords=\"0,0," + n + u",0," + n + u"," + n + u",0," + n + u"\" href=p.htm>"
                    u"</map><p>after");
    const int height = d.Layout(600);
    d.Draw(0, QRect(0, 0, 2000, kMaxLayoutY));
    const std::string which = QString::fromStdU16String(n).toStdString();
    EXPECT_LT(height, 4 * kMaxAttrSize) << which;
    const std::vector<QString> drawn = d.canvas.Texts();
    for (const char* word : {"before", "cell", "a", "b", "big", "base", "after"})
      EXPECT_NE(std::find(drawn.begin(), drawn.end(), word), drawn.end()) << which << " " << word;

    std::vector<TSection*> texts;
    test::ForEachText(d.list, [&](TSection& s) { texts.push_back(&s); });
    for (TSection* s : texts) {
      for (const auto& c : s->FormControls.Items) {
        EXPECT_LE(c->Width, kMaxAttrSize) << which;
        EXPECT_LE(c->Height, kMaxAttrSize) << which;
        if (c->Widget()) {
          EXPECT_LE(c->Widget()->height(), kMaxAttrSize) << which;
        }
      }
      for (const TImageObj& img : s->Images.Items) {
        EXPECT_LE(img.ImageHeight, kMaxAttrSize + 2) << which;
        EXPECT_LE(img.HSpace, 20) << which;
      }
      if (s->ListType == kNumberedItem) {
        EXPECT_GE(s->ListNumb, 1) << which;
      }
    }
    for (auto& sec : d.list.Sections)
      if (auto* t = dynamic_cast<ThtmlTable*>(sec.get())) {
        EXPECT_LE(t->CellSpacing, 40) << which;
        EXPECT_LE(t->CellPadding, 50) << which;
      }
    // Points of the picture hit the map as its shapes cover them.
    ASSERT_EQ(d.list.MapList.size(), 1u);
    QString url, target;
    const bool positive = n[0] != u'-';
    EXPECT_EQ(d.list.MapList[0]->GetURL(10, 10, url, target), positive) << which;
    EXPECT_EQ(url, positive ? "p.htm" : "") << which;
  }
  // Numbered items past the largest number keep it.
  Parsed p(u"<ol start=2147483646><li>a<li>b<li>c</ol>");
  auto items = p.Texts();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]->ListNumb, 2147483646);
  EXPECT_EQ(items[2]->ListNumb, 2147483647);
}

TEST(ReadhtmlLayout, ParsedDocumentLaysOutAndDraws) {
  test::Doc d;
  TAnchorList anchors;
  ParseString(d.list, anchors, u"<h1>T</h1><p>aaaa bbbb cccc<table border><tr><td>x<td>y</table>");
  int height = d.Layout(100);
  EXPECT_GT(height, 0);
  d.Draw();
  QStringList texts;
  for (const auto& c : d.canvas.calls())
    if (c.op == RecordingCanvas::Op::Text) texts << c.text;
  EXPECT_TRUE(texts.contains("T"));
  EXPECT_TRUE(texts.join("").contains("cccc"));
  EXPECT_TRUE(texts.contains("x"));
  EXPECT_TRUE(texts.contains("y"));
}

}  // namespace
}  // namespace qlon::viewer
