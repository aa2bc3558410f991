// The capture run end to end over FTP: folders become pages of links, pages
// and files are fetched from a loopback FTP server.
#include "Capture.h"
#include "CaptureRunFixture.h"
#include "FtpTestServer.h"
#include "PageRewrite.h"
#include "Texts.h"

using namespace qlon;
using namespace qlon::test;

namespace {

class CaptureFtpTest : public CaptureRunFixture {
 protected:
  CaptureFtpTest() {
    setup_.Timeout = 5;
    EXPECT_TRUE(ftp_.Start());
    ftp_.AddFile("/pub/index.htm",
                 "<html><body><a href=\"docs/\">docs</a> <a href=\"notes.txt\">notes</a> <img src=\"logo.gif\">"
                 " <a href=\"missing.htm\">missing</a></body></html>");
    ftp_.AddFile("/pub/notes.txt", "notes\r\n");
    ftp_.AddFile("/pub/logo.gif", std::string("GIF89a\x10\x00\x08\x00", 10) + std::string(30, '\0'));
    ftp_.AddFile("/pub/docs/a.txt", "a");
    ftp_.AddFile("/pub/docs/deep/b.txt", "b");
  }
  ~CaptureFtpTest() override { ftp_.Stop(); }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }
  std::string Url(const std::string& path) const { return ftp_.Url(path); }
  // A file whose data connection fails in the given way every time: it is
  // tried TryCount times and ends in error with that error's text.
  void ExpectFailingDataConnection(FtpTestServer::Order order, THTTP_ERROR error) {
    ftp_.SetOrder(order);
    Open(Url("/pub/notes.txt"));
    Run();
    auto r = Record(Url("/pub/notes.txt"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetState(), fsError);
    EXPECT_EQ(r->GetStateText(), HttpErrorText(error));
    EXPECT_EQ(r->GetRetryCount(), setup_.TryCount);
    int lists = 0;
    for (const std::string& c : ftp_.Commands()) lists += c.starts_with("LIST ");
    EXPECT_EQ(lists, setup_.TryCount);
  }

  FtpTestServer ftp_;
};

}  // namespace

TEST_F(CaptureFtpTest, SiteWithFoldersIsCapturedWhole) {
  Open(Url("/pub/index.htm"));
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{Url("/pub/index.htm"), fsRetrieved},
                                                  {Url("/pub/notes.txt"), fsRetrieved},
                                                  {Url("/pub/logo.gif"), fsRetrieved},
                                                  {Url("/pub/docs/"), fsRetrieved},
                                                  {Url("/pub/docs/a.txt"), fsRetrieved},
                                                  {Url("/pub/docs/deep/"), fsRetrieved},
                                                  {Url("/pub/docs/deep/b.txt"), fsRetrieved},
                                                  {Url("/pub/missing.htm"), fsNotFound}}));
  // A folder is kept as its page of links, which the crawl followed.
  EXPECT_EQ(Files(), (std::set<std::string>{"127.0.0.1/pub/index.htm", "127.0.0.1/pub/notes.txt",
                                            "127.0.0.1/pub/logo.gif", "127.0.0.1/pub/docs/Index.htm",
                                            "127.0.0.1/pub/docs/a.txt", "127.0.0.1/pub/docs/deep/Index.htm",
                                            "127.0.0.1/pub/docs/deep/b.txt"}));
  EXPECT_EQ(ReadFileBytes(folder_ / "127.0.0.1/pub/notes.txt"), "notes\r\n");
  EXPECT_EQ(ReadFileBytes(folder_ / "127.0.0.1/pub/docs/deep/b.txt"), "b");
  const std::string listing = ReadFileBytes(folder_ / "127.0.0.1/pub/docs/Index.htm");
  EXPECT_NE(listing.find("<A HREF=\"deep/\">deep/</A>"), std::string::npos) << listing;
  EXPECT_EQ(Record(Url("/pub/logo.gif"))->GetWidth(), 16);
  EXPECT_EQ(Record(Url("/pub/missing.htm"))->GetLocalName(), kNotFoundPage);
  EXPECT_EQ(web_.RetrievedCount, 7u);
  EXPECT_EQ(web_.NotFoundCount, 1u);
  ExpectNoneRequesting();

  // Each file was fetched once.
  std::map<std::string, int> fetched;
  for (const std::string& c : ftp_.Commands())
    if (c.starts_with("RETR ")) ++fetched[c.substr(5)];
  EXPECT_EQ(fetched, (std::map<std::string, int>{
                         {"index.htm", 1}, {"notes.txt", 1}, {"logo.gif", 1}, {"a.txt", 1}, {"b.txt", 1}}));
}

