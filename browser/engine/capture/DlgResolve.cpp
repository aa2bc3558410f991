#include "DlgResolve.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include "HtmlParser.h"
#include "ImgMap.h"
#include "LinkTargets.h"
#include "Mime.h"
#include "PageIndex.h"
#include "PageRewrite.h"
#include "ReplaceBatch.h"
#include "RewritePool.h"
#include "Texts.h"
#include "Urlutil.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

namespace {

// The site as the label shows it: no scheme, no final "/".
std::string SiteLabel(std::string root) {
  if (!root.empty()) root.pop_back();
  const size_t slashes = root.find("//");
  return slashes == std::string::npos ? root : root.substr(slashes + 2);
}

// The room left on the capture's disk; unknown, as good as endless.
uint64_t FreeRoom(const std::string& folder) {
  uint32_t high = 0, low = 0;
  if (!GetDiskFree(folder, high, low)) return UINT64_MAX;
  return (uint64_t(high) << 32) | low;
}

// What a batch may hold before it is replaced, and the workers may stage
// ahead: a quarter of the room left beyond what is kept.
uint64_t BatchRoom(const std::string& folder, uint64_t kept) {
  const uint64_t free = FreeRoom(folder);
  return (free - std::min(free, kept)) / 4;
}

// Room kept for the save of the capture file (which journals what it
// overwrites) and for the index pages, which list every record.
constexpr uint64_t kSaveReserve = uint64_t(256) << 10;
constexpr uint64_t kIndexBytesPerRecord = 256;
// Room beyond the reserve at which a page's statvfs may be skipped.
constexpr uint64_t kFarFromReserve = uint64_t(64) << 20;

}  // namespace

TDlgResolve::TDlgResolve(TWeb& web, IResolveHost& host, const TSommaireParam& param, std::filesystem::path templates)
    : web_(web), host_(host), param_(param), templates_(std::move(templates)) {}

TDlgResolve::~TDlgResolve() = default;

int TDlgResolve::Run() {
  cancelled_ = false;
  TotalSize = 0;
  notRewritten_ = {};
  reserve_ = uint64_t(std::max<int64_t>(web_.StoredSize(), 0)) + kSaveReserve +
             kIndexBytesPerRecord * web_.GetCount();
  roomLimit_ = BatchRoom(web_.GetFolder(), reserve_);
  host_.ShowState("Recherche...");
  host_.SetGauge(web_.RetrievedCount);
  summary_ = std::make_unique<TSommaireIndex>(web_, param_, templates_);
  batch_ = std::make_unique<TReplaceBatch>(web_.GetFolder());
  summary_->Shared.Batch = batch_.get();
  summary_->Shared.Facts = &facts_;
  targets_ = std::make_unique<TLinkTargets>(web_);
  options_ = TRewriteOptions::FromOptions(web_.Options);
  options_.DateText = DateTimeText(web_.CaptureDate);
  const int threads = Threads > 0 ? Threads : int(std::max(1u, std::thread::hardware_concurrency()));
  // The names known now go into the capture's host list at once, so that a
  // numeric host reads the same on every thread for the whole walk.
  RefreshHostAddressList();
  web_.ForEach([&](TWebFile& r) {
    if (!r.IsRedirect() && summary_->Classify(r) == TIndexKind::Html) ++summary_->Shared.HtmlPageCount;
    return true;
  });
  if (threads > 1) {
    pool_ = std::make_unique<TRewritePool>(web_, *targets_, *batch_, options_, threads);
    batch_->Dispose = [pool = pool_.get()](std::vector<std::filesystem::path> old) { pool->Remove(std::move(old)); };
    batch_->Background = [pool = pool_.get()](std::function<void(int)> write) { pool->Post(std::move(write)); };
    pool_->LimitAhead(roomLimit_);
  }

  if (web_.FindFirstSite()) {
    do {
      TWebFile site(&web_);
      site.Assign(web_.Cursor());
      site.FullUrl = web_.Cursor().FullUrl;
      ResolveSite(site);
      if (cancelled_ || !web_.LocateRecord(site, TSearchMode::Normal)) break;
    } while (web_.FindNextSite());
  }

  if (!cancelled_) web_.TotalSize = int32_t(std::min<uint64_t>(TotalSize, INT32_MAX));
  summary_->Close();
  CommitPages();
  pool_.reset();  // once it has removed the old files
  summary_.reset();
  batch_.reset();
  targets_.reset();
  Result = cancelled_ ? rrCancelled : rrFinished;
  return Result;
}

