#pragma once
// TCapture: one capture run. It takes the records waiting in the two queues
// of a capture (TWeb), hands each to an idle request of its pool, judges the
// reply header, saves the body under the record's local name, scans kept
// pages for further links and files each with a state code.
//
// Driving: everything runs on the GUI thread. The caller loops
//     while (capture.Step()) TCapture::WaitForEvents(100);
// Step starts requests for queued records and returns false once nothing
// is queued for the enabled queues (or the run stopped) and no request is
// busy; the requests advance between steps through their socket events.
// Stop and Abort may come from any event handler, inside a step too, so
// every handler re-reads the queues and the Stopped flag.
//
// Invariants the run keeps:
//   - a record taken from a queue (state 1, requesting, or a record queued
//     for update) always ends with an outcome: kept (2), filtered (9..21),
//     error (4), not found (5), redirect (2 with the redirect flag), back in
//     its queue for a retry, or, when the run is stopped, back to 0 (or 6
//     for an update) so that the next run takes it again. None stays in 1.
//   - an update never loses the copy it had: the new body is written beside
//     it and replaces it only once complete; an error keeps the old one.
//   - counters and sizes are 64-bit in memory.
//   - what the run changed reaches the capture file within SaveInterval:
//     the first change after a save arms a timer that saves, as well as
//     every AutoSaveCount files kept; the run's end saves too, before
//     anything else (link resolution) starts. A run killed at any moment
//     loses at most the last SaveInterval of records.
//
// The run reaches the main window only through ICaptureHost, and its
// requests only through TCaptureRequest, so that it runs with no window.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QTimer>

#include "Types.h"
#include "Urlutil.h"
#include "FilePool.h"
#include "WebFile.h"

namespace qlon {

class TMimeList;
class TSetup;
class TWeb;
struct TCaptureInfo;
class TCookiesBase;
class TTagLink;
class TWebFileList;

// Capture flags (the word the main window posts with the capture message).
inline constexpr uint16_t kCaptureMissing = 1;      // take the to-capture queue
inline constexpr uint16_t kCaptureUpdate = 2;       // take the to-update queue
inline constexpr uint16_t kCaptureScheduled = 4;
inline constexpr uint16_t kCaptureUpdateWalk = 8;   // begin an update walk from the first start page
inline constexpr uint16_t kCaptureNoResolve = 16;
inline constexpr uint16_t kCaptureReset = 64;
inline constexpr uint16_t kCaptureHangUp = 128;
inline constexpr uint16_t kCaptureClose = 0x100;

// What the run tells the main window. Rows of the connection list are the
// pool's slots, numbered from 0.
class ICaptureHost {
 public:
  virtual ~ICaptureHost() = default;
  virtual void UpdateCountLabels() = 0;
  virtual void AddWebFileToLists(const TWebFile& record) = 0;
  // The first start URL moved; true takes the new place as the start URL.
  // A scheduled run must be answered without a modal question.
  virtual bool ConfirmMovedStartUrl(const TWebFile& record, const std::string& location) = 0;
  virtual void RefreshWebTree() = 0;
  virtual void ShowElapsed(const std::string& text) = 0;
  virtual void SetConnectionWeb(int row, const std::string& text) = 0;
  virtual void SetConnectionUrl(int row, const std::string& text) = 0;
  virtual void SetConnectionState(int row, THTTP_STATE state) = 0;
  virtual void SetConnectionSize(int row, int64_t size) = 0;
  virtual void SetConnectionProgress(int row, int percent) = 0;
};

// The reply header fields the run reads.
struct TReplyHeader {
  int Status = 0;
  std::string ContentType;
  int64_t ContentLength = 0;  // 0 when unknown
  double LastModified = 0;    // 0 when absent
  std::string Location;
  // The request asked If-Modified-Since (HTTP): a 200 then says the body
  // changed, whatever its date.
  bool Conditional = false;
};

// What the run needs of a request of its pool (THttpRequest gives it; tests
// give scripted ones). The run sets the fields before Start and Filename in
// OnHeaderReceived; the request raises the events, in the order the request
// client documents: errors at once, then the header, the body, and sIdle
// last.
class TCaptureRequest {
 public:
  explicit TCaptureRequest(int id) : Id(id) {}
  virtual ~TCaptureRequest() = default;
  TCaptureRequest(const TCaptureRequest&) = delete;
  TCaptureRequest& operator=(const TCaptureRequest&) = delete;

  virtual bool Start() = 0;
  // Stops a busy request (a partial body file is deleted), without OnError.
  virtual void Abort() = 0;
  virtual THTTP_STATE State() const = 0;
  virtual TReceiveState RecState() const = 0;
  virtual const TReplyHeader& Header() const = 0;
  virtual bool HasContent() const = 0;
  // Idle, its connection not closed by the server yet (an FTP session
  // after its QUIT).
  virtual bool Closing() const { return false; }

