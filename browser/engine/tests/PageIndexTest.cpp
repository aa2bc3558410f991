#include "PageIndex.h"

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "PageRewrite.h"
#include "Setup.h"
#include "Utils.h"

using namespace qlon;
using qlon::test::Count;
using qlon::test::CheckAllLinks;
using qlon::test::ReadFileBytes;
using qlon::test::TestCapture;
using qlon::test::WriteFileBytes;

namespace {

class PageIndexTest : public ::testing::Test {
 protected:
  PageIndexTest() {
    for (const char* kind : {"_Accueil", "_ixh", "_ixi", "_ixo", "_ixe"})
      WriteFileBytes(templates_.path() / (std::string(kind) + ".ht_"),
                     "title=QLON_PAGE_TITLE|n=QLON_PAGE_NUMBER/QLON_PAGE_COUNT|next=QLON_PAGE_NEXT|"
                     "back=QLON_PAGE_BACK\r\nQLON_HTML_TABLE\n");
    WriteFileBytes(templates_.path() / "logo.gif", "GIF89a");
    WriteFileBytes(templates_.path() / "_enotfou.htm", "absent");
  }
  std::string Index(const std::string& name) { return ReadFileBytes(cap_.Folder() / "Index" / name); }
  bool Exists(const std::string& name) { return std::filesystem::exists(cap_.Folder() / "Index" / name); }

  // A site of html pages, images and failed records, indexed as link
  // resolution does: counted with the summary's own classification.
  void IndexSite(TSommaireIndex& summary, const std::string& root) {
    int counts[6] = {};
    std::string home;
    std::vector<std::unique_ptr<TWebFile>> records;
    TWebFile site(&cap_.web);
    cap_.web.ForEach([&](TWebFile& r) {
      if (r.FullUrl.compare(0, root.size(), root) != 0) return true;
      ++counts[int(summary.Classify(r))];
      if (home.empty() && summary.Classify(r) == TIndexKind::Html) home = r.GetLocalName();
      auto copy = std::make_unique<TWebFile>(&cap_.web);
      copy->Assign(r);
      copy->FullUrl = r.FullUrl;
      records.push_back(std::move(copy));
      return true;
    });
    const int images = counts[int(TIndexKind::Image)];
    summary.AddSite(root, root, true, counts[int(TIndexKind::Other)], images, counts[int(TIndexKind::Error)],
                    images + counts[int(TIndexKind::ImageUnlisted)], counts[int(TIndexKind::Html)], 0, home);
    for (auto& r : records) summary.Add(*r);
    summary.FinishSite();
  }
  void AddPages(const std::string& root, int n) {
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "p%02d.htm", i);
      cap_.Page(root + name, root.substr(7, root.size() - 8) + "/" + name,
                "<title>" + root + " page " + std::to_string(i) + "</title>");
    }
  }

  TestCapture cap_;
  test::TempDir templates_;
  TSommaireParam param_;
};

}  // namespace

