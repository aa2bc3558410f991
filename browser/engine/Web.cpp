#include "Web.h"

#include <QBuffer>
#include <QFile>
#include <QSize>
#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <unordered_set>

#include "FilePool.h"
#include "ImageSize.h"
#include "JavaClassFile.h"
#include "ReplaceBatch.h"
#include "Texts.h"
#include "Types.h"
#include "Urlutil.h"
#include "VrmlParser.h"

namespace qlon {

namespace {

constexpr int kMaxHostPairs = 10000;

void WriteLine(const std::string& line, QIODevice& stream) {
  const QByteArray bytes = QByteArray::fromStdString(line) + "\r\n";
  if (stream.write(bytes) != bytes.size()) throw EWriteError("L'en-tête du fichier de capture ne peut pas être écrit");
}

std::string ReadLine(QIODevice& stream) {
  QByteArray line;
  char c = 0;
  for (;;) {
    if (!stream.getChar(&c))
      throw EReadError("L'en-tête du fichier de capture se termine au milieu de la liste des hôtes");
    if (c == '\n') break;
    line += c;
    if (line.size() > 4096) throw EReadError("Une ligne de la liste des hôtes du fichier de capture est trop longue");
  }
  if (line.endsWith('\r')) line.chop(1);
  return line.toStdString();
}

bool IsHostLine(const std::string& line) {
  return line.size() <= 255 && line.find_first_of("\r\n") == std::string::npos;
}

// The pairs to keep: those with a host name, then the others, as many as fit
// in `room` bytes.
std::vector<int> KeptHostPairs(const TDoubleList& list, qsizetype room) {
  std::vector<int> kept;
  for (bool named : {true, false})
    for (int i = 0; i < list.PairCount() && int(kept.size()) < kMaxHostPairs; ++i) {
      const std::string key = list.GetKey(i), value = list.GetValue(i);
      // An address line that is no address would end the list when read.
      if (value.empty() == named || !IsNumericAddress(key) || !IsHostLine(key) || !IsHostLine(value)) continue;
      const qsizetype size = qsizetype(key.size() + value.size()) + 4;
      if (size > room) continue;
      room -= size;
      kept.push_back(i);
    }
  return kept;
}

void WriteDate(double date, QIODevice& stream) { WriteDouble(DateToStored(date), stream); }
double ReadDate(QIODevice& stream) { return StoredToDate(ReadDoubleChecked(stream)); }

constexpr qsizetype kStatisticsSize = 2 * 8 + 6 * 4;

// A stored date of the calendar (or the zero of "no date"); text read as a
// date never is one, which is how the host list before the statistics is told
// from the statistics themselves.
bool IsStoredCalendarDate(double stored) { return std::isfinite(stored) && stored >= 0 && stored < 4e6; }

void WriteStatistics(const TCaptureInfo& info, QIODevice& s) {
  // A date that is none (read from a damaged header) is written as "no date",
  // so that the header written always reads back.
  for (double date : {info.FirstDate, info.LastDate}) {
    const double stored = DateToStored(date);
    WriteDouble(IsStoredCalendarDate(stored) ? stored : 0, s);
  }
  for (int32_t n : info.Counters) WriteInt32(n, s);
}

// Reads the statistics; whether their dates are dates of the calendar (or
// the zeros of an empty area), which text read as them never is.
bool ReadStatistics(QIODevice& s, TCaptureInfo& info) {
  bool dates = true;
  for (double* date : {&info.FirstDate, &info.LastDate}) {
    const double stored = ReadDoubleChecked(s);
    dates = dates && IsStoredCalendarDate(stored);
    *date = StoredToDate(stored);
  }
  for (int32_t& n : info.Counters) n = ReadInt32Checked(s);
  return dates;
}

std::optional<std::string> TakeLine(const QByteArray& bytes, qsizetype& at) {
  const qsizetype end = bytes.indexOf('\n', at);
  if (end < 0 || end - at > 256) return std::nullopt;
  std::string line = bytes.mid(at, end - at).toStdString();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (!IsHostLine(line)) return std::nullopt;
  at = end + 1;
  return line;
}

// Item 13 as the format lays it out: address and name lines with no count,
// then the statistics. True, with the stream after them, when the bytes read
// that way (at least one pair, whose address is numeric).
bool ReadHostsThenStatistics(QIODevice& s, TDoubleList& hosts, TCaptureInfo& info) {
  const qint64 start = s.pos();
  const QByteArray bytes = s.peek(qint64(kWebHeaderSize));
  qsizetype at = 0;
  std::vector<std::string> lines;
  for (;;) {
    qsizetype next = at;
    const auto address = TakeLine(bytes, next);
    if (!address || !IsNumericAddress(*address)) break;
    const auto name = TakeLine(bytes, next);
    if (!name) break;
    lines.push_back(*address);
    lines.push_back(*name);
    at = next;
  }
  if (lines.empty() || !s.seek(start + at)) return false;
  TCaptureInfo read;
  try {
    if (ReadStatistics(s, read)) {
      for (const std::string& line : lines) hosts.Add(line);
      info = read;
      return true;
    }
  } catch (const EReadError&) {
  }
  s.seek(start);
  return false;
}

std::vector<std::string> ReadCountedHosts(QIODevice& s) {
  const int16_t pairs = ReadInt16(s);  // zeros of the area: no list
  if (pairs < 0 || pairs > kMaxHostPairs)
    throw EReadError("La liste des hôtes du fichier de capture annonce un nombre incorrect");
  std::vector<std::string> lines;
  for (int i = 0; i < pairs * 2; ++i) lines.push_back(ReadLine(s));
  return lines;
}

}  // namespace

TWeb::TWeb() {
  MimeNaming = [this](const TWebFile& record) {
    TMimeNaming naming;
    if (const TMimeItem* item = Options.MimeList().GetItem(record.GetMimeIndex() - 1)) {
      naming.Category = item->Category;
      naming.Extensions = SplitString(item->Extensions, ',');
    }
    return naming;
  };
}

TWeb::~TWeb() {
  try {
    Close();
  } catch (const Exception&) {
    // The last completed save stays on disk.
  }
  ReleaseHostAddressList(&HostAddresses);
}

void TWeb::ApplyOptions() {
  NameOptions.ShortFileNames = Options.ShortFileNameFlag;
  NameOptions.UseWebStructure = Options.UseWebStructureFlag;
}

void TWeb::SetTitle(const std::string& title) { title_ = std::string(Utf8Prefix(title, kWebTitleMax)); }

QByteArray TWeb::HeaderBytes() const {
  QByteArray bytes;
  QBuffer s(&bytes);
  s.open(QIODevice::WriteOnly);
  WriteShortString(kWebMagic, s);
  WriteInt16(kWebFileVersion, s);
  WriteShortString(kProgramVersion, s);
  WriteShortString(Utf8Prefix(title_, kWebTitleMax), s);
  WriteInt16(int16_t(std::min<size_t>(StartEntries.size(), 32767)), s);
  for (size_t i = 0; i < StartEntries.size() && i < 32767; ++i) {
    const TStartEntry& e = StartEntries[i];
    for (const std::string* text : {&e.Url, &e.User, &e.Password, &e.Extra}) WriteShortString(*text, s);
  }
  // The format reads these as signed 16-bit numbers: a count beyond 32,767
  // is stored as that maximum, never as a value that reads negative.
  for (uint64_t n : {RetrievedCount, FilteredCount, NotFoundCount, ErrorCount})
    WriteInt16(int16_t(std::min<uint64_t>(n, INT16_MAX)), s);
  WriteWord(MimeCategorySet, s);
  Options.SaveToStream(s, kWebFileVersion);
  WriteInt32(int32_t(std::clamp<int64_t>(TotalSize, 0, INT32_MAX)), s);
  WriteByte(Options.BackgroundOnlyFlag ? 1 : 0, s);
  WriteDate(CaptureDate, s);
  Identities.SaveToStream(s);
  Maps.SaveToStream(s);
  const TDoubleList hosts = CopyHostAddressList(HostAddresses);
  for (int i : KeptHostPairs(hosts, qsizetype(kWebHeaderSize) - 1 - s.pos() - kStatisticsSize)) {
    WriteLine(hosts.GetKey(i), s);
    WriteLine(hosts.GetValue(i), s);
  }
  WriteStatistics(Info, s);
  return bytes;
}

TWebLoadResult TWeb::ReadHeader(QIODevice& s) {
  loadError_.clear();
  // What is being read, for the reason of a failure.
  const char* part = "le numéro de format";
  const auto damaged = [&](const std::string& what) {
    loadError_ = "son en-tête est endommagé (" + what + ")";
    return wlReadError;
  };
  try {
    if (ReadShortString(s) != kWebMagic) {
      loadError_ = "ce n'est pas un fichier Web (son en-tête ne commence pas par " + std::string(kWebMagic) + ")";
      return wlNotWeb;
    }
    const int16_t version = ReadInt16Checked(s);
    if (version > kWebFileVersionCountedHosts) {
      loadError_ = "il a été créé par une version plus récente du programme (format " + std::to_string(version) +
                   " ; celle-ci lit jusqu'au format " + std::to_string(kWebFileVersionCountedHosts) + ")";
      return wlNewer;
    }
    if (version < kOldestWebFileVersion) {
      loadError_ = "son format (" + std::to_string(version) + ") est inconnu";
      return wlError;
    }
    std::vector<TStartEntry> entries;
    std::string title;
    part = "le titre et les adresses de départ";
    if (version >= 513) {
      ReadShortStringChecked(s);  // the writing program's version
      title = ReadShortStringChecked(s);
      const int16_t count = ReadInt16Checked(s);
      if (count < 0) return damaged("il annonce un nombre négatif d'adresses de départ");
      for (int i = 0; i < count; ++i) {
        TStartEntry e;
        for (std::string* text : {&e.Url, &e.User, &e.Password, &e.Extra}) *text = ReadShortStringChecked(s);
        entries.push_back(std::move(e));
      }
    } else {
      entries.push_back({ReadShortStringChecked(s), {}, {}, {}});
      ReadShortStringChecked(s);
      ReadShortStringChecked(s);
      title = ReadShortStringChecked(s);
    }
    part = "les compteurs et les options de capture";
    uint16_t counters[5];
    for (uint16_t& n : counters) n = ReadWordChecked(s);
    Options.LoadFromStream(s, version);
    const int32_t total = ReadInt32Checked(s);
    Options.BackgroundOnlyFlag = ReadByteChecked(s) != 0;
    const double date = ReadDate(s);
    part = "les identités";
    if (!Identities.LoadFromStream(s)) return damaged("impossible de lire les identités");
    part = "les cartes d'images";
    Maps.LoadFromStream(version, s);
    part = "la liste des hôtes et les statistiques";
    TCaptureInfo info;
    TDoubleList hosts;
    if (version >= kWebFileVersionCountedHosts) {
      for (const std::string& line : ReadCountedHosts(s)) hosts.Add(line);
      ReadStatistics(s, info);
    } else if (version >= 512 && !ReadHostsThenStatistics(s, hosts, info)) {
      // Without a list in the format's place: the statistics, then the list
      // with its count as this program once wrote it.
      ReadStatistics(s, info);
      for (const std::string& line : ReadCountedHosts(s)) hosts.Add(line);
    }  // older headers end with the image maps

    SetTitle(title);
    StartEntries = std::move(entries);
    RetrievedCount = counters[0];
    FilteredCount = counters[1];
    NotFoundCount = counters[2];
    ErrorCount = counters[3];
    MimeCategorySet = counters[4];
    TotalSize = total;
    CaptureDate = date;
    Info = info;
    HostAddresses = std::move(hosts);
    fileVersion_ = version;
    return wlOk;
  } catch (const EReadError&) {
    return damaged(std::string("impossible de lire ") + part);
  }
}

void TWeb::CreateNew(const std::filesystem::path& path) {
  Close();
  const QByteArray header = HeaderBytes();
  if (header.size() >= qsizetype(kWebHeaderSize))
    throw ECaptureHeaderTooLarge("L'en-tête du fichier de capture ne tient pas avant l'arbre des adresses");
  auto stream = std::make_unique<TWebStream>(path, TWebStream::Mode::Create);
  static const char zeros[64] = {};
  for (uint32_t at = 0; at < kWebHeaderSize; at += sizeof zeros) stream->Write(at, zeros, sizeof zeros);
  stream->Write(0, header.constData(), size_t(header.size()));
  storedHeader_.clear();  // until committed
  stream_ = std::move(stream);
  path_ = path;
  ApplyOptions();
  CreateTree(path.parent_path().string(), stream_.get(), kWebHeaderSize);
  SetHostAddressList(&HostAddresses);
  CountWaiting();
}

TWebLoadResult TWeb::Open(const std::filesystem::path& path) {
  Close();
  openNote_.clear();
  auto stream = std::make_unique<TWebStream>(path, TWebStream::Mode::Open);
  if (const std::filesystem::path& aside = stream->SetAsideJournal(); !aside.empty()) {
    openNote_ = "Le journal " + TWebStream::JournalPath(path).string() +
                (stream->SetAsideIncomplete() ? " est vide ou incomplet" : " ne correspond pas à ce fichier de capture") +
                " : il n'a pas été appliqué et le fichier est resté tel quel.";
    if (aside != TWebStream::JournalPath(path)) openNote_ += "\r\nLe journal a été renommé " + aside.string() + ".";
  }
  QByteArray area(int(kWebHeaderSize), '\0');
  area.resize(qsizetype(stream->ReadSome(0, area.data(), kWebHeaderSize)));
  QBuffer in(&area);
  in.open(QIODevice::ReadOnly);
  const TWebLoadResult result = ReadHeader(in);
  if (result != wlOk) return result;
  storedHeader_ = area;
  try {
    if (!OpenTree(path.parent_path().string(), stream.get(), kWebHeaderSize)) {
      loadError_ = "il s'arrête avant son arbre des adresses";
      return wlReadError;
    }
  } catch (const EUrlBTreeCorrupt& e) {
    DiscardTree();
    loadError_ = "son arbre des adresses est endommagé (" + e.Fault + ")";
    return wlReadError;
  }
  if (fileVersion_ < 512) {
    try {
      if (!ConvertOldFile(*stream)) {
        DiscardTree();
        loadError_ = "son en-tête du format " + std::to_string(fileVersion_) + " ne tient pas dans le format actuel";
        return wlError;
      }
    } catch (...) {
      DiscardTree();
      throw;
    }
  }
  stream_ = std::move(stream);
  path_ = path;
  // No other writer can be at work in the folder now: its leftovers go.
  std::error_code ec;
  for (const char* leftover : {kPoolFolder, kStagingFolder})
    std::filesystem::remove_all(path.parent_path() / leftover, ec);
  ApplyOptions();
  SetHostAddressList(&HostAddresses);
  RecountSaturated();
  CountWaiting();
  return wlOk;
}

// A header count stops at 32,767: what the records say is the true count.
void TWeb::RecountSaturated() {
  uint64_t* counts[4] = {&RetrievedCount, &FilteredCount, &NotFoundCount, &ErrorCount};
  if (std::none_of(std::begin(counts), std::end(counts), [](const uint64_t* n) { return *n >= INT16_MAX; })) return;
  uint64_t found[4] = {};
  ForEach([&](TWebFile& r) {
    const TWebFileState s = r.GetState();
    found[0] += r.IsRetrieved();
    found[1] += r.IsFiltered();
    found[2] += s == fsNotFound;
    found[3] += s == fsError || (r.IsRetrieved() && r.IsGone());
    return true;
  });
  for (int i = 0; i < 4; ++i)
    if (*counts[i] >= INT16_MAX) *counts[i] = found[i];
}

bool TWeb::Save() {
  if (!stream_) return false;
  const QByteArray header = HeaderBytes();
  // Measured before anything is written: the tree begins at 5120.
  if (header.size() >= qsizetype(kWebHeaderSize))
    throw ECaptureHeaderTooLarge("L'en-tête du fichier de capture (" + std::to_string(header.size()) +
                                 " octets) ne tient pas avant l'arbre des adresses : rien n'a été enregistré");
  QByteArray area = header;
  area.append(QByteArray(qsizetype(kWebHeaderSize) - header.size(), '\0'));
  if (area != storedHeader_) {
    storedHeader_.clear();  // known again once committed
    stream_->Write(0, area.constData(), size_t(area.size()));
  }
  ApplyOptions();
  Flush();  // pages, tree header block, commit; nothing when none changed
  storedHeader_ = std::move(area);
  return true;
}

int64_t TWeb::StoredSize() const {
  if (stream_) return int64_t(stream_->Size());
  std::error_code ec;
  const auto size = path_.empty() ? 0 : std::filesystem::file_size(path_, ec);
  return ec ? 0 : int64_t(size);
}

bool TWeb::ConvertOldFile(TWebStream& stream) {
  // The tree area is the same in every version: only the header changes
  // form. It is rewritten in place through the stream's journal, so a
  // conversion cut short leaves the old file exactly as it was.
  const QByteArray header = HeaderBytes();
  if (header.size() >= qsizetype(kWebHeaderSize)) return false;
  QByteArray area = header;
  area.append(QByteArray(qsizetype(kWebHeaderSize) - header.size(), '\0'));
  try {
    stream.Write(0, area.constData(), size_t(area.size()));
    stream.Commit();
  } catch (const EWebStream&) {
    stream.Rollback();
    throw;
  }
  storedHeader_ = area;
  fileVersion_ = GetLE16(reinterpret_cast<const uint8_t*>(header.constData()) + kVersionAt);
  return true;
}

void TWeb::Close() {
  if (!stream_) return;
  ReleaseHostAddressList(&HostAddresses);
  try {
    Save();
    CloseTree();
  } catch (...) {
    // A save that cannot be made leaves the previous one: undo this one.
    DiscardTree();
    stream_->Rollback();
    StartEntries.clear();
    stream_.reset();
    throw;
  }
  StartEntries.clear();
  stream_.reset();
}

std::string ReadWebTitle(const std::filesystem::path& path, const TWeb* open) {
  if (open && open->IsFileOpen() && SameTextAscii(open->Path().string(), path.string())) return open->GetTitle();
  try {
    TWebStream stream(path, TWebStream::Mode::ReadOnly);
    QByteArray area(int(kWebHeaderSize), '\0');
    area.resize(qsizetype(stream.ReadSome(0, area.data(), kWebHeaderSize)));
    QBuffer in(&area);
    in.open(QIODevice::ReadOnly);
    if (ReadShortString(in) != kWebMagic) return {};
    const int16_t version = ReadInt16Checked(in);
    if (version >= 513) {
      ReadShortStringChecked(in);
      return ReadShortStringChecked(in);
    }
    for (int i = 0; i < 3; ++i) ReadShortStringChecked(in);
    return ReadShortStringChecked(in);
  } catch (const Exception&) {
    return {};
  }
}

// ---------------------------------------------------------------- records and MIME

namespace {
TWeb* WebOf(const TWebFile& record) { return dynamic_cast<TWeb*>(record.Owner); }
}  // namespace

TMimeItem* GetMimeItem(const TWebFile& record) {
  TWeb* web = WebOf(record);
  TMimeItem* item = web ? web->Options.MimeList().GetItem(record.GetMimeIndex() - 1) : nullptr;
  return item ? item : &DefaultMimeItem();
}

std::string GetContentType(const TWebFile& record) { return GetMimeItem(record)->ContentType; }

namespace {

// The slot of the item listing "class"; -1 when the table has none.
int JavaClassSlot(const TMimeList& list) {
  const TMimeItem* item = list.FindExtension("class");
  return item ? list.IndexOf(item) : -1;
}

void UseMimeSlot(TWeb& web, TWebFile& record, int index) {
  TMimeList& list = web.Options.MimeList();
  record.SetMimeIndex(uint8_t(index >= 0 ? index + 1 : 0));
  if (index < 0) return;
  list.GetItem(index)->SetUsed(true);
  web.MimeCategorySet = uint16_t(web.MimeCategorySet | 1u << list.GetItem(index)->Category);
}

}  // namespace

void SetContentType(TWebFile& record, const std::string& type, const std::string& extension) {
  TWeb* web = WebOf(record);
  if (!web) return;
  if (type.empty()) {
    record.SetMimeIndex(0);
    return;
  }
  TMimeList& list = web->Options.MimeList();
  if (record.IsJavaClass()) {
    UseMimeSlot(*web, record, JavaClassSlot(list));
    return;
  }
  const TMimeItem* item = list.FindType(type);
  int index = item ? list.IndexOf(item) : -1;
  if (!item) {
    // A type met for the first time: its category from its major type,
    // captured or not as the capture's options say of new types.
    index = list.AddType(type, extension, 0, MimeTypeCategory(type), web->Options.NewMimeValidStateFlag);
  }
  UseMimeSlot(*web, record, index);
}

void MakeJavaClass(TWebFile& record) {
  record.SetJavaClass(true);
  if (TWeb* web = WebOf(record)) {
    const int index = JavaClassSlot(web->Options.MimeList());
    record.SetMimeIndex(uint8_t(index >= 0 ? index + 1 : 0));
  }
}

bool IsImage(const TWebFile& record) { return GetMimeItem(record)->Category == mcImage; }

bool IsVrml(const TWebFile& record) { return SameTextAscii(GetContentType(record), "x-world/x-vrml"); }

}  // namespace qlon

