#include "Capture.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QSize>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Cookies.h"
#include "HttpRqst.h"
#include "ImageSize.h"
#include "Mime.h"
#include "PageRewrite.h"
#include "Setup.h"
#include "Texts.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

namespace {

namespace fs = std::filesystem;

// Where no condition could be sent (a local file, FTP), two dates closer
// than this are the same modification: a stored date is the nearest whole
// second of the file's.
constexpr double kSameDate = 0.6 / 86400;
// The suffix of an update's new body until it is whole.
constexpr const char* kNewCopySuffix = ".qlon-new";
// Room the guard keeps for the capture file's save beyond the file's own
// size (which bounds its journal): the tree pages of the records a run adds
// between two saves.
constexpr int64_t kSaveReserve = int64_t(256) << 10;
// How often a body that is arriving looks at the disk's room: several
// bodies at once, unannounced or announced and weighed one by one, would
// otherwise take the room the save needs.
constexpr int64_t kDiskLookStep = int64_t(32) << 10;

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = path.empty() ? 0 : fs::file_size(path, ec);
  return ec ? 0 : int64_t(size);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

void RemoveFile(const std::string& path) {
  std::error_code ec;
  if (!path.empty()) fs::remove(path, ec);
}

int32_t Saturated(int64_t n) { return int32_t(std::clamp<int64_t>(n, 0, INT32_MAX)); }

// The scheme and authority a URL begins with: "ftp://host:port".
std::string_view SiteOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  return url.substr(0, url.find('/', scheme + 3));
}

bool OnSite(std::string_view url, std::string_view site) {
  return !site.empty() && SameTextAscii(SiteOf(url), site);
}

// A pool request over the request client: the run's fields are handed over
// at Start, the file name when the header is accepted, and the reply header
// is read back for the run.
class THttpCaptureRequest : public TCaptureRequest {
 public:
  THttpCaptureRequest(int id, TMimeList& mime, TSetup* setup) : TCaptureRequest(id), http_(id, &mime, setup) {
    http_.OnError = [this](THttpRequest&, THTTP_ERROR error, int status) {
      WriteFailed = http_.ContentWriteFailed;
      FailureReply = http_.FailureReply;
      if (OnError) OnError(error, status);
    };
    http_.OnHeaderReceived = [this](THttpRequest&) {
      ReadHeader();
      const bool keep = OnHeaderReceived && OnHeaderReceived();
      http_.Filename = Filename;
      return keep;
    };
    http_.OnContentReceived = [this](THttpRequest&) {
      ReadHeader();
      if (OnContentReceived) OnContentReceived();
    };
    http_.OnReceiveContent = [this](THttpRequest&, const char* block, int size, int percent) {
      if (KeepBody && block && size > 0) Keep(block, size_t(size));
      if (OnReceiveContent) OnReceiveContent(percent);
    };
    http_.OnReceiveData = [this](THttpRequest&, const char*, int count) {
      if (OnReceiveData) OnReceiveData(count);
    };
    http_.OnStateChange = [this](THttpRequest&) {
      if (OnStateChange) OnStateChange();
    };
  }

  bool Start() override {
    http_.Reset();
    http_.Url = Url;
    http_.Username = Username;
    http_.Password = Password;
    http_.IfModifiedSince = IfModifiedSince;
    http_.bUpdate = bUpdate;
    http_.Filename = Filename;
    header_ = {};
    KeepBody = overflow_ = WriteFailed = false;
    FailureReply.clear();
    Body.clear();
    if (Body.capacity() > kReusedBody) Body.shrink_to_fit();
    return http_.Start();
  }
  void Abort() override { http_.Abort(); }
  THTTP_STATE State() const override { return http_.State; }
  TReceiveState RecState() const override { return http_.RecState; }
  const TReplyHeader& Header() const override { return header_; }
  bool HasContent() const override { return http_.Content != nullptr; }
  bool Closing() const override { return http_.Closing(); }

 private:
  static constexpr size_t kReusedBody = size_t(256) << 10;

  void Keep(const char* block, size_t size) {
    if (overflow_) return;
    if (Body.size() + size > kKeptBodyMax) {
      overflow_ = true;
      Body.clear();
      return;
    }
    // Room for the announced length at once, rather than a copy at each
    // doubling; a server's figure is believed only up to what is kept.
    if (Body.empty() && header_.ContentLength > 0)
      Body.reserve(std::min(size_t(header_.ContentLength), kKeptBodyMax));
    Body.append(block, size);
  }
  void ReadHeader() {
    header_.Status = http_.Header.Status;
    header_.ContentType = http_.Header.ContentType;
    header_.ContentLength = http_.Header.ContentLength;
    header_.LastModified = http_.Header.LastModified;
    header_.Location = http_.Header.Location;
    // Over HTTP (FTP through a proxy too) a date asked is a condition sent.
    header_.Conditional = http_.IfModifiedSince != 0 && http_.Method == mGET && http_.Protocol == ipHttp;
  }

