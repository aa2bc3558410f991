// The capture run end to end: the request client against a loopback HTTP server.
#include <dirent.h>

#include <atomic>
#include <mutex>

#include "Capture.h"
#include "CaptureFixture.h"
#include "CaptureRunFixture.h"
#include "Cookies.h"
#include "DlgResolve.h"
#include "HttpTestServer.h"
#include "Scx.h"
#include "Scx32.h"

using namespace qlon;
using namespace qlon::test;

namespace {

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

std::set<std::string> AllFiles(const std::filesystem::path& root) {
  std::set<std::string> files;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.insert(std::filesystem::relative(e.path(), root).string());
  return files;
}

struct QuietResolveHost : IResolveHost {
  void ShowState(const std::string&) override {}
  void ShowFile(const std::string&) override {}
  void SetGauge(int) override {}
  void StepGauge() override {}
  void ProcessMessages() override {}
};

class CaptureNetTest : public CaptureRunFixture {
 protected:
  CaptureNetTest() {
    setup_.Timeout = 5;
    server_.SetScript([this](const HttpRequestSeen& request) { return Reply(request); });
    EXPECT_TRUE(server_.Start());
  }
  ~CaptureNetTest() override { server_.Stop(); }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }

  struct Page {
    HttpReply reply;
    double date = 0;
  };
  void Put(const std::string& path, std::string body, std::string type = "text/html", double date = 45000.5) {
    std::lock_guard lock(mutex_);
    Page p{HttpReply::Ok(std::move(body), std::move(type)), date};
    if (date > 0) p.reply.headers.emplace_back("Last-Modified", FormatHttpDate(date));
    pages_[path] = p;
  }
  void PutReply(const std::string& path, HttpReply reply) {
    std::lock_guard lock(mutex_);
    pages_[path] = {std::move(reply), 0};
  }
  // The site: the page's reply, a 304 when asked with the page's own date.
  HttpReply Reply(const HttpRequestSeen& request) {
    std::lock_guard lock(mutex_);
    ++served_[request.target];
    auto it = pages_.find(request.target);
    if (it == pages_.end()) return HttpReply::NotFound("<html>no</html>");
    const std::string ims = request.Header("If-Modified-Since");
    if (!ims.empty() && it->second.date > 0 && std::abs(ParseHttpDate(ims) - it->second.date) < 0.0001) {
      HttpReply same;
      same.status = 304;
      same.reason = "Not Modified";
      same.contentLength = false;
      return same;
    }
    if (it->second.reply.status == 200) bodies_.push_back(request.target);
    return it->second.reply;
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }
  // A body of `size` bytes sent `block` bytes every 100 ms, its header at once.
  static HttpReply PacedBody(std::size_t size, std::size_t block) {
    HttpReply reply = HttpReply::Ok("", "application/octet-stream");
    reply.generatedBody = size;
    reply.generatedBlock = block;
    reply.delayBetweenBlocks = std::chrono::milliseconds(100);
    return reply;
  }
  int Served(const std::string& path) {
    std::lock_guard lock(mutex_);
    return served_[path];
  }
  std::vector<std::string> Bodies() {
    std::lock_guard lock(mutex_);
    return bodies_;
  }
  std::string Local(const std::string& path) const { return "127.0.0.1/" + path; }
  void Site() {
    Put("/", "<html><body><a href=\"a.htm\">a</a> <img src=\"i.gif\"> <a href=\"b/b.htm\">b</a>"
             " <a href=\"missing.htm\">m</a> <a href=\"old.htm\">o</a></body></html>");
    Put("/a.htm", "<a href=\"/\">home</a> page a");
    Put("/b/b.htm", "page b");
    Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
    HttpReply moved = HttpReply::Ok("moved");
    moved.status = 301;
    moved.reason = "Moved";
    moved.headers.emplace_back("Location", Url("/new.htm"));
    PutReply("/old.htm", moved);
    Put("/new.htm", "new page");
    Open(Url("/"));
  }

  HttpTestServer server_;
  std::mutex mutex_;
  std::map<std::string, Page> pages_;
  std::map<std::string, int> served_;
  std::vector<std::string> bodies_;
};

}  // namespace

