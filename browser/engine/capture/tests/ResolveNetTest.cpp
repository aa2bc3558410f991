// A site captured from a loopback HTTP server, then resolved: the capture
// folder links only to its own files, and a second resolution changes nothing.
#include <mutex>

#include "CaptureFixture.h"
#include "CaptureRunFixture.h"
#include "DlgResolve.h"
#include "HttpTestServer.h"
#include "PageIndex.h"

using namespace qlon;
using namespace qlon::test;

namespace {

struct QuietHost : IResolveHost {
  void ShowState(const std::string&) override {}
  void ShowFile(const std::string& name) override { Files.insert(name); }
  void SetGauge(int) override {}
  void StepGauge() override {}
  void ProcessMessages() override {}
  std::set<std::string> Files;
};

class ResolveNetTest : public CaptureRunFixture {
 protected:
  ResolveNetTest() {
    setup_.Timeout = 5;
    server_.SetScript([this](const HttpRequestSeen& request) {
      std::lock_guard lock(mutex_);
      auto it = pages_.find(request.target);
      return it != pages_.end() ? it->second : HttpReply::NotFound("<html>no</html>");
    });
    EXPECT_TRUE(server_.Start());
  }
  ~ResolveNetTest() override { server_.Stop(); }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }
  void Put(const std::string& path, const std::string& body, const std::string& type = "text/html") {
    std::lock_guard lock(mutex_);
    pages_[path] = HttpReply::Ok(body, type);
  }
  std::map<std::string, std::string> Pages() { return Pages(folder_); }
  static std::map<std::string, std::string> Pages(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
      if (e.is_regular_file() && e.path().extension() != ".web")
        files[std::filesystem::relative(e.path(), folder).string()] = ReadFileBytes(e.path());
    return files;
  }

  HttpTestServer server_;
  std::mutex mutex_;
  std::map<std::string, HttpReply> pages_;
};

}  // namespace

TEST_F(ResolveNetTest, CapturedSiteResolvesToAFolderThatLinksOnlyToItself) {
  Put("/", "<html><head><title>Site \"test\"</title></head><body><a href=\"a.htm\">a</a> <img src=\"i.gif\">"
           " <a href=\"b/b.htm#x\">b</a> <a href=\"missing.htm\">m</a> <a href=\"../../../etc/passwd\">p</a>"
           " <a href=\"http://elsewhere.invalid/x.htm\">x</a> <a href=\"file:///etc/passwd\">f</a></body></html>");
  Put("/a.htm", "<a href=\"/\">home</a> <a href=\"b/../b/b.htm\">b</a>");
  Put("/b/b.htm", "<frameset><frame src=\"../a.htm\"></frameset>");
  Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  Open(server_.Url("/"));
  Run();
  ASSERT_EQ(State(server_.Url("/a.htm")), fsRetrieved);
  // A twin of the capture, for a resolution on one thread.
  ASSERT_TRUE(web_.Save());
  const std::filesystem::path twin = root_.path() / "twin";
  std::filesystem::copy(folder_, twin, std::filesystem::copy_options::recursive);

  QuietHost host;
  TDlgResolve dlg(web_, host, setup_.Sommaire);
  ASSERT_EQ(dlg.Run(), rrFinished);
  EXPECT_EQ(host.Files.size(), 3u);

  const LinkReport report = CheckAllLinks(folder_);
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
  const std::set<std::string> targets(report.Targets.begin(), report.Targets.end());
  for (const char* local : {"127.0.0.1/Index.htm", "127.0.0.1/a.htm", "127.0.0.1/b/b.htm", "127.0.0.1/i.gif"})
    EXPECT_EQ(targets.count(local), 1u) << local;
  const std::string home = ReadFileBytes(folder_ / "127.0.0.1/Index.htm");
  EXPECT_NE(home.find("href=\"b/b.htm#x\""), std::string::npos) << home;
  EXPECT_TRUE(std::filesystem::exists(folder_ / "_Accueil.htm"));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "Index/_ixh01.htm"));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "Index/_ixe01.htm"));

  const auto first = Pages();
  TDlgResolve again(web_, host, setup_.Sommaire);
  again.ForceRewrite = true;
  ASSERT_EQ(again.Run(), rrFinished);
  EXPECT_EQ(Pages(), first);

  web_.Close();
  TWeb single;
  ASSERT_EQ(single.Open(twin / "local.web"), wlOk);
  TDlgResolve one(single, host, setup_.Sommaire);
  one.Threads = 1;
  ASSERT_EQ(one.Run(), rrFinished);
  EXPECT_EQ(Pages(twin), first);
}