  THttpRequest http_;
  TReplyHeader header_;
  bool overflow_ = false;
};

}  // namespace

TRequestFactory HttpRequestFactory(TSetup* setup) {
  return [setup](int id, TMimeList& mime) -> std::unique_ptr<TCaptureRequest> {
    return std::make_unique<THttpCaptureRequest>(id, mime, setup);
  };
}

TCapture::TCapture(TWeb& web, TSetup& setup, ICaptureHost& host, TRequestFactory factory, TMimeList& programMime,
                   TCookiesBase* cookies)
    : Web(web), setup_(setup), host_(host), factory_(std::move(factory)), programMime_(programMime) {
  Tick = [] {
    using namespace std::chrono;
    return int64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  };
  FreeSpace = [](const std::string& folder) {
    struct statvfs st {};
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0) return int64_t(INT64_MAX);
    return int64_t(std::min<unsigned long long>(uint64_t(st.f_bavail) * st.f_frsize, INT64_MAX));
  };
  ProcessEvents = [] {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  };
  while (PoolSize() < MaxPool()) AddSlot();
  if (!setup_.NoWriteDisk && !Web.GetFolder().empty()) {
    files_ = std::make_unique<TFilePool>(Web.GetFolder());
    Web.Naming().FilePool = files_.get();
  }
  if (cookies) cookies->Enabled = setup.AcceptCookies;
  timer_.setInterval(1000);
  QObject::connect(&timer_, &QTimer::timeout, [this] { TimerTick(); });
  timer_.start();
  wake_.setSingleShot(true);
  saveTimer_.setSingleShot(true);
  QObject::connect(&saveTimer_, &QTimer::timeout, [this] { SaveWeb(); });
  StartTick = Tick();
}

TCapture::~TCapture() {
  timer_.stop();
  saveTimer_.stop();
  // A run freed in the middle leaves its records to be taken again.
  for (auto& slot : pool_) {
    if (!slot->Busy || slot->Settled) continue;
    PutBack(*slot);
    slot->Request->Abort();
  }
  try {
    SaveRunInfo();
  } catch (const Exception&) {
    // The table stays in memory; the next run saves it.
  }
  // Whatever follows the run (link resolution, a long one) starts from a
  // saved capture.
  SaveWeb();
  Web.Naming().FilePool = nullptr;
}

void TCapture::SetFilePoolStart(double slowMicros) {
  if (!files_) return;
  Web.Naming().FilePool = nullptr;
  files_.reset();
  if (slowMicros < 0) return;
  files_ = std::make_unique<TFilePool>(Web.GetFolder(), 4, 64, slowMicros);
  Web.Naming().FilePool = files_.get();
}

void TCapture::SaveWeb() {
  saveTimer_.stop();
  AutoSaveCounter = 0;
  try {
    if (Web.Save() && OnSaved) OnSaved();
  } catch (const Exception&) {
    // The next save tries again; the records are in the tree meanwhile.
  }
}

int TCapture::MaxPool() const { return std::clamp(setup_.MaxSockets, 1, kMaxPool); }

// The retry count of a record is four bits: a limit above 15 would never end.
int TCapture::TryCount() const { return std::clamp(setup_.TryCount, 1, 15); }

bool TCapture::FollowLink(const TTagLink& link, const TUrl& url) { return TWeb::FollowLinkDefault(link, url); }

void TCapture::SetFlags(uint16_t flags) {
  Flags = flags;
  if (Flags & kCaptureUpdateWalk) Web.PrepareUpdate();
  Web.CaptureDate = QDateTimeToDateTime(QDateTime::currentDateTime());
  host_.UpdateCountLabels();
}

// ---------------------------------------------------------------- pool

void TCapture::AddSlot() {
  // The smallest free number: numbers name the connection rows and the FTP
  // data ports, so two requests never share one.
  int id = 1;
  while (std::any_of(pool_.begin(), pool_.end(), [&](const auto& s) { return s->Request->Id == id; })) ++id;
  auto slot = std::make_unique<Slot>();
  slot->Request = factory_(id, Web.Options.MimeList());
  slot->Record = std::make_unique<TWebFile>(&Web);
  slot->Record->OnStateChange = [this](TWebFile& r) { WebFileChanged(r); };
  Slot* s = slot.get();
  TCaptureRequest& q = *s->Request;
  q.OnError = [this, s](THTTP_ERROR error, int status) { RequestError(*s, error, status); };
  q.OnHeaderReceived = [this, s] { return RequestHeader(*s); };
  q.OnContentReceived = [this, s] { RequestContent(*s); };
  q.OnReceiveContent = [this, s](int percent) { RequestProgress(*s, percent); };
  q.OnReceiveData = [this, s](int count) {
    BytesReceived += uint64_t(std::max(count, 0));
    KBytesReceived = BytesReceived >> 10;
    s->Unweighed += std::max(count, 0);
  };
  q.OnStateChange = [this, s] { RequestStateChange(*s); };
  pool_.push_back(std::move(slot));
}