  const int Id;
  TUrl Url;
  std::string Username, Password;
  double IfModifiedSince = 0;
  bool bUpdate = false;
  std::string Filename;
  // Set once the header is taken: the body is also kept here as it is
  // stored, up to kKeptBodyMax bytes (beyond, Body stays empty), so that
  // its links and image size are read without reading the file again.
  static constexpr size_t kKeptBodyMax = size_t(4) << 20;
  bool KeepBody = false;
  std::string Body;
  // Set with OnError when the body could not be stored (the disk is full or
  // gone): not the address's fault.
  bool WriteFailed = false;
  // Set with OnError: the server's reply line an FTP request failed on.
  std::string FailureReply;

  std::function<void(THTTP_ERROR, int status)> OnError;
  std::function<bool()> OnHeaderReceived;
  std::function<void()> OnContentReceived;
  std::function<void(int percent)> OnReceiveContent;
  std::function<void(int count)> OnReceiveData;
  std::function<void()> OnStateChange;
};

using TRequestFactory = std::function<std::unique_ptr<TCaptureRequest>(int id, TMimeList& mime)>;
// The pool's requests as the request client (THttpRequest) makes them, with
// the settings' proxies, time-out, agent and credentials.
TRequestFactory HttpRequestFactory(TSetup* setup);

class TCapture {
 public:
  static constexpr int kMaxPool = 16;  // rows of the connection list
  // Longest time a change of the run waits to be saved: a few seconds of
  // records at risk, for a save (three syncs) at most this often.
  static constexpr int kSaveInterval = 5000;  // ms

  // `programMime` is the program-wide table that the run's types are merged
  // into at the end (saved to "mime.def" of the work folder when it grew).
  TCapture(TWeb& web, TSetup& setup, ICaptureHost& host, TRequestFactory factory, TMimeList& programMime,
           TCookiesBase* cookies = nullptr);
  ~TCapture();
  TCapture(const TCapture&) = delete;
  TCapture& operator=(const TCapture&) = delete;

  void SetFlags(uint16_t flags);
  // When the file pool starts, before the first claim: never (< 0), after
  // the first claims' probe whatever it measured (0), or when making a
  // file took longer than `slowMicros` on average (100 by default). For
  // measuring what the pool gives.
  void SetFilePoolStart(double slowMicros);
  bool Step();
  // Stops starting requests and empties the to-capture queue; aborts every
  // busy request when `all`, else those not yet receiving a body.
  void Stop(bool all);
  // Stops at once: every busy request aborted, both queues emptied.
  void Abort();
  // The run's statistics into the capture's info (when anything was ever
  // retrieved), then the capture's MIME types into the program's table.
  void SaveRunInfo();
  // End of the last run := now; the five counters of this run.
  void FillCaptureInfo(TCaptureInfo& info) const;
  // Waits for events, at most `ms` milliseconds (the driver loop's pause);
  // false when the time ran out with nothing else handled.
  static bool WaitForEvents(int ms);

  // The follow test of the link passes.
  static bool FollowLink(const TTagLink& link, const TUrl& url);

  TWeb& Web;
  uint16_t Flags = 0;
  bool Stopped = false;
  // The disk-space guard stopped the run: the capture's disk is full. The
  // guard weighs each announced body at its header and, while any body
  // arrives, keeps the room DiskNeed(0) asks; a body that could not be
  // written stops the run too. The records it refused and those not taken
  // stay queued for the next run; the caller says why the run ended early.
  bool DiskFull = false;
  // The capture's folder refuses writes: why, in French, naming the folder.
  // The run stopped there; the record whose file could not be made and
  // those not taken stay queued, and no address is marked in error.
  std::string WriteFailure;
  int64_t StartTick = 0;
  int64_t Elapsed = 0;
  std::string ElapsedText;
  uint64_t BytesReceived = 0;
  uint64_t KBytesReceived = 0;
  int64_t Retrieved = 0, Filtered = 0, NotFound = 0, Errors = 0;
  int64_t AutoSaveCounter = 0;

  // Injectable for tests: the tick count (ms) and the free bytes of a folder.
  std::function<int64_t()> Tick;
  std::function<int64_t(const std::string& folder)> FreeSpace;
  // Pending events, run between the requests a step starts.
  std::function<void()> ProcessEvents;
  // The longest wait of a change for its save (ms); taken when the timer is armed.
  int SaveInterval = kSaveInterval;
  // Called after each save the run made of the capture file.
  std::function<void()> OnSaved;

  // The free bytes the disk guard asks of the capture's disk before a body
  // of that length (0 unknown): the body, 1 KiB, and the room the capture
  // file's next save needs.
  int64_t DiskNeed(int64_t contentLength) const;

