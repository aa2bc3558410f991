// The run operations of a capture: queues, link intake, classification,
// the header check, redirects and the update walk.
#include <gtest/gtest.h>

#include "TempRoot.h"
#include "Urlutil.h"
#include "Web.h"

using namespace qlon;

namespace {

class WebRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    web_.Options.SetDefault(0);
    web_.StartEntries = {{"http://site.example/dir/", "", "", ""}};
    web_.CreateNew(dir_.path() / "local.web");
    web_.PrepareCapture();
  }
  // Files a link of `type` found in the page `from` (or a start URL).
  TWebFile& Link(const std::string& url, int type = ltPage, const std::string& from = "", uint32_t flags = 0) {
    records_.push_back(std::make_unique<TWebFile>(&web_));
    TWebFile& r = *records_.back();
    r.FullUrl = TUrl(url).GetFullUrl();
    r.SetLinkType(type);
    if (flags) r.SetFlags(r.GetFlags() | flags);
    if (from.empty()) {
      EXPECT_TRUE(web_.AddLink(r, nullptr));
    } else {
      TWebFile referrer(&web_);
      EXPECT_TRUE(web_.FindUrl(TUrl(from).GetFullUrl(), referrer)) << from;
      EXPECT_TRUE(web_.AddLink(r, &referrer));
    }
    return r;
  }
  std::unique_ptr<TWebFile> Stored(const std::string& url) {
    auto r = std::make_unique<TWebFile>(&web_);
    EXPECT_TRUE(web_.FindRecord(TUrl(url).GetFullUrl(), *r)) << url;
    return r;
  }
  TWebFileState Verdict(const std::string& url, int type = ltPage, int webLevel = 0, int linkLevel = 0) {
    TWebFile r(&web_);
    r.FullUrl = TUrl(url).GetFullUrl();
    r.SetLinkType(type);
    r.SetWebLevel(uint8_t(webLevel));
    r.SetLinkLevel(uint8_t(linkLevel));
    return web_.ClassifyLink(r);
  }

  qlon::test::TempDir dir_;
  TWeb web_;
  std::vector<std::unique_ptr<TWebFile>> records_;
};

const char* kStart = "http://site.example/dir/";

}  // namespace

TEST(WebFileList, AscendingPrioritiesFirstInFirstOutAmongEquals) {
  TWebFileList q;
  q.Add("a", 3);
  q.Add("b", 1);
  q.Add("c", 3);
  q.Add("d", 0);
  q.Add("e", 1);
  std::vector<std::string> order;
  for (int i = 0; i < q.Count(); ++i) order.push_back(q.Url(i));
  EXPECT_EQ(order, (std::vector<std::string>{"d", "b", "e", "a", "c"}));

  TWebFile page, image;
  page.SetLinkType(ltPage);
  page.SetWebLevel(1);
  page.SetLinkLevel(2);
  image.SetLinkType(ltEmbedded);
  image.SetWebLevel(1);
  image.SetLinkLevel(2);
  EXPECT_EQ(TWebFileList::Priority(page), 512 + 4 + 1);
  EXPECT_EQ(TWebFileList::Priority(image), 512 + 4);  // embedded files before pages of the same levels
}

TEST_F(WebRunTest, StartUrlIsQueuedAndPopsByLookup) {
  ASSERT_EQ(web_.ToCapture.Count(), 1);
  EXPECT_TRUE(Stored(kStart)->IsStartUrl());
  TWebFile r(&web_);
  ASSERT_TRUE(web_.NextToCapture(r));
  EXPECT_EQ(r.FullUrl, kStart);
  EXPECT_FALSE(web_.NextToCapture(r));
  // A line whose record left the tree is dropped.
  web_.ToCapture.Add("http://site.example/gone.htm", 0);
  EXPECT_FALSE(web_.NextToCapture(r));
  EXPECT_TRUE(web_.ToCapture.Empty());
}

