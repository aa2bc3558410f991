#include <gtest/gtest.h>

#include "FolderSite.h"
#include "Site.h"
#include "TempRoot.h"

using namespace qlon::bench;
using qlon::test::TempDir;
using qlon::test::WriteFileBytes;

namespace fs = std::filesystem;

TEST(FolderSite, ServesTheFilesOfTheFolderAndNothingOutsideIt) {
  TempDir dir;
  const fs::path root = dir.path() / "site";
  WriteFileBytes(root / "index.html", "<p>home</p>");
  WriteFileBytes(root / "lib" / "index.html", "<p>lib</p>");
  WriteFileBytes(root / "lib" / "a b.css", "p{}");
  WriteFileBytes(root / "img.svg", "<svg/>");
  WriteFileBytes(dir.path() / "secret.txt", "no");
  const FolderSite site(root);

  const SiteReply home = site.Reply("/?q=1");
  EXPECT_EQ(home.status, 200);
  EXPECT_EQ(home.type, "text/html");
  EXPECT_EQ(home.body, "<p>home</p>");
  EXPECT_EQ(site.Reply("/lib/").body, "<p>lib</p>");
  EXPECT_EQ(site.Reply("/lib").body, "<p>lib</p>");
  const SiteReply css = site.Reply("/lib/a%20b.css#x");
  EXPECT_EQ(css.type, "text/css");
  EXPECT_EQ(css.body, "p{}");
  EXPECT_EQ(site.Reply("/img.svg").type, "image/svg+xml");
  for (const char* outside : {"/../secret.txt", "/lib/../../secret.txt", "/%2e%2e/secret.txt", "/lib/%2E%2E/..",
                              "/index.html%00.txt", "/lib\\..\\..\\secret.txt", "secret.txt", "/missing.html"})
    EXPECT_EQ(site.Reply(outside).status, 404) << outside;
}

TEST(GeneratedSite, PagesOfEverySectionAnswerPastAHundredSections) {
  Site site(12345, 0, "http://127.0.0.1:1", "http://localhost:2");
  ASSERT_EQ(site.Sections(), 124);
  for (int n : {0, 99, 9999, 10000, 12299, 12344}) {
    const SiteReply page = site.Reply(Site::PagePath(n));
    EXPECT_EQ(page.status, 200) << n;
    EXPECT_NE(page.body.find("<title>Page " + std::to_string(n) + "</title>"), std::string::npos) << n;
  }
  EXPECT_EQ(site.Reply("/s123/index.html").status, 200);
  EXPECT_EQ(site.Reply("/s124/index.html").status, 404);
  EXPECT_EQ(site.Reply("/s123/p045.html").status, 404);  // past the last page
  EXPECT_EQ(site.Reply("/s0100/p000.html").status, 404);  // not a path the site writes
  // A link within section 100 names the page beside it, not a cut path.
  const SiteReply section = site.Reply("/s100/index.html");
  EXPECT_NE(section.body.find("href=\"p005.html\""), std::string::npos);
  EXPECT_NE(site.Reply(Site::PagePath(10000)).body.find("href=\"p001.html\""), std::string::npos);
}

TEST(GeneratedSite, SmallSitesAreTheSiteTheyWere) {
  Site site(2000, 5000, "http://127.0.0.1:1", "http://localhost:2");
  EXPECT_EQ(Site::PagePath(1234), "/s12/p034.html");
  EXPECT_EQ(Site::ImagePath(4321), "/img/d43/i04321.jpg");
  EXPECT_EQ(site.Reply("/s12/p034.html").status, 200);
  EXPECT_EQ(site.Reply("/s1/p034.html").status, 404);
  const SiteLinks links = site.CountLinks();
  EXPECT_EQ(links.external, 2000u);
}
