#include "DlgResolve.h"

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "PageIndex.h"
#include "PageRewrite.h"
#include "ReplaceBatch.h"

using namespace qlon;
using qlon::test::CheckAllLinks;
using qlon::test::CheckPageLinks;
using qlon::test::LinkReport;
using qlon::test::ReadFileBytes;
using qlon::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

struct Recorder : TResolveHost {
  void ShowState(const std::string& text) override { States.push_back(text); }
  void ShowFile(const std::string& name) override { Files.push_back(name); }
  void SetGauge(int maximum) override { Gauges.push_back(maximum); }
  void StepGauge() override { ++Steps; }
  void ProcessMessages() override {
    ++Messages;
    if (OnMessage) OnMessage();
  }
  std::vector<std::string> States, Files;
  std::vector<int> Gauges;
  int Steps = 0, Messages = 0;
  std::function<void()> OnMessage;
};

class DlgResolveTest : public ::testing::Test {
 protected:
  DlgResolveTest() {
    // Templates holding only the body, so that an index page's links are its entries.
    for (const char* kind : {"_Accueil", "_ixh", "_ixi", "_ixo", "_ixe", "_ixf"})
      WriteFileBytes(templates_.path() / (std::string(kind) + ".ht_"), "<html><body>QLON_HTML_TABLE</body></html>");
    WriteFileBytes(templates_.path() / "_enotfou.htm", "<html>absent</html>");
  }

  void BuildTwoSites() {
    cap_.web.SetTitle("Deux sites");
    cap_.web.StartEntries = {{"http://a.example/", "", "", ""}};
    cap_.Page("http://a.example/", "a/index.htm",
              "<html><head><title>Accueil A</title></head><body>"
              "<a href=\"page2.htm\">2</a> <img src=\"img/pic.gif\"> <a href=\"doc.pdf\">pdf</a>"
              "<a href=\"missing.htm\">m</a> <a href=\"http://b.example/\">b</a> <a href=\"filtered.htm\">f</a>"
              "<a href=\"http://nowhere.example/x.htm\">x</a> <a href=\"/redir.htm\">r</a>"
              "<a href=\"q%22uote.htm\">q</a></body></html>");
    cap_.Page("http://a.example/page2.htm", "a/page2.htm",
              "<body><a href=\"./\">home</a> <a href=\"../../../../etc/passwd\">up</a>"
              "<a href=\"file:///etc/passwd\">file</a></body>");
    cap_.Page("http://a.example/q%22uote.htm", "a/quote.htm", "<title>Q</title>");
    cap_.Add("http://a.example/img/pic.gif", fsRetrieved, "image/gif", "a/img/pic.gif", "GIF89a", 1, 100, 100);
    cap_.Add("http://a.example/doc.pdf", fsRetrieved, "application/pdf", "a/doc.pdf", "%PDF-1.4", 0);
    cap_.Failed("http://a.example/missing.htm", fsNotFound, 404);
    cap_.Add("http://a.example/filtered.htm", fsFilteredUser, "", "", "");
    TWebFile redirect(&cap_.web);
    ASSERT_TRUE(cap_.web.AddUrl("http://a.example/redir.htm", redirect));
    TWebFile target(&cap_.web);
    target.FullUrl = "http://a.example/page2.htm";
    redirect.SetRedirect(target);
    redirect.SetState(fsRetrieved);
    ASSERT_TRUE(redirect.SaveChanges());
    cap_.Page("http://b.example/", "b/index.htm",
              "<title>&lt;script&gt;alert(1)&lt;/script&gt;</title><a href=\"http://a.example/page2.htm\">a2</a>");
  }

  int Resolve(Recorder& host, bool force = false, fs::path templates = {}) {
    TDlgResolve dlg(cap_.web, host, param_, templates.empty() ? templates_.path() : templates);
    dlg.ForceRewrite = force;
    if (!host.OnMessage) host.OnMessage = [] {};
    dialog_ = &dlg;
    const int result = dlg.Run();
    dialog_ = nullptr;
    return result;
  }
  int Resolve() {
    Recorder host;
    return Resolve(host);
  }

