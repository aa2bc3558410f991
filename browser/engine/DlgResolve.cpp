#include "DlgResolve.h"

#include "HtmlParser.h"
#include "ImgMap.h"
#include "LinkTargets.h"
#include "Mime.h"
#include "PageIndex.h"
#include "PageRewrite.h"
#include "ReplaceBatch.h"
#include "Web.h"

namespace qlon {

namespace {

// The site as the label shows it: no scheme, no final "/".
std::string SiteLabel(std::string root) {
  if (!root.empty()) root.pop_back();
  const size_t slashes = root.find("//");
  return slashes == std::string::npos ? root : root.substr(slashes + 2);
}

}  // namespace

TDlgResolve::TDlgResolve(TWeb& web, TResolveHost& host, const TSommaireParam& param, std::filesystem::path templates)
    : web_(web), host_(host), param_(param), templates_(std::move(templates)) {}

TDlgResolve::~TDlgResolve() = default;

int TDlgResolve::Run() {
  cancelled_ = false;
  TotalSize = 0;
  host_.ShowState("Recherche...");
  host_.SetGauge(web_.RetrievedCount);
  summary_ = std::make_unique<TSommaireIndex>(web_, param_, templates_);
  batch_ = std::make_unique<TReplaceBatch>(web_.GetFolder());
  summary_->Shared.Batch = batch_.get();
  targets_ = std::make_unique<TLinkTargets>(web_);
  web_.ForEach([this](TWebFile& r) {
    if (!r.IsRedirect() && summary_->Classify(r) == TIndexKind::Html) ++summary_->Shared.HtmlPageCount;
    return true;
  });

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
  summary_.reset();
  batch_.reset();
  targets_.reset();
  Result = cancelled_ ? rrCancelled : rrFinished;
  return Result;
}

void TDlgResolve::CountRecord(const TWebFile& r, TSiteCounts& c) {
  ++c.Records;
  if (r.IsRetrieved()) {
    TotalSize += r.GetFileSize();
    if (r.GetMimeIndex() != 0) {
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

void TDlgResolve::RewriteRecord(TWebFile& r) {
  if (!r.IsRetrieved()) return;
  const bool page = r.IsHtmlPage(), world = !page && web_.Options.DownloadVrmlFlag && IsVrml(r);
  if (!page && !world) return;
  const std::string path = r.GetExistingPath();
  if (path.empty()) return;
  if (page) {
    host_.ShowFile(r.GetLocalName());
    if (r.HasIsMap()) CollectPageMaps(r.FullUrl, path, web_, web_.Maps);
    const TRewriteOptions options = TRewriteOptions::FromOptions(web_.Options);
    if (ForceRewrite || !r.IsFrameSet() || r.GetRewriteMark() != options.Mark()) {
      // The total counts the files as they are left.
      int64_t growth = 0;
      if (RewritePage(web_, r, options, *batch_, &growth, targets_.get())) TotalSize += uint64_t(growth);
    }
    host_.StepGauge();
  } else {
    RewriteVrml(web_, r, *batch_, targets_.get());
  }
}

void TDlgResolve::CommitPages() {
  if (!batch_->Commit()) throw EWriteError("Impossible d'écrire les pages dans " + web_.GetFolder());
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
  web_.ForEachInSite(site, [&](TWebFile& r) {
    if (cancelled_) return false;
    if (!r.IsRedirect()) RewriteRecord(r);
    host_.ProcessMessages();
    return true;
  });
  // The indexes show the pages as rewritten (this also replaces the index
  // pages of the site before).
  CommitPages();
  web_.ForEachInSite(site, [&](TWebFile& r) {
    if (cancelled_) return false;
    if (!r.IsRedirect()) summary_->Add(r);
    return true;
  });
  summary_->FinishSite();
}

}  // namespace qlon