void TCapture::AdjustRequestPool() {
  const int max = MaxPool();
  // From the end down to index 1: the first request is never freed, busy
  // ones stay until a later step.
  for (int i = PoolSize() - 1; i >= 1 && PoolSize() > max; --i) {
    Slot& s = *pool_[size_t(i)];
    if (s.Busy || s.Request->State() != sIdle) continue;
    pool_.erase(pool_.begin() + i);
  }
  while (PoolSize() < max) AddSlot();
}

bool TCapture::Work() const {
  return (!Web.ToUpdate.Empty() && (Flags & kCaptureUpdate)) || (!Web.ToCapture.Empty() && (Flags & kCaptureMissing));
}

// ---------------------------------------------------------------- steps

bool TCapture::Step() {
  bool work = Work(), launched = true;
  while (work && launched && !Stopped) {
    launched = false;
    if (Slot* idle = IdleSlot()) {
      launched = StartNext(*idle);
      if (!launched) work = false;
    }
    if (ProcessEvents) ProcessEvents();
    // A request that ended in those events frees its slot for this step:
    // left to the next one, the driver loop would first sleep out its wait,
    // since nothing else is coming to wake it.
    if (!launched && work) launched = IdleSlot() != nullptr;
    work = work && Work();
  }
  AdjustRequestPool();
  if (Work() && !Stopped) return true;
  const bool busy = std::any_of(pool_.begin(), pool_.end(),
                                [](const auto& s) { return s->Busy || s->Request->State() != sIdle; });
  // The run's last reading: one shorter than a tick shows its duration too.
  if (!busy) ShowElapsed();
  return busy;
}

TCapture::Slot* TCapture::IdleSlot() const {
  // One whose last session is over first: a new start cuts the goodbye short.
  Slot* closing = nullptr;
  for (const auto& s : pool_) {
    if (s->Busy || s->Request->State() != sIdle) continue;
    if (!s->Request->Closing()) return s.get();
    if (!closing) closing = s.get();
  }
  return closing;
}

bool TCapture::StartNext(Slot& slot) {
  TWebFile& r = *slot.Record;
  TCaptureRequest& q = *slot.Request;
  bool took = false;
  if ((Flags & kCaptureUpdate) && TakeNext(Web.ToUpdate, true, r)) {
    took = true;
    q.IfModifiedSince = r.GetFileDate();
    q.bUpdate = true;
  } else if ((Flags & kCaptureMissing) && TakeNext(Web.ToCapture, false, r)) {
    took = true;
    q.IfModifiedSince = 0;
    q.bUpdate = false;
    if (r.GetState() != fsRetrieved) r.SetState(fsRequesting);
  }
  if (!took) return false;
  slot.Site = SiteOf(r.FullUrl);
  // An FTP server's sessions are followed from the first: a server that
  // refuses one counts those that just ended.
  if (GetUrlProtocol(r.FullUrl) == ipFtp && !FtpServer(slot.Site))
    servers_.push_back({slot.Site, {}, MaxPool(), MaxPool(), false, 0, 0, 0, {}});
  r.SetRetryCount(r.GetRetryCount() + 1u);
  r.SaveChanges();
  slot.Busy = true;
  slot.Settled = false;
  slot.OldPath.clear();
  q.Url.Parse(r.FullUrl);
  q.Username.clear();
  q.Password.clear();
  if (r.HasFlag(TWebFile::kFlagIdentity)) r.GetIdentity(q.Username, q.Password);
  q.Filename.clear();
  const int row = Row(slot);
  if (q.Url.Protocol == ipFile) {
    host_.SetConnectionWeb(row, "file");
    host_.SetConnectionUrl(row, q.Url.GetLocalDirectory() + UnescapeUrl(q.Url.FileName));
  } else {
    host_.SetConnectionWeb(row, q.Url.Host);
    host_.SetConnectionUrl(row, q.Url.Path + q.Url.FileName + q.Url.Query);
  }
  if (!q.Start()) {
    // A request that cannot start (a scheme it does not know, a URL it cannot
    // send) ends its record like a failed connection.
    if (!slot.Settled) RequestError(slot, heFail, 0);
    if (q.State() == sIdle) Release(slot);
  }
  return true;
}