TEST_F(WebRunTest, LinkLevelsFollowThePageLinksAndSites) {
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  Link("http://site.example/dir/i.gif", ltEmbedded, kStart);
  Link("http://site.example/dir/f.htm", ltPage, kStart, TWebFile::kFlagFrameLink);
  Link("http://other.example/x.htm", ltPage, "http://site.example/dir/a.htm");
  Link("http://other.example/y.htm", ltPage, "http://other.example/x.htm");

  EXPECT_EQ(Stored("http://site.example/dir/a.htm")->GetLinkLevel(), 1);
  EXPECT_EQ(Stored("http://site.example/dir/i.gif")->GetLinkLevel(), 0);  // embedded: no step
  EXPECT_EQ(Stored("http://site.example/dir/f.htm")->GetLinkLevel(), 0);  // frame: same page
  const auto x = Stored("http://other.example/x.htm");
  EXPECT_EQ(x->GetWebLevel(), 1);
  EXPECT_EQ(x->GetLinkLevel(), 0);
  const auto y = Stored("http://other.example/y.htm");
  EXPECT_EQ(y->GetWebLevel(), 1);
  EXPECT_EQ(y->GetLinkLevel(), 1);
  // ExternalWebDepth 0: pages of other sites are refused, the rest is queued.
  EXPECT_EQ(x->GetState(), fsFilteredExternalWebDepth);
  EXPECT_EQ(Stored("http://site.example/dir/a.htm")->GetState(), fsToCapture);
  EXPECT_EQ(web_.ToCapture.Count(), 4);
  EXPECT_EQ(web_.FilteredCount, 2u);
  EXPECT_EQ(web_.ToCapture.Url(0), "http://site.example/dir/i.gif");  // embedded before the start page
  EXPECT_EQ(web_.ToCapture.Url(1), kStart);
}

TEST_F(WebRunTest, KnownLinkIsNotFiledTwice) {
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  EXPECT_EQ(web_.GetCount(), 2u);
  EXPECT_EQ(web_.ToCapture.Count(), 2);
}

TEST_F(WebRunTest, IdentityStaysOnItsSite) {
  TWebFile start(&web_);
  ASSERT_TRUE(web_.FindUrl(kStart, start));
  ASSERT_TRUE(start.SetIdentity("bob", "secret"));
  start.SaveChanges();
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  Link("http://evil.example/a.htm", ltPage, kStart);
  Link("http://site.example:8080/a.htm", ltPage, kStart);
  std::string user, password;
  EXPECT_TRUE(Stored("http://site.example/dir/a.htm")->GetIdentity(user, password));
  EXPECT_EQ(user, "bob");
  EXPECT_FALSE(Stored("http://evil.example/a.htm")->GetIdentity(user, password));
  EXPECT_FALSE(Stored("http://site.example:8080/a.htm")->GetIdentity(user, password));
}

TEST_F(WebRunTest, FileLinksAreFollowedOnlyFromFilePages) {
  Link("file:///etc/passwd", ltPage, kStart);
  EXPECT_EQ(Stored("file:///etc/passwd")->GetState(), fsFilteredProtocol);

  Link("file:///data/site/index.htm");
  Link("file:///data/site/b.htm", ltPage, "file:///data/site/index.htm");
  EXPECT_EQ(Stored("file:///data/site/b.htm")->GetState(), fsToCapture);
}

