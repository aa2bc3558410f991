// The capture run against scripted requests: every outcome of a record,
// the limits, retries, redirects, updates, stop and abort.
#include "Capture.h"

#include <QTimer>
#include <chrono>
#include <deque>

#include "CaptureRunFixture.h"
#include "PageRewrite.h"

using namespace qlon;
using namespace qlon::test;

namespace {

const std::string kGif = std::string("GIF89a\x20\x00\x10\x00", 10) + std::string(20, '\0');

struct FakeReply {
  int status = 200;
  std::string type = "text/html";
  std::string body;
  double lastModified = 0;
  std::string location;
  THTTP_ERROR error = heNone;  // a failure before any header
  bool silent = false;         // accepts and never answers
  bool announceLength = true;
};

// The replies of a scripted site, by URL; the n-th request of a URL gets the
// n-th reply (the last one again after that). Answers 304 when asked with
// the page's own date, as a server does.
struct FakeSite {
  std::map<std::string, std::vector<FakeReply>> replies;
  std::vector<std::string> requested;
  std::map<std::string, int> served;
  bool split = false;  // the reply comes one round of events after the request went out

  void Page(const std::string& url, std::string body, double date = 0) {
    FakeReply r;
    r.body = std::move(body);
    r.lastModified = date;
    replies[url] = {r};
  }
  void Set(const std::string& url, std::vector<FakeReply> list) { replies[url] = std::move(list); }
  FakeReply Next(const std::string& url, double ims) {
    requested.push_back(url);
    auto it = replies.find(url);
    if (it == replies.end()) {
      FakeReply missing;
      missing.status = 404;
      return missing;
    }
    const int n = served[url]++;
    FakeReply r = it->second[size_t(std::min<int>(n, int(it->second.size()) - 1))];
    if (ims > 0 && r.lastModified > 0 && r.status == 200 && std::abs(ims - r.lastModified) < 0.0001) {
      r.status = 304;
      r.body.clear();
    }
    return r;
  }
  int Count(const std::string& url) const { return int(std::count(requested.begin(), requested.end(), url)); }
};

class FakeRequest : public TCaptureRequest {
 public:
  FakeRequest(int id, FakeSite& site) : TCaptureRequest(id), site_(site) {}
  ~FakeRequest() override { ++generation_; }

  bool Start() override {
    if (Url.Protocol != ipHttp) return false;
    header_ = {};
    const uint64_t g = ++generation_;
    SetState(sLookup);
    QTimer::singleShot(0, [this, g] {
      if (g != generation_) return;
      if (!site_.split) return Play(g);
      SetState(sRequest);
      QTimer::singleShot(0, [this, g] {
        if (g == generation_) Play(g);
      });
    });
    return true;
  }
  void Abort() override {
    if (state_ == sIdle) return;
    ++generation_;
    if (receiving_) std::filesystem::remove(Filename);
    receiving_ = false;
    SetState(sIdle);
  }
  THTTP_STATE State() const override { return state_; }
  TReceiveState RecState() const override { return rec_; }
  const TReplyHeader& Header() const override { return header_; }
  bool HasContent() const override { return receiving_; }

 private:
  void SetState(THTTP_STATE s) {
    if (s == state_) return;
    state_ = s;
    rec_ = s == sIdle ? rsNoRec : s == sReceive ? rsHeader : rec_;
    if (OnStateChange) OnStateChange();
  }
  void Play(uint64_t g) {
    const FakeReply r = site_.Next(Url.GetFullUrl(), IfModifiedSince);
    if (r.silent) {
      SetState(sReceive);
      return;
    }
    if (r.error != heNone) {
      OnError(r.error, 0);
      if (g == generation_) SetState(sIdle);
      return;
    }
    SetState(sReceive);
    header_.Status = r.status;
    header_.ContentType = r.type;
    header_.ContentLength = r.announceLength ? int64_t(r.body.size()) : 0;
    header_.LastModified = r.lastModified;
    header_.Location = r.location;
    header_.Conditional = IfModifiedSince != 0;
    OnReceiveData(int(r.body.size()) + 100);
    const bool failed = r.status >= 400;
    if (failed) OnError(r.status >= 500 ? heHttpServerError : heHttpClientError, r.status);
    if (g != generation_) return;
    const bool keep = OnHeaderReceived();
    if (g != generation_) return;
    if (!keep || failed) {
      SetState(sIdle);
      return;
    }
    EXPECT_FALSE(Filename.empty());
    rec_ = rsContent;
    receiving_ = true;
    WriteFileBytes(Filename, r.body);
    OnReceiveContent(100);
    if (g != generation_) return;
    receiving_ = false;
    OnContentReceived();
    if (g == generation_) SetState(sIdle);
  }