TEST_F(CaptureNetTest, SiteIsCapturedWholeWithNothingLeftBehind) {
  Site();
  const std::set<std::string> before = AllFiles(root_.path());
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{Url("/"), fsRetrieved},
                                                  {Url("/a.htm"), fsRetrieved},
                                                  {Url("/b/b.htm"), fsRetrieved},
                                                  {Url("/i.gif"), fsRetrieved},
                                                  {Url("/missing.htm"), fsError},
                                                  {Url("/old.htm"), fsRetrieved},
                                                  {Url("/new.htm"), fsRetrieved}}));
  EXPECT_TRUE(Record(Url("/old.htm"))->IsRedirect());
  EXPECT_EQ(Record(Url("/missing.htm"))->GetWidth(), 404);
  EXPECT_EQ(Files(), (std::set<std::string>{Local("Index.htm"), Local("a.htm"), Local("b/b.htm"), Local("i.gif"),
                                            Local("new.htm")}));
  EXPECT_EQ(ReadFileBytes(folder_ / Local("b/b.htm")), "page b");
  EXPECT_EQ(Record(Url("/i.gif"))->GetWidth(), 8);
  EXPECT_EQ(Served("/"), 1);  // the link back home is not fetched again
  ExpectNoneRequesting();

  // Nothing outside the capture folder but the program's MIME table.
  for (const std::string& f : AllFiles(root_.path()))
    if (!before.count(f)) {
      EXPECT_TRUE(f.rfind("capture/", 0) == 0 || f == "work/mime.def") << f;
    }
}

TEST_F(CaptureNetTest, ALargePageIsScannedWholeFromItsFile) {
  // Beyond what a request keeps in memory: the links come from the file.
  std::string big = "<html><body><img src=\"i.gif\">";
  big.append(TCaptureRequest::kKeptBodyMax, ' ');
  big += "<a href=\"a.htm\">a</a></body></html>";
  Put("/", big);
  Put("/a.htm", "page a");
  Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  Open(Url("/"));
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{
                          {Url("/"), fsRetrieved}, {Url("/a.htm"), fsRetrieved}, {Url("/i.gif"), fsRetrieved}}));
  EXPECT_EQ(ReadFileBytes(folder_ / Local("Index.htm")).size(), big.size());
  EXPECT_EQ(Record(Url("/i.gif"))->GetHeight(), 4);
}