bool TCapture::TakeNext(TWebFileList& queue, bool update, TWebFile& record) {
  // The servers that may take no connection now; the queue's order holds
  // for the others.
  const int64_t now = Tick();
  std::vector<size_t> waiting;
  int64_t free = INT64_MAX;  // when the first of them may take one again
  for (size_t i = 0; i < servers_.size(); ++i) {
    const TFtpServer& s = servers_[i];
    if (s.Reply.empty()) continue;  // it never refused: no limit
    if (now < s.Resume) {
      free = std::min(free, s.Resume);
    } else if (Connections(s.Site, true) >= s.Connections) {
      for (const int64_t ended : s.Ends)
        if (now - ended < kReleaseGrace) free = std::min(free, ended + kReleaseGrace);
    } else {
      continue;
    }
    waiting.push_back(i);
  }
  // The driver loop waits for events: the end of a pause must be one.
  if (free != INT64_MAX && (!wake_.isActive() || wake_.remainingTime() > free - now))
    wake_.start(int(std::clamp<int64_t>(free - now, 0, kRefusalPause)));
  // The same lines and the same servers waiting: the last search holds.
  TSearch& last = searched_[update ? 0 : 1];
  if (!waiting.empty() && last.Count == queue.Count() && last.Waiting == waiting) return false;
  const auto allowed = [&](std::string_view url) {
    return std::none_of(waiting.begin(), waiting.end(), [&](size_t i) { return OnSite(url, servers_[i].Site); });
  };
  while (!queue.Empty()) {
    const int at = waiting.empty() ? 0 : queue.Find(allowed);
    if (at < 0) {
      last = {queue.Count(), std::move(waiting)};
      return false;
    }
    if (update ? Web.NextToUpdate(record, at) : Web.NextToCapture(record, at)) return true;
  }
  return false;
}

void TCapture::Release(Slot& slot) {
  slot.Busy = false;
  const bool refused = std::exchange(slot.Refused, false);
  TFtpServer* server = FtpServer(slot.Site);
  if (!server) return;
  const int64_t now = Tick();
  slot.Ended = now;
  server->Ends.push_back(now);
  while (now - server->Ends.front() >= kReleaseGrace) server->Ends.pop_front();
  if (server->Reply.empty() || refused) return;
  // A round of sessions at a new number without a refusal confirms it;
  // kRaiseAfter rounds give one more, up to what a refusal ruled out.
  ++server->Sessions;
  if (server->Probing && server->Sessions >= server->Connections) server->Probing = false;
  if (server->Sessions >= kRaiseAfter * server->Connections && server->Connections < server->Ceiling) {
    ++server->Connections;
    server->Sessions = 0;
    server->Probing = true;
  }
}

int TCapture::Connections(std::string_view site, bool held) {
  const int64_t now = Tick();
  // A connection still closing counts as held: within the grace through its
  // end in Ends, past it here.
  int count = int(std::count_if(pool_.begin(), pool_.end(), [&](const auto& s) {
    const bool closing = held && s->Request->Closing() && now - s->Ended >= kReleaseGrace;
    return (s->Busy || closing) && SameTextAscii(s->Site, site);
  }));
  if (const TFtpServer* server = held ? FtpServer(site) : nullptr)
    count += int(std::count_if(server->Ends.begin(), server->Ends.end(),
                               [&](int64_t ended) { return now - ended < kReleaseGrace; }));
  return count;
}

TCapture::TFtpServer* TCapture::FtpServer(std::string_view site) {
  const auto it = std::find_if(servers_.begin(), servers_.end(),
                               [&](const TFtpServer& s) { return SameTextAscii(s.Site, site); });
  return it == servers_.end() ? nullptr : &*it;
}

bool TCapture::Refused(Slot& slot) {
  slot.Refused = true;
  TFtpServer* server = FtpServer(slot.Site);
  if (!server) return false;
  server->Reply = slot.Request->FailureReply;
  server->Sessions = 0;
  // This request still counts among the busy ones: the server holds the
  // others, and refused one more.
  const int others = Connections(slot.Site) - 1;
  // A number just tried is one too many; one the server took before may be
  // taken again later (it refused while busy, or counted sessions that had
  // just ended).
  if (std::exchange(server->Probing, false)) server->Ceiling = std::max(1, server->Connections - 1);
  server->Connections = std::clamp(others, 1, std::min(server->Connections, server->Ceiling));
  if (others < 1) {
    // Refused alone, it is no number of ours: the next try waits.
    server->Resume = Tick() + kRefusalPause;
    return false;
  }
  TWebFile& r = *slot.Record;
  if (r.GetRetryCount() > 0) r.SetRetryCount(r.GetRetryCount() - 1u);  // the server's limit, not the address
  if (!Retry(slot)) return false;
  Finish(slot, true);
  return true;
}