  FakeSite& site_;
  THTTP_STATE state_ = sIdle;
  TReceiveState rec_ = rsNoRec;
  TReplyHeader header_;
  bool receiving_ = false;
  uint64_t generation_ = 0;
};

class CaptureTest : public CaptureRunFixture {
 protected:
  TRequestFactory Factory() override {
    return [this](int id, TMimeList&) { return std::make_unique<FakeRequest>(id, site_); };
  }
  // A small site: a start page, two pages, an image, a link elsewhere.
  void SmallSite() {
    Open("http://s.example/");
    site_.Page("http://s.example/",
               "<html><body><a href=\"a.htm\">a</a> <img src=\"i.gif\"> <a href=\"b/b.htm\">b</a>"
               " <a href=\"http://other.example/\">o</a></body></html>",
               40000.5);
    site_.Page("http://s.example/a.htm", "<a href=\"c.htm\">c</a><a href=\"/\">home</a>", 40000.5);
    site_.Page("http://s.example/b/b.htm", "<p>b</p>", 40000.5);
    site_.Page("http://s.example/c.htm", "<p>c</p>", 40000.5);
    FakeReply gif;
    gif.type = "image/gif";
    gif.body = kGif;
    gif.lastModified = 40000.5;
    site_.Set("http://s.example/i.gif", {gif});
  }
  FakeSite site_;
};

}  // namespace

TEST_F(CaptureTest, SmallSiteIsCapturedWhole) {
  SmallSite();
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{"http://s.example/", fsRetrieved},
                                                  {"http://s.example/a.htm", fsRetrieved},
                                                  {"http://s.example/b/b.htm", fsRetrieved},
                                                  {"http://s.example/c.htm", fsRetrieved},
                                                  {"http://s.example/i.gif", fsRetrieved},
                                                  {"http://other.example/", fsFilteredExternalWebDepth}}));
  EXPECT_EQ(Files(), (std::set<std::string>{"s.example/Index.htm", "s.example/a.htm", "s.example/b/b.htm",
                                            "s.example/c.htm", "s.example/i.gif"}));
  EXPECT_EQ(ReadFileBytes(folder_ / "s.example/b/b.htm"), "<p>b</p>");
  EXPECT_EQ(site_.requested.size(), 5u);  // each page once, the link back home included
  EXPECT_EQ(web_.RetrievedCount, 5u);
  EXPECT_EQ(web_.FilteredCount, 1u);
  int64_t total = 0;
  for (const std::string& f : Files()) total += int64_t(std::filesystem::file_size(folder_ / f));
  EXPECT_EQ(web_.TotalSize, total);
  auto image = Record("http://s.example/i.gif");
  EXPECT_EQ(image->GetWidth(), 32);
  EXPECT_EQ(image->GetHeight(), 16);
  EXPECT_EQ(Record("http://s.example/a.htm")->GetFileDate(), 40000.5);
  EXPECT_FALSE(stopped_);
  EXPECT_EQ(web_.Info.Counters[1], 5);
  EXPECT_GT(host_.TreeRefreshes, 0);
  EXPECT_EQ(host_.Listed.size(), 5u);  // every outcome of a request
}

TEST_F(CaptureTest, LimitsCutWhereTheyShould) {
  SmallSite();
  web_.Options.InternalLinkDepth = 1;
  Run();
  EXPECT_EQ(State("http://s.example/c.htm"), fsFilteredInternalLinkDepth);
  EXPECT_EQ(State("http://s.example/a.htm"), fsRetrieved);
}

TEST_F(CaptureTest, CountLimitLeavesTheRestForTheNextRun) {
  SmallSite();
  web_.Options.MaxFileCount = 2;
  setup_.MaxSockets = 1;
  Run();
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(web_.RetrievedCount, 2u);
  ExpectNoneRequesting();
}

