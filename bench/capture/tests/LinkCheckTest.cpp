#include <gtest/gtest.h>

#include "LinkCheck.h"
#include "TempRoot.h"

using namespace qlon::bench;
using qlon::test::TempDir;
using qlon::test::WriteFileBytes;

namespace fs = std::filesystem;

namespace {

struct Capture {
  TempDir dir;
  fs::path Folder() const { return dir.path() / "cap"; }
  void Put(const std::string& name, const std::string& bytes) { WriteFileBytes(Folder() / name, bytes); }
  LinkCheckReport Check() const {
    LinkCheckOptions options;
    options.siteOrigins = {"http://site.test"};
    return CheckLinks(Folder(), options);
  }
};

bool Mentions(const LinkCheckReport& r, const std::string& text) {
  for (const auto& p : r.problems)
    if (p.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(LinkCheck, SortsEveryLinkOfAPageByWhereItLeads) {
  Capture c;
  c.Put("a/page.html", "<p>target</p>");
  c.Put("img/x.gif", "GIF89a");
  c.Put("p q.html", "<p>blank in the name</p>");
  c.Put("index.html",
        "<a href=\"a/page.html\">1</a> <a href=\"a/page.html#part\">2</a> <a href=\"a/page.html?x=1\">3</a>"
        "<img src=\"img/x.gif\"> <a href=\"p%20q.html\">4</a> <a href=\"./a/../img/x.gif\">5</a>"
        "<a href=\"gone.html\">missing</a> <img src=\"img/none.jpg\">"
        "<a href=\"http://site.test/p.html\">on</a> <a href=\"HTTP://SITE.TEST/q\">on</a>"
        "<a href=\"http://other.test/\">off</a> <a href=\"//other.test/x\">off</a>"
        "<a href=\"mailto:a@b.test\">m</a> <a href=\"javascript:void(0)\">j</a> <a href=\"#top\">t</a>"
        "<form action=\"nowhere.cgi\"></form>");
  const LinkCheckReport r = c.Check();
  EXPECT_EQ(r.pages, 3u);
  EXPECT_EQ(r.local, 6u);
  EXPECT_EQ(r.missing, 2u);
  EXPECT_EQ(r.outside, 0u);
  EXPECT_EQ(r.onSite, 2u);
  EXPECT_EQ(r.online, 2u);
  EXPECT_EQ(r.ignored, 2u);
  EXPECT_TRUE(Mentions(r, "gone.html"));
  EXPECT_TRUE(Mentions(r, "img/none.jpg"));
  EXPECT_DOUBLE_EQ(r.Fidelity(), 6.0 / 10.0);
}

TEST(LinkCheck, ReportsEveryLinkThatLeavesTheFolder) {
  Capture c;
  WriteFileBytes(c.dir.path() / "outside.html", "<p>beside the capture</p>");
  WriteFileBytes(c.dir.path() / "secret" / "s.html", "<p>secret</p>");
  c.Put("index.html", "<p>in</p>");
  fs::create_symlink(c.dir.path() / "secret", c.Folder() / "link");
  c.Put("a/page.html",
        "<a href=\"../index.html\">in</a> <a href=\"../../outside.html\">up</a>"
        "<a href=\"../../../../../../../../etc/hostname\">far up</a> <a href=\"/etc/hostname\">root</a>"
        "<a href=\"file:///etc/hostname\">file</a> <a href=\"../link/s.html\">through a link</a>"
        "<a href=\"file://" + (c.Folder() / "index.html").string() + "\">file inside</a>");
  const LinkCheckReport r = c.Check();
  EXPECT_EQ(r.local, 2u);
  EXPECT_EQ(r.outside, 5u);
  EXPECT_EQ(r.missing, 0u);
  EXPECT_TRUE(Mentions(r, "../../outside.html (outside the folder)"));
  EXPECT_TRUE(Mentions(r, "../link/s.html (outside the folder)"));
  EXPECT_TRUE(Mentions(r, "a/page.html: /etc/hostname"));
}

TEST(LinkCheck, FollowsBaseSkipsInsertedBlocksAndWalksOnlyPages) {
  Capture c;
  c.Put("here.htm", "<p>x</p>");
  // Online once a BASE names the site; local again under a file: BASE.
  c.Put("based.HTM", "<base href=\"http://site.test/dir/\"><a href=\"x.html\">x</a>");
  c.Put("rebased.htm", "<base href=\"file://" + c.Folder().string() + "/\"><a href=\"here.htm\">x</a>");
  c.Put("banner.htm",
        "<a href=\"here.htm\">x</a><!--QUILLON=ON--><a href=\"http://site.test/banner\">b</a>"
        "<a href=\"nope.htm\">n</a><!--QUILLON=OFF--><img src=\"lost.gif\">");
  c.Put("noext", "<html><a href=\"gone1.htm\">walked</a></html>");
  c.Put("notes.txt", "<a href=\"gone2.htm\">not a page</a>");
  c.Put("data", "GIF89a <a href=\"gone3.htm\">not a page</a>");
  const LinkCheckReport r = c.Check();
  EXPECT_EQ(r.pages, 5u);
  EXPECT_EQ(r.onSite, 1u);
  EXPECT_EQ(r.local, 2u);
  EXPECT_EQ(r.missing, 2u);
  EXPECT_TRUE(Mentions(r, "lost.gif"));
  EXPECT_TRUE(Mentions(r, "gone1.htm"));
  EXPECT_FALSE(Mentions(r, "nope.htm"));
  EXPECT_FALSE(Mentions(r, "gone2.htm"));
  EXPECT_FALSE(Mentions(r, "gone3.htm"));

  // Pages of one sub-folder only, whose links still reach the whole folder.
  c.Put("site/p.htm", "<a href=\"../here.htm\">x</a> <a href=\"../../beside.htm\">y</a>");
  LinkCheckOptions options;
  options.pagesBelow = "site";
  const LinkCheckReport below = CheckLinks(c.Folder(), options);
  EXPECT_EQ(below.pages, 1u);
  EXPECT_EQ(below.local, 1u);
  EXPECT_EQ(below.outside, 1u);
}
