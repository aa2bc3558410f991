// Rewriting saved pages for offline reading.
#include "PageRewrite.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include "HtmlParser.h"
#include "LinkTargets.h"
#include "ReplaceBatch.h"
#include "TempRoot.h"
#include "Urlutil.h"
#include "Web.h"

using namespace qlon;

namespace {

class PageRewriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    web_.Options.SetDefault(0);
    web_.CreateNew(dir_.path() / "local.web");
    page_ = Add("http://site.example/dir/index.htm", "index.htm", "text/html");
    Add("http://site.example/dir/a.htm", "a.htm", "text/html");
    Add("http://site.example/dir/img/i.gif", "img/i.gif", "image/gif");
    Add("http://site.example/dir/gone.htm", kNotFoundPage, "text/html", fsNotFound);
  }
  TWebFile* Add(const std::string& url, const std::string& local, const std::string& type,
                TWebFileState state = fsRetrieved) {
    records_.push_back(std::make_unique<TWebFile>(&web_));
    TWebFile& r = *records_.back();
    r.FullUrl = url;
    r.SetLinkType(type == "text/html" ? ltPage : ltEmbedded);
    r.SetState(state);
    EXPECT_TRUE(r.SetLocalName(local));
    SetContentType(r, type, "");
    EXPECT_TRUE(web_.InsertRecord(r)) << url;
    std::filesystem::create_directories((dir_.path() / local).parent_path());
    qlon::test::WriteFileBytes(dir_.path() / local, "x");
    return &r;
  }
  std::string Rewrite(const std::string& bytes, TRewriteOptions options = {}) {
    return RewritePageBytes(web_, *page_, bytes, options);
  }
  // The links a link pass of the page would read.
  std::vector<std::string> Links(const std::string& bytes) {
    qlon::test::WriteFileBytes(dir_.path() / "index.htm", bytes);
    web_.ToCapture.Clear();
    std::vector<std::string> seen;
    web_.ScanPageLinks(*page_, page_->FullUrl, [&](const TTagLink&, const TUrl& url) {
      seen.push_back(url.GetFullUrl());
      return false;
    });
    return seen;
  }

  qlon::test::TempDir dir_;
  TWeb web_;
  std::vector<std::unique_ptr<TWebFile>> records_;
  TWebFile* page_ = nullptr;
};

const std::string kPage =
    "<html><head><title>T</title></head><body>\r\n"
    "<a href=\"a.htm#part\">A</a>\r\n"
    "<img src=\"img/i.gif\">\r\n"
    "<a href=\"missing.htm\">M</a> <a href=\"gone.htm\">G</a>\r\n"
    "<img src=\"http://other.example/b.gif\">\r\n"
    "<a href=\"mailto:x@site.example\">mail</a>\r\n"
    "</body></html>\r\n";

}  // namespace