// ---------------------------------------------------------------- run queues

namespace qlon {

int TWebFileList::Priority(const TWebFile& record) {
  return record.GetWebLevel() * 512 + record.GetLinkLevel() * 2 + (record.GetLinkType() == ltPage ? 1 : 0);
}

int TWebFileList::AddRecord(const TWebFile& record) { return Add(record.FullUrl, Priority(record)); }

int TWebFileList::Add(const std::string& url, int priority) {
  auto at = std::upper_bound(lines_.begin(), lines_.end(), priority,
                             [](int p, const std::pair<int, std::string>& line) { return p < line.first; });
  return int(lines_.insert(at, {priority, url}) - lines_.begin());
}

bool TWebFileList::PopFirst(TUrlBTree& tree, TWebFile& record, int index) {
  if (index < 0 || size_t(index) >= lines_.size()) return false;
  const auto at = lines_.begin() + index;
  const std::string url = std::move(at->second);
  lines_.erase(at);
  return tree.FindUrl(url, record);
}

int TWebFileList::Find(const std::function<bool(std::string_view url)>& accepts) const {
  const auto it = std::find_if(lines_.begin(), lines_.end(), [&](const auto& line) { return accepts(line.second); });
  return it == lines_.end() ? -1 : int(it - lines_.begin());
}

bool TWebFileList::Remove(const std::string& url) {
  auto it = std::find_if(lines_.begin(), lines_.end(), [&](const auto& line) { return line.second == url; });
  if (it == lines_.end()) return false;
  lines_.erase(it);
  return true;
}

bool TWebFileList::Contains(const std::string& url) const {
  return std::any_of(lines_.begin(), lines_.end(), [&](const auto& line) { return line.second == url; });
}

// ---------------------------------------------------------------- link intake and classification

std::string TStartEntry::FullUrl() const { return std::string(WithoutFragment(TUrl(Url).GetFullUrl())); }

namespace {

uint8_t Above(uint8_t level) { return level == 255 ? level : uint8_t(level + 1); }

bool SameAuthority(const TUrl& x, const TUrl& y) {
  return x.Protocol == y.Protocol && SameTextAscii(x.SchemeAndAuthority(), y.SchemeAndAuthority());
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && SameTextAscii(text.substr(text.size() - tail.size()), tail);
}

std::string FirstStartUrl(const std::vector<TStartEntry>& entries) {
  return entries.empty() ? std::string() : entries.front().FullUrl();
}

}  // namespace

bool TWeb::FollowLinkDefault(const TTagLink& link, const TUrl& parsed) {
  if (!IsAbsoluteUrl(parsed)) return false;
  const TIProtocol p = parsed.Protocol;
  if (p != ipHttp && p != ipFtp && p != ipFile) return false;
  return link.Kind != tkA || !link.IsMap;
}

bool TWeb::AddLink(TWebFile& record, const TWebFile* referrer, bool redirect) {
  return AddLink(record, referrer, redirect, TUrl(record.FullUrl), nullptr);
}

bool TWeb::AddLink(TWebFile& record, const TWebFile* referrer, bool redirect, const TUrl& url,
                   const TUrl* referrerUrl) {
  record.Owner = this;
  TWebFile found(this);
  if (FindUrl(url, found)) {
    if (QueueForUpdate(found)) found.SaveChanges();
    return true;
  }
  record.SetState(fsToCapture);
  std::optional<TUrl> parsedReferrer;
  if (referrer) {
    const TUrl& from = referrerUrl ? *referrerUrl : parsedReferrer.emplace(referrer->FullUrl);
    record.SetWebLevel(referrer->GetWebLevel());
    record.SetLinkLevel(referrer->GetLinkLevel());
    // A login belongs to its site: a link to another site never carries it.
    record.SetIdentityIndex(SameAuthority(from, url) ? referrer->GetIdentityIndex() : 0);
    if (!redirect && !record.IsFrameLink() && record.GetLinkType() == ltPage)
      record.SetLinkLevel(Above(record.GetLinkLevel()));
    const int sites = CompareSites(from, url);
    if (sites == scOtherSite || (sites == scSameDomainOtherMachine && Options.CheckDomainMachineFlag)) {
      record.SetWebLevel(Above(record.GetWebLevel()));
      record.SetLinkLevel(0);
    }
    referrerUrl = &from;
  } else {
    record.SetWebLevel(0);
    record.SetLinkLevel(0);
  }
  // The verdict comes before the record is stored, so that it is stored
  // once, as it ends. A page fetched from the network never makes the run
  // read local files.
  TWebFileState verdict = fsFilteredProtocol;
  if (!referrer || url.Protocol != ipFile || referrerUrl->Protocol == ipFile) verdict = ClassifyLink(record, url);
  record.SetState(verdict == fsNotFiltered ? fsToCapture : verdict);
  if (!InsertRecord(record)) return false;
  record.Changed = record.NameChanged = false;  // the tree holds it as it is
  // Only the insert tells whether its site or folder found a number.
  if (verdict == fsNotFiltered && InOverflow(record)) {
    verdict = fsFilteredDefault;
    record.SetState(verdict);
    record.SaveChanges();
  }
  if (verdict == fsNotFiltered)
    ToCapture.AddRecord(record);
  else
    ++FilteredCount;
  return true;
}

bool TWeb::ClassifyAndQueue(TWebFile& record) {
  const TWebFileState verdict = ClassifyLink(record);
  if (verdict != fsNotFiltered) {
    record.SetState(verdict);
    ++FilteredCount;
    return false;
  }
  record.SetState(fsToCapture);
  ToCapture.AddRecord(record);
  return true;
}

TWebFileState TWeb::ClassifyLink(const TWebFile& record) const {
  // Its site or folder found no number in the tree: it is kept, not followed.
  if (InOverflow(record)) return fsFilteredDefault;
  return record.IsStartUrl() ? fsNotFiltered : ClassifyLink(record, TUrl(record.FullUrl));
}

TWebFileState TWeb::ClassifyLink(const TWebFile& record, const TUrl& u) const {
  if (InOverflow(record)) return fsFilteredDefault;
  if (record.IsStartUrl()) return fsNotFiltered;
  if (u.Protocol != ipHttp && u.Protocol != ipFile && !(u.Protocol == ipFtp && Options.DownloadFTPFlag))
    return fsFilteredProtocol;
  // An unknown scheme (https:, javascript:) parses as a path holding ":".
  if (!IsAbsoluteUrl(u)) return fsFilteredProtocol;
  const TFilterList& filters = Options.Filters();
  if (!filters.IsAllowed(u)) {
    if (filters.IsExcluded(u)) return fsFilteredExclusion;
    if (record.GetLinkType() == ltPage) {
      if (record.GetWebLevel() > 0) {
        if (record.GetWebLevel() > Options.ExternalWebDepth) return fsFilteredExternalWebDepth;
        if (record.GetLinkLevel() > Options.ExternalLinkDepth) return fsFilteredExternalLinkDepth;
      } else {
        if (record.GetLinkLevel() > Options.InternalLinkDepth) return fsFilteredInternalLinkDepth;
        if (Options.CheckDomainMachineFlag && !StartEntries.empty() &&
            CompareSites(TUrl(FirstStartUrl(StartEntries)), u) == scSameDomainOtherMachine)
          return fsFilteredDomainMachine;
        // A local tree keeps within its start folder as a site does.
        if (Options.InternalPathLimit && (u.Protocol == ipHttp || u.Protocol == ipFile) &&
            u.Path.find("cgi-bin") == std::string::npos) {
          bool hostListed = false;
          for (const TStartDirectory& d : startDirectories_) {
            if (!SameTextAscii(d.Host, u.Host)) continue;
            hostListed = true;
            if (u.Path.compare(0, d.Path.size(), d.Path) == 0) {
              hostListed = false;
              break;
            }
          }
          if (hostListed) return fsFilteredStartDirectory;
        }
      }
    }
  }
  if (record.IsJavaClass() && Options.DownLoadAppletJavaFlag) return fsNotFiltered;
  const int type = record.GetLinkType();
  if (type == ltEmbedded && (Options.RefLimit || Options.BackgroundOnlyFlag)) return fsFilteredDefault;
  if (type == ltBackground && Options.RefLimit) return fsFilteredDefault;
  if (Options.ExtensionFilterFlag) {
    const std::string document = u.GetDocument();
    const size_t dot = document.rfind('.');
    if (dot != std::string::npos) {
      const TMimeItem* item = Options.MimeList().FindExtension(document.substr(dot + 1));
      if (item && !item->IsEnabled()) return fsFilteredExtension;
    }
  }
  return fsNotFiltered;
}

TWebFileState TWeb::CheckHeader(const TWebFile& record, int64_t length, const std::string& url) const {
  return CheckHeader(record, length, TUrl(url));
}

TWebFileState TWeb::CheckHeader(const TWebFile& record, int64_t length, const TUrl& url) const {
  const int64_t minBytes = int64_t(Options.MinFileSize) * 1024, maxBytes = int64_t(Options.MaxFileSize) * 1024;
  auto bySize = [&]() {
    if (length < 1) return fsNotFiltered;
    if (Options.MinFileSize > 0 && length < minBytes) return fsFilteredSize;
    if (Options.MaxFileSize > 0 && length > maxBytes) return fsFilteredSize;
    return fsNotFiltered;
  };
  if (url.Protocol == ipFtp) return bySize();
  if (record.IsJavaClass()) return Options.DownLoadAppletJavaFlag ? fsNotFiltered : fsFilteredMime;
  const TMimeItem* item = GetMimeItem(record);
  if (item->Category == mcHtml) return fsNotFiltered;  // pages are judged after their body
  if (!item->IsEnabled()) return fsFilteredMime;
  return bySize();
}

bool TWeb::AddRedirect(TWebFile& record, const std::string& location) {
  const std::string target(WithoutFragment(ResolveUrl(location, record.FullUrl)));
  if (target.empty() || target == record.FullUrl) return false;
  Options.Filters().Replace(record.FullUrl, target);
  TWebFile next(this);
  next.FullUrl = target;
  next.SetLinkType(record.GetLinkType());
  next.SetFrameLink(record.IsFrameLink());
  if (record.IsJavaClass()) MakeJavaClass(next);
  if (!AddLink(next, &record, true)) return false;
  if (!record.SetRedirect(next)) return false;
  record.SetState(fsRetrieved);
  record.SaveChanges();
  return true;
}

// ---------------------------------------------------------------- update walk

bool TWeb::NextToUpdate(TWebFile& record, int index) {
  if (!ToUpdate.PopFirst(*this, record, index)) return false;
  record.SetUpdate(false);
  return true;
}

bool TWeb::QueueForUpdate(TWebFile& record) {
  const TWebFileState s = record.GetState();
  if (s == fsToUpdate || s == fsUpdating || record.IsUpdated()) return false;
  record.SetState(fsToUpdate);
  ToUpdate.AddRecord(record);
  return true;
}

int TWeb::PrepareUpdate() {
  if (RetrievedCount == 0) return 0;
  ToUpdate.Clear();
  ForEach([](TWebFile& r) {
    if (r.GetState() == fsRetrieved) r.SetUpdate(true);
    return true;
  });
  TWebFile first(this);
  if (!StartEntries.empty() && FindUrl(FirstStartUrl(StartEntries), first) && QueueForUpdate(first))
    first.SaveChanges();
  return ToUpdate.Count();
}

void TWeb::RescanUnchangedPage(TWebFile& record) {
  if (record.IsHtmlPage() && record.GetFileSize() > 0) ScanPageLinks(record, record.FullUrl, FollowLinkDefault);
}

// ---------------------------------------------------------------- link passes

void TWeb::ScanPageLinks(TWebFile& page, const std::string& url, const TFollowTest& follow) {
  const std::string path = page.GetLocalPath();
  if (path.empty()) return;
  QFile file(QString::fromStdString(path));
  if (file.open(QIODevice::ReadOnly)) ScanPageLinks(page, url, follow, file);
}

void TWeb::ScanPageLinks(TWebFile& page, const std::string& url, const TFollowTest& follow, QIODevice& bytes) {
  THtmlParser parser(bytes);
  parser.FrameOption = Options.NotExploreFrameFlag;
  parser.AnchorTexts = false;
  parser.Parse();
  std::string base = url;
  TTagLink link;
  TUrlResolver resolver;
  const TUrl pageUrl(page.FullUrl);
  // A target the page links to again is filed already: a second AddLink
  // finds it and, as the first left it, changes nothing.
  std::unordered_set<std::string> offered;
  auto offer = [&](const std::string& text, const std::string& against, int type, uint32_t flags) {
    const std::string target = resolver.ResolveTarget(text, against);
    if (target.empty() || target == page.FullUrl || (follow && !follow(link, resolver.Resolved()))) return;
    if (!offered.insert(target).second) return;
    TWebFile next(this);
    next.FullUrl = target;
    next.SetLinkType(type);
    if (flags) next.SetFlags(next.GetFlags() | flags);
    AddLink(next, &page, false, resolver.Resolved(), &pageUrl);
  };
  for (int i = 0; i < parser.GetCount(); ++i) {
    // What a rewrite inserted (script, banner, maps) holds no link of the page.
    if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
      i = end;
      continue;
    }
    if (!parser.GetTagLink(i, link)) continue;
    if (!(link.Flags & kTokenLinkTag) || !(link.Flags & kTokenStart)) continue;
    // A rewritten page keeps its real links in OLDREF.
    const std::string text = link.HasOldRef() ? link.GetOldUrl() : link.GetUrl();
    if (link.Kind == tkBase) {
      if (!text.empty()) base = ResolveUrl(text, url);
      continue;
    }
    if (link.Kind == tkApplet) {
      std::string codebase = link.GetParamValue("CODEBASE");
      if (!codebase.empty() && codebase.back() != '/') codebase += '/';
      const std::string classBase = codebase.empty() ? base : ResolveUrl(codebase, base);
      if (!text.empty()) {
        std::string name = text;
        // "pkg.Main" names a class: its file is "pkg/Main.class".
        if (!EndsWithNoCase(name, ".class")) {
          std::replace(name.begin(), name.end(), '.', '/');
          name += ".class";
        }
        offer(name, classBase, ltEmbedded, TWebFile::kFlagJavaClass);
      }
      for (std::string archive : SplitString(link.GetParamValue("ARCHIVE"), ',')) {
        archive = std::string(TrimBlanks(archive));
        if (!archive.empty()) offer(archive, classBase, ltEmbedded, TWebFile::kFlagJavaClass);
      }
      continue;
    }
    if (link.IsMap) page.SetIsMap(true);
    if (!text.empty()) offer(text, base, link.LinkType, link.IsFrame ? TWebFile::kFlagFrameLink : 0);
    if (link.Kind == tkImg) {
      const std::string low = link.GetParamValue("LOWSRC");
      if (!low.empty()) offer(low, base, ltEmbedded, 0);
    }
  }
}