TEST_F(WebRunTest, ClassificationGivesEachFilterState) {
  TOptions& o = web_.Options;
  o.DownloadFTPFlag = false;
  EXPECT_EQ(Verdict("ftp://site.example/f.zip"), fsFilteredProtocol);
  o.DownloadFTPFlag = true;
  EXPECT_EQ(Verdict("ftp://site.example/f.zip"), fsNotFiltered);
  EXPECT_EQ(Verdict("mailto:x@site.example"), fsFilteredProtocol);
  EXPECT_EQ(Verdict("https://site.example/a.htm"), fsFilteredProtocol);

  EXPECT_EQ(Verdict("http://www.yahoo.com/"), fsFilteredExclusion);  // the default exclusion list
  o.Filters().Add("http://site.example/private/", kFilterExcluded);
  EXPECT_EQ(Verdict("http://site.example/private/a.htm"), fsFilteredExclusion);

  o.InternalLinkDepth = 2;
  EXPECT_EQ(Verdict("http://site.example/dir/a.htm", ltPage, 0, 2), fsNotFiltered);
  EXPECT_EQ(Verdict("http://site.example/dir/a.htm", ltPage, 0, 3), fsFilteredInternalLinkDepth);
  EXPECT_EQ(Verdict("http://site.example/dir/a.gif", ltEmbedded, 0, 9), fsNotFiltered);  // only pages count depth
  o.Filters().Add("http://site.example/deep/", kFilterAllowed);
  EXPECT_EQ(Verdict("http://site.example/deep/a.htm", ltPage, 0, 9), fsNotFiltered);  // allowed beats depth

  o.ExternalWebDepth = 1;
  o.ExternalLinkDepth = 1;
  EXPECT_EQ(Verdict("http://o.example/a.htm", ltPage, 1, 1), fsNotFiltered);
  EXPECT_EQ(Verdict("http://o.example/a.htm", ltPage, 2, 0), fsFilteredExternalWebDepth);
  EXPECT_EQ(Verdict("http://o.example/a.htm", ltPage, 1, 2), fsFilteredExternalLinkDepth);

  EXPECT_EQ(Verdict("http://www.site.example/a.htm"), fsNotFiltered);
  o.CheckDomainMachineFlag = true;
  EXPECT_EQ(Verdict("http://www.site.example/a.htm"), fsFilteredDomainMachine);
  o.CheckDomainMachineFlag = false;

  o.InternalPathLimit = true;
  EXPECT_EQ(Verdict("http://site.example/dir/sub/a.htm"), fsNotFiltered);
  EXPECT_EQ(Verdict("http://site.example/elsewhere/a.htm"), fsFilteredStartDirectory);
  EXPECT_EQ(Verdict("http://site.example/cgi-bin/q"), fsNotFiltered);
  EXPECT_EQ(Verdict("http://unlisted.example/a.htm"), fsNotFiltered);  // a host not in the list
  o.InternalPathLimit = false;

  o.RefLimit = true;
  EXPECT_EQ(Verdict("http://site.example/i.gif", ltEmbedded), fsFilteredDefault);
  EXPECT_EQ(Verdict("http://site.example/b.gif", ltBackground), fsFilteredDefault);
  o.RefLimit = false;
  o.BackgroundOnlyFlag = true;
  EXPECT_EQ(Verdict("http://site.example/i.gif", ltEmbedded), fsFilteredDefault);
  EXPECT_EQ(Verdict("http://site.example/b.gif", ltBackground), fsNotFiltered);
  o.BackgroundOnlyFlag = false;

  o.ExtensionFilterFlag = true;
  o.MimeList().FindType("image/gif")->SetEnabled(false);
  EXPECT_EQ(Verdict("http://site.example/i.gif", ltEmbedded), fsFilteredExtension);
  EXPECT_EQ(Verdict("http://site.example/i.jpg", ltEmbedded), fsNotFiltered);

  TWebFile start(&web_);
  ASSERT_TRUE(web_.FindUrl(kStart, start));
  o.Filters().Add(kStart, kFilterExcluded);
  EXPECT_EQ(web_.ClassifyLink(start), fsNotFiltered);  // start URLs are never filtered
}

