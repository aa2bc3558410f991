#pragma once
// Link resolution: the walk over every site of a capture that rewrites the
// saved pages for offline reading, collects their server-side image maps
// and fills the index pages, and sets the capture's total size.
//
// Per site (in tree order):
//   1. count pass: every record but redirects is counted by the index that
//      will list it (TSommaireIndex::Classify), so the page counts the
//      summary links to are the pages written;
//   2. when the site has a record and a retrieved file: the site goes into
//      the summary, then the rewrite pass takes the records in parts of at
//      most PartPages pages and PartRecords records: retrieved files add
//      their size to the total, each retrieved page whose rewrite is due
//      (forced, not a frame set, or written under other options) is
//      rewritten, then the part's records are offered to the indexes;
//   3. the site's last index pages are written.
// The summary page is written at the end, also after a cancel; the total
// size is set only when the walk finished. A part's rewritten pages are
// replaced together (TReplaceBatch) before its records go to the indexes,
// the index pages with the next part's pages or at the end: a crash leaves
// each page old or new, never torn, with one wait for the disk per part.
// What the walk holds is a part's, so that it is the same for a site of
// any size.
// The room the save of the capture file and the index pages need stays
// free; a disk short of room beyond that cuts a part's batch into several:
// the pages staged are replaced once they take a quarter of the room left
// (and the workers stage no more than that ahead of the walk), and when a
// page finds no room for its new copy, the pages staged before it are
// replaced (their old copies go) and it is staged again. A page that finds
// no room, or would take the room kept, keeps its links as they were,
// stays due for the next resolution, and is counted (NotRewritten).
//
// The rewrite pass notes a part's pages (and VRML worlds); with worker
// threads (TRewritePool) they are read, rewritten and staged in parallel
// from that moment, and the pass applies them in the walk's order on this
// thread: the records, the map list, the host list, the progress and the
// batch see what one thread would have done, so the files are the same byte
// for byte whatever the number of threads. The link targets are looked up
// in the tree on this thread (TLinkTargets), which answers the workers while
// it waits for them.
//
// The progress window is a host interface: the shell's dialog shows it,
// tests record it. ProcessMessages runs between records (and while a
// page's worker is not done), so a Cancel of the host (calling
// TDlgResolve::Cancel) stops the walk after the current record.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PageIndex.h"
#include "PageRewrite.h"
#include "Setup.h"

namespace qlon {

class TWeb;
class TWebFile;
class TLinkTargets;
class TReplaceBatch;
class TRewritePool;

class IResolveHost {
 public:
  virtual ~IResolveHost() = default;
  virtual void ShowState(const std::string& text) = 0;  // the site, or "Recherche..."
  virtual void ShowFile(const std::string& name) = 0;   // the page being rewritten
  virtual void SetGauge(int maximum) = 0;               // from 0 to maximum, at 0
  virtual void StepGauge() = 0;
  virtual void ProcessMessages() = 0;
};

enum TResolveResult : int { rrNone = 0, rrFinished = 1, rrCancelled = 2 };

class TDlgResolve {
 public:
  // The templates come from the program's "Index" folder unless given.
  TDlgResolve(TWeb& web, IResolveHost& host, const TSommaireParam& param, std::filesystem::path templates = {});
  ~TDlgResolve();

  // The walk (the form's activation); rrFinished or rrCancelled. Throws
  // EReadError for a missing template, EWriteError when an index page
  // cannot be written.
  int Run();
  // Button1Click.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

  // Pages (and VRML worlds) left as they were because their rewrite could
  // not be read or written, the first one's local name and the system's
  // reason for it.
  struct TNotRewritten {
    int Count = 0;
    std::string First;
    int Error = 0;
  };
  const TNotRewritten& NotRewritten() const { return notRewritten_; }
  // The message that tells them; empty when there are none.
  std::string NotRewrittenText() const;

  bool ForceRewrite = false;
  // Threads that rewrite pages: 0 as many as the processors; 1 none, the
  // pages are rewritten on this thread one after the other.
  int Threads = 0;
  // What one part of a site's rewrite pass takes at most.
  std::size_t PartPages = 1024, PartRecords = 4096;
  int Result = rrNone;
  uint64_t TotalSize = 0;

 private:
  struct TSiteCounts {
    int Records = 0, Retrieved = 0, Pages = 0, Html = 0, ListedImages = 0, Images = 0, Errors = 0, Others = 0;
    int Filtered = 0;
    std::string FirstUrl, FirstFile, FirstHtmlFile;
  };
  // A page or world of the rewrite pass, as the count pass found it.
  struct TRewriteItem {
    std::string Record;  // the stored record
    std::string Url, Path;
    bool World = false;
    bool Due = false;  // to be rewritten (a frame set is only when the options changed)
    bool Pooled = false;  // staged by a worker, as job Job
    std::size_t Job = 0;
  };
  // The records of a site taken in parts, each rewritten, replaced and
  // listed before the next (memory and staging room bounded by the part).
  struct TListed {
    std::string Record, Url;
    bool Noted = false;  // a page or world of the part's items
  };
  struct TPart {
    std::vector<TRewriteItem> Items;
    std::vector<TListed> Listed;
  };
  void ResolveSite(const TWebFile& site);
  void CountRecord(const TWebFile& record, TSiteCounts& counts);
  void NoteRecord(const TWebFile& record, TPart& part);
  bool NoteRewrite(const TWebFile& record, const std::string& path, uint64_t size, std::vector<TRewriteItem>& items);
  void ResolvePart(TPart& part);
  void Rewrite(TRewriteItem& item);
  void CommitPages();
  // Replaces the pages staged and waits for their old copies to go.
  void MakeRoom();
  // Gives up the page's staged copy when the page would take the room
  // kept for the save and the index pages.
  void KeepRoom(TStagedRewrite& staged);

  TWeb& web_;
  IResolveHost& host_;
  TSommaireParam param_;
  std::filesystem::path templates_;
  TRewriteOptions options_;
  // For the length of Run; the pool, which uses the others, goes first.
  std::unique_ptr<TSommaireIndex> summary_;
  std::unique_ptr<TReplaceBatch> batch_;
  std::unique_ptr<TLinkTargets> targets_;
  std::unique_ptr<TRewritePool> pool_;
  TFileFacts facts_;  // of the part's records, for its indexes
  uint64_t roomLimit_ = 0;  // bytes staged before the batch is replaced
  uint64_t reserve_ = 0;    // bytes left free for the save and the index pages
  // The room last measured, when, and the bytes staged since (see KeepRoom).
  uint64_t freeSeen_ = 0;
  uint64_t stagedSinceSeen_ = 0;
  std::chrono::steady_clock::time_point freeSeenAt_{};
  TNotRewritten notRewritten_;
  bool cancelled_ = false;
};

}  // namespace qlon
