// The request client against the loopback HTTP and FTP servers, and on
// local files: the events of each request in order, what is kept on disk,
// and what the servers saw.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QIODevice>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <functional>

#include "EventPump.h"
#include "Cookies.h"
#include "FtpTestServer.h"
#include "HttpRqst.h"
#include "HttpTestServer.h"
#include "Mime.h"
#include "Scx.h"
#include "Scx32.h"
#include "Setup.h"
#include "TempRoot.h"
#include "TestApp.h"
#include "Utils.h"

namespace qlon {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::FtpTestServer;
using test::HttpReply;
using test::HttpTestServer;

const char* StateName(THTTP_STATE s) {
  static const char* names[] = {"Idle", "Close", "Lookup", "Connexion", "Request", "Receive", "Error"};
  return names[s];
}

// Records a request's events as a sequence of words, repeats folded into one.
struct Recorder {
  std::vector<std::string> events;
  std::string body;  // every block OnReceiveContent was given
  int contentEvents = 0;
  int dataEvents = 0;
  bool keep = true;  // OnHeaderReceived's answer
  std::string file;  // Filename set in OnHeaderReceived
  std::function<void(THttpRequest&)> onContent;

  void Add(const std::string& e) {
    if (events.empty() || events.back() != e) events.push_back(e);
  }
  std::string Sequence() const {
    std::string out;
    for (const std::string& e : events) out += (out.empty() ? "" : " ") + e;
    return out;
  }
  void Attach(THttpRequest& r) {
    r.OnStateChange = [this](THttpRequest& q) { Add(StateName(q.State)); };
    r.OnError = [this](THttpRequest&, THTTP_ERROR e, int status) {
      Add("error" + std::to_string(e) + (status ? "/" + std::to_string(status) : ""));
    };
    r.OnHeaderReceived = [this](THttpRequest& q) {
      Add("header" + std::to_string(q.Header.Status));
      q.Filename = file;
      return keep;
    };
    r.OnReceiveContent = [this](THttpRequest& q, const char* buf, int len, int) {
      Add("content");
      ++contentEvents;
      if (buf) body.append(buf, static_cast<std::size_t>(len));
      if (onContent) onContent(q);
    };
    r.OnContentReceived = [this](THttpRequest&) { Add("end"); };
    r.OnReceiveData = [this](THttpRequest&, const char*, int) { ++dataEvents; };
  }
};

// A sink that keeps nothing: it counts, checks the bytes against the
// generated body and notes the largest write.
class CountingStream : public QIODevice {
 public:
  CountingStream() { open(QIODevice::WriteOnly); }
  qint64 count = 0, largestWrite = 0;
  bool matches = true;

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 len) override {
    for (qint64 i = 0; i < len && matches; ++i)
      matches = data[i] == HttpReply::GeneratedByte(static_cast<std::size_t>(count + i));
    count += len;
    largestWrite = std::max(largestWrite, len);
    return len;
  }
};

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

int TestResolver(const char* host, char* dotted, int size) {
  if (std::string(host) != "proxy.test" && std::string(host) != "127.0.0.1") return 0;
  std::snprintf(dotted, static_cast<std::size_t>(size), "127.0.0.1");
  return 1;
}

// The settings' work folder, inside the test's platform root.
struct WorkFolder : IWorkPathPrompt {
  explicit WorkFolder(const fs::path& root) : path((root / "work").string()) {}
  bool AskWorkPath(std::string& answer) override {
    answer = path;
    return true;
  }
  std::string path;
};