  // Every saved page and generated page, by name.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(cap_.Folder()))
      if (e.is_regular_file() && e.path().extension() != ".web")
        files[fs::relative(e.path(), cap_.Folder()).string()] = ReadFileBytes(e.path());
    return files;
  }
  // The local files an index kind links to, over all its pages.
  std::set<std::string> Listed(const std::string& prefix) {
    LinkReport report;
    for (const auto& e : fs::directory_iterator(cap_.Folder() / "Index"))
      if (e.path().filename().string().compare(0, prefix.size(), prefix) == 0)
        CheckPageLinks(cap_.Folder(), e.path(), report);
    EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
    return {report.Targets.begin(), report.Targets.end()};
  }
  // Every link that names a captured record in its OLDREF opens that record's file.
  void ExpectCapturedLinksAreLocal() {
    for (const char* page : {"a/index.htm", "a/page2.htm", "b/index.htm"}) {
      QByteArray bytes = QByteArray::fromStdString(cap_.Read(page));
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::ReadOnly);
      THtmlParser parser(buffer);
      parser.Parse();
      TTagLink link;
      for (int i = 0; i < parser.GetCount(); ++i) {
        if (!parser.GetTagLink(i, link) || !link.HasOldRef() || link.Kind == tkBase) continue;
        TWebFile record(&cap_.web);
        if (!cap_.web.FindUrl(link.GetOldUrl(), record) || !record.IsRetrieved()) continue;
        const fs::path target = (cap_.Folder() / page).parent_path() / UnescapeUrl(link.GetUrl());
        EXPECT_TRUE(fs::equivalent(target, record.GetLocalPath())) << page << ": " << link.GetText();
      }
    }
  }

  qlon::test::TestCapture cap_;
  qlon::test::TempDir templates_;
  TSommaireParam param_;
  TDlgResolve* dialog_ = nullptr;
};

}  // namespace

TEST_F(DlgResolveTest, ResolvedCaptureLinksOnlyToItsOwnFiles) {
  BuildTwoSites();
  Recorder host;
  ASSERT_EQ(Resolve(host), rrFinished);

  const LinkReport report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
  EXPECT_GT(report.Local, 20);
  ExpectCapturedLinksAreLocal();
  // The redirect leads to its target's file.
  EXPECT_NE(cap_.Read("a/index.htm").find("href=\"page2.htm\" OLDREF=\"http://a.example/redir.htm\">r<"),
            std::string::npos)
      << cap_.Read("a/index.htm");

  // The indexes list exactly the captured records, by kind.
  EXPECT_EQ(Listed("_ixh"), (std::set<std::string>{"a/index.htm", "a/page2.htm", "a/quote.htm", "b/index.htm"}));
  EXPECT_EQ(Listed("_ixi"), (std::set<std::string>{"a/img/pic.gif"}));
  EXPECT_EQ(Listed("_ixo"), (std::set<std::string>{"a/doc.pdf"}));
  const std::string errors = ReadFileBytes(cap_.Folder() / "Index/_ixe01.htm");
  EXPECT_NE(errors.find("OLDREF=\"http://a.example/missing.htm\""), std::string::npos);
  EXPECT_EQ(errors.find("filtered"), std::string::npos);
  // Site b has its own pages, numbered after site a's.
  EXPECT_TRUE(fs::exists(cap_.Folder() / "Index/_ixh02.htm"));
  EXPECT_FALSE(fs::exists(cap_.Folder() / "Index/_ixe02.htm"));
  const std::string summary = cap_.Read("_Accueil.htm");
  EXPECT_NE(summary.find("<a href=\"a/index.htm\" OLDREF=\"http://a.example/\">"), std::string::npos) << summary;
  EXPECT_NE(summary.find("<a href=\"b/index.htm\" OLDREF=\"http://b.example/\">"), std::string::npos);

  // Progress as the window shows it; the total size of the retrieved files.
  EXPECT_EQ(host.States, (std::vector<std::string>{"Recherche...", "a.example", "b.example"}));
  EXPECT_EQ(host.Gauges, (std::vector<int>{int(cap_.web.RetrievedCount), 3, 1}));
  EXPECT_EQ(host.Steps, 4);
  EXPECT_EQ(std::set<std::string>(host.Files.begin(), host.Files.end()),
            (std::set<std::string>{"a/index.htm", "a/page2.htm", "a/quote.htm", "b/index.htm"}));
  uint64_t total = 0;
  for (const char* file : {"a/index.htm", "a/page2.htm", "a/quote.htm", "a/img/pic.gif", "a/doc.pdf", "b/index.htm"})
    total += fs::file_size(cap_.Folder() / file);
  EXPECT_EQ(uint64_t(cap_.web.TotalSize), total);
}

