#include <gtest/gtest.h>

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

TEST(ReadhtmlText, EntitiesWhiteSpaceAndStrayBrackets) {
  struct Row {
    std::u16string html;
    QString text;
  } rows[] = {
      {u"a&nbsp;b", QString("a") + QChar(160) + "b"},
      {u"&times; &amp;&lt;&gt;&quot;", "&times; &<>\""},
      {u"&#65;&#66 &#123456;", "AB &#123456;"},
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

TEST(ReadhtmlText, LongTextIsContinuedNotCut) {
  std::u16string word(30000, u'w');
  Parsed p(u"<p>" + word + u" end");
  size_t total = 0;
  for (TSection* s : p.Texts()) total += s->Buff.size();
  EXPECT_EQ(total, word.size() + 4);
  EXPECT_GE(p.Texts().size(), 2u);
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

TEST(ReadhtmlBody, ColoursOfABodyAfterAHeadOnSeveralLines) {
  Parsed p(u"<html>\n<head>\n<title>t</title>\n</head>\n<body bgcolor=\"#FFFFFF\" text=navy>\n<p>x");
  EXPECT_EQ(p.list.Background, 0x02FFFFFFu);
  EXPECT_EQ(p.list.FontColor & 0xFFFFFF, 0x800000u);
  // Not once the document shows something.
  Parsed late(u"<p>shown</p><body bgcolor=navy>x");
  EXPECT_NE(late.list.Background & 0xFFFFFF, 0x800000u);
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