TEST_F(CaptureFtpTest, ADataConnectionThatFailsIsAnErrorAfterItsRetries) {
  ExpectFailingDataConnection(FtpTestServer::Order::RefuseData, heFail);
  EXPECT_EQ(web_.ErrorCount, 1u);
  EXPECT_EQ(web_.NotFoundCount, 0u);
}

TEST_F(CaptureFtpTest, ADataConnectionThatNeverComesIsAnErrorAfterItsRetries) {
  setup_.Timeout = 1;
  setup_.TryCount = 2;
  ExpectFailingDataConnection(FtpTestServer::Order::NeverConnect, heTimeout);
  EXPECT_EQ(web_.NotFoundCount, 0u);
}

// A server that caps its client's sessions refuses those above the cap
// with 421: each refused URL, listings too, is asked again without counting
// a try, the run gives the server fewer connections, and every file comes.
TEST_F(CaptureFtpTest, AServerThatCapsItsClientGetsFewerConnectionsAndGivesEveryFile) {
  std::map<std::string, std::string> files;
  for (int d = 0; d < 4; ++d)
    for (int f = 0; f < 6; ++f)
      files["/tree/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"] =
          std::string(size_t(f + 1) * 40, char('a' + d));
  for (const auto& [path, bytes] : files) ftp_.AddFile(path, bytes);
  ftp_.SetSessionLimit(2);
  setup_.MaxSockets = 8;
  std::vector<TCapture::TFtpServer> servers;
  Ended = [&](TCapture& capture) { servers = capture.FtpServers(); };
  Open(Url("/tree/"));
  Run();
  EXPECT_EQ(web_.RetrievedCount, 1u + 4u + files.size());
  EXPECT_EQ(web_.ErrorCount + web_.NotFoundCount, 0u);
  for (const auto& [url, state] : States()) EXPECT_EQ(state, fsRetrieved) << url;
  for (const auto& [path, bytes] : files) EXPECT_EQ(ReadFileBytes(folder_ / ("127.0.0.1" + path)), bytes) << path;
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].Reply, "421 Too many connections from this IP.");
  EXPECT_EQ(servers[0].Lost, 0);
  EXPECT_LT(servers[0].Connections, setup_.MaxSockets);
  EXPECT_EQ(ftp_.PeakSessions(), 2);
  // Refused while the run found the cap, and when it tried one more: not
  // once a file.
  EXPECT_GE(ftp_.RefusedSessions(), 1);
  EXPECT_LE(ftp_.RefusedSessions(), 8);
}

// A server that refuses every session: each address is tried as often as
// the settings say and ends in error, and the run keeps what it was told.
TEST_F(CaptureFtpTest, AServerThatRefusesEverySessionEndsTheAddressInErrorAndSaysWhy) {
  ftp_.SetSessionLimit(0, -1, "421 Service not available, closing control connection.");
  std::vector<TCapture::TFtpServer> servers;
  Ended = [&](TCapture& capture) { servers = capture.FtpServers(); };
  Open(Url("/pub/index.htm"));
  Run();
  auto r = Record(Url("/pub/index.htm"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->GetState(), fsError);
  EXPECT_EQ(r->GetRetryCount(), setup_.TryCount);
  EXPECT_EQ(ftp_.RefusedSessions(), setup_.TryCount);
  EXPECT_EQ(web_.ErrorCount, 1u);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].Lost, 1);
  EXPECT_EQ(servers[0].Reply, "421 Service not available, closing control connection.");
}