TEST_F(CaptureTest, SizeAndTypeLimits) {
  Open("http://s.example/");
  site_.Page("http://s.example/",
             "<img src=\"big.gif\"> <img src=\"nolen.gif\"> <a href=\"big.htm\">x</a> <img src=\"small.jpg\">" +
                 std::string(3000, ' '));
  FakeReply big;
  big.type = "image/gif";
  big.body = std::string(3000, 'g');
  site_.Set("http://s.example/big.gif", {big});
  big.announceLength = false;
  site_.Set("http://s.example/nolen.gif", {big});
  site_.Page("http://s.example/big.htm", std::string(3000, 'h'));
  FakeReply jpeg;
  jpeg.type = "image/jpeg";
  jpeg.body = "jpeg";
  site_.Set("http://s.example/small.jpg", {jpeg});
  web_.Options.MaxFileSize = 2;  // KB
  web_.Options.MimeList().FindType("image/jpeg")->SetEnabled(false);
  Run();
  EXPECT_EQ(State("http://s.example/big.gif"), fsFilteredSize);    // by its header
  EXPECT_EQ(State("http://s.example/nolen.gif"), fsFilteredSize);  // fetched, then refused
  EXPECT_EQ(State("http://s.example/big.htm"), fsFilteredSize);    // pages are judged after the body
  EXPECT_EQ(State("http://s.example/small.jpg"), fsFilteredMime);
  EXPECT_EQ(State("http://s.example/"), fsRetrieved);  // a start URL is kept whatever its size
  EXPECT_EQ(Files(), (std::set<std::string>{"s.example/Index.htm"}));
  EXPECT_EQ(site_.Count("http://s.example/big.gif"), 1);
}

TEST_F(CaptureTest, DiskAndTimeLimitsStopTheRun) {
  SmallSite();
  web_.Options.MaxDiskSize = 1;
  site_.Page("http://s.example/a.htm", std::string(1 << 20, 'a') + "<a href=\"c.htm\">c</a>");
  setup_.MaxSockets = 1;
  Run();
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(State("http://s.example/c.htm"), fsToCapture);  // left for the next run
  ExpectNoneRequesting();

  // Time: the timer aborts the run once MaxTime is over.
  web_.Options.MaxDiskSize = 0;
  web_.Options.MaxTime = 1;
  web_.PrepareCapture();
  TCapture capture(web_, setup_, host_, Factory(), programMime_);
  int64_t now = 0;
  capture.Tick = [&] { return now; };
  capture.StartTick = 0;
  capture.SetFlags(kCaptureMissing);
  now = 59000;
  capture.TimerTick();
  EXPECT_FALSE(capture.Stopped);
  EXPECT_EQ(host_.Elapsed, "00:00:59");
  now = 3 * 3600000 + 60001;
  capture.TimerTick();
  EXPECT_TRUE(capture.Stopped);
  EXPECT_EQ(host_.Elapsed, "03:01:00");
  EXPECT_TRUE(web_.ToCapture.Empty());
}

TEST_F(CaptureTest, DiskSpaceGuardStopsBeforeWriting) {
  SmallSite();
  web_.PrepareCapture();
  TCapture capture(web_, setup_, host_, Factory(), programMime_);
  capture.FreeSpace = [](const std::string&) { return int64_t(100); };
  capture.SetFlags(kCaptureMissing);
  EXPECT_FALSE(capture.DiskFull);
  while (capture.Step()) TCapture::WaitForEvents(100);
  EXPECT_TRUE(capture.Stopped);
  EXPECT_TRUE(capture.DiskFull);
  EXPECT_EQ(State("http://s.example/"), fsToCapture);  // for the next run
  EXPECT_TRUE(Files().empty());
}

// The guard keeps the room the capture file's save needs: free space one
// byte short of that stops the run before the body; exactly that, or more,
// lets the body through.
class DiskGuardTest : public CaptureTest, public ::testing::WithParamInterface<int64_t> {};

TEST_P(DiskGuardTest, KeepsRoomForTheSave) {
  const int64_t lack = GetParam();
  Open("http://s.example/");
  site_.Page("http://s.example/", std::string(5000, 'x'));
  web_.PrepareCapture();
  TCapture capture(web_, setup_, host_, Factory(), programMime_);
  const int64_t need = capture.DiskNeed(5000);
  EXPECT_GT(need, 5000 + 1024 + int64_t(std::filesystem::file_size(web_.Path())));
  capture.FreeSpace = [&](const std::string&) { return need - lack; };
  capture.SetFlags(kCaptureMissing);
  while (capture.Step()) TCapture::WaitForEvents(100);
  EXPECT_EQ(capture.DiskFull, lack > 0);
  EXPECT_EQ(State("http://s.example/"), lack > 0 ? fsToCapture : fsRetrieved);
}

