#include "UrlListUnit.h"

#include <algorithm>
#include <numeric>

#include "Mime.h"
#include "Web.h"
#include "WebFile.h"

namespace qlon {

TUrlSortKey SortKeyOfColumn(int columnId) {
  static constexpr TUrlSortKey keys[] = {skUrl,      skTitle, skDate,     skContentType, skFileName, skSize,
                                         skWidth,    skHeight, skState,   skMapName,     skMapPage};
  return columnId >= 0 && columnId < int(std::size(keys)) ? keys[columnId] : skNone;
}

bool IsTextSortKey(int key) { return key >= skTitle && key <= skMapName; }

bool BelongsToStyle(TWUrlListStyle style, const TWebFile& record, const TWeb& web) {
  const TWebFileState state = record.GetState();
  // A record gone from the server keeps its copy and is listed with the errors too.
  const bool error = state == fsError || state == fsNotFound || (record.IsRetrieved() && record.IsGone());
  const bool filtered = state > fsNotFiltered && state <= fsFilteredDomainMachine;
  switch (style) {
    case usErrors:
      return error;
    case usFiltered:
      return filtered;
    case usRequest:
      return state == fsRequesting || state == fsUpdating;
    case usMapList: {
      const std::string local = record.GetLocalName();
      return !local.empty() && web.Maps.IndexOfName(local) >= 0;
    }
    case usNone:
      return false;
    default:
      break;
  }
  if (error || filtered) return false;
  const int category = record.GetMimeNaming().Category;
  switch (style) {
    case usHtml:
      return category == mcHtml;
    case usImages:
      return category == mcImage;
    case usSound:
      return category == mcSon;
    case usVideo:
      return category == mcVideo;
    case usFile:
      return category != mcHtml && category != mcImage && category != mcSon && category != mcVideo;
    default:
      return false;
  }
}

uint64_t TUrlList::SizeKey(uint64_t bytes) { return bytes < 1024 ? bytes : kKiloBit | (bytes / 1024); }

uint32_t TUrlList::StateKey(const TWebFile& record) {
  if (record.GetState() != fsError) return record.GetState();
  return uint32_t(record.GetWidth()) << 5 | fsError;  // the code is the record's 16-bit error field
}

TUrlList::TUrlList() {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  collator_.setNumericMode(false);
}

TUrlList::~TUrlList() = default;

void TUrlList::SetWeb(TWeb* web) {
  if (web == web_) return;
  web_ = web;
  Clear();
}

void TUrlList::Clear() {
  rows_.clear();
  rows_.shrink_to_fit();
  textKeys_.clear();
  textColumn_ = 0;
  sizeKeysLoaded_ = false;
}

uint32_t TUrlList::key32Of(const TWebFile& record) const {
  switch (imageSizeMode_) {
    case 1:
      return uint32_t(record.GetWidth()) << 16 | record.GetHeight();
    case 2:
      return uint32_t(record.GetHeight()) << 16 | record.GetWidth();
    default:
      return record.GetDosDate();
  }
}

QString TUrlList::textOf(const TWebFile& record, int column) const {
  // Folded once here: the collation of some locales (C) ignores the case
  // setting of the collator.
  return textOfColumn(record, column).toCaseFolded();
}

QString TUrlList::textOfColumn(const TWebFile& record, int column) const {
  switch (column) {
    case skTitle:
      return QString::fromStdString(record.GetTitle());
    case skFileName:
      return QString::fromStdString(record.GetFileName());
    case skContentType:
      return record.Owner == web_ && web_ ? QString::fromStdString(GetContentType(record)) : QString();
    case skMapPage:
    case skMapName: {
      if (!web_) return {};
      const int m = web_->Maps.IndexOfName(record.GetLocalName());
      if (m < 0) return {};
      return QString::fromStdString(column == skMapPage ? web_->Maps[m].PageUrl : web_->Maps[m].MapFile);
    }
    default:
      return {};
  }
}

TUrlRow TUrlList::makeRow(const TWebFile& record) const {
  TUrlRow row;
  row.Url = record.FullUrl;
  row.Kind = record.GetMimeIndex();
  row.StateKey = StateKey(record);
  row.SizeKey = sizeKeysLoaded_ ? SizeKey(record.GetFileSize()) : kNoSize;
  row.Key32 = key32Of(record);
  return row;
}

int TUrlList::compare(const TUrlRow& a, const QString& ta, const TUrlRow& b, const QString& tb) const {
  auto three = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (sortColumn_) {
    case skUrl:
      return QString::fromStdString(a.Url).compare(QString::fromStdString(b.Url), Qt::CaseInsensitive);
    case skSize:
      return three(a.SizeKey, b.SizeKey);
    case skState:
      return three(a.StateKey, b.StateKey);
    case skKind:
      return three(a.Kind, b.Kind);
    case skWidth:
    case skDate:
    case skHeight:
      return three(a.Key32, b.Key32);
    default:
      return IsTextSortKey(sortColumn_) ? collator_.compare(ta, tb) : 0;
  }
}

bool TUrlList::before(const TUrlRow& a, const QString& ta, const TUrlRow& b, const QString& tb) const {
  const int c = compare(a, ta, b, tb);
  return sortOrder_ == soDescending ? c > 0 : c < 0;
}

int TUrlList::placeFor(const TUrlRow& row, const QString& text) const {
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (before(row, text, rows_[size_t(mid)], TextKey(mid)))
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

void TUrlList::insertAt(int at, TUrlRow row, QString text) {
  rows_.insert(rows_.begin() + at, std::move(row));
  if (textColumn_) textKeys_.insert(textKeys_.begin() + at, std::move(text));
}

int TUrlList::Add(const TWebFile& record) {
  TUrlRow row = makeRow(record);
  QString text = textColumn_ ? textOf(record, textColumn_) : QString();
  const int at = sortOrder_ != soNone && sortColumn_ != skNone ? placeFor(row, text) : Count();
  insertAt(at, std::move(row), std::move(text));
  return at;
}

int TUrlList::Update(const TWebFile& record) {
  const int i = Find(record.FullUrl);
  if (i < 0) return -1;
  const uint8_t flags = rows_[size_t(i)].Flags;
  rows_.erase(rows_.begin() + i);
  if (textColumn_) textKeys_.erase(textKeys_.begin() + i);
  TUrlRow row = makeRow(record);
  row.Flags = flags;
  QString text = textColumn_ ? textOf(record, textColumn_) : QString();
  const int at = sortOrder_ != soNone && sortColumn_ != skNone ? placeFor(row, text) : i;
  insertAt(at, std::move(row), std::move(text));
  return at;
}

void TUrlList::Delete(int row) {
  if (row < 0 || row >= Count()) return;
  rows_.erase(rows_.begin() + row);
  if (textColumn_) textKeys_.erase(textKeys_.begin() + row);
}

int TUrlList::Fill(TWUrlListStyle style, const std::function<void(int visited)>& progress) {
  Clear();
  if (!web_ || !web_->IsOpen()) return 0;
  int visited = 0;
  web_->ForEach([&](TWebFile& record) {
    if (record.IsUrlRecord() && BelongsToStyle(style, record, *web_)) rows_.push_back(makeRow(record));
    if (progress && ++visited % 256 == 0) progress(visited);
    return true;
  });
  if (progress) progress(visited);
  Sort();
  return Count();
}

std::string TUrlList::Url(int i) const { return i >= 0 && i < Count() ? rows_[size_t(i)].Url : std::string(); }

uint8_t TUrlList::Flags(int i) const { return i >= 0 && i < Count() ? rows_[size_t(i)].Flags : 0; }

void TUrlList::SetFlags(int i, uint8_t flags) {
  if (i >= 0 && i < Count()) rows_[size_t(i)].Flags = flags;
}

int TUrlList::Find(const std::string& url) const {
  if (!web_) return -1;
  const QString key = QString::fromStdString(url);
  for (int i = 0; i < Count(); ++i) {
    const std::string& u = rows_[size_t(i)].Url;
    if (u.size() == url.size() && QString::fromStdString(u).compare(key, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

bool TUrlList::Lookup(int row, TWebFile& record) const {
  if (!web_ || row < 0 || row >= Count()) return false;
  return web_->FindUrl(rows_[size_t(row)].Url, record);
}

void TUrlList::SetSort(int column, int order) {
  if (column == sortColumn_ && order == sortOrder_) return;
  sortColumn_ = uint8_t(column);
  sortOrder_ = uint8_t(order);
  const uint8_t mode = column == skWidth ? 1 : column == skHeight ? 2 : column == skDate ? 0 : imageSizeMode_;
  if (mode != imageSizeMode_) {
    imageSizeMode_ = mode;
    loadKey32();
  }
  if (column != 0 && order != 0) Sort();
}

void TUrlList::SetOrder(int order) { SetSort(sortColumn_, order); }

void TUrlList::loadKey32() {
  if (!web_) return;
  TWebFile record(web_);
  for (TUrlRow& row : rows_)
    if (web_->FindUrl(row.Url, record)) row.Key32 = key32Of(record);
}

void TUrlList::loadSizeKeys() {
  if (sizeKeysLoaded_ || !web_) return;
  TWebFile record(web_);
  for (TUrlRow& row : rows_) row.SizeKey = web_->FindUrl(row.Url, record) ? SizeKey(record.GetFileSize()) : kNoSize;
  sizeKeysLoaded_ = true;
}

void TUrlList::loadTextKeys(int column) {
  if (textColumn_ == column) return;
  textKeys_.assign(rows_.size(), QString());
  textColumn_ = uint8_t(column);
  if (!web_) return;
  TWebFile record(web_);
  for (size_t i = 0; i < rows_.size(); ++i)
    if (web_->FindUrl(rows_[i].Url, record)) textKeys_[i] = textOf(record, column);
}

void TUrlList::Sort() {
  if (sortOrder_ == soNone || sortColumn_ == skNone) return;
  if (sortColumn_ == skSize) loadSizeKeys();
  if (IsTextSortKey(sortColumn_)) {
    loadTextKeys(sortColumn_);
  } else {
    textKeys_.clear();
    textColumn_ = 0;
  }
  if (rows_.size() < 2) return;
  // A stable sort on a permutation moves each row and its text key together
  // and keeps equal rows in the order they were listed.
  std::vector<size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), size_t(0));
  const bool text = textColumn_ != 0;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return before(rows_[a], text ? textKeys_[a] : QString(), rows_[b], text ? textKeys_[b] : QString());
  });
  std::vector<TUrlRow> rows;
  rows.reserve(rows_.size());
  std::vector<QString> keys;
  if (text) keys.reserve(rows_.size());
  for (size_t i : order) {
    rows.push_back(std::move(rows_[i]));
    if (text) keys.push_back(std::move(textKeys_[i]));
  }
  rows_ = std::move(rows);
  textKeys_ = std::move(keys);
}

}  // namespace qlon