TEST_F(CaptureNetTest, UpdateFetchesOnlyWhatChanged) {
  Site();
  Run();
  // The socket layer sets itself up once; after that a run leaves no descriptor open.
  server_.WaitIdle(std::chrono::seconds(5));
  const int descriptors = OpenDescriptors();
  const std::string oldB = ReadFileBytes(folder_ / Local("b/b.htm"));
  {
    std::lock_guard lock(mutex_);
    bodies_.clear();
  }
  Put("/a.htm", "<a href=\"/\">home</a> page a, changed", "text/html", 45001.5);
  PutReply("/b/b.htm", HttpReply::NotFound("<html>gone</html>"));
  Run(kCaptureUpdate | kCaptureUpdateWalk);
  EXPECT_EQ(Bodies(), std::vector<std::string>{"/a.htm"});
  EXPECT_EQ(ReadFileBytes(folder_ / Local("a.htm")), "<a href=\"/\">home</a> page a, changed");
  EXPECT_EQ(ReadFileBytes(folder_ / Local("b/b.htm")), oldB);  // a 404 keeps the old copy
  EXPECT_EQ(State(Url("/b/b.htm")), fsRetrieved);
  EXPECT_EQ(Served("/i.gif"), 2);
  ExpectNoneRequesting();
  server_.WaitIdle(std::chrono::seconds(5));
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(CaptureNetTest, StopInTheMiddleOfABodyAndContinue) {
  Site();
  HttpReply slow = HttpReply::Ok(std::string(20000, 's'));
  slow.blockSize = 500;
  slow.delayBetweenBlocks = std::chrono::milliseconds(20);
  PutReply("/b/b.htm", slow);
  const std::string slowUrl = Url("/b/b.htm");
  Run(kCaptureMissing, [&](TCapture& c) {
    for (int i = 0; i < c.PoolSize(); ++i) {
      const TCaptureRequest& q = c.Request(i);
      if (q.Url.GetFullUrl() == slowUrl && q.RecState() == rsContent && q.State() == sReceive) c.Stop(true);
    }
  });
  EXPECT_TRUE(stopped_);
  ExpectNoneRequesting();
  EXPECT_EQ(State(Url("/b/b.htm")), fsToCapture);
  EXPECT_EQ(Files().count(Local("b/b.htm")), 0u);  // no partial file
  web_.Close();

  ASSERT_EQ(web_.Open(folder_ / "local.web"), wlOk);
  Put("/b/b.htm", "page b");
  Run();
  EXPECT_EQ(State(Url("/b/b.htm")), fsRetrieved);
  EXPECT_EQ(ReadFileBytes(folder_ / Local("b/b.htm")), "page b");
  ExpectNoneRequesting();
}

TEST_F(CaptureNetTest, SilentServerTimesOutAndIsRetried) {
  Open(Url("/"));
  Put("/", "<a href=\"slow.htm\">s</a>");
  std::atomic<int> calls{0};
  server_.SetScript([&](const HttpRequestSeen& request) {
    if (request.target == "/slow.htm" && calls++ == 0) return HttpReply::Silent();
    return Reply(request);
  });
  Put("/slow.htm", "at last");
  setup_.Timeout = 1;
  Run();
  EXPECT_EQ(State(Url("/slow.htm")), fsRetrieved);
  EXPECT_EQ(calls.load(), 2);
}

TEST_F(CaptureNetTest, CountLimitCutsAtTheLimit) {
  Site();
  setup_.MaxSockets = 1;
  web_.Options.MaxFileCount = 3;
  Run();
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(web_.RetrievedCount, 3u);
  ExpectNoneRequesting();
  int waiting = 0;
  for (const auto& [url, state] : States()) waiting += state == fsToCapture;
  EXPECT_GE(waiting, 1);
}

TEST_F(CaptureNetTest, LocalFilesAreCapturedFromFilePagesOnly) {
  const std::filesystem::path site = root_.path() / "local site";
  WriteFileBytes(site / "index.htm", "<a href=\"b.htm\">b</a> <a href=\"" + Url("/") + "\">web</a>");
  WriteFileBytes(site / "b.htm", "local b");
  WriteFileBytes(site / "private.txt", "secret");
  // A page from the network naming a local file does not make the capture read it.
  Put("/", "<a href=\"" + PathToFileUrl((site / "private.txt").string()) + "\">local</a>");
  Open(PathToFileUrl((site / "index.htm").string()));
  web_.Options.ExternalWebDepth = 1;
  Run();
  EXPECT_EQ(State(PathToFileUrl((site / "index.htm").string())), fsRetrieved);
  const auto b = Record(PathToFileUrl((site / "b.htm").string()));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetState(), fsRetrieved);
  EXPECT_EQ(ReadFileBytes(b->GetLocalPath()), "local b");
  EXPECT_EQ(State(Url("/")), fsRetrieved);
  EXPECT_EQ(State(PathToFileUrl((site / "private.txt").string())), fsFilteredProtocol);
  for (const std::string& f : Files()) EXPECT_EQ(f.find("private"), std::string::npos) << f;
  ExpectNoneRequesting();
}

