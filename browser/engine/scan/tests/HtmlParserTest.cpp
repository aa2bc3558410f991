#include "HtmlParser.h"

#include <string>
#include <vector>

#include <QBuffer>
#include <gtest/gtest.h>

#include "TempRoot.h"

using namespace qlon;
using namespace std::string_literals;

namespace {

struct Parsed {
  explicit Parsed(std::string page, bool frames = false)
      : bytes(page.data(), static_cast<qsizetype>(page.size())), buffer(&bytes), parser(buffer) {
    buffer.open(QIODevice::ReadOnly);
    parser.FrameOption = frames;
    parser.Parse();
  }
  // Every link the page yields, in order, as "kind:url".
  std::vector<std::string> Links() {
    std::vector<std::string> out;
    TTagLink link;
    for (int i = 0; i < parser.GetCount(); ++i)
      if (parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && !link.GetUrl().empty())
        out.push_back(std::to_string(link.Kind) + ":" + link.GetUrl());
    return out;
  }
  int Find(uint8_t kind, uint8_t flag = kTokenStart, int from = 0) const {
    for (int i = from; i < parser.GetCount(); ++i)
      if (parser.GetToken(i).Kind == kind && (parser.GetToken(i).Flags & flag)) return i;
    return -1;
  }
  QByteArray bytes;
  QBuffer buffer;
  THtmlParser parser;
};

// The invariant page rewriting relies on: tokens in order, never
// overlapping, every gap marked as text, and copying all of it gives the page.
void ExpectExactCover(const std::string& page) {
  Parsed p(page);
  const THtmlParser& h = p.parser;
  ASSERT_GE(h.GetCount(), 2);
  EXPECT_EQ(h.GetToken(0).Position, 0);
  EXPECT_EQ(h.GetToken(h.GetCount() - 1).Position, static_cast<int64_t>(page.size()));
  for (int i = 0; i + 1 < h.GetCount(); ++i) {
    const TToken& a = h.GetToken(i);
    const TToken& b = h.GetToken(i + 1);
    ASSERT_LE(a.End(), b.Position) << "tokens " << i << " and " << i + 1 << " overlap";
    EXPECT_EQ(a.End() < b.Position, bool(a.Flags & kTokenTextAfter)) << "token " << i;
  }
  QByteArray out;
  QBuffer sink(&out);
  sink.open(QIODevice::WriteOnly);
  for (int i = 0; i < h.GetCount(); ++i) ASSERT_TRUE(h.CopyTokenAndText(i, sink));
  EXPECT_EQ(out.toStdString(), page);
}

}  // namespace

TEST(HtmlParserTokens, EveryByteBelongsToExactlyOneTokenOrText) {
  const std::string pages[] = {
      "",
      "plain text only",
      "<a href=x>",
      "text<",
      "a < b and c > d <a href=x>y</a>",
      "<<<a href=x>>>",
      "<a href=x<b>bold</b><img src=y",
      "<!-- unterminated comment <a href=x>",
      "<!DOCTYPE html><html><p>one<p>two</html>trailing",
      "nul\0<a\0 href=z>\0</a>\0"s,
      "<script>if (a<b && c>d) x();</script><a href='s.htm'>s</a>",
      "<!-- a > b -- c --!><a href=after.htm>",
      "</>< >< /a><!><!-><!--->",
      "<img title=\"<-\" alt='a>b' src=x.gif>t<a href=\"open.htm>never closed",
  };
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    ExpectExactCover(page);
  }
}

TEST(HtmlParserTokens, ClassifiesByTheNameAtTheStartInAnyCase) {
  Parsed p("<IMG alt=\"a b\" src=x.gif><Frameset><frame src=f.htm></A><h3 ><h4><quillon baseurl=\"u\">");
  const THtmlParser& h = p.parser;
  ASSERT_EQ(h.GetCount(), 2 + 7);
  EXPECT_EQ(h.GetToken(1).Kind, tkImg);  // not A, although "a b" holds a blank after A
  EXPECT_EQ(h.GetToken(1).Flags, kTokenStart | kTokenLinkTag);
  EXPECT_EQ(h.GetToken(2).Kind, tkFrameset);
  EXPECT_EQ(h.GetToken(3).Kind, tkFrame);
  EXPECT_EQ(h.GetToken(4).Kind, tkA);
  EXPECT_EQ(h.GetToken(4).Flags, kTokenEnd);
  EXPECT_EQ(h.GetToken(5).Kind, tkH3);
  EXPECT_EQ(h.GetToken(6).Kind, tkUnknown);
  EXPECT_EQ(h.GetToken(7).Kind, tkQuillon);
}