class RequestTest : public ::testing::Test {
 protected:
  RequestTest() : work(root.path()), setup(&work, root.path() / "program") {
    test::TestApp<QCoreApplication>();
    setup.Timeout = 5;
    if (auto hook = reinterpret_cast<void (*)(ScxResolverProc)>(ScxEntryPoint("SCX_SetResolver"))) hook(TestResolver);
    request = std::make_unique<THttpRequest>(1, &mime, &setup);
    request->Cookies = &cookies;
    rec.Attach(*request);
    rec.file = (dir.path() / "body.bin").string();
  }
  ~RequestTest() override {
    request.reset();
    SetReceiveBlock(16384);
    if (auto hook = reinterpret_cast<void (*)(ScxResolverProc)>(ScxEntryPoint("SCX_SetResolver"))) hook(nullptr);
  }
  static void SetReceiveBlock(int bytes) {
    if (auto hook = reinterpret_cast<void (*)(int)>(ScxEntryPoint("SCX_SetReceiveBlock"))) hook(bytes);
  }
  // Starts the URL and pumps the event loop until the request is idle again.
  bool Fetch(const std::string& url, std::chrono::milliseconds limit = 15s) {
    request->Url.Parse(url);
    if (!request->Start()) return false;
    return Pump([&] { return request->State == sIdle; }, limit);
  }
  static bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return test::PumpUntil(done, limit);
  }
  bool Kept() const { return fs::exists(rec.file); }
  std::string KeptBytes() const { return test::ReadFileBytes(rec.file); }

  test::TempRoot root;
  test::TempDir dir;
  WorkFolder work;
  TSetup setup;
  TMimeList mime;
  TCookiesBase cookies;
  Recorder rec;
  std::unique_ptr<THttpRequest> request;
};

constexpr const char* kWhole = "Lookup Connexion Request Receive header200 content end Idle";

// --- HTTP ------------------------------------------------------------------

TEST_F(RequestTest, OkWithContentLength) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  HttpReply ok = HttpReply::Ok("<html>page</html>");
  ok.headers.emplace_back("Last-Modified", "Mon, 15 Jan 2024 10:20:30 GMT");
  http.Route("/dir/a.htm", ok);
  setup.SetAgentIdentity(1);
  ASSERT_TRUE(Fetch(http.Url("/dir/a.htm")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "<html>page</html>");
  EXPECT_EQ(request->Header.ContentLength, 17);
  EXPECT_EQ(request->ContentSoFar, 17);
  EXPECT_EQ(request->percent, 100);
  EXPECT_EQ(request->Header.ContentType, "text/html");
  EXPECT_GT(request->Header.LastModified, 0);
  EXPECT_EQ(request->ip, "127.0.0.1");
  EXPECT_EQ(request->Error, heNone);
  ASSERT_EQ(http.Requests().size(), 1u);
  const auto seen = http.Requests()[0];
  EXPECT_EQ(seen.method + " " + seen.target + " " + seen.version, "GET /dir/a.htm HTTP/1.0");
  EXPECT_EQ(seen.Header("Host"), "127.0.0.1:" + http.PortText());
  EXPECT_NE(seen.raw.find("\r\nUser-Agent: " + setup.AgentText() + "\r\n"), std::string::npos);
  EXPECT_EQ(seen.Header("Authorization"), "");

  // The same object again, for another URL: nothing of the first is left.
  rec.events.clear();
  rec.file = (dir.path() / "second.bin").string();
  ASSERT_TRUE(Fetch(http.Url("/missing")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive error7/404 header404 Idle");
  EXPECT_FALSE(Kept()) << "an error reply's body is not stored";
}

TEST_F(RequestTest, ABodyReplacesALongerFileWhole) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  http.Route("/a.htm", HttpReply::Ok("new"));
  test::WriteFileBytes(rec.file, std::string(5000, 'o'));
  ASSERT_TRUE(Fetch(http.Url("/a.htm")));
  EXPECT_EQ(KeptBytes(), "new");
}

TEST_F(RequestTest, ErrorStatuses) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  const std::pair<int, const char*> cases[] = {{500, "error8/500"}, {503, "error8/503"}, {403, "error7/403"},
                                               {204, "error6/204"}};
  for (const auto& [status, error] : cases) {
    HttpReply r = HttpReply::Ok("oops");
    r.status = status;
    http.Enqueue(r);
    rec.events.clear();
    ASSERT_TRUE(Fetch(http.Url("/x")));
    EXPECT_EQ(rec.Sequence(),
              std::string("Lookup Connexion Request Receive ") + error + " header" + std::to_string(status) + " Idle");
    EXPECT_FALSE(Kept());
  }
}

