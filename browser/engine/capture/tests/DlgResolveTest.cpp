#include "DlgResolve.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "CaptureFixture.h"
#include "LinkTargets.h"
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

struct Recorder : IResolveHost {
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

  void BuildTwoSites() { BuildTwoSites(cap_); }
  static void BuildTwoSites(qlon::test::TestCapture& cap_) {
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

  // The two sites, and a third one with what the rewrite pass treats apart:
  // many pages over several folders, a frame set, ISMAP images with and
  // without a drawn map, a VRML world, numeric hosts not yet in the host list.
  static void BuildLargeCapture(qlon::test::TestCapture& cap) {
    BuildTwoSites(cap);
    cap.web.Options.DownloadVrmlFlag = true;
    const int pages = 120;
    auto page = [](int i) { return "d" + std::to_string(i % 7) + "/p" + std::to_string(i) + ".htm"; };
    for (int i = 0; i < pages; ++i) {
      std::string html = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>";
      for (int k = 1; k <= 6; ++k) html += "<a href=\"../" + page((i * k + 3) % pages) + "\">p</a> ";
      html += "<img src=\"/img/i" + std::to_string(i % 9) + ".gif\"> <a href=\"http://10.9.9." + std::to_string(i % 5) +
              "/x.htm\">n</a> <a href=\"/gone" + std::to_string(i) + ".htm\">g</a> <a href=\"/frames.htm\">f</a>" +
              std::string(size_t(i * 37 % 3000), ' ') + "</body></html>";
      // A script left open at the end: its state must not reach the links
      // before it, whichever thread rewrites the page.
      if (i % 40 == 5) html += "<script>var late = 1;";
      cap.Page("http://m.example/" + page(i), "m/" + page(i), html);
    }
    for (int i = 0; i < 9; ++i)
      cap.Add("http://m.example/img/i" + std::to_string(i) + ".gif", fsRetrieved, "image/gif",
              "m/img/i" + std::to_string(i) + ".gif", "GIF89a", 1, 10, 10);
    cap.Page("http://m.example/frames.htm", "m/frames.htm",
             "<frameset><frame src=\"d0/p0.htm\"><frame src=\"d1/p1.htm\"></frameset>");
    for (const char* name : {"map", "plain"}) {
      const std::string n = name;
      cap.Add("http://m.example/img/" + n + ".gif", fsRetrieved, "image/gif", "m/img/" + n + ".gif", "GIF89a", 1, 20,
              20);
      cap.Page("http://m.example/" + n + ".htm", "m/" + n + ".htm",
               "<body><a href=\"/cgi-bin/" + n + "\"><img src=\"img/" + n + ".gif\" ismap></a>"
               "<a href=\"d2/p2.htm\">2</a></body>");
      TWebFile r(&cap.web);
      ASSERT_TRUE(cap.web.FindUrl("http://m.example/" + n + ".htm", r));
      r.SetIsMap(true);
      ASSERT_TRUE(r.SaveChanges());
    }
    // Only one of the two maps was drawn.
    cap.web.Maps.AddMap("http://m.example/img/map.gif", "m/img/map.gif", "m/img/map.map", "T",
                        "http://m.example/cgi-bin/map", "http://m.example/map.htm", "");
    WriteFileBytes(cap.Folder() / "m/img/map.map",
                   "<AREA SHAPE=\"rect\" COORDS=\"0,0,10,10\" HREF=\"http://m.example/d3/p3.htm\">\r\n");
    cap.Add("http://m.example/w.wrl", fsRetrieved, "x-world/x-vrml", "m/w.wrl",
            "#VRML V1.0 ascii\r\nTexture2 { filename \"img/i1.gif\" }\r\n", 1);
    ASSERT_TRUE(cap.web.Save());
  }

  int Resolve(Recorder& host, bool force = false, fs::path templates = {}, int threads = 0) {
    return Resolve(cap_, host, force, templates, threads);
  }
  int Resolve(qlon::test::TestCapture& cap, Recorder& host, bool force = false, fs::path templates = {},
              int threads = 0, size_t partPages = 0, size_t partRecords = 0) {
    TDlgResolve dlg(cap.web, host, param_, templates.empty() ? templates_.path() : templates);
    dlg.ForceRewrite = force;
    dlg.Threads = threads;
    if (partPages) dlg.PartPages = partPages;
    if (partRecords) dlg.PartRecords = partRecords;
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

  // Every saved page and generated page, by name (the capture file too when asked).
  std::map<std::string, std::string> Snapshot() { return Snapshot(cap_.Folder()); }
  static std::map<std::string, std::string> Snapshot(const fs::path& folder, bool withWebFile = false) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file() && (withWebFile || e.path().extension() != ".web"))
        files[fs::relative(e.path(), folder).string()] = ReadFileBytes(e.path());
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

// ---------------------------------------------------------------- on every core

namespace {

void ExpectSameFiles(const std::map<std::string, std::string>& got, const std::map<std::string, std::string>& want,
                     const std::string& what) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : got) names.insert(name);
  for (const auto& [name, bytes] : want) names.insert(name);
  for (const std::string& name : names) {
    const auto g = got.find(name), w = want.find(name);
    EXPECT_TRUE(g != got.end() && w != want.end() && g->second == w->second) << what << ": " << name;
    if (g != got.end() && w != want.end() && g->second != w->second) {
      size_t at = 0;
      while (at < g->second.size() && at < w->second.size() && g->second[at] == w->second[at]) ++at;
      ADD_FAILURE() << "DIFF at " << at << "\n got: " << g->second.substr(at > 200 ? at - 200 : 0, 400) << "\n want: " << w->second.substr(at > 200 ? at - 200 : 0, 400);
    }
  }
}

}  // namespace