TEST(HtmlParserTokens, TheNameEndsAtABlankOrASlashOnly) {
  // Text between the tags: unknown tags side by side would be one token.
  Parsed p("<img/src=a.gif>.<br/>.<framesetx>.<Frame\tsrc=f.htm>.<1a>.<A\nhref=x.htm>.<title/>");
  const THtmlParser& h = p.parser;
  ASSERT_EQ(h.GetCount(), 2 + 7);
  EXPECT_EQ(h.GetToken(1).Kind, tkImg);
  EXPECT_EQ(h.GetToken(2).Kind, tkUnknown);  // BR is not a name of the table
  EXPECT_EQ(h.GetToken(3).Kind, tkUnknown);  // a longer name is another tag
  EXPECT_EQ(h.GetToken(4).Kind, tkFrame);
  EXPECT_EQ(h.GetToken(5).Kind, tkUnknown);
  EXPECT_EQ(h.GetToken(6).Kind, tkA);
  EXPECT_EQ(h.GetToken(7).Kind, tkTitle);
}

TEST(HtmlParserTokens, ATagOfTheLongestLengthIsATagAndOneByteMoreIsText) {
  // "<a title=xxx...>" of exactly kMaxTagLength bytes, then one that runs
  // past it before its ">".
  const std::string head = "<a href=in.htm title=";
  const std::string fits = head + std::string(kMaxTagLength - head.size() - 1, 'x') + ">";
  const std::string over = "<a href=out.htm title=" + std::string(kMaxTagLength - head.size() + 1, 'x') + ">";
  ASSERT_EQ(fits.size(), size_t(kMaxTagLength));
  Parsed p(fits + "text" + over + "<img src=after.gif>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"0:in.htm", "2:after.gif"}));
  EXPECT_EQ(p.parser.GetToken(1).Length, kMaxTagLength);
}

TEST(HtmlParserTokens, MergesOnlyAdjacentUnknownTags) {
  Parsed p("<p><div><span>text<b>x</b><i></i>");
  const THtmlParser& h = p.parser;
  // <p><div><span> | text | <b> | x | </b><i></i>
  ASSERT_EQ(h.GetCount(), 5);
  EXPECT_EQ(h.GetTokenText(1), "<p><div><span>");
  EXPECT_EQ(h.GetTextAfter(1), "text");
  EXPECT_EQ(h.GetTokenText(3), "</b><i></i>");
}

TEST(HtmlParserTokens, CommentsEndOnlyAfterTwoDashes) {
  Parsed p("<!-- x > y -- z --><!DOCTYPE html><!-- a --!><a href=k>");
  const THtmlParser& h = p.parser;
  EXPECT_EQ(h.GetTokenText(1), "<!-- x > y -- z -->");
  EXPECT_EQ(h.GetToken(1).Kind, tkComment);
  EXPECT_EQ(h.GetTokenText(2), "<!DOCTYPE html>");
  EXPECT_EQ(h.GetTokenText(3), "<!-- a --!>");
  EXPECT_EQ(p.Links(), std::vector<std::string>{"0:k"});
}

TEST(HtmlParserTokens, StrayLessThanNeitherOverlapsNorHidesTheNextTag) {
  Parsed p("price < 5 <a href=a.htm>A</a> <b <img src=i.gif>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"0:a.htm", "2:i.gif"}));
  EXPECT_EQ(p.parser.GetTokenText(1), "< 5 ");
}

TEST(HtmlParserTokens, QuotedValuesHoldLessAndGreaterThan) {
  // A quote that never closes opens nothing: the typo costs only its tag.
  Parsed p("<img title=\"<-\" alt=\"<-\" src=\"./images/left.gif\"><a title='1 > 0' href=n.htm>n</a>"
           "<a onclick = \"return a<b\" href=s.htm>s</a><a href=\"typo.htm>t</a><img src=after.gif>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"2:./images/left.gif", "0:n.htm", "0:s.htm", "0:typo.htm",
                                                 "2:after.gif"}));
  EXPECT_EQ(p.parser.GetTokenText(1), "<img title=\"<-\" alt=\"<-\" src=\"./images/left.gif\">");
}