TEST_F(RequestTest, RedirectsHandTheLocationToTheCaller) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  for (int status : {301, 302}) {
    HttpReply r = HttpReply::Ok("moved");
    r.status = status;
    r.headers.emplace_back("Location", http.Url("/new.htm"));
    http.Enqueue(r);
    rec.events.clear();
    rec.keep = false;  // the capture files the new address and keeps nothing
    ASSERT_TRUE(Fetch(http.Url("/old.htm")));
    EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header" + std::to_string(status) + " Idle");
    EXPECT_EQ(request->Header.Location, http.Url("/new.htm"));
    EXPECT_EQ(request->Error, heNone);
    EXPECT_FALSE(Kept());
  }
}

TEST_F(RequestTest, NotModifiedSince) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  const double date = QDateTimeToDateTime(QDateTime(QDate(2024, 1, 15), QTime(10, 20, 30), Qt::UTC));
  http.SetScript([](const test::HttpRequestSeen& seen) {
    HttpReply r = HttpReply::Ok("new content");
    if (seen.Header("If-Modified-Since") == "Mon, 15 Jan 2024 10:20:30 GMT") {
      r.status = 304;
      r.reason = "Not Modified";
      r.body.clear();
      r.contentLength = false;
    }
    return r;
  });
  request->IfModifiedSince = date;
  ASSERT_TRUE(Fetch(http.Url("/a.htm")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header304 end Idle")
      << "a 304 is whole without a body";
  EXPECT_EQ(request->Error, heNone);
  EXPECT_EQ(KeptBytes(), "");
  request->Reset();
  rec.events.clear();
  ASSERT_TRUE(Fetch(http.Url("/a.htm")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "new content");
}

TEST_F(RequestTest, AuthorizationAnswersA401OnceAndOnlyForItsServer) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  const std::string good = "Basic " + Base64Encode("ann:s3cret");
  http.SetScript([good](const test::HttpRequestSeen& seen) {
    if (seen.Header("Authorization") == good) return HttpReply::Ok("members");
    HttpReply r = HttpReply::Ok("go away");
    r.status = 401;
    r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"club\"");
    return r;
  });
  request->Username = "ann";
  request->Password = "s3cret";
  ASSERT_TRUE(Fetch(http.Url("/private/a.htm")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive Lookup Connexion Request Receive header200 content end Idle");
  EXPECT_EQ(KeptBytes(), "members");
  auto seen = http.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].Header("Authorization"), "");
  EXPECT_EQ(seen[1].Header("Authorization"), good);

  // A wrong password: one retry, then the 401 goes to the caller without an error.
  request->Password = "wrong";
  setup.StoreCredentials(request->Url.SchemeAndAuthority() + " club", "ann", "wrong");
  rec.events.clear();
  rec.keep = false;
  ASSERT_TRUE(Fetch(http.Url("/private/a.htm")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive Lookup Connexion Request Receive header401 Idle");
  EXPECT_EQ(http.Requests().size(), 4u);

  // Another server, another URL: no credentials go with it.
  HttpTestServer other;
  ASSERT_TRUE(other.Start());
  request->Username.clear();
  request->Password.clear();
  ASSERT_TRUE(Fetch(other.Url("/")));
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].Header("Authorization"), "");
}