INSTANTIATE_TEST_SUITE_P(ShortByOneExactAndOneOver, DiskGuardTest, ::testing::Values(1, 0, -1));

TEST_F(CaptureTest, ErrorsRetriesAndRequestsThatCannotStart) {
  Open("http://s.example/");
  site_.Page("http://s.example/",
             "<a href=\"t.htm\">t</a> <a href=\"g.htm\">g</a> <a href=\"missing.htm\">m</a> "
             "<a href=\"ftp://s.example/f.txt\">f</a> <a href=\"busy.htm\">b</a>");
  FakeReply timeout;
  timeout.error = heTimeout;
  site_.Set("http://s.example/t.htm", {timeout});
  FakeReply gateway;
  gateway.status = 504;
  FakeReply ok;
  ok.body = "ok";
  site_.Set("http://s.example/g.htm", {gateway, ok});
  FakeReply created;
  created.status = 201;
  site_.Set("http://s.example/busy.htm", {created});
  web_.Options.DownloadFTPFlag = true;
  Run();
  EXPECT_EQ(site_.Count("http://s.example/t.htm"), 3);  // TryCount bounds the fetches
  auto t = Record("http://s.example/t.htm");
  EXPECT_EQ(t->GetState(), fsNotFound);
  EXPECT_EQ(t->GetLocalName(), kNotFoundPage);
  EXPECT_EQ(State("http://s.example/g.htm"), fsRetrieved);  // retried after the 504
  auto missing = Record("http://s.example/missing.htm");
  EXPECT_EQ(missing->GetState(), fsError);
  EXPECT_EQ(missing->GetWidth(), 404);
  EXPECT_EQ(State("ftp://s.example/f.txt"), fsNotFound);  // the request could not start
  EXPECT_EQ(Record("http://s.example/busy.htm")->GetWidth(), 201);
  EXPECT_EQ(web_.ErrorCount, 2u);
  EXPECT_EQ(web_.NotFoundCount, 2u);
  ExpectNoneRequesting();

  // TryCount 1: a time-out is not retried.
  setup_.TryCount = 1;
  TWebFile r(&web_);
  ASSERT_TRUE(web_.FindUrl("http://s.example/t.htm", r));
  r.SetState(fsToCapture);
  r.SetRetryCount(0);
  r.SaveChanges();
  Run();
  EXPECT_EQ(site_.Count("http://s.example/t.htm"), 4);
}

TEST_F(CaptureTest, RedirectsAreFollowedAndBounded) {
  Open("http://s.example/");
  site_.Page("http://s.example/", "<a href=\"old.htm\">o</a> <a href=\"loop.htm\">l</a>");
  FakeReply moved;
  moved.status = 301;
  moved.location = "new/page.htm";
  site_.Set("http://s.example/old.htm", {moved});
  site_.Page("http://s.example/new/page.htm", "new");
  FakeReply loop;
  loop.status = 302;
  loop.location = "http://s.example/loop.htm";
  FakeReply ok;
  ok.body = "at last";
  site_.Set("http://s.example/loop.htm", {loop, loop, ok});
  Run();
  auto old = Record("http://s.example/old.htm");
  EXPECT_TRUE(old->IsRedirect());
  EXPECT_EQ(old->GetState(), fsRetrieved);
  EXPECT_EQ(old->GetWidth(), 301);
  EXPECT_EQ(State("http://s.example/new/page.htm"), fsRetrieved);
  EXPECT_EQ(State("http://s.example/loop.htm"), fsRetrieved);  // a redirect to itself is a retry
  EXPECT_EQ(site_.Count("http://s.example/loop.htm"), 3);
  EXPECT_TRUE(host_.Moved.empty());
}

TEST_F(CaptureTest, MovedStartUrlIsOfferedToTheHost) {
  Open("http://x.example/");
  web_.Options.CheckDomainMachineFlag = true;
  FakeReply moved;
  moved.status = 302;
  moved.location = "http://www.x.example/";
  site_.Set("http://x.example/", {moved});
  site_.Page("http://www.x.example/", "<a href=\"a.htm\">a</a>");
  site_.Page("http://www.x.example/a.htm", "a");
  host_.AcceptMove = true;
  Run();
  EXPECT_EQ(host_.Moved, (std::vector<std::string>{"http://x.example/ -> http://www.x.example/"}));
  EXPECT_EQ(State("http://www.x.example/"), fsRetrieved);
  EXPECT_EQ(State("http://www.x.example/a.htm"), fsRetrieved);
  EXPECT_EQ(web_.StartEntries.front().Url, "http://www.x.example/");
}