TEST_F(DlgResolveTest, ParallelAndOneThreadGiveTheSameFiles) {
  struct Outcome {
    std::map<std::string, std::string> files;
    std::vector<std::string> states, shown;
    std::vector<int> gauges;
    int steps = 0;
    uint64_t total = 0, stored = 0;  // the capture's total size, the retrieved files' sizes on disk
  };
  auto resolve = [&](int threads) {
    qlon::test::TestCapture cap;
    BuildLargeCapture(cap);
    Recorder host;
    EXPECT_EQ(Resolve(cap, host, false, {}, threads), rrFinished);
    uint64_t stored = 0;
    cap.web.ForEach([&](TWebFile& r) {
      if (r.IsRetrieved() && !r.IsRedirect()) stored += fs::file_size(r.GetLocalPath());
      return true;
    });
    const uint64_t total = uint64_t(cap.web.TotalSize);
    cap.web.Close();
    return Outcome{Snapshot(cap.Folder(), true), host.States, host.Files, host.Gauges, host.Steps, total, stored};
  };
  const Outcome one = resolve(1);
  // The total and the indexes count the files as rewritten, the world too.
  EXPECT_EQ(one.total, one.stored);
  EXPECT_NE(one.files.at("Index/_ixo02.htm").find("x-world/x-vrml</font></td><td><font face=\"Arial\" size=\"2\">" +
                                                  TWebFile::SizeText(one.files.at("m/w.wrl").size()) + "<"),
            std::string::npos)
      << one.files.at("Index/_ixo02.htm");
  // What the walk had to do happened: links made local, the drawn map
  // inlined, the world rewritten, the new numeric hosts in the capture file.
  EXPECT_NE(one.files.at("m/d3/p3.htm").find("href=\"../d2/p9.htm\" OLDREF="), std::string::npos);
  EXPECT_NE(one.files.at("m/d5/p5.htm").find("href=\"../d1/p8.htm\" OLDREF="), std::string::npos);
  EXPECT_NE(one.files.at("m/map.htm").find("<map name=\"map\">"), std::string::npos);
  EXPECT_EQ(one.files.at("m/plain.htm").find("<map"), std::string::npos);
  EXPECT_NE(one.files.at("m/w.wrl").find("OLDREF"), std::string::npos);
  EXPECT_NE(one.files.at("local.web").find("10.9.9.4\r\n"), std::string::npos);
  EXPECT_EQ(one.steps, 127);
  // The page indexes give each page's size and title as rewritten.
  std::string indexes;
  for (const auto& [name, bytes] : one.files)
    if (name.rfind("Index/_ixh", 0) == 0) indexes += bytes;
  for (int i = 0; i < 120; i += 7) {
    const std::string name = "d" + std::to_string(i % 7) + "/p" + std::to_string(i) + ".htm";
    const std::string entry = "<b><a href=\"../m/" + name + "\">Page " + std::to_string(i) +
                              "</a></b></font></td></tr>\r\n<tr><td><font face=\"Arial\" size=\"2\"><a href=\"http://m.example/" +
                              name + "\">http://m.example/" + name + "</a></font></td></tr>\r\n<tr><td><font face=\"Arial\" "
                              "size=\"2\"><b>Taille : " + TWebFile::SizeText(one.files.at("m/" + name).size()) + "</b>";
    EXPECT_NE(indexes.find(entry), std::string::npos) << name;
  }
  for (int threads : {8, 3}) {
    const Outcome many = resolve(threads);
    ExpectSameFiles(many.files, one.files, std::to_string(threads) + " threads");
    EXPECT_EQ(many.states, one.states);
    EXPECT_EQ(many.shown, one.shown);
    EXPECT_EQ(many.gauges, one.gauges);
    EXPECT_EQ(many.steps, one.steps);
  }
}