TEST_F(RequestTest, BodiesWithoutLengthOrInTinyBlocks) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  HttpReply closeDelimited = HttpReply::Ok("read until the server closes");
  closeDelimited.contentLength = false;
  http.Route("/close", closeDelimited);
  ASSERT_TRUE(Fetch(http.Url("/close")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "read until the server closes");
  EXPECT_EQ(request->Header.ContentLength, 28);

  // One byte per block on both ends: the header end is found across blocks.
  HttpReply tiny = HttpReply::Ok("0123456789abcdefghij");
  tiny.blockSize = 1;
  tiny.delayBetweenBlocks = 1ms;
  http.Route("/tiny", tiny);
  SetReceiveBlock(1);
  rec.events.clear();
  rec.contentEvents = rec.dataEvents = 0;
  ASSERT_TRUE(Fetch(http.Url("/tiny")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "0123456789abcdefghij");
  EXPECT_EQ(rec.contentEvents, 20) << "one event per body byte";
  EXPECT_EQ(rec.dataEvents, static_cast<int>(tiny.Bytes().size())) << "every raw block is reported";
}

TEST_F(RequestTest, SilentServersEndInATimeOut) {
  setup.Timeout = 1;
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  http.Route("/silent", HttpReply::Silent());
  ASSERT_TRUE(Fetch(http.Url("/silent")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request error4 Idle");

  HttpReply stalls = HttpReply::Ok(std::string(1000, 'x'));
  stalls.stopAfter = stalls.Bytes().size() - 500;
  stalls.end = HttpReply::End::Silence;
  http.Route("/stalls", stalls);
  rec.events.clear();
  ASSERT_TRUE(Fetch(http.Url("/stalls")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header200 content error4 Idle");
  EXPECT_FALSE(Kept()) << "half a body is deleted";
}

TEST_F(RequestTest, BodyShorterThanItsLengthIsAnError) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  for (HttpReply::End end : {HttpReply::End::Close, HttpReply::End::Reset}) {
    HttpReply cut = HttpReply::Ok(std::string(5000, 'y'));
    cut.stopAfter = cut.Bytes().size() - 1;
    cut.end = end;
    http.Enqueue(cut);
    rec.events.clear();
    ASSERT_TRUE(Fetch(http.Url("/cut")));
    EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header200 content error3 Idle");
    EXPECT_FALSE(Kept());
  }
}

TEST_F(RequestTest, BadRepliesAreReported) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  for (const char* raw : {"<HTML><BODY>no header at all</BODY></HTML>", "garbage\r\n\r\nmore", "",
                          "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n"}) {
    HttpReply r;
    r.raw = raw;
    http.Enqueue(r);
    rec.events.clear();
    ASSERT_TRUE(Fetch(http.Url("/bad")));
    const std::string error = std::string(raw).starts_with("HTTP") ? "header200 error3" : "error9";
    EXPECT_EQ(rec.Sequence(), std::string(*raw ? "Lookup Connexion Request Receive " : "Lookup Connexion Request ") +
                                  error + " Idle")
        << raw;
    EXPECT_FALSE(Kept()) << raw;
  }
}

TEST_F(RequestTest, FailuresToConnect) {
  int port;
  {
    HttpTestServer gone;
    ASSERT_TRUE(gone.Start());
    port = gone.Port();
  }
  ASSERT_TRUE(Fetch("http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion error3 Idle");
  rec.events.clear();
  ASSERT_TRUE(Fetch("http://no-such-host.test/"));
  EXPECT_EQ(rec.Sequence(), "Lookup error2 Idle");
  setup.HTTPUseProxy = true;
  setup.HTTPProxyAdress = "no-such-proxy.test";
  rec.events.clear();
  ASSERT_TRUE(Fetch("http://127.0.0.1/"));
  EXPECT_EQ(rec.Sequence(), "Lookup error5 Idle");
  request->Url.Parse("gopher://127.0.0.1/");
  EXPECT_FALSE(request->Start());
}

TEST_F(RequestTest, LargeBodyIsStreamedNotKept) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  constexpr std::size_t kSize = 50u << 20;
  HttpReply big;
  big.headers.emplace_back("Content-Type", "application/octet-stream");
  big.generatedBody = kSize;
  http.Route("/big", big);
  CountingStream* sink = nullptr;
  request->CreateContentStream = [&sink](THttpRequest&) {
    auto s = std::make_unique<CountingStream>();
    sink = s.get();
    return s;
  };
  std::vector<int> percents;
  request->OnReceiveContent = [&](THttpRequest&, const char*, int, int percent) {
    if (percents.empty() || percents.back() != percent) percents.push_back(percent);
  };
  const long before = ResidentKiB();
  ASSERT_TRUE(Fetch(http.Url("/big"), 60s));
  const long grown = ResidentKiB() - before;
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(sink->count, static_cast<qint64>(kSize));
  EXPECT_TRUE(sink->matches);
  EXPECT_LE(sink->largestWrite, 64 * 1024);
  EXPECT_EQ(request->ContentSoFar, static_cast<std::int64_t>(kSize));
  EXPECT_EQ(request->Error, heNone);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer keeps freed blocks in quarantine
  EXPECT_LT(grown, 20 * 1024) << "memory grew by " << grown << " KiB";
#else
  (void)grown;
#endif
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(RequestTest, AbortFromAHandlerDeletesThePartialFile) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  HttpReply slow = HttpReply::Ok(std::string(4000, 'z'));
  slow.blockSize = 1000;
  slow.delayBetweenBlocks = 20ms;
  http.Route("/slow", slow);
  rec.onContent = [](THttpRequest& q) {
    if (q.ContentSoFar >= 1000) q.Abort();
  };
  ASSERT_TRUE(Fetch(http.Url("/slow")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header200 content Idle");
  EXPECT_FALSE(Kept());
  EXPECT_EQ(request->Header.ContentLength, 0);
}

TEST_F(RequestTest, WithoutAHeaderHandlerTheBodyStaysInMemory) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  http.Route("/m", HttpReply::Ok("in memory"));
  request->OnHeaderReceived = nullptr;
  ASSERT_TRUE(Fetch(http.Url("/m")));
  ASSERT_NE(request->Content, nullptr);
  request->Content->seek(0);
  EXPECT_EQ(request->Content->readAll().toStdString(), "in memory");
  EXPECT_FALSE(Kept());
}

TEST_F(RequestTest, TheNextUrlCanStartWhenTheRequestGoesIdle) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  http.Route("/1", HttpReply::Ok("one"));
  http.Route("/2", HttpReply::Ok("two"));
  std::vector<std::string> queue = {http.Url("/2")}, ended;
  request->OnContentReceived = [&](THttpRequest& q) { ended.push_back(q.Url.GetFullUrl()); };
  request->OnStateChange = [&](THttpRequest& q) {
    if (q.State != sIdle || queue.empty()) return;
    q.Url.Parse(queue.back());
    queue.pop_back();
    EXPECT_TRUE(q.Start());
  };
  request->Url.Parse(http.Url("/1"));
  ASSERT_TRUE(request->Start());
  ASSERT_TRUE(Pump([&] { return ended.size() == 2 && request->State == sIdle; }, 10s));
  EXPECT_EQ(ended, (std::vector<std::string>{http.Url("/1"), http.Url("/2")}));
  EXPECT_EQ(KeptBytes(), "two");
}

TEST_F(RequestTest, CookiesGoToTheirServerAndSetCookieIsFiled) {
  HttpTestServer http;
  ASSERT_TRUE(http.Start());
  cookies.Enabled = true;
  HttpReply setter = HttpReply::Ok("x");
  setter.headers.emplace_back("Set-Cookie", "sid=abc; path=/");
  http.Route("/login", setter);
  http.Route("/next", HttpReply::Ok("y"));
  ASSERT_TRUE(Fetch(http.Url("/login")));
  ASSERT_TRUE(Fetch(http.Url("/next")));
  const auto seen = http.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].Header("Cookie"), "");
  EXPECT_EQ(seen[1].Header("Cookie"), "sid=abc");
  EXPECT_NE(seen[1].raw.find("\r\nCookie: sid=abc\r\n"), std::string::npos);
}

TEST_F(RequestTest, ThroughAProxy) {
  HttpTestServer proxy;
  ASSERT_TRUE(proxy.Start());
  setup.HTTPUseProxy = true;
  setup.HTTPProxyAdress = "proxy.test";
  setup.HTTPProxyPort = proxy.Port();
  setup.HTTPProxyUsePasswordFlag = true;
  setup.HTTPProxyUserName = "pu";
  setup.HTTPProxyPassword = "pp";
  const std::string good = "Basic " + Base64Encode("pu:pp");
  proxy.SetScript([good](const test::HttpRequestSeen& seen) {
    if (seen.Header("Proxy-Authorization") == good) return HttpReply::Ok("via proxy");
    HttpReply r = HttpReply::Ok("");
    r.status = 407;
    r.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"gate\"");
    return r;
  });
  request->bUpdate = true;
  ASSERT_TRUE(Fetch("http://www.example.org:8080/a.htm"));
  EXPECT_EQ(KeptBytes(), "via proxy");
  const auto seen = proxy.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].target, "http://www.example.org:8080/a.htm");
  EXPECT_EQ(seen[1].version, "HTTP/1.0");
  EXPECT_EQ(seen[1].Header("Host"), "www.example.org:8080");
  EXPECT_EQ(seen[1].Header("Pragma"), "no-cache");
  EXPECT_EQ(seen[0].Header("Proxy-Authorization"), "");

  // FTP through the same proxy goes as an HTTP request.
  setup.UseSameProxy = true;
  ASSERT_TRUE(Fetch("ftp://ftp.example.org/pub/f.txt"));
  ASSERT_EQ(proxy.Requests().size(), 4u);
  EXPECT_EQ(proxy.Requests()[3].target, "ftp://ftp.example.org/pub/f.txt");
}