void TCapture::Stop(bool all) {
  Stopped = true;
  Web.ToCapture.Clear();
  for (auto& slot : pool_) {
    if (!slot->Busy || slot->Settled) continue;
    if (!all && slot->Request->RecState() != rsNoRec) continue;
    PutBack(*slot);
    slot->Request->Abort();
    if (slot->Request->State() == sIdle) Release(*slot);
  }
}

void TCapture::Abort() {
  Stopped = true;
  for (auto& slot : pool_) {
    if (!slot->Busy || slot->Settled) continue;
    PutBack(*slot);
    slot->Request->Abort();
    if (slot->Request->State() == sIdle) Release(*slot);
  }
  Web.ToCapture.Clear();
  Web.ToUpdate.Clear();
}

// The disk is asked before each body while its room is within 64 MiB of
// the need; with more, once a second, less what was received since.
bool TCapture::LacksRoom(int64_t contentLength) {
  constexpr int64_t kMargin = int64_t(64) << 20;
  constexpr int64_t kMaxAge = 1000;  // ms
  if (!FreeSpace) return false;
  const int64_t need = DiskNeed(contentLength);
  const int64_t now = Tick();
  int64_t spent = int64_t(std::min<uint64_t>(BytesReceived - freeAtBytes_, INT64_MAX));
  const bool stale = freeKnown_ < 0 || now - freeTick_ >= kMaxAge || now < freeTick_;
  if (stale || freeKnown_ - spent < need || freeKnown_ - spent - need < kMargin) {
    freeKnown_ = FreeSpace(Web.GetFolder());
    freeAtBytes_ = BytesReceived;
    freeTick_ = now;
    spent = 0;
  }
  return freeKnown_ - spent < need;
}

int64_t TCapture::DiskNeed(int64_t contentLength) const {
  return std::max<int64_t>(contentLength, 0) + 1024 + Web.StoredSize() + kSaveReserve;
}

void TCapture::StopForDisk(Slot& slot) {
  Stopped = true;
  DiskFull = true;
  PutBack(slot);
  host_.AddWebFileToLists(*slot.Record);
  slot.Request->Abort();  // a request that failed is idle already
  if (slot.Request->State() == sIdle) Release(slot);
}

// A record whose request is stopped goes back to where it came from, for
// the next run to take.
void TCapture::PutBack(Slot& slot) {
  TWebFile& r = *slot.Record;
  if (slot.Request->bUpdate) {
    r.SetUpdate(true);
    r.SetState(fsToUpdate);
  } else if (r.GetState() == fsRequesting) {
    r.SetState(fsToCapture);
  }
  if (r.GetRetryCount() > 0) r.SetRetryCount(r.GetRetryCount() - 1u);  // this try did not count
  r.SaveChanges();
  slot.Settled = true;
}

// No address is at fault then, and no later one would fare better: the
// run stops with the reason, which the caller reports once.
bool TCapture::FolderRefusesWrites(Slot& slot) {
  const std::string folder = Web.GetFolder();
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return false;
  if (WriteFailure.empty())
    WriteFailure = "Impossible d'écrire dans le dossier de la capture " + folder + " (" + SystemErrorText(errno) + ")";
  Stopped = true;
  PutBack(slot);
  host_.AddWebFileToLists(*slot.Record);
  return true;
}

bool TCapture::WaitForEvents(int ms) {
  if (!QCoreApplication::instance()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
  }
  QTimer guard;
  guard.setSingleShot(true);
  guard.start(ms);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return guard.isActive();  // a fired single-shot timer is no longer active
}

void TCapture::TimerTick() {
  ShowElapsed();
  if (Web.Options.MaxTime > 0 && int64_t(Web.Options.MaxTime) * 60000 < Elapsed) Abort();
}

void TCapture::ShowElapsed() {
  Elapsed = Tick() - StartTick;
  const int64_t seconds = Elapsed / 1000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  ElapsedText = text;
  host_.ShowElapsed(ElapsedText);
}

// ---------------------------------------------------------------- request events

void TCapture::RequestStateChange(Slot& slot) {
  TCaptureRequest& q = *slot.Request;
  host_.SetConnectionState(Row(slot), q.State());
  if (q.State() != sIdle || !slot.Busy) return;
  // Idle comes last: a request that ended without any outcome (a header
  // accepted and then no body) still ends its record.
  if (!slot.Settled) RequestError(slot, heBadHttpHeader, 0);
  Release(slot);
}

void TCapture::RequestProgress(Slot& slot, int percent) {
  const TCaptureRequest& q = *slot.Request;
  host_.SetConnectionProgress(Row(slot), q.Header().ContentLength >= 1 && q.HasContent() ? percent : 0);
  if (slot.Unweighed < kDiskLookStep || !slot.Busy || slot.Settled) return;
  slot.Unweighed = 0;
  if (FreeSpace && FreeSpace(Web.GetFolder()) < DiskNeed(0)) StopForDisk(slot);
}