// A local tree keeps within the capture's limits as a site does: a link to
// the network leads to another site (none by default), the path limit
// keeps it in its folder. A stylesheet named with a query ("?2022.1", on
// every page of the Python docs) is the file, and the pages lead to it.
TEST_F(CaptureNetTest, ALocalTreeKeepsWithinItsLimitsAndFindsAFileNamedWithAQuery) {
  namespace fs = std::filesystem;
  const fs::path site = root_.path() / "docs" / "html";
  const auto file = [](const fs::path& path) { return PathToFileUrl(path.string()); };
  const std::string css = "body { margin: 0 }\n";
  WriteFileBytes(site / "index.html", "<html><head><link rel=\"stylesheet\" href=\"_static/theme.css?2022.1\">"
                                      "</head><body><a href=\"" + Url("/") + "\">web</a> <a href=\"../outside.html\">"
                                      "out</a> <a href=\"lib/a.html\">a</a></body></html>");
  WriteFileBytes(site / "lib/a.html", "<link rel=\"stylesheet\" href=\"../_static/theme.css?2022.1\">");
  WriteFileBytes(site / "_static/theme.css", css);
  WriteFileBytes(root_.path() / "docs/outside.html", "outside");
  Put("/", "<html>web</html>");
  web_.Options.InternalPathLimit = true;
  Open(file(site / "index.html"));
  Run();
  EXPECT_EQ(State(file(site / "index.html")), fsRetrieved);
  EXPECT_EQ(State(file(site / "lib/a.html")), fsRetrieved);
  EXPECT_EQ(State(Url("/")), fsFilteredExternalWebDepth);
  EXPECT_EQ(Served("/"), 0);
  EXPECT_EQ(State(file(root_.path() / "docs/outside.html")), fsFilteredStartDirectory);
  const auto style = Record(file(site / "_static/theme.css") + "?2022.1");
  ASSERT_TRUE(style);
  EXPECT_EQ(style->GetState(), fsRetrieved);
  EXPECT_EQ(ReadFileBytes(style->GetLocalPath()), css);

  QuietResolveHost resolveHost;
  TDlgResolve resolve(web_, resolveHost, setup_.Sommaire);
  ASSERT_EQ(resolve.Run(), rrFinished);
  for (const fs::path& page : {site / "index.html", site / "lib/a.html"}) {
    LinkReport report;
    CheckPageLinks(folder_, Record(file(page))->GetLocalPath(), report);
    EXPECT_NE(std::find(report.Targets.begin(), report.Targets.end(), style->GetLocalName()), report.Targets.end())
        << page;
  }
}

// A server that keeps a connection busy without getting anywhere is cut as
// a silent one is: a header or a body sent a byte at a time ends in a
// time-out, retried, each try within the header bound (the time-out after
// the connection) or the body's first period (a time-out of too few bytes).
TEST_F(CaptureNetTest, DrippingServersEndInATimeOutWithinTheBound) {
  Open(Url("/"));
  Put("/", "<a href=\"header.htm\">h</a> <a href=\"body.bin\">b</a>");
  HttpReply header;
  header.raw = "HTTP/1.0 200 OK\r\nX-Drip: " + std::string(5000, 'h');  // never ends
  header.blockSize = 1;
  header.delayBetweenBlocks = std::chrono::milliseconds(100);
  header.end = HttpReply::End::Silence;
  PutReply("/header.htm", header);
  PutReply("/body.bin", PacedBody(1000000, 1));
  setup_.Timeout = 1;
  setup_.TryCount = 2;
  const auto start = std::chrono::steady_clock::now();
  Run();
  const auto took = std::chrono::steady_clock::now() - start;
  for (const char* path : {"/header.htm", "/body.bin"}) {
    EXPECT_EQ(State(Url(path)), fsNotFound) << path;
    EXPECT_EQ(Record(Url(path))->GetWidth(), heTimeout) << path;
    EXPECT_EQ(Served(path), 2) << path << " is tried again";
  }
  // Two tries of one bound each, and the slack of a loaded machine; without
  // the bound the first try alone would last 500 s (header) or 100,000 s (body).
  EXPECT_LT(took, std::chrono::seconds(8));
  EXPECT_EQ(Files().count(Local("body.bin")), 0u) << "no partial body is left";
}

// The other side of the bound: a slow but steady server (20 KB/s) is never
// cut, however long its body takes (here 100 s, three periods of the
// default time-out).
TEST_F(CaptureNetTest, ASlowSteadyBodyIsCapturedWhole) {
  Open(Url("/"));
  Put("/", "<a href=\"big.bin\">b</a>");
  PutReply("/big.bin", PacedBody(2000000, 2000));
  setup_.Timeout = 30;
  setup_.TryCount = 1;
  Run();
  EXPECT_EQ(State(Url("/big.bin")), fsRetrieved);
  const std::string bytes = ReadFileBytes(folder_ / Local("big.bin"));
  ASSERT_EQ(bytes.size(), 2000000u);
  for (std::size_t i = 0; i < bytes.size(); i += 99991)
    ASSERT_EQ(bytes[i], HttpReply::GeneratedByte(i)) << "byte " << i;
}

// ---------------------------------------------------------------- host names and addresses