// --- FTP -------------------------------------------------------------------

class FtpRequestTest : public RequestTest {
 protected:
  FtpRequestTest() {
    EXPECT_TRUE(ftp.Start());
    ftp.AddFile("/pub/notes.txt", "FTP file content\r\n", "Mar 14  2021");
    ftp.AddFile("/pub/sub/deep.bin", "deep");
    mime.AddType("text/plain", "txt", 0, 1, true);
  }
  FtpTestServer ftp;
};

// The verbs of the commands the server received, in order.
std::string Verbs(const FtpTestServer& ftp) {
  std::string verbs;
  for (const std::string& c : ftp.Commands()) verbs += c.substr(0, c.find(' ')) + " ";
  return verbs;
}

TEST_F(FtpRequestTest, FileInPassiveModeOrActiveWhenTheServerRefusesIt) {
  request->MimeList = &mime;
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "FTP file content\r\n");
  EXPECT_EQ(request->Header.Status, 200);
  EXPECT_EQ(request->Header.ContentLength, 18);
  EXPECT_EQ(request->Header.ContentType, "text/plain");
  EXPECT_DOUBLE_EQ(request->Header.LastModified,
                   QDateTimeToDateTime(QDateTime(QDate(2021, 3, 14), QTime(0, 0), Qt::UTC)));
  EXPECT_TRUE(Pump([&] { return ftp.OpenConnections() == 0; }, 5s)) << "QUIT reaches the server, which leaves";
  const auto commands = ftp.Commands();
  // Refused once, PASV is not asked again in the session.
  EXPECT_EQ(Verbs(ftp), "USER PASS CWD TYPE PASV PORT LIST TYPE PORT RETR QUIT ");
  EXPECT_EQ(commands[0], "USER anonymous");
  EXPECT_EQ(commands[1], "PASS anonymous@127.0.0.1");
  EXPECT_EQ(commands[2], "CWD /pub/");
  EXPECT_EQ(commands[6], "LIST notes.txt");
  EXPECT_EQ(commands[9], "RETR notes.txt");
  EXPECT_TRUE(commands[5].starts_with("PORT 127,0,0,1,")) << commands[5];

  // A server that offers passive mode has it, whatever address its reply
  // names: the data connection goes to the server we talk to.
  FtpTestServer passive;
  ASSERT_TRUE(passive.Start());
  passive.AddFile("/pub/notes.txt", "FTP file content\r\n", "Mar 14  2021");
  passive.SetPassive(true, "10,9,8,7");
  rec.events.clear();
  fs::remove(rec.file);
  ASSERT_TRUE(Fetch(passive.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "FTP file content\r\n");
  EXPECT_EQ(request->Header.ContentLength, 18);
  EXPECT_TRUE(Pump([&] { return passive.OpenConnections() == 0; }, 5s));
  EXPECT_EQ(Verbs(passive), "USER PASS CWD TYPE PASV LIST TYPE PASV RETR QUIT ");

  // A passive port out of reach: the same transfer goes active.
  passive.SetPassive(true, "127,0,0,1", false);
  rec.events.clear();
  fs::remove(rec.file);
  const std::size_t before = passive.Commands().size();
  ASSERT_TRUE(Fetch(passive.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "FTP file content\r\n");
  const auto later = passive.Commands();
  std::string verbs;
  for (std::size_t i = before; i < later.size(); ++i) verbs += later[i].substr(0, later[i].find(' ')) + " ";
  EXPECT_EQ(verbs.substr(0, verbs.find(" RETR")), "USER PASS CWD TYPE PASV PORT LIST TYPE PORT");
}

TEST_F(FtpRequestTest, DirectoryBecomesAPageOfLinks) {
  ASSERT_TRUE(Fetch(ftp.Url("/pub/")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  const std::string page = KeptBytes();
  EXPECT_NE(page.find("<A HREF=\"notes.txt\">notes.txt</A>"), std::string::npos) << page;
  EXPECT_NE(page.find("<A HREF=\"sub/\">sub/</A>"), std::string::npos) << page;
  EXPECT_EQ(request->Header.ContentType, "text/html");
  EXPECT_EQ(request->Header.ContentLength, static_cast<std::int64_t>(page.size()));
  for (const std::string& c : ftp.Commands()) EXPECT_FALSE(c.starts_with("RETR")) << c;
}

TEST_F(FtpRequestTest, EveryOrderOfReplyAndDataConnectionGivesTheWholeFile) {
  std::string content;
  for (int i = 0; i < 3000; ++i) content += static_cast<char>('A' + i % 23);
  ftp.AddFile("/pub/big.dat", content);
  ftp.SetDataPacing(700, 5ms);
  for (const bool passive : {false, true}) {
    ftp.SetPassive(passive);
    for (auto order : {FtpTestServer::Order::Normal, FtpTestServer::Order::DataBeforeReply,
                       FtpTestServer::Order::ReplyBeforeData, FtpTestServer::Order::CloseControl}) {
      ftp.SetOrder(order);
      rec.events.clear();
      fs::remove(rec.file);
      const std::string what = (passive ? "passive, order " : "active, order ") + std::to_string(int(order));
      ASSERT_TRUE(Fetch(ftp.Url("/pub/big.dat"))) << what;
      EXPECT_EQ(rec.Sequence(), kWhole) << what;
      EXPECT_TRUE(KeptBytes() == content) << what;
    }
  }
}

TEST_F(FtpRequestTest, RepliesOneByteAtATimeAndLoginWithoutPassword) {
  ftp.SetControlBlockSize(1);
  ftp.SetOpenLogin(true);
  SetReceiveBlock(1);
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes(), "FTP file content\r\n");
  for (const std::string& c : ftp.Commands()) EXPECT_FALSE(c.starts_with("PASS")) << c;
}

TEST_F(FtpRequestTest, Failures) {
  // A data connection the server cannot make, or a transient refusal, is a
  // failure to try again (heFail with the reply); a missing file or folder
  // is a refusal for good (heFTPError with the reply).
  for (const bool passive : {false, true}) {
    ftp.SetPassive(passive);
    ftp.SetOrder(FtpTestServer::Order::RefuseData);
    rec.events.clear();
    ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
    EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request error3/425 Idle") << passive;

    ftp.SetOrder(FtpTestServer::Order::Normal);
    rec.events.clear();
    ASSERT_TRUE(Fetch(ftp.Url("/pub/none.txt")));
    EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request error10/550 Idle") << passive;
    rec.events.clear();
    ASSERT_TRUE(Fetch(ftp.Url("/nowhere/x.txt")));
    EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request error10/550 Idle") << passive;
  }

  // A data connection that never comes (active), or that comes and stays
  // silent (passive: the connection is made, the server sends nothing).
  setup.Timeout = 1;
  ftp.SetOrder(FtpTestServer::Order::NeverConnect);
  for (const bool passive : {false, true}) {
    ftp.SetPassive(passive);
    rec.events.clear();
    ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
    EXPECT_EQ(rec.Sequence(), passive ? "Lookup Connexion Request error4/426 Idle"
                                      : "Lookup Connexion Request error4/425 Idle");
  }

  request->Url.Parse("ftp://127.0.0.1/pub/a%0d%0aDELE%20x");
  EXPECT_FALSE(request->Start()) << "a decoded line break never reaches the server";
}

// A server that loses the data connection under the command replies 150 and
// waits for another one: the request fails for a retry well within the
// time-out (Fetch gives up after 15 s): at once when the file came shorter
// than its listing, after a short grace for the listing's last reply.
TEST_F(FtpRequestTest, ADataConnectionTheServerLosesFailsForARetryWithoutWaitingForTheTimeOut) {
  setup.Timeout = 60;
  ftp.SetPassive(true);
  ftp.SetOrder(FtpTestServer::Order::LoseFileData);
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt"), 2s));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header200 error3/426 Idle");
  EXPECT_FALSE(Kept());

  ftp.SetOrder(FtpTestServer::Order::LoseData);
  rec.events.clear();
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt"), 10s));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header0 error4/426 Idle");
  EXPECT_EQ(Verbs(ftp).substr(Verbs(ftp).rfind("USER")), "USER PASS CWD TYPE PASV LIST ");
}