TEST(HtmlParserTokens, UnterminatedTagAtTheEndIsStillALink) {
  Parsed p("<p>x<a href=\"last.htm\"");
  EXPECT_EQ(p.Links(), std::vector<std::string>{"0:last.htm"});
}

TEST(HtmlParserTokens, LongTagsAreReadAndOverlongOnesBecomeText) {
  std::string style(5000, 'x');
  Parsed p("<a style=\"" + style + "\" href=long.htm>L</a><" + std::string(kMaxTagLength + 10, 'y') +
           "<img src=after.gif>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"0:long.htm", "2:after.gif"}));
}

TEST(HtmlParserTokens, NulBytesDoNotCutThePage) {
  std::string page = "<a href=one.htm>\0\0</a>\0<img\0src=two.gif>"s;
  Parsed p(page);
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"0:one.htm", "2:two.gif"}));
  EXPECT_EQ(p.parser.TextAfterBytes(1), std::string_view("\0\0", 2));
}

TEST(HtmlParserTokens, DefaultTokenOutsideTheTable) {
  Parsed p("<a href=x>");
  for (int index : {-1, p.parser.GetCount(), 1 << 30}) {
    const TToken& t = p.parser.GetToken(index);
    EXPECT_EQ(t.Flags, kTokenSentinel);
    EXPECT_EQ(t.Kind, tkUnknown);
    EXPECT_EQ(t.Position, -1);
    EXPECT_EQ(t.Length, 0);
  }
  EXPECT_EQ(p.buffer.pos(), 0);
}

TEST(HtmlParserTokens, ShortTextsStopAt255BytesOnACharacterBoundary) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "\xC3\xA9";  // é
  Parsed p("<b>" + text + "<i>");
  std::string after = p.parser.GetTextAfter(1);
  EXPECT_EQ(after.size(), 254u);
  EXPECT_EQ(after, text.substr(0, 254));
}