void TDlgResolve::CountRecord(const TWebFile& r, TSiteCounts& c) {
  ++c.Records;
  if (r.IsRetrieved() && r.GetMimeIndex() != 0) {
    ++c.Retrieved;
    if (c.FirstUrl.empty()) {
      c.FirstUrl = r.FullUrl;
      c.FirstFile = r.GetLocalName();
    }
    if (GetMimeItem(r)->Category == mcHtml && r.IsHtmlPage()) {
      ++c.Pages;
      if (c.FirstHtmlFile.empty()) c.FirstHtmlFile = r.GetLocalName();
    }
  }
  switch (summary_->Classify(r)) {
    case TIndexKind::Image: ++c.ListedImages; ++c.Images; break;
    case TIndexKind::ImageUnlisted: ++c.Images; break;
    case TIndexKind::Html: ++c.Html; break;
    case TIndexKind::Other: ++c.Others; break;
    case TIndexKind::Error: ++c.Errors; break;
    case TIndexKind::Filtered: ++c.Filtered; break;
    case TIndexKind::None: break;
  }
}

void TDlgResolve::NoteRecord(const TWebFile& r, TPart& part) {
  TListed listed;
  listed.Record.assign(reinterpret_cast<const char*>(r.Record()), r.Length());
  listed.Url = r.FullUrl;
  if (r.IsRetrieved()) {
    uint64_t size = 0;
    const std::string path = r.GetExistingPath(&size);
    TotalSize += size;
    facts_[r.FullUrl] = {path, size, false, {}};
    // The tree's answer for the record's URL, before its page's links ask.
    targets_->Note(r.FullUrl, path);
    listed.Noted = NoteRewrite(r, path, size, part.Items);
  } else {
    targets_->Note(r.FullUrl, {});
  }
  part.Listed.push_back(std::move(listed));
}

// A retrieved page whose file exists is rewritten when that is due (forced,
// not a frame set, or written under other options); a VRML world when the
// capture takes them.
bool TDlgResolve::NoteRewrite(const TWebFile& r, const std::string& path, uint64_t size,
                              std::vector<TRewriteItem>& items) {
  const bool page = r.IsHtmlPage(), world = !page && web_.Options.DownloadVrmlFlag && IsVrml(r);
  if ((!page && !world) || path.empty()) return false;
  TRewriteItem item;
  item.Record.assign(reinterpret_cast<const char*>(r.Record()), r.Length());
  item.Url = r.FullUrl;
  item.Path = path;
  item.World = world;
  item.Due = world || ForceRewrite || !r.IsFrameSet() || r.GetRewriteMark() != options_.Mark();
  // A page with a server-side image map is staged here: its map is read
  // on this thread (the workers would hand it back).
  item.Pooled = item.Due && pool_ && !r.HasIsMap();
  if (item.Pooled) item.Job = pool_->Add({r.FullUrl, r.GetLocalName(), path, world, size});
  items.push_back(std::move(item));
  return true;
}

void TDlgResolve::Rewrite(TRewriteItem& item) {
  TWebFile r(&web_);
  r.LoadRecord(reinterpret_cast<const uint8_t*>(item.Record.data()), item.Record.size());
  r.FullUrl = item.Url;
  if (!item.World) {
    host_.ShowFile(r.GetLocalName());
    if (r.HasIsMap()) CollectPageMaps(r.FullUrl, item.Path, web_, web_.Maps);
  }
  if (item.Due) {
    TStagedRewrite staged;
    if (item.Pooled) {
      TRewritePool::TOutcome outcome = pool_->Take(item.Job, [this] { host_.ProcessMessages(); });
      NoteHostAddresses(outcome.Addresses);
      staged = std::move(outcome.Staged);
    }
    if (!item.Pooled || staged.NeedsOwner)
      staged = StageRewrite(web_, r, item.Path, item.World, options_, *batch_, targets_.get());
    // No room for the new copy: the pages staged before it make some.
    if (staged.StagingFailed()) {
      MakeRoom();
      staged = StageRewrite(web_, r, item.Path, item.World, options_, *batch_, targets_.get());
    }
    KeepRoom(staged);
    // The indexes and the total count the files as they are left, the same
    // whether a run stopped before had already rewritten them or not.
    if (ApplyRewrite(web_, r, item.Path, item.World, options_, *batch_, staged)) {
      TFileFact& fact = facts_[item.Url];
      fact.Size += uint64_t(staged.Growth);
      TotalSize += uint64_t(staged.Growth);
      if (!item.World) {
        fact.HasTitle = true;
        fact.RawTitle = std::move(staged.RawTitle);
      }
    } else if (notRewritten_.Count++ == 0) {
      notRewritten_.First = r.GetLocalName();
      notRewritten_.Error = staged.Error;
    }
    if (batch_->StagedBytes() >= roomLimit_) MakeRoom();
  }
  if (!item.World) host_.StepGauge();
}

void TDlgResolve::CommitPages() {
  if (!batch_->Commit()) throw EWriteError("Impossible d'écrire les pages dans " + web_.GetFolder());
}