TEST_F(FtpRequestTest, LongTransferOnABusyDataConnectionIsNotCut) {
  setup.Timeout = 1;
  ftp.AddFile("/pub/slow.bin", std::string(2500, 's'));
  ftp.SetDataPacing(100, 100ms);  // 2.5 s with a quiet control connection
  ASSERT_TRUE(Fetch(ftp.Url("/pub/slow.bin")));
  EXPECT_EQ(rec.Sequence(), kWhole);
  EXPECT_EQ(KeptBytes().size(), 2500u);
}

TEST_F(FtpRequestTest, ADialogueThatDripsIsCutAtTwiceTheTimeOut) {
  setup.Timeout = 1;
  ftp.SetDataPacing(1, 100ms);  // the listing too: ten bytes a second
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request error4/426 Idle");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << "the listing alone would take 6 s";
  EXPECT_FALSE(Kept());
}

TEST_F(FtpRequestTest, NotModifiedSince) {
  request->IfModifiedSince = QDateTimeToDateTime(QDateTime(QDate(2021, 3, 14), QTime(0, 0, 2), Qt::UTC));
  rec.keep = false;
  ASSERT_TRUE(Fetch(ftp.Url("/pub/notes.txt")));
  EXPECT_EQ(rec.Sequence(), "Lookup Connexion Request Receive header304 content Idle");
  EXPECT_FALSE(Kept());
  for (const std::string& c : ftp.Commands()) EXPECT_FALSE(c.starts_with("RETR")) << c;
}