TEST_F(PageIndexTest, HtmlPagesArePagedAndNumberedOnAcrossSites) {
  AddPages("http://a.example/", 25);
  AddPages("http://b.example/", 3);
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    IndexSite(summary, "http://a.example/");
    IndexSite(summary, "http://b.example/");
    summary.Close();
  }
  // 25 pages at 10 rows of 2: 20 and 5 entries; the second site goes on at 3.
  const std::string first = Index("_ixh01.htm"), second = Index("_ixh02.htm"), third = Index("_ixh03.htm");
  EXPECT_EQ(Count(first, "Taille : "), 20u);
  EXPECT_EQ(Count(second, "Taille : "), 5u);
  EXPECT_EQ(Count(third, "Taille : "), 3u);
  EXPECT_FALSE(Exists("_ixh04.htm"));
  EXPECT_EQ(Count(second, "b.example/p"), 0u);
  EXPECT_EQ(Count(third, "a.example/p"), 0u);
  EXPECT_NE(first.find("title=http://a.example/|n=1/2|next=_ixh02.htm|back=../_Accueil.htm"), std::string::npos)
      << first;
  EXPECT_NE(second.find("title=http://a.example/, page 2 / 2|n=2/2|next=../_Accueil.htm|back=_ixh01.htm"),
            std::string::npos)
      << second;
  EXPECT_NE(third.find("|n=1/1|next=../_Accueil.htm|back=../_Accueil.htm"), std::string::npos);
  // Kinds without items write no page; their summary cells hold only blanks.
  EXPECT_FALSE(Exists("_ixi01.htm"));
  EXPECT_FALSE(Exists("_ixe01.htm"));
  const std::string home = ReadFileBytes(cap_.Folder() / "_Accueil.htm");
  EXPECT_NE(home.find("<a href=\"Index/_ixh01.htm\" OLDREF=\"\"><font size=\"3\" face=\"Arial\">HTML</font></a>"),
            std::string::npos);
  EXPECT_NE(home.find("<a href=\"Index/_ixh03.htm\" OLDREF=\"\">"), std::string::npos);
  EXPECT_NE(home.find(">      </td>"), std::string::npos);   // Images
  EXPECT_NE(home.find(">       </td>"), std::string::npos);  // Erreurs
  EXPECT_NE(home.find("<a href=\"a.example/p00.htm\" OLDREF=\"http://a.example/\">"), std::string::npos) << home;
  // The template's other files come along, the templates do not.
  EXPECT_TRUE(Exists("logo.gif"));
  EXPECT_FALSE(Exists("_ixh.ht_"));
  const auto report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
}

TEST_F(PageIndexTest, EachKindListsExactlyItsRecords) {
  param_.ImgSizeMin = 20;
  cap_.Page("http://a.example/", "a/index.htm", "<title>Home</title>");
  cap_.Add("http://a.example/big.gif", fsRetrieved, "image/gif", "a/big.gif", "GIF", 1, 100, 10);
  cap_.Add("http://a.example/dot.gif", fsRetrieved, "image/gif", "a/dot.gif", "GIF", 1, 5, 5);
  cap_.Add("http://a.example/doc.pdf", fsRetrieved, "application/pdf", "a/doc.pdf", "%PDF", 0);
  cap_.Add("http://a.example/emb.htm", fsRetrieved, "text/html", "a/emb.htm", "<p>", 1);  // embedded: an other file
  cap_.Failed("http://a.example/lost.htm", fsNotFound, 404);
  cap_.Failed("http://a.example/err.htm", fsError, 500);
  cap_.Add("http://a.example/later.htm", fsToCapture, "", "", "");
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    IndexSite(summary, "http://a.example/");
    summary.Close();
    EXPECT_EQ(summary.Images->ImagesSeen, 2);
  }
  const std::string images = Index("_ixi01.htm"), html = Index("_ixh01.htm"), other = Index("_ixo01.htm"),
                    errors = Index("_ixe01.htm");
  EXPECT_NE(images.find("big.gif"), std::string::npos);
  EXPECT_EQ(images.find("dot.gif"), std::string::npos);  // below the minimum both ways
  EXPECT_NE(images.find("width=\"64\" height=\"64\""), std::string::npos);
  EXPECT_NE(images.find("(100x10)"), std::string::npos);
  EXPECT_EQ(Count(html, "Taille : "), 1u);
  EXPECT_NE(html.find(">Home<"), std::string::npos);
  EXPECT_EQ(Count(other, "OLDREF="), 2u);
  EXPECT_NE(other.find("application/pdf"), std::string::npos);
  EXPECT_NE(other.find("emb.htm"), std::string::npos);
  EXPECT_EQ(Count(errors, "<li>"), 2u);
  EXPECT_NE(errors.find("lost.htm"), std::string::npos);
  EXPECT_NE(errors.find("err.htm"), std::string::npos);
  for (const std::string* page : {&images, &html, &other, &errors}) EXPECT_EQ(page->find("later.htm"), std::string::npos);
  const auto report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
  EXPECT_EQ(std::count(report.Targets.begin(), report.Targets.end(), "a/big.gif"), 3);
}