TEST_F(WebRunTest, HeaderCheckJudgesTypeAndSize) {
  TOptions& o = web_.Options;
  o.MinFileSize = 1;
  o.MaxFileSize = 10;
  TWebFile r(&web_);
  r.FullUrl = "http://site.example/a.gif";
  SetContentType(r, "image/gif", "gif");
  EXPECT_EQ(web_.CheckHeader(r, 0, r.FullUrl), fsNotFiltered);  // unknown length
  EXPECT_EQ(web_.CheckHeader(r, 500, r.FullUrl), fsFilteredSize);
  EXPECT_EQ(web_.CheckHeader(r, 5000, r.FullUrl), fsNotFiltered);
  EXPECT_EQ(web_.CheckHeader(r, 10 * 1024 + 1, r.FullUrl), fsFilteredSize);
  o.MimeList().FindType("image/gif")->SetEnabled(false);
  EXPECT_EQ(web_.CheckHeader(r, 5000, r.FullUrl), fsFilteredMime);

  SetContentType(r, "text/html", "htm");
  EXPECT_EQ(web_.CheckHeader(r, 1 << 30, r.FullUrl), fsNotFiltered);  // pages are judged after the body

  r.SetJavaClass(true);
  o.DownLoadAppletJavaFlag = false;
  EXPECT_EQ(web_.CheckHeader(r, 5000, r.FullUrl), fsFilteredMime);
  o.DownLoadAppletJavaFlag = true;
  EXPECT_EQ(web_.CheckHeader(r, 5000, r.FullUrl), fsNotFiltered);

  EXPECT_EQ(web_.CheckHeader(r, 20 * 1024, "ftp://site.example/f.zip"), fsFilteredSize);
  EXPECT_EQ(web_.CheckHeader(r, -1, "ftp://site.example/f.zip"), fsNotFiltered);
  // Limits in kilobytes do not overflow.
  o.MaxFileSize = 32767;
  SetContentType(r, "image/jpeg", "jpg");
  r.SetJavaClass(false);
  EXPECT_EQ(web_.CheckHeader(r, int64_t(32767) * 1024 + 1, r.FullUrl), fsFilteredSize);
}

TEST_F(WebRunTest, RedirectMakesARedirectRecordAndQueuesTheTarget) {
  Link("http://site.example/dir/old.htm", ltPage, kStart);
  TWebFile old(&web_);
  ASSERT_TRUE(web_.NextToCapture(old));
  ASSERT_TRUE(web_.NextToCapture(old));
  ASSERT_EQ(old.FullUrl, "http://site.example/dir/old.htm");
  web_.Options.Filters().Add(old.FullUrl, kFilterAllowed);

  EXPECT_FALSE(web_.AddRedirect(old, "old.htm"));  // to itself: nothing changes
  EXPECT_FALSE(old.IsRedirect());

  ASSERT_TRUE(web_.AddRedirect(old, "new/page.htm"));
  const auto stored = Stored("http://site.example/dir/old.htm");
  EXPECT_TRUE(stored->IsRedirect());
  EXPECT_EQ(stored->GetState(), fsRetrieved);
  EXPECT_EQ(stored->GetLocalName(), "http://site.example/dir/new/page.htm");
  const auto target = Stored("http://site.example/dir/new/page.htm");
  EXPECT_EQ(target->GetLinkLevel(), 1);  // a redirect is no link step
  EXPECT_EQ(target->GetState(), fsToCapture);
  EXPECT_TRUE(web_.Options.Filters().IsAllowed("http://site.example/dir/new/page.htm"));
  EXPECT_FALSE(web_.Options.Filters().IsAllowed("http://site.example/dir/old.htm"));
  // Looking up the old URL now finds the target.
  TWebFile r(&web_);
  ASSERT_TRUE(web_.FindUrl("http://site.example/dir/old.htm", r));
  EXPECT_EQ(r.FullUrl, "http://site.example/dir/new/page.htm");
}

TEST_F(WebRunTest, UpdateWalkQueuesOnlyPendingRecords) {
  EXPECT_EQ(web_.PrepareUpdate(), 0);  // nothing retrieved yet
  TWebFile r(&web_);
  ASSERT_TRUE(web_.NextToCapture(r));
  r.SetState(fsRetrieved);
  r.SaveChanges();
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  ASSERT_TRUE(web_.NextToCapture(r));
  r.SetState(fsRetrieved);
  r.SaveChanges();
  web_.RetrievedCount = 2;

  EXPECT_EQ(web_.PrepareUpdate(), 1);
  EXPECT_EQ(Stored(kStart)->GetState(), fsToUpdate);
  EXPECT_FALSE(Stored("http://site.example/dir/a.htm")->IsUpdated());
  ASSERT_TRUE(web_.NextToUpdate(r));
  EXPECT_TRUE(r.IsUpdated());  // taking it clears the pending mark
  EXPECT_FALSE(web_.QueueForUpdate(r));
  r.SaveChanges();

  // A link to a pending record queues it for update, once.
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  EXPECT_EQ(web_.ToUpdate.Count(), 1);
  EXPECT_EQ(Stored("http://site.example/dir/a.htm")->GetState(), fsToUpdate);
}