namespace {

int NamedSiteResolver(const char* host, char* dotted, int size) {
  if (std::string(host) != "site.test" && std::string(host) != "127.0.0.1") return 0;
  std::snprintf(dotted, static_cast<std::size_t>(size), "127.0.0.1");
  return 1;
}

class NamedHostTest : public CaptureNetTest {
 protected:
  NamedHostTest() {
    ClearHostAliases();
    Resolver(NamedSiteResolver);
    web_.Options.ExternalWebDepth = 1;
  }
  ~NamedHostTest() override {
    Resolver(nullptr);
    ClearHostAliases();
  }
  static void Resolver(ScxResolverProc proc) {
    if (auto hook = reinterpret_cast<void (*)(ScxResolverProc)>(ScxEntryPoint("SCX_SetResolver"))) hook(proc);
  }
  // The server under its name.
  std::string Named(const std::string& path) const {
    std::string url = Url(path);
    return url.replace(url.find("127.0.0.1"), 9, "site.test");
  }
};

}  // namespace

TEST_F(NamedHostTest, AServerReachedByNameAndByAddressIsOneHost) {
  Put("/", "<a href=\"" + Url("/a.htm") + "\">a</a> <a href=\"b.htm\">b</a>");
  Put("/a.htm", "<a href=\"" + Named("/b.htm") + "\">b</a> <a href=\"" + Url("/c.htm") + "\">c</a>");
  Put("/b.htm", "b");
  Put("/c.htm", "c");
  Open(Named("/"));
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{Named("/"), fsRetrieved},
                                                  {Named("/a.htm"), fsRetrieved},
                                                  {Named("/b.htm"), fsRetrieved},
                                                  {Named("/c.htm"), fsRetrieved}}));
  EXPECT_EQ(Files(), (std::set<std::string>{"site.test/Index.htm", "site.test/a.htm", "site.test/b.htm",
                                            "site.test/c.htm"}));
  EXPECT_EQ(Served("/b.htm"), 1);
  web_.Close();

  ClearHostAliases();
  TWeb back;
  ASSERT_EQ(back.Open(folder_ / "local.web"), wlOk);
  EXPECT_EQ(back.HostAddresses.Lines(), (StringList{"127.0.0.1", "site.test"}));
  // Reopened, the address is filed under the name again.
  TWebFile r(&back);
  ASSERT_TRUE(back.FindUrl(Url("/c.htm"), r));
  EXPECT_EQ(r.FullUrl, Named("/c.htm"));
}

// Met first by its address, the host keeps the records filed then: the
// queue, the links that name them either way and the resolution find them.
TEST_F(NamedHostTest, RecordsFiledUnderTheAddressBeforeTheNameStayFound) {
  setup_.MaxSockets = 1;
  Put("/", "<a href=\"" + Named("/n.htm") + "\">n</a> <a href=\"a1.htm\">1</a> <a href=\"a2.htm\">2</a>"
           "<a href=\"a3.htm\">3</a>");
  Put("/n.htm", "<a href=\"a1.htm\">1</a> <a href=\"" + Url("/a2.htm") + "\">2</a>");
  for (const char* page : {"/a1.htm", "/a2.htm", "/a3.htm"}) Put(page, "<a href=\"/\">home</a>");
  Open(Url("/"));
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{Url("/"), fsRetrieved},
                                                  {Named("/n.htm"), fsRetrieved},
                                                  {Url("/a1.htm"), fsRetrieved},
                                                  {Url("/a2.htm"), fsRetrieved},
                                                  {Url("/a3.htm"), fsRetrieved}}));
  for (const char* page : {"/", "/a1.htm", "/a2.htm", "/a3.htm"}) EXPECT_EQ(Served(page), 1) << page;

  QuietResolveHost resolveHost;
  TDlgResolve resolve(web_, resolveHost, setup_.Sommaire);
  ASSERT_EQ(resolve.Run(), rrFinished);
  const LinkReport report = CheckAllLinks(folder_);
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
  const std::string n = ReadFileBytes(folder_ / "site.test/n.htm");
  EXPECT_NE(n.find("href=\"../127.0.0.1/a1.htm\""), std::string::npos) << n;
  EXPECT_NE(n.find("href=\"../127.0.0.1/a2.htm\""), std::string::npos) << n;
}

// ---------------------------------------------------------------- replies without a type