TEST_F(CaptureTest, UpdateFetchesOnlyChangedPagesAndKeepsCopiesOnErrors) {
  SmallSite();
  Run();
  const std::string oldB = ReadFileBytes(folder_ / "s.example/b/b.htm");
  site_.requested.clear();
  site_.Page("http://s.example/a.htm", "<a href=\"c.htm\">c</a> changed", 40001.5);
  FakeReply gone;
  gone.status = 404;
  site_.Set("http://s.example/b/b.htm", {gone});
  Run(kCaptureUpdate | kCaptureUpdateWalk);
  // Every file was asked with its date; only a.htm sent a body.
  EXPECT_EQ(site_.requested.size(), 5u);
  EXPECT_EQ(ReadFileBytes(folder_ / "s.example/a.htm"), "<a href=\"c.htm\">c</a> changed");
  EXPECT_EQ(Record("http://s.example/a.htm")->GetFileDate(), 40001.5);
  // The page that is gone keeps the copy the capture had.
  EXPECT_EQ(ReadFileBytes(folder_ / "s.example/b/b.htm"), oldB);
  EXPECT_EQ(State("http://s.example/b/b.htm"), fsRetrieved);
  for (const auto& [url, state] : States())
    if (url != "http://other.example/") {
      EXPECT_EQ(state, fsRetrieved) << url;
    }
  EXPECT_EQ(web_.RetrievedCount, 5u);  // updates are not new files
  EXPECT_EQ(Files().count("s.example/a.htm.qlon-new"), 0u);

  // Nothing retrieved: the update walk queues nothing.
  web_.RetrievedCount = 0;
  EXPECT_EQ(web_.PrepareUpdate(), 0);
}

TEST_F(CaptureTest, StopAndAbortLeaveACaptureThatContinues) {
  SmallSite();
  FakeReply silent;
  silent.silent = true;
  site_.Set("http://s.example/a.htm", {silent, site_.replies["http://s.example/a.htm"][0]});
  site_.Set("http://s.example/b/b.htm", {silent, site_.replies["http://s.example/b/b.htm"][0]});
  Run(kCaptureMissing, [](TCapture& c) {
    int busy = 0;
    for (int i = 0; i < c.PoolSize(); ++i) busy += c.Request(i).State() == sReceive;
    if (busy == 2) c.Stop(true);
  });
  EXPECT_TRUE(stopped_);
  ExpectNoneRequesting();
  EXPECT_EQ(State("http://s.example/a.htm"), fsToCapture);
  web_.Close();

  // Reopened, the capture takes up the records the stopped run left.
  ASSERT_EQ(web_.Open(folder_ / "local.web"), wlOk);
  web_.PrepareCapture();
  EXPECT_EQ(web_.ToCapture.Count(), 2);
  Run();
  EXPECT_EQ(State("http://s.example/c.htm"), fsRetrieved);
  EXPECT_EQ(Files().size(), 5u);

  // Abort empties both queues at once.
  site_.Set("http://s.example/z.htm", {silent});
  TWebFile z(&web_);
  z.FullUrl = "http://s.example/z.htm";
  ASSERT_TRUE(web_.AddLink(z, nullptr));
  Run(kCaptureMissing, [](TCapture& c) {
    if (c.Request(0).State() == sReceive) c.Abort();
  });
  EXPECT_EQ(State("http://s.example/z.htm"), fsToCapture);
  EXPECT_TRUE(web_.ToCapture.Empty());
}

TEST_F(CaptureTest, PoolFollowsTheSettings) {
  SmallSite();
  setup_.MaxSockets = 40;  // more than the connection list has rows
  web_.PrepareCapture();
  {
    TCapture capture(web_, setup_, host_, Factory(), programMime_);
    EXPECT_EQ(capture.PoolSize(), TCapture::kMaxPool);
    setup_.MaxSockets = 2;
    capture.SetFlags(kCaptureMissing);
    capture.Step();
    EXPECT_LE(capture.PoolSize(), TCapture::kMaxPool);
    while (capture.Step()) TCapture::WaitForEvents(100);
    EXPECT_EQ(capture.PoolSize(), 2);
    EXPECT_EQ(capture.Request(0).Id, 1);
    EXPECT_EQ(capture.Request(1).Id, 2);
    setup_.MaxSockets = 0;  // never an empty pool
    capture.Step();
    EXPECT_EQ(capture.PoolSize(), 1);
  }
  EXPECT_LE(host_.Rows.rbegin()->first, TCapture::kMaxPool - 1);
}