void TWeb::ScanVrmlLinks(TWebFile& world, const std::string& url, const TFollowTest& follow) {
  const std::string path = world.GetLocalPath();
  if (path.empty()) return;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return;
  TVRMLParser parser(file);
  TTagLink link;
  link.Kind = tkEmbed;
  for (int i = 0; i < parser.Count(); ++i) {
    std::string text, old;
    if (!parser.GetLink(i, text, old) || text.empty()) continue;
    TUrl parsed = TUrl::CreateRelative(text, url);
    parsed.CutFragment();
    const std::string target = parsed.GetFullUrl();
    if (target.empty() || target == world.FullUrl || (follow && !follow(link, parsed))) continue;
    TWebFile next(this);
    next.FullUrl = target;
    next.SetLinkType(parser.Link(i).Page ? ltPage : ltEmbedded);
    AddLink(next, &world);
  }
}

void TWeb::ScanJavaLinks(TWebFile& classFile) {
  const std::string path = classFile.GetLocalPath();
  TJavaClassFile java;
  if (path.empty() || !java.LoadFromFile(QString::fromStdString(path))) return;
  std::vector<std::string> classes;
  java.GetClassFiles(classes, true);
  // The class names are relative to the code base: the class file's folder
  // without the folders of its own package.
  const TUrl self(classFile.FullUrl);
  std::string base = self.GetDirectoryUrl();
  for (const std::string& name : classes) {
    const size_t slash = name.rfind('/');
    if (name.substr(slash == std::string::npos ? 0 : slash + 1) != self.FileName) continue;
    for (size_t depth = size_t(std::count(name.begin(), name.end(), '/')); depth > 0; --depth)
      base = ResolveUrl("../", base);
    break;
  }
  for (const std::string& name : classes) {
    const std::string target = ResolveUrl(name, base);
    if (target == classFile.FullUrl || !IsAbsoluteUrl(target)) continue;
    TWebFile next(this);
    next.FullUrl = target;
    next.SetLinkType(ltEmbedded);
    MakeJavaClass(next);
    AddLink(next, &classFile);
  }
}

