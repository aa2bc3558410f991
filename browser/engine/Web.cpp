#include "Web.h"

#include <QBuffer>

#include "Types.h"

namespace qlon {

namespace {

constexpr int kMaxHostPairs = 10000;

void WriteLine(const std::string& line, QIODevice& stream) {
  const QByteArray bytes = QByteArray::fromStdString(line) + "\r\n";
  if (stream.write(bytes) != bytes.size()) throw EWriteError("the capture header cannot be written");
}

std::string ReadLine(QIODevice& stream) {
  QByteArray line;
  char c = 0;
  for (;;) {
    if (!stream.getChar(&c)) throw EReadError("the capture header ends inside the host list");
    if (c == '\n') break;
    line += c;
    if (line.size() > 4096) throw EReadError("a host line of the capture header is too long");
  }
  if (line.endsWith('\r')) line.chop(1);
  return line.toStdString();
}

void WriteDate(double date, QIODevice& stream) { WriteDouble(DateToStored(date), stream); }
double ReadDate(QIODevice& stream) { return StoredToDate(ReadDoubleChecked(stream)); }

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
  for (uint16_t n : {RetrievedCount, FilteredCount, NotFoundCount, ErrorCount, MimeCategorySet})
    WriteWord(n, s);
  Options.SaveToStream(s, kWebFileVersion);
  WriteInt32(TotalSize, s);
  WriteByte(Options.BackgroundOnlyFlag ? 1 : 0, s);
  WriteDate(CaptureDate, s);
  Identities.SaveToStream(s);
  Maps.SaveToStream(s);
  WriteDate(Info.FirstDate, s);
  WriteDate(Info.LastDate, s);
  for (int32_t n : Info.Counters) WriteInt32(n, s);
  const size_t pairs = std::min<size_t>(HostAddresses.size() / 2, kMaxHostPairs);
  WriteInt16(int16_t(pairs), s);
  for (size_t i = 0; i < pairs * 2; ++i) WriteLine(HostAddresses[i], s);
  return bytes;
}

TWebLoadResult TWeb::ReadHeader(QIODevice& s) {
  try {
    if (ReadShortString(s) != kWebMagic) return wlNotWeb;
    const int16_t version = ReadInt16Checked(s);
    if (version > kWebFileVersion) return wlNewer;
    if (version < 512) return wlError;
    std::vector<TStartEntry> entries;
    std::string title;
    if (version >= 513) {
      ReadShortStringChecked(s);  // the writing program's version
      title = ReadShortStringChecked(s);
      const int16_t count = ReadInt16Checked(s);
      if (count < 0) return wlReadError;
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
    uint16_t counters[5];
    for (uint16_t& n : counters) n = ReadWordChecked(s);
    Options.LoadFromStream(s, version);
    const int32_t total = ReadInt32Checked(s);
    Options.BackgroundOnlyFlag = ReadByteChecked(s) != 0;
    const double date = ReadDate(s);
    if (!Identities.LoadFromStream(s)) return wlReadError;
    Maps.LoadFromStream(version, s);
    TCaptureInfo info;
    info.FirstDate = ReadDate(s);
    info.LastDate = ReadDate(s);
    for (int32_t& n : info.Counters) n = ReadInt32Checked(s);
    const int16_t pairs = ReadInt16(s);  // zeros of the area: no list
    if (pairs < 0 || pairs > kMaxHostPairs) return wlReadError;
    StringList hosts;
    for (int i = 0; i < pairs * 2; ++i) hosts.push_back(ReadLine(s));

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
    return wlOk;
  } catch (const EReadError&) {
    return wlReadError;
  }
}

void TWeb::CreateNew(const std::filesystem::path& path) {
  Close();
  const QByteArray header = HeaderBytes();
  if (header.size() >= qsizetype(kWebHeaderSize))
    throw ECaptureHeaderTooLarge("the capture header does not fit before the URL tree");
  auto stream = std::make_unique<TWebStream>(path, TWebStream::Mode::Create);
  static const char zeros[64] = {};
  for (uint32_t at = 0; at < kWebHeaderSize; at += sizeof zeros) stream->Write(at, zeros, sizeof zeros);
  stream->Write(0, header.constData(), size_t(header.size()));
  stream_ = std::move(stream);
  path_ = path;
  ApplyOptions();
  CreateTree(path.parent_path().string(), stream_.get(), kWebHeaderSize);
}

TWebLoadResult TWeb::Open(const std::filesystem::path& path) {
  Close();
  auto stream = std::make_unique<TWebStream>(path, TWebStream::Mode::Open);
  QByteArray area(int(kWebHeaderSize), '\0');
  area.resize(qsizetype(stream->ReadSome(0, area.data(), kWebHeaderSize)));
  QBuffer in(&area);
  in.open(QIODevice::ReadOnly);
  const TWebLoadResult result = ReadHeader(in);
  if (result != wlOk) return result;
  try {
    if (!OpenTree(path.parent_path().string(), stream.get(), kWebHeaderSize)) return wlReadError;
  } catch (const EUrlBTreeCorrupt&) {
    DiscardTree();
    return wlReadError;
  }
  stream_ = std::move(stream);
  path_ = path;
  ApplyOptions();
  return wlOk;
}

bool TWeb::Save() {
  if (!stream_) return false;
  const QByteArray header = HeaderBytes();
  // Measured before anything is written: the tree begins at 5120.
  if (header.size() >= qsizetype(kWebHeaderSize))
    throw ECaptureHeaderTooLarge("the capture header (" + std::to_string(header.size()) +
                                 " bytes) does not fit before the URL tree; nothing was saved");
  QByteArray area = header;
  area.append(QByteArray(qsizetype(kWebHeaderSize) - header.size(), '\0'));
  stream_->Write(0, area.constData(), size_t(area.size()));
  ApplyOptions();
  Flush();  // pages, tree header block, commit
  return true;
}

void TWeb::Close() {
  if (!stream_) return;
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

void SetContentType(TWebFile& record, const std::string& type, const std::string& extension) {
  TWeb* web = WebOf(record);
  if (!web) return;
  TMimeList& list = web->Options.MimeList();
  TMimeItem* item = list.FindType(type);
  int index = item ? list.IndexOf(item) : -1;
  if (!item) {
    // A new type: its category from its major type, captured like its category.
    const int category = MimeTypeCategory(type);
    index = list.AddType(type, extension, 0, category, list.GetCategoryEnabled(category));
  }
  record.SetMimeIndex(uint8_t(index >= 0 ? index + 1 : 0));
  if (index >= 0) {
    list.GetItem(index)->SetUsed(true);
    web->MimeCategorySet = uint16_t(web->MimeCategorySet | 1u << list.GetItem(index)->Category);
  }
}

bool IsImage(const TWebFile& record) { return GetMimeItem(record)->Category == mcImage; }

bool IsVrml(const TWebFile& record) { return SameTextAscii(GetContentType(record), "x-world/x-vrml"); }

}  // namespace qlon