// A site walked in small parts (so that what the walk holds stays bounded)
// ends as when walked whole: every page rewritten once, every record listed
// once with its size and title, the total and the capture file the same.
TEST_F(DlgResolveTest, SiteInPartsGivesTheSameFilesAsWhole) {
  auto resolve = [&](int threads, size_t pages, size_t records) {
    qlon::test::TestCapture cap;
    BuildLargeCapture(cap);
    Recorder host;
    EXPECT_EQ(Resolve(cap, host, false, {}, threads, pages, records), rrFinished);
    const int64_t total = cap.web.TotalSize;
    cap.web.Close();
    return std::make_tuple(Snapshot(cap.Folder(), true), total, host.Steps);
  };
  const auto [whole, wholeTotal, wholeSteps] = resolve(1, 0, 0);
  for (auto [threads, pages, records] : {std::tuple{1, 7, 1000}, {8, 7, 1000}, {8, 1000, 5}, {3, 1, 1}}) {
    const std::string label = std::to_string(threads) + " threads, parts of " + std::to_string(pages) + " pages, " +
                              std::to_string(records) + " records";
    const auto [files, total, steps] = resolve(threads, pages, records);
    ExpectSameFiles(files, whole, label);
    EXPECT_EQ(total, wholeTotal) << label;
    EXPECT_EQ(steps, wholeSteps) << label;
  }
}

// A page that links to more distinct captured files than the lookup keeps
// answers for gets every one of them local, asked of the capture's thread
// by workers or looked up there.
TEST_F(DlgResolveTest, APageWithMoreTargetsThanTheLookupKeepsHasThemAllLocal) {
  const int targets = int(TLinkTargets::kKept) + 1;
  for (int threads : {1, 4}) {
    qlon::test::TestCapture cap;
    std::string html = "<body>";
    for (int i = 0; i < targets; ++i) {
      const std::string name = "t/" + std::to_string(i) + ".gif";
      cap.Add("http://w.example/" + name, fsRetrieved, "image/gif", "w/" + name, "GIF89a", 1, 1, 1);
      html += "<img src=\"" + name + "\">";
    }
    cap.Page("http://w.example/", "w/index.htm", html + "</body>");
    // A second page, so that a worker rewrites one while the other waits.
    cap.Page("http://w.example/b.htm", "w/b.htm", html + "</body>");
    ASSERT_TRUE(cap.web.Save());
    Recorder host;
    ASSERT_EQ(Resolve(cap, host, false, {}, threads), rrFinished);
    for (const char* page : {"w/index.htm", "w/b.htm"}) {
      const std::string rewritten = cap.Read(page);
      EXPECT_EQ(qlon::test::Count(rewritten, "\" OLDREF=\"http://w.example/t/"), size_t(targets)) << threads;
      EXPECT_NE(rewritten.find("<img src=\"t/" + std::to_string(targets - 1) + ".gif\" OLDREF="), std::string::npos);
    }
  }
}