// ---------------------------------------------------------------- preparing a run

namespace {

// A record a run ended without closing goes back to be captured.
TWebFileState Reopened(TWebFileState s) { return s == fsRequesting || s == fsUpdating ? fsToCapture : s; }

// A start record that a run queues again whatever its state was.
bool StartsAgain(TWebFileState s) { return s != fsRetrieved && s != fsToUpdate && s != fsToCapture; }

}  // namespace

void TWeb::CountWaiting() {
  waiting_[0] = waiting_[1] = 0;
  queued_ = false;
  if (!IsOpen()) return;
  ForEach([&](TWebFile& r) {
    const TWebFileState s = Reopened(r.GetState());
    if (!r.IsRedirect() && (s == fsToCapture || s == fsToUpdate)) ++waiting_[s == fsToUpdate];
    return true;
  });
  for (const TStartEntry& entry : StartEntries) {
    TWebFile record(this);
    if (!FindUrl(TUrl(entry.Url).GetFullUrl(), record) || StartsAgain(Reopened(record.GetState()))) ++waiting_[0];
  }
}

void TWeb::PrepareCapture(bool reset) {
  queued_ = true;
  ToCapture.Clear();
  ToUpdate.Clear();
  startDirectories_.clear();
  for (const TStartEntry& entry : StartEntries) {
    const TUrl u(entry.Url);
    if ((u.Protocol == ipHttp && !u.Host.empty()) || u.Protocol == ipFile)
      startDirectories_.push_back({u.Host, u.Path});
  }
  // Where earlier searches for a free name ended says nothing of the files
  // that no record names: the searches start again.
  ClaimedNames.Clear();
  NameHints.clear();
  ForEach([&](TWebFile& r) {
    if (r.IsRedirect()) return true;
    ClaimedNames.Add(r.GetLocalName());
    TWebFileState s = r.GetState();
    // A run that ended without closing its records leaves them requesting.
    if (Reopened(s) != s) r.SetState(s = Reopened(s));
    if (reset && (s == fsError || s == fsNotFound || r.IsFiltered())) {
      r.SetRetryCount(0);
      const TWebFileState verdict = ClassifyLink(r);
      r.SetState(s = verdict == fsNotFiltered ? fsToCapture : verdict);
    }
    if (s == fsToCapture) ToCapture.AddRecord(r);
    if (s == fsToUpdate) ToUpdate.AddRecord(r);
    return true;
  });
  ClaimedNames.Complete(path_.filename().string());
  for (const TStartEntry& entry : StartEntries) {
    TWebFile record(this);
    record.FullUrl = entry.FullUrl();
    if (FindUrl(record.FullUrl, record)) {
      if (!record.IsStartUrl()) record.SetStartUrl(true);
      if (StartsAgain(record.GetState())) {
        record.SetState(fsToCapture);
        record.SetRetryCount(0);
      }
      if (record.GetState() == fsToCapture && !ToCapture.Contains(record.FullUrl)) ToCapture.AddRecord(record);
      record.SaveChanges();
      continue;
    }
    record.SetStartUrl(true);
    if (!entry.User.empty() || !entry.Password.empty()) record.SetIdentity(entry.User, entry.Password);
    AddLink(record, nullptr);
  }
}

