#include "RapportError.h"

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "PageRewrite.h"

using namespace qlon;
using qlon::test::Count;

namespace {

struct Host : IResolveHost {
  void ShowState(const std::string& text) override { States.push_back(text); }
  void ShowFile(const std::string&) override {}
  void SetGauge(int maximum) override { Gauge = maximum; }
  void StepGauge() override {}
  void ProcessMessages() override {
    if (OnMessage) OnMessage();
  }
  std::vector<std::string> States;
  int Gauge = -1;
  std::function<void()> OnMessage;
};

class RapportErrorTest : public ::testing::Test {
 protected:
  std::string Report() { return cap_.Read(kReportPage); }
  int Run() {
    TRapportError report(cap_.web, host_);
    host_.OnMessage = [&] {
      if (cancelAt_ >= 0 && messages_++ == cancelAt_) report.Cancel();
    };
    return report.Run();
  }
  test::TestCapture cap_;
  Host host_;
  int cancelAt_ = -1, messages_ = 0;
};

}  // namespace

TEST(StringGraph, NodesAndEdges) {
  TStringGraph g;
  int changes = 0;
  g.OnChange = [&](TStringGraph&) { ++changes; };
  const int a = g.AddNode("a", 1), b = g.AddNode("b", 0), c = g.AddNode("c", 0);
  EXPECT_EQ(g.AddNode("a", 0), a);
  EXPECT_EQ(g.GetTag(a), 1);
  g.Link(a, b);
  g.Link(b, a);
  g.Link(a, a);
  g.Link(a, 7);
  g.Link(a, c);
  std::vector<std::string> seen;
  EXPECT_EQ(g.ForEachNeighbour(a, [&](const std::string& n) {
    seen.push_back(n);
    return false;
  }), 2);
  EXPECT_EQ(seen, std::vector<std::string>{"b"});
  EXPECT_EQ(g.ForEachNeighbour(b, [](const std::string&) { return true; }), 1);
  EXPECT_EQ(g.ForEachNeighbour(9, [](const std::string&) { return true; }), 0);
  EXPECT_EQ(changes, 6);  // three nodes, three links (one repeated); none for a self or missing node
  g.Clear();
  EXPECT_EQ(g.Count(), 0);
}

TEST(StringGraph, HoldsMoreThanSixteenBitsOfNodesAndEdges) {
  TStringGraph g;
  constexpr int kPairs = 40000;
  const int hub = g.AddNode("hub", 1);
  for (int i = 0; i < kPairs; ++i) {
    const int page = g.AddNode("p" + std::to_string(i), 1);
    g.Link(page, g.AddNode("l" + std::to_string(i), 0));
    g.Link(hub, page);
  }
  ASSERT_EQ(g.Count(), 2 * kPairs + 1);
  const int last = g.IndexOf("l" + std::to_string(kPairs - 1));
  EXPECT_EQ(last, 2 * kPairs);
  std::string neighbour;
  EXPECT_EQ(g.ForEachNeighbour(last, [&](const std::string& n) {
    neighbour = n;
    return true;
  }), 1);
  EXPECT_EQ(neighbour, "p" + std::to_string(kPairs - 1));
  g.Link(hub, g.IndexOf("p7"));  // already there
  int seen = 0;
  EXPECT_EQ(g.ForEachNeighbour(hub, [&](const std::string&) { return ++seen > 0; }), kPairs);
  EXPECT_EQ(seen, kPairs);
}

TEST_F(RapportErrorTest, PagesAndTheirFailedLinks) {
  cap_.Page("http://h.example/", "index.htm", "<a href=\"bad.htm\">1</a><a href=\"bad.htm\">2</a><a href=\"nf.htm\">n</a>");
  cap_.Page("http://h.example/p.htm", "p.htm", "<img src=\"bad.htm\"><a href=\"q%22.htm\">q</a>");
  cap_.Page("http://h.example/r.htm", "r.htm", "<a href=\"/bad.htm\">b</a>");
  cap_.Page("http://h.example/ok.htm", "ok.htm", "<a href=\"index.htm\">fine</a>");
  cap_.Failed("http://h.example/bad.htm", fsError, 500);
  cap_.Failed("http://h.example/q%22.htm", fsError, 403);
  cap_.Failed("http://h.example/nf.htm", fsNotFound, 404);
  // A rewritten page is read through its OLDREF attributes.
  auto r = cap_.Find("http://h.example/r.htm");
  TRewriteOptions options;
  ASSERT_TRUE(RewritePage(cap_.web, *r, options));
  ASSERT_NE(cap_.Read("r.htm").find("OLDREF"), std::string::npos);

  ASSERT_EQ(Run(), rrFinished);
  const std::string report = Report();
  const size_t errors = report.find("<h2>Liste des erreurs</h2>");
  ASSERT_NE(errors, std::string::npos);
  const std::string pages = report.substr(0, errors), failed = report.substr(errors);
  EXPECT_EQ(Count(pages, "<br><br><a href=\"http://h.example/"), 3u);  // ok.htm holds no failed link
  EXPECT_EQ(Count(pages, "<br><li><a href=\"http://h.example/bad.htm\">"), 3u);  // once per page
  EXPECT_EQ(report.find("nf.htm"), std::string::npos);
  EXPECT_NE(failed.find("<br><br><a href=\"http://h.example/bad.htm\">http://h.example/bad.htm ["), std::string::npos);
  const size_t bad = failed.find("bad.htm ["), quote = failed.find("q%22.htm [");
  EXPECT_EQ(Count(failed.substr(bad, quote > bad ? quote - bad : std::string::npos), "<br><li>"), 3u);
  EXPECT_EQ(report.find("q\".htm"), std::string::npos);
  EXPECT_EQ(host_.Gauge, int(cap_.web.GetCount()));
  EXPECT_EQ(host_.States.back(), "Création du rapport d'erreurs");
}