TEST(HtmlParserAttributes, ValuesInEveryQuotingStyle) {
  struct Case { const char* tag; const char* name; const char* value; };
  const Case cases[] = {
      {"<frame src=top.htm>", "SRC", "top.htm"},  // a bare value ends at ">"
      {"<a href='it s.htm'>", "href", "it s.htm"},
      {"<a href=\"a b.htm\" title=x>", "HREF", "a b.htm"},
      {"<a title=\"see href=bad.htm\" href=good.htm>", "href", "good.htm"},
      {"<a href=\"typo.htm>", "href", "typo.htm"},
      {"<a href = \"spaced.htm\" >", "href", "spaced.htm"},
      {"<a href=\"line\r\nbreak.htm\">", "href", "linebreak.htm"},
      {"<a href=\"q.php?a=1&amp;b=2\">", "href", "q.php?a=1&b=2"},
      {"<a href=\"q.php?a=1&#38;b=2\">", "href", "q.php?a=1&b=2"},
      {"<img ismap src=m.gif>", "ismap", ""},
      {"<img data-src=lazy.gif src=real.gif>", "src", "real.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    TTag tag;
    tag.LoadFromText(c.tag);
    TTagParam p;
    ASSERT_TRUE(tag.FindParam(c.name, p));
    EXPECT_EQ(tag.GetParamValue(c.name), c.value);
  }
  TTag tag;
  tag.LoadFromText("<a title=\"href=x\">");
  TTagParam p;
  EXPECT_FALSE(tag.FindParam("HREF", p));
  EXPECT_EQ(p.Start, -1);
}

TEST(HtmlParserAttributes, ReplacingQuotesAndEscapesSoThePageScansBack) {
  struct Case { const char* tag; const char* value; const char* result; };
  const Case cases[] = {
      {"<a href=old.htm>", "new.htm", "<a href=\"new.htm\">"},
      {"<a href='old.htm'>", "n'ew.htm", "<a href='n&#39;ew.htm'>"},
      {"<a href=\"old.htm\" x=1>", "a>b&c\"d", "<a href=\"a&gt;b&amp;c&quot;d\" x=1>"},
      {"<a href>", "v.htm", "<a href=\"v.htm\">"},
      {"<img src=x.gif>", "", "<img src=\"\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    TTag tag;
    tag.LoadFromText(c.tag);
    const char* name = c.tag[1] == 'a' ? "HREF" : "SRC";
    ASSERT_TRUE(tag.SetParam(name, c.value));
    EXPECT_EQ(tag.GetText(), c.result);
    EXPECT_EQ(tag.GetParamValue(name), c.value);
  }
}

TEST(HtmlParserAttributes, AddAndRemove) {
  TTag tag;
  tag.LoadFromText("<img src=\"a.gif\" />");
  ASSERT_TRUE(tag.AddParam("ALT", "x"));
  EXPECT_EQ(tag.GetText(), "<img src=\"a.gif\" ALT=\"x\"/>");
  ASSERT_TRUE(tag.SetParam("border", "0"));
  EXPECT_EQ(tag.GetParamValue("BORDER"), "0");
  ASSERT_TRUE(tag.RemoveParam("alt"));
  ASSERT_TRUE(tag.RemoveParam("SRC"));
  EXPECT_EQ(tag.GetText(), "<img border=\"0\"/>");
  EXPECT_FALSE(tag.RemoveParam("SRC"));

  // A tag cut at a stray "<" has no ">" to drop.
  tag.LoadFromText("<a href=x");
  ASSERT_TRUE(tag.AddParam("OLDREF", "y"));
  EXPECT_EQ(tag.GetText(), "<a href=x OLDREF=\"y\"");

  tag.LoadFromText("<a href=x>");
  EXPECT_FALSE(tag.AddParam("TITLE", std::string(kMaxTagLength, 't')));
  EXPECT_EQ(tag.GetText(), "<a href=x>");
}

TEST(HtmlParserLinks, KindsTypesAndMarks) {
  Parsed p(
      "<body background=bg.gif><base href=http://h/><form action=post.cgi>"
      "<img src=map.gif ismap><embed src=e.mid><applet code=App.class></applet>"
      "<param name=m value=p.swf><input type=image src=btn.gif><area href=z.htm>"
      "<link rel=stylesheet href=s.css><frame src=f.htm#x>"
      "<meta http-equiv=refresh content=\"5; URL=next.htm\"><meta content=\"5; URL=no.htm\">"
      "<a href=#top>top</a><area href=\"\"><table background=t.gif>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{
                           "5:bg.gif", "4:http://h/", "7:post.cgi", "2:map.gif", "15:e.mid",
                           "16:App.class", "17:p.swf", "12:btn.gif", "3:z.htm", "19:s.css",
                           "8:f.htm", "11:next.htm"}));
  TTagLink link;
  p.parser.GetTagLink(p.Find(tkBody), link);
  EXPECT_EQ(link.LinkType, ltBackground);
  p.parser.GetTagLink(p.Find(tkImg), link);
  EXPECT_EQ(link.LinkType, ltEmbedded);
  EXPECT_TRUE(link.IsMap);
  p.parser.GetTagLink(p.Find(tkFrame), link);
  EXPECT_TRUE(link.IsFrame);
  int meta = p.Find(tkMeta);
  EXPECT_TRUE(p.parser.GetTagLink(meta, link));
  EXPECT_FALSE(p.parser.GetTagLink(p.Find(tkMeta, kTokenStart, meta + 1), link));
  EXPECT_FALSE(p.parser.GetTagLink(p.Find(tkA), link));  // only a fragment
  EXPECT_FALSE(p.parser.GetTagLink(p.Find(tkArea, kTokenStart, p.Find(tkA)), link));
}

TEST(HtmlParserLinks, NoTagGivesItsFragmentAndARewriteKeepsIt) {
  Parsed p("<form action=\"#\"><form action=\"search.html#res\"><img src=\"sprite.svg#i\">"
           "<param name=c value=\"#ff0000\"><meta http-equiv=refresh content=\"0; url=next.htm#top\">"
           "<body background=b.gif#x><input type=image src=i.gif#x><embed src=e.swf#x>");
  EXPECT_EQ(p.Links(), (std::vector<std::string>{"7:search.html", "2:sprite.svg", "11:next.htm", "5:b.gif", "12:i.gif",
                                                 "15:e.swf"}));
  TTagLink link;
  ASSERT_TRUE(p.parser.GetTagLink(2, link));
  ASSERT_TRUE(link.SetUrl("local/search.html"));
  EXPECT_EQ(link.GetText(), "<form action=\"local/search.html#res\">");
}