int TWeb::QueueUrls(const std::vector<std::string>& urls, bool update) {
  queued_ = true;
  int count = 0;
  for (const std::string& text : urls) {
    TWebFile record(this);
    record.FullUrl = std::string(WithoutFragment(TUrl(text).GetFullUrl()));
    if (!FindUrl(record.FullUrl, record)) {
      if (AddLink(record, nullptr) && record.GetState() == fsToCapture) ++count;
      continue;
    }
    if (update && record.GetState() == fsRetrieved) {
      record.SetUpdate(true);
      if (QueueForUpdate(record)) ++count;
    } else if (!update && record.GetState() != fsRetrieved && !ToCapture.Contains(record.FullUrl)) {
      record.SetState(fsToCapture);
      record.SetRetryCount(0);
      ToCapture.AddRecord(record);
      ++count;
    }
    record.SaveChanges();
  }
  return count;
}

// ---------------------------------------------------------------- addresses left out

TWeb::TLeftOut TWeb::CountLeftOut() {
  TLeftOut leftOut;
  ForEachInOverflow([&](TWebFile& r, bool siteOutOfFolders) {
    if (r.GetState() == fsFilteredDefault) ++(siteOutOfFolders ? leftOut.Folders : leftOut.Sites);
    return true;
  });
  return leftOut;
}

std::string TWeb::LeftOutText(const TLeftOut& leftOut) {
  auto addresses = [](uint64_t n) {
    return n == 1 ? std::string("Une adresse n'a pas été capturée")
                  : std::to_string(n) + " adresses n'ont pas été capturées";
  };
  std::string text;
  if (leftOut.Folders > 0)
    text += addresses(leftOut.Folders) + (leftOut.Folders == 1 ? " : son site" : " : leur site") + " a déjà " +
            std::to_string(kMaxFolders) +
            " dossiers, le plus qu'un fichier de capture puisse tenir pour un site.";
  if (leftOut.Sites > 0)
    text += std::string(text.empty() ? "" : "\r\n") + addresses(leftOut.Sites) + " : le web a déjà " +
            std::to_string(kMaxSites - 1) + " sites, le plus qu'un fichier de capture puisse tenir.";
  if (!text.empty())
    text += "\r\n" + std::string(leftOut.Count() == 1 ? "Elle est classée" : "Elles sont classées") + " « " +
            std::string(TextAt(kWebFileStateTexts, fsFilteredDefault)) + " ».";
  return text;
}

}  // namespace qlon