TEST_F(RapportErrorTest, NoFailuresGiveBothHeadingsAlone) {
  cap_.Page("http://h.example/", "index.htm", "<a href=\"index.htm\">self</a>");
  ASSERT_EQ(Run(), rrFinished);
  EXPECT_EQ(Report(),
            "<html><title>Rapport des erreurs</title><body>\r\n<br><h2>Pages HTML ayant des erreurs</h2>\r\n"
            "<br><h2>Liste des erreurs</h2>\r\n<br></body></html>\r\n");
}

TEST_F(RapportErrorTest, CancelWritesNoReport) {
  cap_.Page("http://h.example/", "index.htm", "<a href=\"bad.htm\">1</a>");
  cap_.Failed("http://h.example/bad.htm", fsError, 500);
  cancelAt_ = 0;
  EXPECT_EQ(Run(), rrCancelled);
  EXPECT_FALSE(std::filesystem::exists(cap_.Folder() / kReportPage));
}

// More pages and failed links than 16-bit indexes hold: every one is listed.
// Under the sanitizers the capture is smaller (the run would take tens of
// seconds); the graph's own test crosses the 16-bit limit there.
TEST_F(RapportErrorTest, LargeCaptureListsEveryFailedLink) {
#ifdef __SANITIZE_ADDRESS__
  constexpr int kPages = 8000;
#else
  constexpr int kPages = 40000;
#endif
  // One saved file serves every page: its relative link names a distinct
  // failed record under each page's own folder (spread over a few sites, as
  // a site holds at most 16,383 folders).
  const std::string html = "<a href=\"bad.htm\">x</a>";
  for (int i = 0; i < kPages; ++i) {
    const std::string folder = "http://h" + std::to_string(i % 4) + ".example/d" + std::to_string(i) + "/";
    TWebFile page(&cap_.web);
    page.SetState(fsRetrieved);
    page.SetLinkType(0);
    SetContentType(page, "text/html", "htm");
    page.SetLocalName("p.htm");
    ASSERT_TRUE(cap_.web.AddUrl(folder + "p.htm", page));
    cap_.Failed(folder + "bad.htm", fsError, 500);
  }
  test::WriteFileBytes(cap_.Folder() / "p.htm", html);
  // One page also holds links that other pages hold: a failed link with two pages.
  cap_.Page("http://h0.example/all.htm", "all.htm", "<a href=\"d0/bad.htm\">x</a><a href=\"d4/bad.htm\">y</a>");
  ASSERT_EQ(Run(), rrFinished);
  const std::string report = Report();
  const size_t errors = report.find("<h2>Liste des erreurs</h2>");
  ASSERT_NE(errors, std::string::npos);
  const std::string pages = report.substr(0, errors), failed = report.substr(errors);
  EXPECT_EQ(Count(pages, "<br><br><a href=\"http://h"), size_t(kPages) + 1);
  EXPECT_EQ(Count(pages, "/bad.htm\">"), size_t(kPages) + 2);
  EXPECT_EQ(Count(failed, "/bad.htm ["), size_t(kPages));
  EXPECT_EQ(Count(failed, "<br><li><a href=\"http://h"), size_t(kPages) + 2);
  // The last ones added are there, under their page and in the list.
  const std::string last = "http://h3.example/d" + std::to_string(kPages - 1) + "/bad.htm";
  EXPECT_NE(pages.find("<br><li><a href=\"" + last + "\">"), std::string::npos);
  EXPECT_NE(failed.find(last + " ["), std::string::npos);
}