TEST(HtmlParserLinks, AnchorTextWithImagesAndItsLimits) {
  Parsed p("<a href=a.htm>  Go <b>to</b> <img src=i.gif alt=\"the map\" ismap> now </a> after"
           "<a href=open.htm>unclosed <a href=next.htm>next</a>");
  TTagLink link;
  ASSERT_TRUE(p.parser.GetTagLink(p.Find(tkA), link));
  EXPECT_EQ(link.AnchorText, "Go to  the map now");
  EXPECT_TRUE(link.IsMap);
  int open = p.Find(tkA, kTokenStart, p.Find(tkA) + 1);
  ASSERT_TRUE(p.parser.GetTagLink(open, link));
  EXPECT_EQ(link.AnchorText, "unclosed");
  EXPECT_FALSE(link.IsMap);
}

TEST(HtmlParserLinks, WithoutAnchorTextsTheIsMapMarkIsStillRead) {
  Parsed p("<a href=a.htm>Go <img src=i.gif alt=map ismap></a><a href=b.htm>plain</a>");
  p.parser.AnchorTexts = false;
  TTagLink link;
  ASSERT_TRUE(p.parser.GetTagLink(p.Find(tkA), link));
  EXPECT_EQ(link.GetUrl(), "a.htm");
  EXPECT_TRUE(link.AnchorText.empty());
  EXPECT_TRUE(link.IsMap);
  ASSERT_TRUE(p.parser.GetTagLink(p.Find(tkA, kTokenStart, p.Find(tkA) + 1), link));
  EXPECT_FALSE(link.IsMap);  // nothing of the link before stays
  // An image past the anchor text's limit is not read, with or without texts.
  for (bool texts : {true, false}) {
    Parsed far("<a href=far.htm>" + std::string(300, 'x') + "<img src=i.gif ismap></a>");
    far.parser.AnchorTexts = texts;
    ASSERT_TRUE(far.parser.GetTagLink(far.Find(tkA), link));
    EXPECT_FALSE(link.IsMap) << texts;
  }
}

TEST(HtmlParserLinks, ScriptsAndNoframesHideTheirLinks) {
  const std::string page =
      "<script>document.write('<a href=\"js.htm\">'); if (i<n) {}</script>"
      "<noframes><a href=nf.htm>x</a></noframes><frame src=f.htm><a href=ok.htm>";
  EXPECT_EQ(Parsed(page).Links(), (std::vector<std::string>{"0:nf.htm", "8:f.htm", "0:ok.htm"}));
  EXPECT_EQ(Parsed(page, true).Links(), std::vector<std::string>{"0:ok.htm"});
}