TEST_F(PageRewriteTest, LinksNameLocalCopiesOrTheNotFoundPage) {
  const std::string out = Rewrite(kPage);
  EXPECT_NE(out.find("<a href=\"a.htm#part\" OLDREF=\"http://site.example/dir/a.htm\">"), std::string::npos) << out;
  EXPECT_NE(out.find("<img src=\"img/i.gif\" OLDREF=\"http://site.example/dir/img/i.gif\">"), std::string::npos);
  // Not captured: the page links open the not-found page and record their URL.
  EXPECT_NE(out.find("<a href=\"Index/_enotfou.htm\" OnClick=\"QuillonLU(&#39;http://site.example/dir/missing.htm&#39;);\" "
                     "OLDREF=\"http://site.example/dir/missing.htm\">"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("OLDREF=\"http://site.example/dir/gone.htm\""), std::string::npos);
  // An embedded file not captured goes online.
  EXPECT_NE(out.find("<img src=\"http://other.example/b.gif\" OLDREF=\"http://other.example/b.gif\">"),
            std::string::npos);
  EXPECT_NE(out.find("<a href=\"mailto:x@site.example\">"), std::string::npos);  // left alone

  // The base tag and the script come before the first rewritten link, the banner before </body>.
  const size_t quillon = out.find("<QUILLON BASEURL=\"http://site.example/dir/index.htm\">");
  const size_t script = out.find("function QuillonLU(url)\r\n{\r\ndocument.cookie = 'url='+url+';PATH=/';\r\n}");
  const size_t first = out.find("<a href=\"a.htm#part\"");
  ASSERT_NE(quillon, std::string::npos);
  EXPECT_LT(quillon, script);
  EXPECT_LT(script, first);
  const size_t banner = out.find("Capturé par Quillon à partir de <A HREF=\"http://site.example/dir/index.htm\" > "
                                 "http://site.example/dir/index.htm </a> le ");
  ASSERT_NE(banner, std::string::npos);
  EXPECT_LT(banner, out.find("</body>"));
  EXPECT_EQ(out.substr(out.find("</body>")), "</body></html>\r\n");
}

TEST_F(PageRewriteTest, RewritingTwiceGivesTheBytesOfOnce) {
  const std::string once = Rewrite(kPage);
  EXPECT_EQ(Rewrite(once), once);
  // Other options undo what they do not want, and coming back gives the same page.
  TRewriteOptions plain;
  plain.SuppressLinks = plain.RealLinks = plain.Banner = false;
  const std::string back = Rewrite(once, plain);
  EXPECT_EQ(back.find("QUILLON=ON"), std::string::npos) << back;
  EXPECT_EQ(back.find("QuillonLU"), std::string::npos);
  EXPECT_NE(back.find("<a href=\"http://site.example/dir/missing.htm\">M</a>"), std::string::npos) << back;
  EXPECT_EQ(Rewrite(back), once);
  EXPECT_EQ(Rewrite(Rewrite(back, plain), plain), Rewrite(back, plain));
}

TEST_F(PageRewriteTest, TheLinkPassReadsARewrittenPageLikeTheOriginal) {
  const std::vector<std::string> original = Links(kPage);
  EXPECT_EQ(original.size(), 6u);
  EXPECT_EQ(Links(Rewrite(kPage)), original);
}

TEST_F(PageRewriteTest, UrlsCannotInjectMarkupOrScript) {
  const std::string hostile =
      "<body><a href=\"http://evil.example/x?a='+alert(1)+'&#39;);alert(2)//\">x</a></body>";
  const std::string out = Rewrite(hostile);
  QByteArray data = QByteArray::fromStdString(out);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  parser.Parse();
  TTagLink link;
  bool found = false;
  for (int i = 0; i < parser.GetCount(); ++i) {
    if (!parser.GetTagLink(i, link) || link.Kind != tkA || !(link.Flags & kTokenStart)) continue;
    const std::string onclick = link.GetParamValue("ONCLICK");  // as a browser decodes it
    if (onclick.empty()) continue;
    found = true;
    // One call whose string holds no quote: nothing can follow it.
    EXPECT_EQ(std::count(onclick.begin(), onclick.end(), '\''), 2) << onclick;
    EXPECT_EQ(onclick.rfind("QuillonLU('", 0), 0u) << onclick;
    EXPECT_EQ(onclick.substr(onclick.size() - 3), "');") << onclick;
  }
  EXPECT_TRUE(found) << out;

  // A page URL holding quotes and markup stays text.
  page_->FullUrl = "http://site.example/dir/index.htm?q=\"><x>";
  const std::string marked = Rewrite("<body><a href=\"a.htm\">a</a></body>");
  EXPECT_EQ(marked.find("<x>"), std::string::npos) << marked;
  EXPECT_NE(marked.find("index.htm?q=&quot;&gt;&lt;x&gt;"), std::string::npos) << marked;
}

TEST_F(PageRewriteTest, DamagedMarkersAreKept) {
  const std::string page = "<body><!--QUILLON=ON-->text the user wrote</body>";
  TRewriteOptions noBanner;
  noBanner.Banner = false;
  EXPECT_EQ(Rewrite(page, noBanner), page);
}

TEST_F(PageRewriteTest, DrawnImageMapIsInlined) {
  web_.Maps.AddMap("http://site.example/dir/img/i.gif", "img/i.gif", "img/i.map", "T",
                   "http://site.example/cgi-bin/map", page_->FullUrl, "");
  qlon::test::WriteFileBytes(dir_.path() / "img/i.map",
                             "<AREA SHAPE=\"rect\" COORDS=\"00,00,10,10\" HREF=\"http://site.example/dir/a.htm\">\r\n");
  const std::string page = "<body><a href=\"/cgi-bin/map\"><img src=\"img/i.gif\" ismap></a></body>";
  TRewriteOptions noBanner;
  noBanner.Banner = false;
  const std::string out = Rewrite(page, noBanner);
  EXPECT_NE(out.find("USEMAP=\"#i\" RORIVODODA=\"TRUE\">\r\n<!--QUILLON MAP=ON-->\r\n<map name=\"i\">"
                     "<AREA SHAPE=\"rect\" COORDS=\"00,00,10,10\" HREF=\"a.htm\" "
                     "OLDREF=\"http://site.example/dir/a.htm\">\r\n</map>\r\n<!--QUILLON MAP=OFF--></a>"),
            std::string::npos)
      << out;
  EXPECT_EQ(Rewrite(out, noBanner), out);
  // When the map goes, the image is put back.
  std::filesystem::remove(dir_.path() / "img/i.map");
  const std::string gone = Rewrite(out, noBanner);
  EXPECT_EQ(gone.find("USEMAP"), std::string::npos) << gone;
  EXPECT_EQ(gone.find("map name"), std::string::npos);
}

TEST_F(PageRewriteTest, FileRewriteSetsTheMark) {
  qlon::test::WriteFileBytes(dir_.path() / "index.htm", kPage);
  TRewriteOptions options;
  options.RealLinks = false;
  ASSERT_TRUE(RewritePage(web_, *page_, options));
  EXPECT_EQ(qlon::test::ReadFileBytes(dir_.path() / "index.htm"), Rewrite(kPage, options));
  TWebFile stored(&web_);
  ASSERT_TRUE(web_.FindRecord(page_->FullUrl, stored));
  EXPECT_EQ(stored.GetRewriteMark(), 4 | 8);
  std::filesystem::remove(dir_.path() / "index.htm");
  EXPECT_FALSE(RewritePage(web_, *page_, options));
}

TEST_F(PageRewriteTest, ABatchedRewriteSetsTheMarkOnlyOnceTheFileIsReplaced) {
  qlon::test::WriteFileBytes(dir_.path() / "index.htm", "<frameset><frame src=\"a.htm\"></frameset>");
  TRewriteOptions options;
  TReplaceBatch batch(dir_.path());
  int64_t growth = 0;
  ASSERT_TRUE(RewritePage(web_, *page_, options, batch, &growth));
  EXPECT_TRUE(page_->IsFrameSet());
  TWebFile stored(&web_);
  ASSERT_TRUE(web_.FindRecord(page_->FullUrl, stored));
  EXPECT_EQ(stored.GetRewriteMark(), 0);
  EXPECT_EQ(qlon::test::ReadFileBytes(dir_.path() / "index.htm"), "<frameset><frame src=\"a.htm\"></frameset>");
  ASSERT_TRUE(batch.Commit());
  const std::string out = qlon::test::ReadFileBytes(dir_.path() / "index.htm");
  EXPECT_EQ(int64_t(out.size()) - growth, 40);
  ASSERT_TRUE(web_.FindRecord(page_->FullUrl, stored));
  EXPECT_EQ(stored.GetRewriteMark(), options.Mark());
  // Nothing left to change: nothing staged.
  ASSERT_TRUE(RewritePage(web_, *page_, options, batch));
  EXPECT_EQ(batch.StagedCount(), 0u);
}

// One lookup serves every page of a resolution: what it keeps must not
// depend on the page that asked first.
TEST_F(PageRewriteTest, PagesSharingOneLookupLinkRelativeToThemselves) {
  TWebFile* deep = Add("http://site.example/dir/sub/p.htm", "sub/p.htm", "text/html");
  Add("http://site.example/dir/lost.htm", "lost.htm", "text/html");
  std::filesystem::remove(dir_.path() / "lost.htm");  // retrieved, but its file is gone
  const std::string page = "<a href=\"http://site.example/dir/a.htm\">a</a>"
                           "<img src=\"http://site.example/dir/img/i.gif\">"
                           "<a href=\"http://site.example/dir/lost.htm\">l</a>";
  TLinkTargets targets(web_);
  const std::string top = RewritePageBytes(web_, *page_, page, {}, nullptr, &targets);
  const std::string below = RewritePageBytes(web_, *deep, page, {}, nullptr, &targets);
  EXPECT_NE(top.find("<a href=\"a.htm\" OLDREF="), std::string::npos) << top;
  EXPECT_NE(below.find("<a href=\"../a.htm\" OLDREF="), std::string::npos) << below;
  EXPECT_NE(below.find("<img src=\"../img/i.gif\" OLDREF="), std::string::npos) << below;
  EXPECT_NE(below.find("QuillonLU(&#39;http://site.example/dir/lost.htm&#39;)"), std::string::npos) << below;
  EXPECT_EQ(top, Rewrite(page));
  EXPECT_EQ(below, RewritePageBytes(web_, *deep, page, {}));
  EXPECT_EQ(RewritePageBytes(web_, *deep, below, {}, nullptr, &targets), below);
}

TEST_F(PageRewriteTest, VrmlLinksKeepTheirOldUrl) {
  TWebFile* world = Add("http://site.example/dir/w.wrl", "w.wrl", "x-world/x-vrml");
  const std::string wrl = "#VRML V1.0 ascii\r\nTexture2 { filename \"img/i.gif#f\" }\r\nWWWInline { name \"x.wrl\" }\r\n";
  const std::string out = RewriteVrmlBytes(web_, *world, wrl);
  EXPECT_EQ(out, "#VRML V1.0 ascii\r\nTexture2 { filename \"img/i.gif#f\" #OLDREF=\"http://site.example/dir/img/i.gif#f\"\r\n"
                 " }\r\nWWWInline { name \"x.wrl\" }\r\n");
  EXPECT_EQ(RewriteVrmlBytes(web_, *world, out), out);
}

TEST_F(PageRewriteTest, NoLinkOfARewrittenPageNamesAFileOutsideTheCapture) {
  const std::string page =
      "<a href=\"../../../../etc/passwd\">up</a><img src=\"file:///etc/passwd\"><a href=\"missing.htm\">m</a>";
  for (bool real : {false, true}) {
    TRewriteOptions options;
    options.SuppressLinks = false;
    options.RealLinks = real;
    const std::string out = Rewrite(page, options);
    EXPECT_EQ(out.find("href=\"../"), std::string::npos) << out;
    EXPECT_EQ(out.find("src=\"file:"), std::string::npos) << out;
    EXPECT_NE(out.find("<img src=\"Index/_enotfou.htm\" OLDREF=\"file:///etc/passwd\">"), std::string::npos) << out;
    EXPECT_NE(out.find("href=\"http://site.example/etc/passwd\""), std::string::npos) << out;
    EXPECT_EQ(Rewrite(out, options), out);
  }
}

TEST_F(PageRewriteTest, ALinkWithOurOnClickFollowsItsTargetOnceCaptured) {
  const std::string once = Rewrite("<p><a href=\"missing.htm\">m</a> <a href=\"a.htm\">a</a></p>");
  ASSERT_NE(once.find("QuillonLU("), std::string::npos);
  Add("http://site.example/dir/missing.htm", "missing.htm", "text/html");
  const std::string now = Rewrite(once);
  EXPECT_NE(now.find("<a href=\"missing.htm\" OLDREF=\"http://site.example/dir/missing.htm\">m</a>"),
            std::string::npos)
      << now;
  EXPECT_EQ(now.find("QuillonLU("), std::string::npos);
}