void TDlgResolve::MakeRoom() {
  // The batch's other files are written first, here rather than waiting
  // for a worker to be free of pages.
  if (pool_) pool_->Settle();
  CommitPages();
  if (pool_) pool_->Settle();
  roomLimit_ = BatchRoom(web_.GetFolder(), reserve_);
  if (pool_) pool_->LimitAhead(roomLimit_);
}

void TDlgResolve::KeepRoom(TStagedRewrite& staged) {
  if (staged.Staged.empty()) return;
  // Once the batch has replaced it, the page's old copy is gone.
  const uint64_t old = uint64_t(std::max<int64_t>(int64_t(staged.Size) - staged.Growth, 0));
  const uint64_t need = reserve_ - std::min(old, reserve_);
  // Far from the reserve, the room measured within the last second less
  // what was staged since stands for a statvfs of every page.
  const auto now = std::chrono::steady_clock::now();
  stagedSinceSeen_ += staged.Size;
  if (now - freeSeenAt_ < std::chrono::seconds(1) && freeSeen_ >= stagedSinceSeen_ &&
      freeSeen_ - stagedSinceSeen_ >= need + kFarFromReserve)
    return;
  auto fits = [&] {
    freeSeen_ = FreeRoom(web_.GetFolder());
    freeSeenAt_ = std::chrono::steady_clock::now();
    stagedSinceSeen_ = 0;
    return freeSeen_ >= need;
  };
  if (fits()) return;
  MakeRoom();
  if (fits()) return;
  // The pages the workers staged ahead come after this one: they give up
  // their room first.
  if (pool_) pool_->Unstage();
  if (fits()) return;
  std::error_code ec;
  std::filesystem::remove(staged.Staged, ec);
  staged.Staged.clear();
  staged.Error = ENOSPC;
}

std::string TDlgResolve::NotRewrittenText() const {
  const TNotRewritten& n = notRewritten_;
  if (n.Count == 0) return {};
  const bool one = n.Count == 1;
  std::string text = one ? "Une page n'a pas pu être réécrite pour la lecture hors ligne dans " + web_.GetFolder() +
                               " (" + n.First + ")"
                         : std::to_string(n.Count) + " pages n'ont pas pu être réécrites pour la lecture hors ligne dans " +
                               web_.GetFolder() + " (la première : " + n.First + ")";
  if (n.Error != 0) text += " : " + SystemErrorText(n.Error);
  return text + (one ? ". Elle garde ses liens vers le serveur ; la prochaine résolution des liens la reprendra."
                     : ". Elles gardent leurs liens vers le serveur ; la prochaine résolution des liens les reprendra.");
}

void TDlgResolve::ResolveSite(const TWebFile& site) {
  TSiteCounts counts;
  host_.ShowState(SiteLabel(site.FullUrl));
  web_.ForEachInSite(site, [&](TWebFile& r) {
    if (cancelled_) return false;
    if (!r.IsRedirect()) CountRecord(r, counts);
    host_.ProcessMessages();
    return true;
  });
  if (cancelled_ || counts.Records == 0 || counts.Retrieved == 0) return;

  host_.SetGauge(counts.Pages);
  summary_->AddSite(site.FullUrl, counts.FirstUrl, true, counts.Others, counts.ListedImages, counts.Errors,
                    counts.Images, counts.Html, counts.Records,
                    counts.FirstHtmlFile.empty() ? counts.FirstFile : counts.FirstHtmlFile, counts.Filtered);
  TPart part;
  web_.ForEachInSite(site, [&](TWebFile& r) {
    if (cancelled_) return false;
    if (r.IsRedirect()) return true;
    // A full part is done before this record joins the next one, so the
    // record at hand is never one the part changes.
    if (part.Items.size() >= std::max<std::size_t>(PartPages, 1) || part.Listed.size() >= std::max<std::size_t>(PartRecords, 1))
      ResolvePart(part);
    NoteRecord(r, part);
    // The workers on the part's first pages wait for their answers.
    targets_->Serve();
    return !cancelled_;
  });
  ResolvePart(part);
  summary_->FinishSite();
}

void TDlgResolve::ResolvePart(TPart& part) {
  for (TRewriteItem& item : part.Items) {
    if (cancelled_) break;
    Rewrite(item);
    host_.ProcessMessages();
  }
  // After a cancel, what the workers did beyond the last page applied goes.
  if (pool_) pool_->Drop();
  // The part's pages are replaced before its records go to the indexes
  // (this also replaces the index pages staged before).
  CommitPages();
  for (const TListed& listed : part.Listed) {
    if (cancelled_) break;
    TWebFile r(&web_);
    // A page rewritten has its record changed since.
    if (!listed.Noted || !web_.FindRecord(listed.Url, r)) {
      r.LoadRecord(reinterpret_cast<const uint8_t*>(listed.Record.data()), listed.Record.size());
      r.FullUrl = listed.Url;
    }
    summary_->Add(r);
    targets_->Serve();
  }
  part.Items.clear();
  part.Listed.clear();
  facts_.clear();
}

}  // namespace qlon