// A server that names no type (Apache for README, copyright, AUTHORS): the
// name's extension tells it through the MIME table, else the first bytes of
// the body. Only what is a page is scanned and rewritten; text and the rest
// are kept byte for byte, without the banner.
TEST_F(CaptureNetTest, AReplyWithoutATypeIsWhatItsNameOrItsBytesSay) {
  const auto untyped = [&](const std::string& path, std::string body) {
    HttpReply reply = HttpReply::Ok(std::move(body));
    reply.headers.clear();
    PutReply(path, reply);
  };
  const std::string gif = std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0');
  const std::string readme = "Read me first.\n<b>bold</b> is no page.\n" + std::string(2000, '.') + "\n";
  untyped("/", "<!DOCTYPE html><html><body><a href=\"README\">r</a> <a href=\"copyright\">c</a> "
               "<img src=\"logo\"> <a href=\"page.html\">p</a> <a href=\"empty\">e</a></body></html>");
  untyped("/README", readme);
  untyped("/copyright", "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n");
  untyped("/logo", gif);
  untyped("/page.html", "<p>a page by its name <a href=\"README\">r</a>");
  untyped("/empty", "");
  Open(Url("/"));
  Run();
  for (const auto& [url, state] : States()) EXPECT_EQ(state, fsRetrieved) << url;
  const auto type = [&](const std::string& path) {
    auto r = Record(Url(path));
    return r ? GetContentType(*r) : std::string("(no record)");
  };
  EXPECT_EQ(type("/"), "text/html");
  EXPECT_EQ(type("/page.html"), "text/html");
  EXPECT_EQ(type("/README"), "text/plain");
  EXPECT_EQ(type("/copyright"), "text/plain");
  EXPECT_EQ(type("/logo"), "image/gif");
  EXPECT_EQ(Record(Url("/logo"))->GetWidth(), 8) << "measured as the image it is";
  EXPECT_EQ(type("/empty"), "text/plain");

  QuietResolveHost resolveHost;
  TDlgResolve resolve(web_, resolveHost, setup_.Sommaire);
  ASSERT_EQ(resolve.Run(), rrFinished);
  const auto bytes = [&](const std::string& path) { return ReadFileBytes(Record(Url(path))->GetLocalPath()); };
  EXPECT_TRUE(bytes("/README") == readme);
  EXPECT_EQ(bytes("/copyright"), "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n");
  EXPECT_TRUE(bytes("/logo") == gif);
  EXPECT_EQ(bytes("/empty"), "");
  // The pages were rewritten: their links lead to the copies.
  EXPECT_NE(bytes("/page.html").find("Capturé par Quillon"), std::string::npos);
  const LinkReport report = CheckAllLinks(folder_);
  EXPECT_TRUE(report.Problems.empty()) << report.Problems.front();
}

// ---------------------------------------------------------------- new MIME types

namespace {

class NewTypeTest : public CaptureNetTest {
 protected:
  void CaptureNewType(bool capture) {
    Put("/", "<a href=\"data.qln\">data</a> <img src=\"i.gif\">");
    Put("/data.qln", "new kind of file", "application/x-quillon-new");
    Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
    web_.Options.NewMimeValidStateFlag = capture;
    Open(Url("/"));
    Run();
  }
};

}  // namespace

TEST_F(NewTypeTest, ANewTypeIsLeftWhenTheOptionIsOff) {
  CaptureNewType(false);
  EXPECT_EQ(State(Url("/data.qln")), fsFilteredMime);
  EXPECT_EQ(Files(), (std::set<std::string>{Local("Index.htm"), Local("i.gif")}));
  const TMimeItem* item = web_.Options.MimeList().FindType("application/x-quillon-new");
  ASSERT_NE(item, nullptr);
  EXPECT_FALSE(item->IsEnabled());
}

TEST_F(NewTypeTest, ANewTypeIsCapturedWhenTheOptionIsOn) {
  CaptureNewType(true);
  EXPECT_EQ(State(Url("/data.qln")), fsRetrieved);
  EXPECT_EQ(Files(), (std::set<std::string>{Local("Index.htm"), Local("i.gif"), Local("data.qln")}));
  EXPECT_EQ(ReadFileBytes(folder_ / Local("data.qln")), "new kind of file");
}