void TCapture::RequestError(Slot& slot, THTTP_ERROR error, int status) {
  if (!slot.Busy || slot.Settled) return;
  if (slot.Request->WriteFailed) {
    // The body could not be written: a folder that refuses writes, else a
    // full disk.
    if (!FolderRefusesWrites(slot)) StopForDisk(slot);
    return;
  }
  // Once the header is taken, a failure may be the body's file.
  if (error == heFail && !slot.Request->Filename.empty() && FolderRefusesWrites(slot)) return;
  TWebFile& r = *slot.Record;
  // A transient FTP refusal: the server is busy or has too many of our connections.
  const bool refused = error == heFail && status >= 400 && status < 500 && slot.Request->Url.Protocol == ipFtp;
  if (refused && Refused(slot)) return;
  const bool http = error == heHttpClientError || error == heHttpServerError;
  const bool retriable = http ? (status == 408 || status == 504) : (error == heFail || error == heTimeout);
  if (retriable && Retry(slot)) {
    Finish(slot, true);
    return;
  }
  if (refused)
    if (TFtpServer* server = FtpServer(slot.Site)) ++server->Lost;
  if (slot.Request->bUpdate && FileExists(r.GetLocalPath())) {
    KeepOldCopy(slot, http && (status == 404 || status == 410));
    return;
  }
  if (http) {
    EndInError(slot, status);
  } else if (retriable && status != 0) {
    // The server answered but could not carry the transfer out (a transient
    // FTP refusal, a data connection that failed or never came): an error,
    // not a missing file.
    EndInError(slot, error);
  } else {
    r.SetLocalName(kNotFoundPage);
    r.SetError(error);
    r.SetState(fsNotFound);
    ++Web.NotFoundCount;
    ++NotFound;
  }
  Finish(slot);
}

bool TCapture::Retry(Slot& slot) {
  TWebFile& r = *slot.Record;
  if (r.GetRetryCount() >= TryCount()) return false;
  // Back into the queue it came from, so an update-only run takes it too.
  if (slot.Request->bUpdate) {
    r.SetUpdate(true);
    r.SetState(fsToUpdate);
    Web.ToUpdate.AddRecord(r);
  } else {
    r.SetState(fsToCapture);
    Web.ToCapture.AddRecord(r);
  }
  return true;
}

void TCapture::EndInError(Slot& slot, int status) {
  TWebFile& r = *slot.Record;
  MarkGone(r, false);  // counted as the error it is now
  r.SetLocalName(kNotFoundPage);
  r.SetError(status);
  ++Web.ErrorCount;
  ++Errors;
}

// An update that failed keeps the copy the capture had; one the server no
// longer has is marked, for the error report.
void TCapture::KeepOldCopy(Slot& slot, bool gone) {
  TWebFile& r = *slot.Record;
  if (!slot.OldPath.empty()) RemoveFile(slot.OldPath + kNewCopySuffix);
  r.SetState(fsRetrieved);
  if (gone) MarkGone(r, true);
  ++Errors;
  Finish(slot);
}

// A record found gone counts among the capture's errors until it is had
// again.
void TCapture::MarkGone(TWebFile& record, bool gone) {
  if (record.IsGone() == gone) return;
  record.SetGone(gone);
  if (gone)
    ++Web.ErrorCount;
  else if (Web.ErrorCount > 0)
    --Web.ErrorCount;
}

void TCapture::Finish(Slot& slot, bool retried) {
  TWebFile& r = *slot.Record;
  slot.Settled = true;
  r.SaveChanges();
  if (!saveTimer_.isActive()) saveTimer_.start(std::max(SaveInterval, 0));
  if (!retried) host_.AddWebFileToLists(r);
  host_.UpdateCountLabels();
}

bool TCapture::IsFirstStartUrl(const TWebFile& record) const {
  return !Web.StartEntries.empty() && SameTextAscii(record.FullUrl, Web.StartEntries.front().FullUrl());
}

void TCapture::DropOldFile(TWebFile& record) {
  const std::string name = record.GetLocalName();
  // The generated index is not a record's copy.
  if (name.empty() || name.rfind("Index/", 0) == 0) return;
  const std::string path = record.GetLocalPath();
  if (!FileExists(path)) return;
  Web.TotalSize = std::max<int64_t>(0, Web.TotalSize - FileSize(path));
  RemoveFile(path);
}