// As a socket's data and its close do, a reply comes over several rounds of
// events, so a request may end inside a step: its slot takes the next record
// in that step, and the driver loop never sleeps out its wait for it.
TEST_F(CaptureTest, RequestEndingInsideAStepStartsTheNextAtOnce) {
  SmallSite();
  site_.split = true;
  setup_.MaxSockets = 1;
  web_.PrepareCapture();
  int waits = 0, timeouts = 0;
  {
    TCapture capture(web_, setup_, host_, Factory(), programMime_);
    capture.SetFlags(kCaptureMissing);
    while (capture.Step()) {
      if (!TCapture::WaitForEvents(100)) ++timeouts;
      ASSERT_LT(++waits, 1000) << "the run does not end";
    }
  }
  EXPECT_EQ(timeouts, 0) << "of " << waits << " waits";
  EXPECT_EQ(web_.RetrievedCount, 5u);
}

TEST_F(CaptureTest, NewTypesReachTheProgramTable) {
  Open("http://s.example/");
  site_.Page("http://s.example/", "<a href=\"d.xyz\">d</a>");
  FakeReply odd;
  odd.type = "application/x-odd";
  odd.body = "odd";
  site_.Set("http://s.example/d.xyz", {odd});
  Run();
  EXPECT_EQ(State("http://s.example/d.xyz"), fsRetrieved);
  ASSERT_NE(programMime_.FindType("application/x-odd"), nullptr);
  TMimeList saved;
  saved.LoadFromFile(root_.path() / "work" / "mime.def");
  EXPECT_NE(saved.FindType("application/x-odd"), nullptr);
  // Nothing new: the file is not written again.
  std::filesystem::remove(root_.path() / "work" / "mime.def");
  Run();
  EXPECT_FALSE(std::filesystem::exists(root_.path() / "work" / "mime.def"));
}

TEST_F(CaptureTest, CaptureFileIsSavedEveryAutoSaveCountFilesAndAtTheEnd) {
  SmallSite();
  setup_.AutoSaveCount = 2;
  setup_.MaxSockets = 1;
  std::vector<uint64_t> saves;  // what a crash right after each save would leave
  Configure = [&](TCapture& c) {
    c.SaveInterval = 60000;
    c.OnSaved = [&] { saves.push_back(RetrievedOnDisk()); };
  };
  Run();
  EXPECT_EQ(saves, (std::vector<uint64_t>{2, 4, 5}));
  TWeb saved;
  ASSERT_EQ(saved.Open(root_.path() / "copy.web"), wlOk);
  TWebFile start(&saved);
  ASSERT_TRUE(saved.FindUrl("http://s.example/", start));
  EXPECT_EQ(start.GetState(), fsRetrieved);
}

TEST_F(CaptureTest, ChangesAreSavedWithinTheIntervalWhateverTheCount) {
  SmallSite();
  FakeReply silent;
  silent.silent = true;
  site_.Set("http://s.example/c.htm", {silent});  // the run waits on it, changing nothing
  setup_.AutoSaveCount = 1000;
  std::vector<uint64_t> saves;
  std::chrono::steady_clock::time_point firstSave;
  Configure = [&](TCapture& c) {
    c.SaveInterval = 100;
    c.OnSaved = [&] {
      if (saves.empty()) firstSave = std::chrono::steady_clock::now();
      saves.push_back(RetrievedOnDisk());
    };
  };
  const auto start = std::chrono::steady_clock::now();
  Run(kCaptureMissing, [&](TCapture& c) {
    // Waiting well past the interval after the save: nothing changed, so no other save.
    const auto now = std::chrono::steady_clock::now();
    if ((!saves.empty() && now - firstSave > std::chrono::milliseconds(600)) || now - start > std::chrono::seconds(20))
      c.Abort();
  });
  ASSERT_FALSE(saves.empty()) << "no save while the run waited";
  EXPECT_EQ(saves.front(), 4u) << "every file kept before the wait is on disk";
  EXPECT_EQ(saves.size(), 2u) << "one save for the changes, one at the end";
  EXPECT_LT(firstSave - start, std::chrono::seconds(5));
}