// An FTP listing names no type: the MIME table's for the extension, else
// the first bytes of the file, which may come in pieces.
TEST_F(CaptureFtpTest, AFileOfNoKnownExtensionIsWhatItsBytesSay) {
  const std::string readme = "Read me first.\n" + std::string(3000, 'r');
  ftp_.AddFile("/doc/README", readme);
  ftp_.AddFile("/doc/changelog.Debian.gz", std::string("\x1F\x8B\x08\0\0\0\0\0", 8) + std::string(700, 'z'));
  ftp_.AddFile("/doc/tiny", "ok");
  ftp_.SetDataPacing(100, std::chrono::milliseconds(1));
  Open(Url("/doc/"));
  Run();
  const auto type = [&](const std::string& path) { return GetContentType(*Record(Url(path))); };
  EXPECT_EQ(type("/doc/README"), "text/plain");
  EXPECT_EQ(type("/doc/changelog.Debian.gz"), "application/octet-stream");
  EXPECT_EQ(type("/doc/tiny"), "text/plain");
  EXPECT_EQ(ReadFileBytes(Record(Url("/doc/README"))->GetLocalPath()), readme);
  EXPECT_EQ(ReadFileBytes(Record(Url("/doc/tiny"))->GetLocalPath()), "ok");
  EXPECT_EQ(Record(Url("/doc/changelog.Debian.gz"))->GetLocalName(), "127.0.0.1/doc/changelog.Debian.gz");
  EXPECT_EQ(web_.RetrievedCount, 4u);
}

namespace {

// A site of 25 files (a start page, 23 pages it links to, one stylesheet)
// captured over the FTP test server in active or passive mode with a given
// number of connections.
class CaptureFtpConnectionsTest : public CaptureRunFixture,
                                  public ::testing::WithParamInterface<std::tuple<bool, int>> {
 protected:
  CaptureFtpConnectionsTest() {
    setup_.Timeout = 5;
    EXPECT_TRUE(ftp_.Start());
    ftp_.SetPassive(std::get<0>(GetParam()));
    std::string start = "<html><head><link rel=stylesheet href=\"style.css\"></head><body>";
    for (int i = 1; i <= 23; ++i) {
      const std::string name = "page" + std::to_string(i) + ".html";
      start += "<a href=\"" + name + "\">" + name + "</a> ";
      ftp_.AddFile("/site/" + name, "<html><body><a href=\"start.html\">up</a> page " + std::to_string(i) +
                                        std::string(size_t(i) * 300, '.') + "</body></html>");
    }
    ftp_.AddFile("/site/start.html", start + "</body></html>");
    ftp_.AddFile("/site/style.css", "body { color: black }\n");
  }
  ~CaptureFtpConnectionsTest() override { ftp_.Stop(); }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }

  FtpTestServer ftp_;
};

}  // namespace

TEST_P(CaptureFtpConnectionsTest, EveryFileOnceWhateverTheNumberOfConnections) {
  setup_.MaxSockets = std::get<1>(GetParam());
  Open(ftp_.Url("/site/start.html"));
  Run();
  EXPECT_EQ(web_.RetrievedCount, 25u);
  EXPECT_EQ(web_.NotFoundCount + web_.ErrorCount, 0u);
  for (const auto& [url, state] : States()) EXPECT_EQ(state, fsRetrieved) << url;
  EXPECT_EQ(Files().size(), 25u);
  // A type the table does not know is still no page: the stylesheet is
  // never rewritten as one.
  const auto style = Record(ftp_.Url("/site/style.css"));
  ASSERT_TRUE(style);
  EXPECT_FALSE(style->IsHtmlPage()) << GetContentType(*style);
  std::map<std::string, int> fetched;
  for (const std::string& c : ftp_.Commands())
    if (c.starts_with("RETR ")) ++fetched[c.substr(5)];
  EXPECT_EQ(fetched.size(), 25u);
  for (const auto& [name, times] : fetched) EXPECT_EQ(times, 1) << name << ": no time-out, no retry";
}

INSTANTIATE_TEST_SUITE_P(Modes, CaptureFtpConnectionsTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(1, 4, 16)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Passive" : "Active") +
                                  std::to_string(std::get<1>(info.param));
                         });