TEST_F(WebRunTest, PageLinkPassFilesEveryKindOfLink) {
  TWebFile page(&web_);
  ASSERT_TRUE(web_.NextToCapture(page));
  page.SetLocalName("index.htm");
  SetContentType(page, "text/html", "htm");
  page.SaveChanges();
  qlon::test::WriteFileBytes(dir_.path() / "index.htm",
                             "<html><body background=\"bg.gif\">"
                             "<a href=\"a.htm#top\">a</a> <a href=\"#top\">self</a>"
                             "<img src=\"i.gif\" lowsrc=\"low.gif\">"
                             "<frame src=\"frame.htm\">"
                             "<applet code=\"pkg.Main\" codebase=\"classes\" archive=\"x.jar\"></applet>"
                             "<a href=\"javascript:go()\">js</a> <a href=\"https://s.example/\">s</a>"
                             "<script>document.write('<a href=\"script.htm\">')</script>"
                             "<base href=\"http://site.example/other/\"><a href=\"b.htm\">b</a>"
                             "</body></html>");
  web_.ScanPageLinks(page, page.FullUrl, TWeb::FollowLinkDefault);
  std::vector<std::string> queued;
  for (int i = 0; i < web_.ToCapture.Count(); ++i) queued.push_back(web_.ToCapture.Url(i));
  std::sort(queued.begin(), queued.end());
  EXPECT_EQ(queued, (std::vector<std::string>{
                        "http://site.example/dir/a.htm", "http://site.example/dir/bg.gif",
                        "http://site.example/dir/classes/pkg/Main.class", "http://site.example/dir/classes/x.jar",
                        "http://site.example/dir/frame.htm", "http://site.example/dir/i.gif",
                        "http://site.example/dir/low.gif", "http://site.example/other/b.htm"}));
  EXPECT_EQ(Stored("http://site.example/dir/bg.gif")->GetLinkType(), ltBackground);
  EXPECT_TRUE(Stored("http://site.example/dir/frame.htm")->IsFrameLink());
  EXPECT_TRUE(Stored("http://site.example/dir/classes/pkg/Main.class")->IsJavaClass());
  EXPECT_EQ(web_.GetCount(), queued.size() + 1);  // nothing for scripts, unknown schemes or the page itself
}

TEST_F(WebRunTest, PrepareCaptureTakesUpWhereARunStopped) {
  Link("http://site.example/dir/a.htm", ltPage, kStart);
  TWebFile r(&web_);
  ASSERT_TRUE(web_.NextToCapture(r));
  r.SetState(fsRetrieved);
  r.SaveChanges();
  ASSERT_TRUE(web_.NextToCapture(r));
  r.SetState(fsRequesting);  // left behind by a run that never ended
  r.SaveChanges();
  Link("http://site.example/dir/e.htm", ltPage, kStart);
  ASSERT_TRUE(web_.NextToCapture(r));
  r.SetError(404);
  r.SaveChanges();

  web_.PrepareCapture();
  ASSERT_EQ(web_.ToCapture.Count(), 1);
  EXPECT_EQ(web_.ToCapture.Url(0), "http://site.example/dir/a.htm");
  EXPECT_EQ(Stored("http://site.example/dir/a.htm")->GetState(), fsToCapture);

  web_.PrepareCapture(true);  // a reset tries failed records again
  EXPECT_EQ(web_.ToCapture.Count(), 2);
  EXPECT_EQ(Stored("http://site.example/dir/e.htm")->GetState(), fsToCapture);
  EXPECT_EQ(Stored(kStart)->GetState(), fsRetrieved);

  EXPECT_EQ(web_.QueueUrls({"http://site.example/dir/new.htm", kStart}, false), 1);
  EXPECT_EQ(web_.QueueUrls({kStart}, true), 1);
  EXPECT_EQ(Stored(kStart)->GetState(), fsToUpdate);
}