// --- Local files -------------------------------------------------------------

TEST_F(RequestTest, LocalFile) {
  const fs::path page = dir.path() / "site" / "page one.htm";
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>('0' + i % 10);
  test::WriteFileBytes(page, content);
  mime.AddType("text/html", "htm html", 0, 0, true);
  rec.file = (dir.path() / "copy.htm").string();
  ASSERT_TRUE(Fetch(PathToFileUrl(page.string())));
  EXPECT_EQ(rec.Sequence(), "Request Receive header200 content end Idle");
  EXPECT_TRUE(KeptBytes() == content);
  EXPECT_EQ(request->Header.ContentType, "text/html");
  EXPECT_EQ(request->Header.Server, "Local");
  EXPECT_EQ(request->Header.ContentLength, 300000);

  // A name the MIME table knows no type of: its bytes tell.
  test::WriteFileBytes(dir.path() / "x.qzx", "q");
  ASSERT_TRUE(Fetch(PathToFileUrl((dir.path() / "x.qzx").string())));
  EXPECT_EQ(request->Header.ContentType, "text/plain");
  test::WriteFileBytes(dir.path() / "README", std::string("\x7F" "ELF\x02\x01\x01\0\0", 9));
  ASSERT_TRUE(Fetch(PathToFileUrl((dir.path() / "README").string())));
  EXPECT_EQ(request->Header.ContentType, "application/octet-stream");
}

TEST_F(RequestTest, MissingLocalFile) {
  request->Url.Parse(PathToFileUrl((dir.path() / "absent.htm").string()));
  EXPECT_FALSE(request->Start());
  EXPECT_EQ(rec.Sequence(), "error3");
  EXPECT_EQ(request->State, sIdle);
  request->Url.Parse(PathToFileUrl(dir.path().string() + "/"));
  EXPECT_FALSE(request->Start()) << "a folder is not a file";
}

}  // namespace
}  // namespace qlon