// A capture of before the PNG and SVG sizes were taken: the index reads
// them from the files, and counts as it lists.
TEST_F(PageIndexTest, ImagesWithoutASizeInTheirRecordAreMeasuredFromTheirFiles) {
  param_.ImgSizeMin = 20;
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x78\0\0\0\x50", 24);  // 120 x 80
  const std::string dot("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x05\0\0\0\x05", 24);
  cap_.Add("http://a.example/red.png", fsRetrieved, "image/png", "red.png", png, 1);
  cap_.Add("http://a.example/dot.png", fsRetrieved, "image/png", "dot.png", dot, 1);
  cap_.Add("http://a.example/logo.svg", fsRetrieved, "image/svg+xml", "logo.svg",
           "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 64 48'/>", 1);
  cap_.Add("http://a.example/gone.png", fsRetrieved, "image/png", "gone.png", "", 1);
  std::filesystem::remove(cap_.Folder() / "gone.png");
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    IndexSite(summary, "http://a.example/");
    summary.Close();
    EXPECT_EQ(summary.Images->ImagesSeen, 4);
  }
  const std::string images = Index("_ixi01.htm");
  EXPECT_NE(images.find("(120x80)"), std::string::npos) << images;
  EXPECT_NE(images.find("(64x48)"), std::string::npos) << images;
  EXPECT_EQ(images.find("dot.png"), std::string::npos);  // below the minimum both ways
  EXPECT_NE(images.find("gone.png"), std::string::npos);  // no file, no size: listed as unknown
  EXPECT_EQ(Count(images, "(0x0)"), 1u);
  // The count announced is the images listed: one page of three.
  EXPECT_NE(images.find("n=1/1"), std::string::npos);
}

TEST_F(PageIndexTest, ImageDisplaySizeKeepsTheRatio) {
  param_.ImgRatio = true;
  cap_.Add("http://a.example/wide.gif", fsRetrieved, "image/gif", "wide.gif", "GIF", 1, 200, 50);
  cap_.Add("http://a.example/tall.gif", fsRetrieved, "image/gif", "tall.gif", "GIF", 1, 30, 120);
  cap_.Add("http://a.example/small.gif", fsRetrieved, "image/gif", "small.gif", "GIF", 1, 20, 10);
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    IndexSite(summary, "http://a.example/");
    summary.Close();
  }
  const std::string images = Index("_ixi01.htm");
  EXPECT_NE(images.find("wide.gif\" width=\"64\" height=\"16\""), std::string::npos) << images;
  EXPECT_NE(images.find("tall.gif\" width=\"16\" height=\"64\""), std::string::npos);
  EXPECT_NE(images.find("small.gif\" width=\"20\" height=\"10\""), std::string::npos);
}