TEST_F(DlgResolveTest, ResolvingTwiceGivesTheSameBytes) {
  BuildTwoSites();
  ASSERT_EQ(Resolve(), rrFinished);
  const auto first = Snapshot();
  Recorder host;
  ASSERT_EQ(Resolve(host, true), rrFinished);
  EXPECT_EQ(Snapshot(), first);
}

TEST_F(DlgResolveTest, ACrashBeforeThePagesAreReplacedLeavesThemWholeAndTheNextRunClearsUp) {
  BuildTwoSites();
  const std::string original = cap_.Read("a/index.htm");
  auto page = cap_.Find("http://a.example/");
  const std::string rewritten =
      RewritePageBytes(cap_.web, *page, original, TRewriteOptions::FromOptions(cap_.web.Options));
  ASSERT_NE(rewritten, original);
  // A resolution that dies with the rewritten page staged, not yet renamed.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TReplaceBatch batch(cap_.Folder());
    ::_exit(batch.Stage(page->GetLocalPath(), rewritten) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(cap_.Read("a/index.htm"), original);
  EXPECT_EQ(cap_.Find("http://a.example/")->GetRewriteMark(), 0);
  ASSERT_TRUE(fs::exists(cap_.Folder() / kStagingFolder));

  ASSERT_EQ(Resolve(), rrFinished);
  EXPECT_EQ(cap_.Read("a/index.htm"), rewritten);
  EXPECT_EQ(cap_.Find("http://a.example/")->GetRewriteMark(), TRewriteOptions::FromOptions(cap_.web.Options).Mark());
  EXPECT_FALSE(fs::exists(cap_.Folder() / kStagingFolder));
  for (const auto& e : fs::recursive_directory_iterator(cap_.Folder()))
    EXPECT_EQ(e.path().string().find(kStagingFolder), std::string::npos) << e.path();
}

TEST_F(DlgResolveTest, RecordsChangingAfterAResolution) {
  BuildTwoSites();
  ASSERT_EQ(Resolve(), rrFinished);
  // The missing page arrives, the PDF is lost, a new page joins site b.
  cap_.web.DeleteUrl("http://a.example/missing.htm");
  cap_.Page("http://a.example/missing.htm", "a/missing.htm", "<a href=\"page2.htm\">back</a>");
  cap_.web.DeleteUrl("http://a.example/doc.pdf");
  fs::remove(cap_.Folder() / "a/doc.pdf");
  cap_.Page("http://b.example/new.htm", "b/new.htm", "<a href=\"./\">b</a><a href=\"http://a.example/\">a</a>");
  ASSERT_EQ(Resolve(), rrFinished);

  const LinkReport report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
  ExpectCapturedLinksAreLocal();
  EXPECT_NE(cap_.Read("a/index.htm").find("href=\"missing.htm\""), std::string::npos);
  EXPECT_EQ(Listed("_ixh").count("a/missing.htm"), 1u);
  EXPECT_TRUE(Listed("_ixo").empty());
  EXPECT_FALSE(fs::exists(cap_.Folder() / "Index/_ixe01.htm") &&
               ReadFileBytes(cap_.Folder() / "Index/_ixe01.htm").find("missing.htm") != std::string::npos);
}

TEST_F(DlgResolveTest, CancelStopsTheWalk) {
  BuildTwoSites();
  cap_.web.TotalSize = 777;
  Recorder host;
  host.OnMessage = [&] {
    if (host.Messages == 3) dialog_->Cancel();
  };
  EXPECT_EQ(Resolve(host), rrCancelled);
  EXPECT_EQ(cap_.web.TotalSize, 777);
  EXPECT_EQ(host.Steps, 0);
  EXPECT_EQ(host.States.back(), "a.example");
  EXPECT_TRUE(fs::exists(cap_.Folder() / "_Accueil.htm"));
}

TEST_F(DlgResolveTest, FrameSetsAreRewrittenAgainOnlyForNewOptions) {
  cap_.Page("http://f.example/", "f/index.htm",
            "<frameset><frame src=\"menu.htm\"><frame src=\"main.htm\"></frameset>");
  cap_.Page("http://f.example/menu.htm", "f/menu.htm", "<a href=\"main.htm\" target=\"m\">main</a>");
  ASSERT_EQ(Resolve(), rrFinished);
  EXPECT_NE(cap_.Read("f/index.htm").find("<frame src=\"menu.htm\" OLDREF="), std::string::npos);
  EXPECT_TRUE(cap_.Find("http://f.example/")->IsFrameSet());
  EXPECT_FALSE(cap_.Find("http://f.example/menu.htm")->IsFrameSet());

  // The frame set is left alone while the options stay; ordinary pages are redone.
  const std::string kept = "<frameset><frame src=\"menu.htm\"></frameset>";
  WriteFileBytes(cap_.Folder() / "f/index.htm", kept);
  WriteFileBytes(cap_.Folder() / "f/menu.htm", "<a href=\"./\">i</a>");
  ASSERT_EQ(Resolve(), rrFinished);
  EXPECT_EQ(cap_.Read("f/index.htm"), kept);
  EXPECT_NE(cap_.Read("f/menu.htm").find("OLDREF"), std::string::npos);

  cap_.web.Options.RealLinkFlag = !cap_.web.Options.RealLinkFlag;
  ASSERT_EQ(Resolve(), rrFinished);
  EXPECT_NE(cap_.Read("f/index.htm"), kept);
  WriteFileBytes(cap_.Folder() / "f/index.htm", kept);
  Recorder host;
  ASSERT_EQ(Resolve(host, true), rrFinished);  // forced
  EXPECT_NE(cap_.Read("f/index.htm"), kept);
}

TEST_F(DlgResolveTest, HostileTitlesAndUrlsStayText) {
  cap_.web.Options.SetDefault(0);  // links to what was not captured: the not-found page and the web
  BuildTwoSites();
  Recorder host;
  ASSERT_EQ(Resolve(host, false, TSommaireIndex::DefaultTemplateFolder()), rrFinished);
  for (const auto& [name, bytes] : Snapshot()) {
    if (name.compare(0, 6, "Index/") != 0 && name != "_Accueil.htm") continue;
    EXPECT_EQ(bytes.find("<script"), std::string::npos) << name;
    EXPECT_EQ(bytes.find("q\"uote"), std::string::npos) << name;
    EXPECT_EQ(bytes.find("QLON_"), std::string::npos) << name;
  }
  EXPECT_NE(ReadFileBytes(cap_.Folder() / "Index/_ixh02.htm").find("&lt;script&gt;alert(1)&lt;/script&gt;"),
            std::string::npos);
  const LinkReport report = CheckAllLinks(cap_.Folder());
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
}

TEST_F(DlgResolveTest, MissingTemplateFailsBeforeAnyChange) {
  BuildTwoSites();
  fs::remove(templates_.path() / "_ixe.ht_");
  const auto before = Snapshot();
  Recorder host;
  EXPECT_THROW(Resolve(host), EReadError);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DlgResolveTest, FilteredAddressesGetTheirOwnPagesWhenAskedFor) {
  BuildTwoSites();
  cap_.web.Options.FilteredUrlFlag = true;
  ASSERT_EQ(Resolve(), rrFinished);
  const std::string filtered = ReadFileBytes(cap_.Folder() / "Index/_ixf01.htm");
  EXPECT_EQ(qlon::test::Count(filtered, "<li>"), 1);
  EXPECT_NE(filtered.find("OLDREF=\"http://a.example/filtered.htm\""), std::string::npos) << filtered;
  const std::string reason = cap_.Find("http://a.example/filtered.htm")->GetStateText();
  ASSERT_FALSE(reason.empty());
  EXPECT_NE(filtered.find(EscapeHtmlText(reason)), std::string::npos);
  EXPECT_NE(cap_.Read("_Accueil.htm").find("<a href=\"Index/_ixf01.htm\" OLDREF=\"\">"), std::string::npos);
  EXPECT_EQ(Listed("_ixe").size(), 0u);  // errors link to the web, not to files

  // Without the option, the pages of the earlier resolution go.
  cap_.web.Options.FilteredUrlFlag = false;
  ASSERT_EQ(Resolve(), rrFinished);
  EXPECT_FALSE(fs::exists(cap_.Folder() / "Index/_ixf01.htm"));
  EXPECT_EQ(cap_.Read("_Accueil.htm").find("Filtr"), std::string::npos);
}