void TCapture::Redirect(Slot& slot, int status, const std::string& location) {
  TWebFile& r = *slot.Record;
  // A "#..." of the new place names a spot in it, not another document.
  const std::string target(WithoutFragment(ResolveUrl(location, r.FullUrl)));
  if (target == r.FullUrl) {
    // A redirect to itself (a server setting a cookie first): try again, a bounded number of times.
    if (Retry(slot)) {
      Finish(slot, true);
    } else {
      EndInError(slot, status);
      Finish(slot);
    }
    return;
  }
  if (slot.Request->bUpdate) DropOldFile(r);
  MarkGone(r, false);
  r.SetWidth(uint16_t(status));
  if (!Web.AddRedirect(r, location)) {
    EndInError(slot, status);
    Finish(slot);
    return;
  }
  ++Web.RetrievedCount;
  ++Retrieved;
  ++AutoSaveCounter;
  Finish(slot);
  if (IsFirstStartUrl(r) && host_.ConfirmMovedStartUrl(r, target)) PromoteStartUrl(target);
}

// The first start URL moved and the user took the new place: it starts the capture.
void TCapture::PromoteStartUrl(const std::string& target) {
  TWebFile t(&Web);
  if (!Web.FindUrl(target, t)) return;
  t.SetStartUrl(true);
  t.SetWebLevel(0);
  t.SetLinkLevel(0);
  if (t.IsFiltered()) t.SetState(fsToCapture);
  if (t.GetState() == fsToCapture && !Web.ToCapture.Contains(t.FullUrl)) Web.ToCapture.AddRecord(t);
  t.SaveChanges();
  Web.StartEntries.front().Url = target;
}

bool TCapture::RequestHeader(Slot& slot) {
  if (!slot.Busy || slot.Settled) return false;  // an error status was handled already
  TWebFile& r = *slot.Record;
  TCaptureRequest& q = *slot.Request;
  const TReplyHeader& h = q.Header();
  const int s = h.Status;
  const bool update = q.bUpdate;
  if ((s == 301 || s == 302) && !h.Location.empty()) {
    Redirect(slot, s, h.Location);
    return false;
  }
  bool keep = true;
  const bool accepted = s == 0 || s == 200 || s == 301 || s == 302 || (s == 304 && update);
  if (!accepted) {
    // A status that is neither kept nor an error of the request (1xx, 201,
    // 3xx, a 401 not answered): the record ends in error with it.
    if (update)
      KeepOldCopy(slot);
    else {
      EndInError(slot, s);
      Finish(slot);
    }
    return false;
  }
  if (s == 304) {
    keep = false;
  } else if (update && !h.Conditional && q.IfModifiedSince > 0 && h.LastModified > 0) {
    keep = std::fabs(q.IfModifiedSince - h.LastModified) > kSameDate;
  }
  if (update && !keep) {
    if (r.GetState() == fsToUpdate) r.SetState(fsRetrieved);
    r.SetRetryCount(0);
    MarkGone(r, false);
    Web.RescanUnchangedPage(r);
    Finish(slot);
    return false;
  }
  if (h.LastModified > 0) r.SetFileDate(h.LastModified);
  SetContentType(r, h.ContentType, q.Url.GetExtension());
  if (!update) {
    const TWebFileState verdict =
        r.IsStartUrl() ? fsNotFiltered : Web.CheckHeader(r, h.ContentLength, q.Url);
    if (verdict != fsNotFiltered) {
      r.SetState(verdict);
      ++Web.FilteredCount;
      ++Filtered;
      Finish(slot);
      return false;
    }
  }
  // Disk guard, whatever the size of the disk. It keeps the room the
  // capture file needs to be saved: a body that fills the disk would lose
  // every record of the run with the save.
  if (LacksRoom(h.ContentLength)) {
    // Not the address's fault: the record goes back to its queue (an update
    // keeps its copy), for the run that has room.
    Stopped = true;
    DiskFull = true;
    PutBack(slot);
    host_.AddWebFileToLists(r);
    return false;
  }
  const std::string old = r.GetLocalPath();
  if (update && FileExists(old)) {
    // The new body goes beside the old copy, which it replaces only once whole.
    slot.OldPath = old;
    q.Filename = old + kNewCopySuffix;
  } else {
    r.FullUrl = q.Url.GetFullUrl();
    if (!r.BuildLocalName(&q.Filename)) {
      if (FolderRefusesWrites(slot)) return false;
      r.SetError(heFail);
      ++Errors;
      Finish(slot);
      return false;
    }
  }
  const int category = GetMimeItem(r)->Category;
  q.KeepBody = category == mcHtml || category == mcImage;
  host_.SetConnectionSize(Row(slot), h.ContentLength);
  r.SaveChanges();
  return true;
}