  // The FTP servers of the run. One that refuses a connection (FTP "421
  // There are too many connections", another transient 4xx reply) while
  // other connections to it are open gets the URL back, not counted as a
  // try, and from then on at most as many connections as it held besides.
  // kRaiseAfter rounds of sessions without a refusal give it one more,
  // unless that number was refused as soon as it was tried. A refusal of
  // its only connection counts as a try, and the next waits kRefusalPause.
  // A server counts a session a little past its end: once one refused, a
  // new session to it waits for the goodbye of the last one and
  // kReleaseGrace after it.
  struct TFtpServer {
    std::string Site;      // "ftp://host:port", as its URLs begin
    std::string Reply;     // its last refusal, as it said it; empty: it never refused
    int Connections = 0;   // the most connections it is given at once
    int Ceiling = 0;       // the most it will be given again
    bool Probing = false;  // Connections was raised, no round has confirmed it yet
    int64_t Resume = 0;    // the tick before which no new connection goes to it
    int64_t Lost = 0;      // records that ended in error on its refusals
    int Sessions = 0;      // sessions ended since the last change of Connections
    std::deque<int64_t> Ends;  // the ticks its sessions ended at, within kReleaseGrace
  };
  static constexpr int kRefusalPause = 500;  // ms
  static constexpr int kReleaseGrace = 10;   // ms
  static constexpr int kRaiseAfter = 8;
  const std::vector<TFtpServer>& FtpServers() const { return servers_; }

  int PoolSize() const { return int(pool_.size()); }
  const TCaptureRequest& Request(int index) const { return *pool_.at(size_t(index))->Request; }
  void TimerTick();
  // Elapsed and ElapsedText from the clock, shown by the host.
  void ShowElapsed();

 private:
  struct Slot {
    std::unique_ptr<TCaptureRequest> Request;
    std::unique_ptr<TWebFile> Record;
    bool Busy = false;     // a record was handed to the request
    bool Settled = false;  // the record has its outcome
    std::string OldPath;   // an update's previous copy, kept until the new one is whole
    std::string Site;      // the scheme and authority of the record's URL
    bool Refused = false;  // the server refused its last connection
    int64_t Ended = 0;     // the tick its last session to an FTP server ended
    int64_t Unweighed = 0; // bytes received since the disk's room was last looked at
  };

  void AddSlot();
  void AdjustRequestPool();
  int MaxPool() const;
  int TryCount() const;
  bool Work() const;
  bool StartNext(Slot& slot);
  // The next record of a queue whose server may take a connection now.
  bool TakeNext(TWebFileList& queue, bool update, TWebFile& record);
  // The slot's request ended.
  void Release(Slot& slot);
  // Busy requests to the site; `held`: also the sessions the server may
  // still hold, those closing and those that ended within kReleaseGrace.
  int Connections(std::string_view site, bool held = false);
  TFtpServer* FtpServer(std::string_view site);
  // A refused connection of the slot's FTP server: true when the record
  // went back to its queue uncounted.
  bool Refused(Slot& slot);
  Slot* IdleSlot() const;  // a slot free to take a record, if any
  int Row(const Slot& slot) const { return slot.Request->Id - 1; }

  // Request events.
  void RequestError(Slot& slot, THTTP_ERROR error, int status);
  bool RequestHeader(Slot& slot);
  void RequestContent(Slot& slot);
  void RequestProgress(Slot& slot, int percent);
  void RequestStateChange(Slot& slot);
  void WebFileChanged(TWebFile& record);

  // Outcomes.
  void Finish(Slot& slot, bool retried = false);
  bool Retry(Slot& slot);
  void EndInError(Slot& slot, int status);
  void KeepOldCopy(Slot& slot, bool gone = false);
  void MarkGone(TWebFile& record, bool gone);
  void Redirect(Slot& slot, int status, const std::string& location);
  void PromoteStartUrl(const std::string& target);
  void DropOldFile(TWebFile& record);
  void PutBack(Slot& slot);
  // After a record's file could not be made or written: true (and the run
  // stopped, the record put back) when the capture's folder refuses writes.
  bool FolderRefusesWrites(Slot& slot);
  // The disk has no room for the body and the save: the run stops, the
  // record goes back to its queue and its partial body is deleted.
  void StopForDisk(Slot& slot);
  void CheckLimits();
  // Whether the disk lacks the room a body of that length needs.
  bool LacksRoom(int64_t contentLength);
  bool IsFirstStartUrl(const TWebFile& record) const;
  // Saves the capture file now; a failure is left to the next save.
  void SaveWeb();

  // The disk's last answer to the guard, with the bytes received and the
  // tick at the time.
  int64_t freeKnown_ = -1;
  uint64_t freeAtBytes_ = 0;
  int64_t freeTick_ = 0;
  TSetup& setup_;
  ICaptureHost& host_;
  TRequestFactory factory_;
  TMimeList& programMime_;
  std::vector<std::unique_ptr<Slot>> pool_;
  // The records' empty files, made ahead for the run (see TFilePool).
  std::unique_ptr<TFilePool> files_;
  QTimer timer_;
  QTimer saveTimer_;  // armed by the first change after a save
  QTimer wake_;       // a server's pause ends: the queue may move again
  uint16_t kindsShown_ = 0;  // MIME categories whose records this run has shown
  std::vector<TFtpServer> servers_;
  // A search of a queue that found nothing: its line count then and the
  // servers that were waiting (to update, to capture).
  struct TSearch {
    int Count = -1;
    std::vector<size_t> Waiting;
  };
  TSearch searched_[2];
};

}  // namespace qlon