TEST(HtmlParserLinks, SetUrlKeepsTheFragmentAndTheRestOfTheTag) {
  struct Case { const char* page; const char* result; };
  const Case cases[] = {
      {"<a href=\"page.htm#sec\" class=c>", "<a href=\"local/p.htm#sec\" class=c>"},
      {"<a href=page.htm#sec>", "<a href=\"local/p.htm#sec\">"},
      {"<a href='page.htm#s&#35;2'>", "<a href='local/p.htm#s&#35;2'>"},
      {"<meta http-equiv=Refresh content='0;url=page.htm'>",
       "<meta http-equiv=Refresh content='0;url=local/p.htm'>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    Parsed p(c.page);
    TTagLink link;
    ASSERT_TRUE(p.parser.GetTagLink(1, link));
    EXPECT_EQ(link.GetUrl(), "page.htm");
    ASSERT_TRUE(link.SetUrl("local/p.htm"));
    EXPECT_EQ(link.GetText(), c.result);
    EXPECT_EQ(link.GetUrl(), "local/p.htm");
  }
}

TEST(HtmlParserLinks, RewritingATagWithAnUnclosedQuoteKeepsItsLink) {
  // The last one has an empty link ended by "/": written bare, the new
  // value must not run on into it.
  for (const char* page : {"<a title=\"x href=old.htm>", "<a href=\"old.htm\" b=\"c>",
                           "<img alt=\"x src/ y>"}) {
    SCOPED_TRACE(page);
    Parsed p(page);
    TTagLink link;
    ASSERT_TRUE(p.parser.GetTagLink(1, link));
    ASSERT_TRUE(link.SetUrl("new.htm"));
    ASSERT_TRUE(link.SetOldUrl("http://h/old.htm"));
    Parsed again(link.GetText());
    TTagLink back;
    ASSERT_TRUE(again.parser.GetTagLink(1, back));
    EXPECT_EQ(back.GetUrl(), "new.htm");
    EXPECT_EQ(back.GetOldUrl(), "http://h/old.htm");
  }
}

// A quote left open before other links must not pair with the quotes that
// rewriting those links writes: the rewritten page yields the same links.
TEST(HtmlParserLinks, APageRewrittenAfterAnUnclosedQuoteYieldsTheSameLinks) {
  for (const char* page : {"<a x=\"0; >A <img src=i.gif alt=x>B<a href=b.htm>b</a>",
                           "<p title='it <img src=i.gif><a href=b.htm>b</a>",
                           "<a \"stray <img src=i.gif> <a href=b.htm>b</a>"}) {
    SCOPED_TRACE(page);
    Parsed p(page);
    const std::vector<std::string> links = p.Links();
    ASSERT_EQ(links.size(), 2u);
    std::string rewritten;
    TTagLink link;
    for (int i = 0; i < p.parser.GetCount(); ++i) {
      if (p.parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && !link.GetUrl().empty()) {
        const std::string old = link.GetUrl();
        ASSERT_TRUE(link.SetUrl("local/" + old));
        ASSERT_TRUE(link.SetOldUrl("http://h/" + old));
        rewritten += link.GetText();
        rewritten += p.parser.TextAfterBytes(i);
      } else {
        rewritten += std::string(p.parser.TokenBytes(i)) + std::string(p.parser.TextAfterBytes(i));
      }
    }
    Parsed again(rewritten);
    std::vector<std::string> expected;
    for (const std::string& l : links) expected.push_back(l.substr(0, 2) + "local/" + l.substr(2));
    EXPECT_EQ(again.Links(), expected) << rewritten;
  }
}

TEST(HtmlParserLinks, ABareValueEscapesBlanksAndControlBytesAsTheUrlWould) {
  // The unclosed quote makes the new value go in without quotes.
  Parsed p("<a title=\"x href=old.htm>");
  TTagLink link;
  ASSERT_TRUE(p.parser.GetTagLink(1, link));
  ASSERT_TRUE(link.SetUrl("my page\x01.htm"));
  EXPECT_EQ(link.GetText(), "<a title=\"x href=my%20page%01.htm>");
}

TEST(HtmlParserLinks, OldRefRoundTripAcrossRewrites) {
  Parsed first("<a oldref=\"[3]http://h/o.htm\" href=\"x.htm\">t</a>");
  TTagLink link;
  ASSERT_TRUE(first.parser.GetTagLink(1, link));
  EXPECT_EQ(link.Status, 3);
  EXPECT_EQ(link.GetOldUrl(), "http://h/o.htm");

  // URL first, then OLDREF: the later attribute's positions follow.
  ASSERT_TRUE(link.SetUrl("a/much/longer/name.htm"));
  ASSERT_TRUE(link.SetStatus(0));
  EXPECT_EQ(link.GetText(), "<a oldref=\"http://h/o.htm\" href=\"a/much/longer/name.htm\">");
  ASSERT_TRUE(link.SetStatus(12));
  ASSERT_TRUE(link.SetUrl("b.htm"));
  EXPECT_EQ(link.GetText(), "<a oldref=\"[12]http://h/o.htm\" href=\"b.htm\">");

  // A tag without OLDREF keeps its current URL there.
  Parsed fresh("<img src='http://h/i.gif?a=1&amp;b=2'>");
  ASSERT_TRUE(fresh.parser.GetTagLink(1, link));
  EXPECT_FALSE(link.HasOldRef());
  ASSERT_TRUE(link.SetStatus(2));
  ASSERT_TRUE(link.SetUrl("i.gif"));
  EXPECT_EQ(link.GetText(), "<img src='i.gif' OLDREF=\"[2]http://h/i.gif?a=1&amp;b=2\">");

  // An old URL that looks like a status prefix is kept whole.
  TTagLink odd;
  odd.LoadFromText("<a href=x>");
  ASSERT_TRUE(odd.SetOldUrl("[1]x"));
  Parsed oddBack(odd.GetText());
  ASSERT_TRUE(oddBack.parser.GetTagLink(1, odd));
  EXPECT_EQ(odd.Status, 0);
  EXPECT_EQ(odd.GetOldUrl(), "[1]x");

  // Line breaks, raw or written as references, are not part of a URL.
  Parsed broken("<a href=\"a&#13;b\r\nc.htm\">");
  ASSERT_TRUE(broken.parser.GetTagLink(1, odd));
  EXPECT_EQ(odd.GetUrl(), "abc.htm");

  // Scanning the rewritten tag gives the same link and old URL back.
  Parsed again(link.GetText());
  TTagLink back;
  ASSERT_TRUE(again.parser.GetTagLink(1, back));
  EXPECT_EQ(back.GetUrl(), "i.gif");
  EXPECT_EQ(back.GetOldUrl(), "http://h/i.gif?a=1&b=2");
  EXPECT_EQ(back.Status, 2);
}

TEST(HtmlParserLinks, MarkersOfAnEarlierRewrite) {
  Parsed p("<!--QUILLON=ON-->x<!--QUILLON=OFF--><!-- QUILLON MAP=ON --><!--QUILLON MAP=OFF-->"
           "<!--QUILLON--><a href=x>");
  const TMarker expected[] = {TMarker::None, TMarker::On, TMarker::Off, TMarker::MapOn,
                              TMarker::MapOff, TMarker::None, TMarker::None};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(p.parser.GetMarker(i), expected[i]) << i;
}

TEST(HtmlParserScale, HundredThousandLinksAreAllFound) {
  std::string page = "<html><body>\n";
  for (int i = 0; i < 100000; ++i)
    page += "<li><a href=\"p" + std::to_string(i) + ".htm\">Page " + std::to_string(i) + "</a>\n";
  Parsed p(page);
  std::vector<std::string> links = p.Links();
  ASSERT_EQ(links.size(), 100000u);
  EXPECT_EQ(links.front(), "0:p0.htm");
  EXPECT_EQ(links.back(), "0:p99999.htm");
}

TEST(HtmlParserScale, FiveMegabytePageOfMixedJunk) {
  const std::string chunk =
      "<div class='c'>text & more < less<!-- c > --><script>if(a<b)x='<a href=no>'</script>"
      "<img src=\"i.gif\"><a href=a.htm>a</a>\0<p"s;
  std::string page;
  int expected = 0;
  while (page.size() < 5u * 1024 * 1024) {
    page += chunk;
    expected += 2;
  }
  Parsed p(page);
  EXPECT_EQ(p.Links().size(), size_t(expected));
  ExpectExactCover(page);
}

TEST(HtmlEntities, DecodesNamedAndNumericReferences) {
  struct Case { const char* in; bool keep; const char* out; };
  const Case cases[] = {
      {"&eacute;t&Eacute;", false, "\xC3\xA9t\xC3\x89"},
      {"&EACUTE;", false, "&EACUTE;"},
      {"&#233;&#xE9;", false, "\xC3\xA9\xC3\xA9"},
      {"&#8217;s", false, "\xE2\x80\x99s"},
      {"&#146;", false, "\xE2\x80\x99"},
      {"&#65x", false, "Ax"},  // no ";": the next character stays
      {"a\tb\nc", false, "a b c"},
      {"a\tb", true, "a\tb"},
      {"&amp;lt; &nbsp;&bogus; &", false, "&lt; \xC2\xA0&bogus; &"},
      {"&#0;&#99999999;", true, "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    std::string out;
    DecodeHtmlEntities(c.in, c.keep, out);
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(FindTagTextInFile, TitleWithinTheFirstKilobyteOnly) {
  qlon::test::TempDir dir;
  std::string text, tag;
  qlon::test::WriteFileBytes(dir.path() / "a.htm",
                             "<html><head><title>Mon titre</title>");
  ASSERT_TRUE(FindTagTextInFile(dir.path() / "a.htm", "title", 6, text, tag));
  EXPECT_EQ(tag, "title");
  EXPECT_EQ(text, "Mon titre");

  qlon::test::WriteFileBytes(dir.path() / "b.htm", std::string(1100, ' ') + "<title>late</title>");
  EXPECT_FALSE(FindTagTextInFile(dir.path() / "b.htm", "TITLE", 6, text, tag));
  EXPECT_FALSE(FindTagTextInFile(dir.path() / "missing.htm", "TITLE", 6, text, tag));
}