void TCapture::RequestContent(Slot& slot) {
  if (!slot.Busy || slot.Settled) return;
  TWebFile& r = *slot.Record;
  TCaptureRequest& q = *slot.Request;
  const int row = Row(slot);
  host_.SetConnectionProgress(row, 0);
  host_.SetConnectionState(row, q.State());
  const bool update = q.bUpdate;
  if (!slot.OldPath.empty()) {
    std::error_code ec;
    const int64_t oldSize = FileSize(slot.OldPath);
    fs::rename(q.Filename, slot.OldPath, ec);
    if (ec) {
      KeepOldCopy(slot);
      return;
    }
    Web.TotalSize = std::max<int64_t>(0, Web.TotalSize - oldSize);
  }
  uint64_t fileSize = 0;
  const std::string path = r.GetExistingPath(&fileSize);
  const auto size = int64_t(fileSize);
  const TMimeItem* item = GetMimeItem(r);
  TWebFileState verdict = fsNotFiltered;
  if (!update) {
    const TOptions& o = Web.Options;
    if (!item->IsEnabled()) verdict = fsFilteredMime;
    if (o.MinFileSize > 0 && int64_t(o.MinFileSize) * 1024 > size) verdict = fsFilteredSize;
    if (o.MaxFileSize > 0 && int64_t(o.MaxFileSize) * 1024 < size) verdict = fsFilteredSize;
  }
  const bool keep = verdict == fsNotFiltered || r.IsStartUrl();
  // The body as received, when it is whole and the file holds just that.
  const bool inMemory = q.KeepBody && !path.empty() && !q.Body.empty() && q.Body.size() == fileSize;
  QByteArray body = inMemory ? QByteArray::fromRawData(q.Body.data(), qsizetype(q.Body.size())) : QByteArray();
  QBuffer bodyStream(&body);
  if (inMemory) bodyStream.open(QIODevice::ReadOnly);
  if (keep) {
    // Only a kept file drives the crawl.
    const std::string url = q.Url.GetFullUrl();
    if (item->Category == mcHtml) {
      if (inMemory)
        Web.ScanPageLinks(r, url, FollowLink, bodyStream);
      else
        Web.ScanPageLinks(r, url, FollowLink);
    }
    if (Web.Options.DownloadVrmlFlag && SameTextAscii(item->ContentType, "x-world/x-vrml"))
      Web.ScanVrmlLinks(r, url, FollowLink);
    if (Web.Options.DownLoadAppletJavaFlag && r.IsJavaClass()) Web.ScanJavaLinks(r);
    QSize dimensions;
    if (item->Category == mcImage && (inMemory ? bodyStream.seek(0) && GetImageSize(bodyStream, dimensions)
                                               : GetImageSize(QString::fromStdString(path), dimensions))) {
      r.SetWidth(uint16_t(std::clamp(dimensions.width(), 0, 0xFFFF)));
      r.SetHeight(uint16_t(std::clamp(dimensions.height(), 0, 0xFFFF)));
    }
  }
  if (setup_.NoWriteDisk) RemoveFile(path);  // still counted below
  bool autosave = false;
  if (!keep) {
    RemoveFile(path);
    r.SetState(verdict);
    ++Web.FilteredCount;
    ++Filtered;
  } else {
    Web.TotalSize += size;
    r.SetState(fsRetrieved);
    r.SetRetryCount(0);
    MarkGone(r, false);
    if (!update) {
      ++Web.RetrievedCount;
      ++Retrieved;
      autosave = ++AutoSaveCounter >= setup_.AutoSaveCount;
    }
  }
  Finish(slot);
  // After Finish, which stores the record and arms the timed save: this
  // save makes that one unneeded.
  if (autosave) SaveWeb();
  CheckLimits();
}

void TCapture::CheckLimits() {
  const TOptions& o = Web.Options;
  if ((o.MaxDiskSize > 0 && Web.TotalSize > (int64_t(o.MaxDiskSize) << 20)) ||
      (o.MaxFileCount > 0 && int64_t(Web.RetrievedCount) >= o.MaxFileCount))
    Abort();
}

void TCapture::WebFileChanged(TWebFile& record) {
  if (record.GetState() != fsRetrieved) return;
  const int category = GetMimeItem(record)->Category;
  if (category < 0 || category >= kMimeCategoryCount || (kindsShown_ & (1u << category))) return;
  kindsShown_ = uint16_t(kindsShown_ | 1u << category);
  Web.MimeCategorySet = uint16_t(Web.MimeCategorySet | 1u << category);
  host_.RefreshWebTree();
}

// ---------------------------------------------------------------- end of run

void TCapture::FillCaptureInfo(TCaptureInfo& info) const {
  info.LastDate = QDateTimeToDateTime(QDateTime::currentDateTime());
  const int64_t counters[5] = {int64_t(KBytesReceived), Retrieved, Filtered, NotFound, Errors};
  for (int i = 0; i < 5; ++i) info.Counters[i] = Saturated(counters[i]);
}

void TCapture::SaveRunInfo() {
  if (Web.RetrievedCount != 0) FillCaptureInfo(Web.Info);
  if (programMime_.Merge(Web.Options.MimeList()) > 0 && !setup_.WorkPath.empty())
    programMime_.SaveToFile(setup_.MimeFile());
}

}  // namespace qlon