// Cancel, then a kill at any moment: each page is left as it was or as the
// whole resolution writes it, with the rewrite mark to match.
TEST_F(DlgResolveTest, AParallelResolutionStoppedOrKilledLeavesEveryPageOldOrNew) {
  qlon::test::TestCapture reference;
  BuildLargeCapture(reference);
  const auto before = Snapshot(reference.Folder());
  {
    Recorder host;
    ASSERT_EQ(Resolve(reference, host), rrFinished);
  }
  const auto after = Snapshot(reference.Folder());
  const int32_t total = reference.web.TotalSize;
  const uint8_t mark = TRewriteOptions::FromOptions(reference.web.Options).Mark();
  // Old or new, and returns how many pages are new.
  auto check = [&](qlon::test::TestCapture& cap, const std::string& what) {
    int renewed = 0;
    for (const auto& [name, bytes] : Snapshot(cap.Folder())) {
      // What a killed run staged; the index pages of a stopped walk list what it saw.
      if (name.rfind(kStagingFolder, 0) == 0 || name.rfind("Index/", 0) == 0 || name == "_Accueil.htm") continue;
      const auto old = before.find(name), now = after.find(name);
      if (now == after.end()) {
        ADD_FAILURE() << what << ": " << name << " should not be there";
        continue;
      }
      const bool isOld = old != before.end() && bytes == old->second, isNew = bytes == now->second;
      EXPECT_TRUE(isOld || isNew) << what << ": " << name << " is torn";
      if (isOld || name.rfind("m/", 0) != 0 || name.find(".htm") == std::string::npos) continue;
      ++renewed;
    }
    return renewed;
  };

  for (int stopAt : {3, 60}) {
    qlon::test::TestCapture cap;
    BuildLargeCapture(cap);
    cap.web.TotalSize = 777;
    Recorder host;
    host.OnMessage = [&] {
      if (host.Steps >= stopAt) dialog_->Cancel();
    };
    EXPECT_EQ(Resolve(cap, host, false, {}, 8), rrCancelled);
    EXPECT_EQ(cap.web.TotalSize, 777);
    EXPECT_FALSE(fs::exists(cap.Folder() / kStagingFolder));
    const std::string what = "stopped at " + std::to_string(stopAt);
    const int renewed = check(cap, what);
    int marked = 0;
    cap.web.ForEach([&](TWebFile& r) {
      if (r.IsHtmlPage() && r.GetLocalName().rfind("m/", 0) == 0 && r.GetRewriteMark() == mark) ++marked;
      return true;
    });
    EXPECT_EQ(marked, renewed) << what;
    EXPECT_LE(renewed, stopAt) << what;
  }

  // What a run killed once it replaced pages, before the capture file and
  // the index pages, leaves (every file rewritten, the world too, or every
  // other one; the marks not saved): the next run counts them as they are.
  for (int every : {1, 2}) {
    for (int threads : {1, 8}) {
      qlon::test::TestCapture cap;
      BuildLargeCapture(cap);
      int at = 0;
      for (const auto& [name, bytes] : after)
        if (before.count(name) && before.at(name) != bytes && at++ % every == 0)
          WriteFileBytes(cap.Folder() / name, bytes);
      const std::string what =
          "every " + std::to_string(every) + " file rewritten, " + std::to_string(threads) + " threads";
      Recorder host;
      ASSERT_EQ(Resolve(cap, host, false, {}, threads), rrFinished) << what;
      ExpectSameFiles(Snapshot(cap.Folder()), after, what);
      EXPECT_EQ(cap.web.TotalSize, total) << what;
    }
  }

  const fs::path web = "local.web";
  std::mt19937 random(26);
  for (int run = 0; run < 4; ++run) {
    qlon::test::TestCapture cap;
    BuildLargeCapture(cap);
    cap.web.Close();
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipes[0]);
      TWeb opened;
      if (opened.Open(cap.Folder() / web) != wlOk) ::_exit(2);
      struct Reporting : Recorder {
        int fd = -1;
        void StepGauge() override {
          const char c = 's';
          if (::write(fd, &c, 1) != 1) ::_exit(3);
        }
      } host;
      host.fd = pipes[1];
      TDlgResolve dlg(opened, host, param_, templates_.path());
      dlg.Run();
      ::_exit(0);
    }
    ::close(pipes[1]);
    // Killed after a number of pages, a little later (into the commit) or
    // when it is all but done.
    const int pages = run % 2 ? int(random() % 127) : 127;
    char c;
    for (int read = 0; read < pages && ::read(pipes[0], &c, 1) == 1; ++read) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(pipes[0]);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    const std::string what = "killed after " + std::to_string(pages) + " pages";
    check(cap, what);
    // The next resolution ends the work.
    ASSERT_EQ(cap.web.Open(cap.Folder() / web), wlOk) << what;
    Recorder host;
    ASSERT_EQ(Resolve(cap, host), rrFinished) << what;
    ExpectSameFiles(Snapshot(cap.Folder()), after, what);
    EXPECT_EQ(cap.web.TotalSize, total) << what;
  }
}