TEST_F(PageIndexTest, TitlesAndUrlsAreEscaped) {
  cap_.web.SetTitle("<script>alert(1)</script>");
  cap_.web.StartEntries = {{"http://a.example/q\"uote.htm", "", "", ""}};
  cap_.Page("http://a.example/q\"uote.htm", "q.htm", "<title>&lt;script&gt;x()&lt;/script&gt;</title>");
  cap_.Failed("http://a.example/\"><script>bad()</script>", fsError, 500);
  for (const char* kind : {"_Accueil", "_ixh", "_ixe"})
    WriteFileBytes(templates_.path() / (std::string(kind) + ".ht_"),
                   "QLON_TITLE QLON_PAGE_TITLE QLON_STARTURL_TABLE QLON_CAPTURE_URL\nQLON_HTML_TABLE");
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    IndexSite(summary, "http://a.example/");
    summary.Close();
  }
  for (const std::string& page :
       {ReadFileBytes(cap_.Folder() / "_Accueil.htm"), Index("_ixh01.htm"), Index("_ixe01.htm")}) {
    EXPECT_EQ(page.find("<script"), std::string::npos) << page;
    EXPECT_EQ(page.find("q\"uote"), std::string::npos) << page;
  }
  EXPECT_NE(ReadFileBytes(cap_.Folder() / "_Accueil.htm").find("&lt;script&gt;alert(1)&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(Index("_ixh01.htm").find("&lt;script&gt;x()&lt;/script&gt;"), std::string::npos);
}

TEST_F(PageIndexTest, TemplateMarkers) {
  TIndexShared shared{&cap_.web, 7};
  cap_.web.ErrorCount = 3;
  cap_.web.TotalSize = 1025;
  WriteFileBytes(templates_.path() / "_ixo.ht_",
                 "a QLON_NOPE b|QLON_CAPTURE_ERRORCOUNT QLON_CAPTURE_ERRORCOUNT|QLON_CAPTURE_HTMLCOUNT|"
                 "QLON_CAPTURE_SIZE|QLON_CAPTURE_TODOCOUNT|QLON_SITE_TITLE|QLON_CAPTURE_TITLE\r\nno markers\r\n");
  TOtherIndex index(shared, templates_.path(), cap_.Folder() / "Index", param_);
  index.BeginSite(std::string(40, 'x'), "http://a.example/", 1, "");
  EXPECT_EQ(index.Expand(), "a NOPE b|3 3|7|1 Ko|||" + std::string(40, 'x') + "\r\nno markers\r\n");
  EXPECT_EQ(index.GetPageTitle(), std::string(30, 'x') + "...");
  cap_.web.TotalSize = 1024;
  EXPECT_NE(index.Expand().find("|1024 Octets|"), std::string::npos);
  EXPECT_EQ(index.PageFileName(0), "_ixo.htm");
  EXPECT_EQ(index.PageFileName(10), "_ixo0A.htm");
  EXPECT_EQ(index.PageFileName(300), "_ixo12C.htm");
  EXPECT_THROW(THtmlIndex(shared, cap_.Folder(), cap_.Folder(), param_), EReadError);
}

TEST_F(PageIndexTest, PageLinksStepThroughLongIndexes) {
  TIndexShared shared{&cap_.web, 0};
  WriteFileBytes(templates_.path() / "_ixh.ht_", "QLON_PAGE_INDEX");
  THtmlIndex index(shared, templates_.path(), cap_.Folder() / "Index", param_);
  index.BeginSite("s", "http://a.example/", 1, "");
  index.SetCount(120 * 20);
  EXPECT_EQ(index.PageCount, 120);
  const std::string links = index.Expand();
  EXPECT_EQ(Count(links, "<a href="), 39u);
  EXPECT_EQ(Count(links, "<blink><b>1</b></blink>"), 1u);
  EXPECT_EQ(Count(links, "<tr>"), 2u);
  EXPECT_NE(links.find("<a href=\"_ixh04.htm\">4</a>"), std::string::npos);
  EXPECT_EQ(links.find(">2</a>"), std::string::npos);
  EXPECT_EQ(links.find("Page n°</td><td>"), links.find("<td>") + 4);
}

TEST_F(PageIndexTest, SummaryIsWrittenForACaptureWithoutSites) {
  {
    TSommaireIndex summary(cap_.web, param_, templates_.path());
    summary.Close();
  }
  EXPECT_TRUE(std::filesystem::exists(cap_.Folder() / "_Accueil.htm"));
}

TEST_F(PageIndexTest, ShippedTemplatesGiveCheckedPages) {
  const auto shipped = TSommaireIndex::DefaultTemplateFolder();
  ASSERT_TRUE(std::filesystem::exists(shipped / "_Accueil.ht_")) << shipped;
  cap_.web.SetTitle("Essai");
  cap_.web.StartEntries = {{"http://a.example/", "", "", ""}, {"http://gone.example/", "", "", ""}};
  AddPages("http://a.example/", 3);
  cap_.Add("http://a.example/i.gif", fsRetrieved, "image/gif", "a.example/i.gif", "GIF", 1, 10, 10);
  cap_.Add("http://a.example/t.txt", fsRetrieved, "text/plain", "a.example/t.txt", "x", 1);
  cap_.Failed("http://a.example/e.htm", fsError, 500);
  {
    TSommaireIndex summary(cap_.web, param_);
    IndexSite(summary, "http://a.example/");
    summary.Close();
  }
  for (const char* page : {"_ixh01.htm", "_ixi01.htm", "_ixo01.htm", "_ixe01.htm", "_enotfou.htm"})
    EXPECT_TRUE(Exists(page)) << page;
  const std::string home = ReadFileBytes(cap_.Folder() / "_Accueil.htm");
  EXPECT_EQ(home.find("QLON_"), std::string::npos);
  EXPECT_NE(home.find("http://gone.example/"), std::string::npos);
  EXPECT_EQ(Index("_ixh01.htm").find("QLON_"), std::string::npos);
  const auto report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
}
