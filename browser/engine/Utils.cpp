#include "Utils.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <pwd.h>
#include <sys/statvfs.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QMimeDatabase>
#include <QStringList>

#include "HandOver.h"
#include "MessageBox.h"
#include "NamedMutex.h"
#include "Shell.h"
#include "Texts.h"
#include "WindowMessage.h"
#include <QLocale>
#include <QtEndian>

namespace qlon {

// ---------------------------------------------------------------------------
// Stream primitives

namespace {

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void WriteBytes(QIODevice& stream, const void* data, std::size_t size) {
  if (size == 0) return;
  const qint64 written = stream.write(static_cast<const char*>(data), static_cast<qint64>(size));
  if (written != static_cast<qint64>(size))
    throw EWriteError("Erreur d'écriture du flux: " + stream.errorString().toStdString());
}

// Reads up to size bytes; returns how many were read (0 on a read error).
std::size_t ReadBytes(QIODevice& stream, void* data, std::size_t size) {
  if (size == 0) return 0;
  const qint64 got = stream.read(static_cast<char*>(data), static_cast<qint64>(size));
  return got < 0 ? 0 : static_cast<std::size_t>(got);
}

void ReadBytesChecked(QIODevice& stream, void* data, std::size_t size) {
  if (ReadBytes(stream, data, size) != size) throw EReadError("Erreur de lecture du flux: fin de fichier inattendue");
}

template <typename T>
void WriteLittleEndian(T value, QIODevice& stream) {
  std::array<unsigned char, sizeof(T)> bytes;
  qToLittleEndian(value, bytes.data());
  WriteBytes(stream, bytes.data(), bytes.size());
}

// Missing bytes stay 0, so a read at the end of the stream yields 0.
template <typename T>
T ReadLittleEndian(QIODevice& stream) {
  std::array<unsigned char, sizeof(T)> bytes{};
  ReadBytes(stream, bytes.data(), bytes.size());
  return qFromLittleEndian<T>(bytes.data());
}

template <typename T>
T ReadLittleEndianChecked(QIODevice& stream) {
  std::array<unsigned char, sizeof(T)> bytes{};
  ReadBytesChecked(stream, bytes.data(), bytes.size());
  return qFromLittleEndian<T>(bytes.data());
}

}  // namespace

void AppendPercentByte(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t n = maxBytes;
  // A UTF-8 sequence has at most 3 continuation bytes: step back over them
  // to the lead byte, which then starts the cut-off part. Text that is not
  // UTF-8 loses at most those 3 bytes.
  for (std::size_t back = 0; back < 3 && n > 0 && IsUtf8Continuation(static_cast<unsigned char>(text[n])); ++back) --n;
  if (IsUtf8Continuation(static_cast<unsigned char>(text[n]))) n = maxBytes;
  return text.substr(0, n);
}

bool WriteShortString(std::string_view text, QIODevice& stream) {
  const std::string_view kept = Utf8Prefix(text, kShortStringMax);
  WriteByte(static_cast<std::uint8_t>(kept.size()), stream);
  WriteBytes(stream, kept.data(), kept.size());
  return kept.size() == text.size();
}

bool WriteShortString(const char* text, QIODevice& stream) {
  return WriteShortString(std::string_view(text ? text : ""), stream);
}

bool WriteShortString(const QString& text, QIODevice& stream) {
  const QByteArray utf8 = text.toUtf8();
  return WriteShortString(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), stream);
}

void WriteByte(std::uint8_t value, QIODevice& stream) { WriteBytes(stream, &value, 1); }
void WriteInt16(std::int16_t value, QIODevice& stream) { WriteLittleEndian(value, stream); }
void WriteWord(std::uint16_t value, QIODevice& stream) { WriteLittleEndian(value, stream); }
void WriteInt32(std::int32_t value, QIODevice& stream) { WriteLittleEndian(value, stream); }

void WriteDouble(double value, QIODevice& stream) { WriteLittleEndian(value, stream); }

bool ReadShortString(QIODevice& stream, std::string& text) {
  text.clear();
  unsigned char length = 0;
  if (ReadBytes(stream, &length, 1) != 1) return false;
  text.resize(length);
  const std::size_t got = ReadBytes(stream, text.data(), length);
  text.resize(got);
  return got == length;
}

bool ReadShortString(QIODevice& stream, QString& text) {
  std::string bytes;
  const bool complete = ReadShortString(stream, bytes);
  text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return complete;
}

std::string ReadShortString(QIODevice& stream) {
  std::string text;
  ReadShortString(stream, text);
  return text;
}

std::uint8_t ReadByte(QIODevice& stream) { return ReadLittleEndian<std::uint8_t>(stream); }
std::int16_t ReadInt16(QIODevice& stream) { return ReadLittleEndian<std::int16_t>(stream); }
std::uint16_t ReadWord(QIODevice& stream) { return ReadLittleEndian<std::uint16_t>(stream); }
std::int32_t ReadInt32(QIODevice& stream) { return ReadLittleEndian<std::int32_t>(stream); }

double ReadDouble(QIODevice& stream) { return ReadLittleEndian<double>(stream); }

std::string ReadShortStringChecked(QIODevice& stream) {
  std::string text;
  if (!ReadShortString(stream, text)) throw EReadError("Erreur de lecture du flux: chaîne tronquée");
  return text;
}

std::uint8_t ReadByteChecked(QIODevice& stream) { return ReadLittleEndianChecked<std::uint8_t>(stream); }
std::int16_t ReadInt16Checked(QIODevice& stream) { return ReadLittleEndianChecked<std::int16_t>(stream); }
std::uint16_t ReadWordChecked(QIODevice& stream) { return ReadLittleEndianChecked<std::uint16_t>(stream); }
std::int32_t ReadInt32Checked(QIODevice& stream) { return ReadLittleEndianChecked<std::int32_t>(stream); }

double ReadDoubleChecked(QIODevice& stream) { return ReadLittleEndianChecked<double>(stream); }

}  // namespace qlon

// ---------------------------------------------------------------------------
// Texts

namespace qlon {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

std::u32string Characters(std::string_view text, bool foldCase) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (foldCase) s = s.toUpper();
  const QList<uint> ucs4 = s.toUcs4();
  return std::u32string(ucs4.begin(), ucs4.end());
}

// Glob matching with backtracking to the last "*": linear in practice,
// O(mask x text) at worst, never exponential.
bool Glob(std::u32string_view mask, std::u32string_view text) {
  std::size_t i = 0, j = 0;
  std::size_t starMask = std::u32string_view::npos, starText = 0;
  while (j < text.size()) {
    if (i < mask.size() && (mask[i] == U'?' || (mask[i] != U'*' && mask[i] == text[j]))) {
      ++i;
      ++j;
    } else if (i < mask.size() && mask[i] == U'*') {
      starMask = i++;
      starText = j;
    } else if (starMask != std::u32string_view::npos) {
      i = starMask + 1;
      j = ++starText;
    } else {
      return false;
    }
  }
  while (i < mask.size() && mask[i] == U'*') ++i;
  return i == mask.size();
}

}  // namespace

bool HasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool HexToInt(std::string_view text, std::uint32_t& value) {
  value = 0;
  for (char c : text) {
    const char u = AsciiUpper(c);
    std::uint32_t digit;
    if (u >= '0' && u <= '9')
      digit = static_cast<std::uint32_t>(u - '0');
    else if (u >= 'A' && u <= 'F')
      digit = static_cast<std::uint32_t>(u - 'A' + 10);
    else
      return false;
    value = value * 16 + digit;
  }
  return true;
}

bool MatchWildcard(std::string_view mask, std::string_view text, bool caseSensitive, bool substring) {
  if (mask.empty() || text.empty()) return false;
  if (mask == text) return true;
  const std::u32string m = Characters(mask, !caseSensitive);
  const std::u32string t = Characters(text, !caseSensitive);
  if (!HasWildcards(mask)) return substring ? t.find(m) != std::u32string::npos : m == t;
  return Glob(m, t);
}

void SplitString(std::string_view text, char separator, StringList& list) {
  while (!text.empty()) {
    const std::size_t k = text.find(separator);
    list.emplace_back(text.substr(0, k));
    text = k == std::string_view::npos ? std::string_view() : text.substr(k + 1);
  }
}

StringList SplitString(std::string_view text, char separator) {
  StringList list;
  SplitString(text, separator, list);
  return list;
}

StringList SplitFields(std::string_view text, std::size_t maximum) {
  StringList fields;
  constexpr auto npos = std::string_view::npos;
  while (!text.empty()) {
    const std::size_t b = text.find('(');
    const std::size_t k = text.find(',');
    std::string_view field;
    if (b == npos || (k != npos && k <= b) || k == npos) {
      // A plain field; a bracket with no comma after it is plain text too.
      field = text.substr(0, k);
      text = k == npos ? std::string_view() : text.substr(k + 1);
    } else {
      // "(a,b)": the field runs to the closing bracket; whatever follows it
      // up to the next comma is dropped. An unclosed bracket takes the rest.
      text = text.substr(b + 1);
      const std::size_t close = text.find(')');
      field = text.substr(0, close);
      text = close == npos ? std::string_view() : text.substr(close + 1);
      const std::size_t comma = text.find(',');
      if (comma != npos) text = text.substr(comma + 1);
    }
    if (fields.size() == maximum) break;
    fields.emplace_back(field);
  }
  return fields;
}

std::string JoinStrings(const StringList& list, char separator) {
  std::string text;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) text += separator;
    text += list[i];
  }
  return text;
}

std::size_t WordStart(std::string_view text, std::size_t start) {
  for (std::size_t p = start < 1 ? 1 : start; p <= text.size(); ++p)
    if (!IsBlank(text[p - 1])) return p;
  return 0;
}

std::size_t WordEnd(std::string_view text, std::size_t start) {
  for (std::size_t p = start < 1 ? 1 : start; p <= text.size(); ++p)
    if (IsBlank(text[p - 1])) return p - 1;
  return text.size();
}

StringList SplitWords(std::string_view text) {
  StringList words;
  std::size_t p = 1;
  while (words.size() < kMaxWords) {
    const std::size_t s = WordStart(text, p);
    if (s == 0) break;
    const std::size_t e = WordEnd(text, s);
    words.emplace_back(text.substr(s - 1, e - s + 1));
    p = e + 1;
  }
  return words;
}

std::string TrimBlanks(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::size_t WordIndex(std::string_view word, std::string_view text) {
  const StringList words = SplitWords(text);
  for (std::size_t i = 0; i < words.size(); ++i)
    if (EqualsIgnoringCase(words[i], word)) return i + 1;
  return 0;
}

void ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return;
  const std::size_t p = text.find(find);
  if (p != std::string::npos) text.replace(p, find.size(), replacement);
}

bool IsNumeric(std::string_view text) { return text.find_first_not_of("0123456789.") == std::string_view::npos; }

std::size_t CountChar(char c, std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

std::string TrimCharSet(std::string_view text, std::string_view set, int flags) {
  const auto inSet = [&](char c) { return set.find(c) != std::string_view::npos; };
  if (flags & kTrimAll) {
    std::string result;
    for (char c : text)
      if (!inSet(c)) result += c;
    return result;
  }
  std::size_t b = 0, e = text.size();
  if (flags & kTrimStart)
    while (b < e && inSet(text[b])) ++b;
  if (flags & kTrimEnd)
    while (e > b && inSet(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiUpper(c);
  return result;
}

}  // namespace qlon

// ---------------------------------------------------------------------------
// Sizes and dates

namespace qlon {

std::string FormatSize(std::uint32_t high, std::uint32_t low) {
  if (high != 0) {
    const std::uint64_t giga = std::uint64_t{high} * 4 + (low >> 30);
    return std::to_string(giga) + "," + std::to_string((low & 0x3FFFFFFF) >> 20) + " Go";
  }
  if (low > 1048576) return std::to_string(low >> 20) + "," + std::to_string((low & 0xFFFFF) >> 10) + " Mo";
  // Digits from the right, a blank before every completed group of three:
  // 999 gives " 999", 1023 gives "1 023".
  std::uint32_t n = low >= 1024 ? low / 1024 : low;
  std::string digits;
  int inGroup = 0;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + n % 10));
    n /= 10;
    if (++inGroup == 3) {
      digits.insert(digits.begin(), ' ');
      inGroup = 0;
    }
  } while (n != 0);
  return digits + (low >= 1024 ? " Ko" : " Octets");
}

std::string HttpStatusText(int code) {
  std::string text;
  const int statusClass = code / 100, index = code % 100;
  if ((statusClass == 2 && index < 7) || (statusClass == 3 && index < 6) || (statusClass == 4 && index < 16) ||
      (statusClass == 5 && index < 6))
    text = HttpStatusTableText(code);
  if (code != 0) text += " (" + std::to_string(code) + ")";
  return text;
}

namespace {
const QDate kDateOrigin(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;
}  // namespace

QDateTime DateTimeToQDateTime(double dateTime) {
  if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3e6) return {};
  const double days = std::trunc(dateTime);
  qint64 ms = std::llround(std::fabs(dateTime - days) * kMsPerDay);
  if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  return QDateTime(kDateOrigin.addDays(static_cast<qint64>(days)), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double QDateTimeToDateTime(const QDateTime& dateTime) {
  const double days = static_cast<double>(kDateOrigin.daysTo(dateTime.date()));
  const double fraction = static_cast<double>(dateTime.time().msecsSinceStartOfDay()) / kMsPerDay;
  return days < 0 ? days - fraction : days + fraction;
}

std::string DateTimeText(double dateTime) {
  const QDateTime dt = DateTimeToQDateTime(dateTime);
  if (!dt.isValid()) return {};
  static const QLocale french(QLocale::French, QLocale::France);
  return french.toString(dt, QStringLiteral("dddd d MMM yyyy,hh:mm:ss")).toStdString();
}

}  // namespace qlon

// ---------------------------------------------------------------------------
// Geometry and windows

namespace qlon {

namespace {

// Byte offset of the first n code points of a UTF-8 text.
std::size_t CodePointOffset(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  while (i < text.size() && n > 0) {
    ++i;
    while (i < text.size() && IsUtf8Continuation(static_cast<unsigned char>(text[i]))) ++i;
    --n;
  }
  return i;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    if (!IsUtf8Continuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

}  // namespace

Rect NormalizeRect(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right), std::max(r.top, r.bottom)};
}

void ListBoxDeleteSelected(ListBoxModel& list) {
  const int former = list.ItemIndex();
  for (int i = list.Count() - 1; i >= 0; --i)
    if (list.Selected(i)) list.Delete(i);
  const int count = list.Count();
  if (count == 0 || former < 0) {
    list.SetItemIndex(-1);
    return;
  }
  const int current = std::min(former, count - 1);
  list.SetItemIndex(current);
  if (list.MultiSelect()) list.SetSelected(current, true);
}

void FitTextEllipsis(const TextExtent& canvas, std::string_view text, Rect& rect, std::string& result, bool keepEnd,
                     bool shorten) {
  result = std::string(text);
  if (text.empty()) return;
  int fit = 0, width = 0;
  canvas.Measure(text, rect.right - rect.left, fit, width);
  const std::size_t length = CodePointCount(text);
  if (shorten && fit >= 0 && static_cast<std::size_t>(fit) < length) {
    std::size_t keep = static_cast<std::size_t>(fit);
    std::string dots;
    if (keep == 0) {
      keep = 1;
    } else if (keep == 2 || keep == 3) {
      keep -= 1;
      dots = ".";
    } else if (keep > 3) {
      keep -= 2;
      dots = "...";
    }
    if (keepEnd)
      result = dots + std::string(text.substr(CodePointOffset(text, length - keep)));
    else
      result = std::string(text.substr(0, CodePointOffset(text, keep))) + dots;
  }
  rect.right = rect.left + width + 2;
}

std::string ShellIconName(const std::string& file, int flags) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return flags & kIconOpen ? "folder-open" : "folder";
  static const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(QString::fromStdString(file));
  if (!type.isValid()) return {};
  return type.iconName().toStdString();
}

void DrawShellIcon(IconCanvas& canvas, int x, int y, int flags, const std::string& file) {
  const std::string icon = ShellIconName(file, flags);
  if (!icon.empty()) canvas.DrawIcon(icon, x, y, flags & kIconSmall ? 16 : 32, flags);
}

}  // namespace qlon

// ---------------------------------------------------------------------------
// Files, folders and the shell

namespace qlon {

namespace fs = std::filesystem;

fs::path NormalFolder(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (n.has_filename() || n == n.root_path()) return n;
  return n.parent_path();  // "a/b/" -> "a/b"
}

namespace {

bool IsFile(const fs::directory_entry& e) {
  std::error_code ec;
  return e.is_regular_file(ec);
}

// The entries of folder whose names match the mask, sorted by name.
std::vector<fs::directory_entry> Matches(const fs::path& folder, std::string_view mask, bool filesOnly) {
  std::vector<fs::directory_entry> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (filesOnly && !IsFile(*it)) continue;
    if (MatchFileMask(mask, it->path().filename().string())) out.push_back(*it);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return out;
}

bool Contains(const fs::path& ancestor, const fs::path& p) {
  auto a = ancestor.begin(), b = p.begin();
  for (; a != ancestor.end(); ++a, ++b)
    if (b == p.end() || *a != *b) return false;
  return true;
}

// The home folders of this user ($HOME) and of every account.
std::vector<fs::path> HomeFolders() {
  static std::mutex lock;
  std::lock_guard guard(lock);
  std::vector<fs::path> homes;
  if (const char* home = std::getenv("HOME"); home && *home) homes.push_back(NormalFolder(home));
  ::setpwent();
  while (const passwd* pw = ::getpwent())
    if (pw->pw_dir && pw->pw_dir[0] == '/') homes.push_back(NormalFolder(pw->pw_dir));
  ::endpwent();
  return homes;
}

bool SafeLexically(const fs::path& p) {
  if (p.empty() || !p.is_absolute()) return false;
  const fs::path n = NormalFolder(p);
  const fs::path below = n.relative_path();
  if (std::distance(below.begin(), below.end()) < 2) return false;
  for (const fs::path& home : HomeFolders())
    if (Contains(n, home)) return false;
  return true;
}

// Deletes the matches of "folder/mask" (or the path itself).
bool DeleteItems(const fs::path& from, unsigned flags) {
  const std::string name = from.filename().string();
  const bool masked = HasWildcards(name);
  const fs::path tree = masked ? from.parent_path() : from;
  if (!IsSafeToDeleteTree(tree)) return false;
  if (!(flags & FOF_NOCONFIRMATION)) {
    const std::string text = "Voulez-vous vraiment supprimer « " + from.string() + " »" +
                             (flags & FOF_FILESONLY ? "" : " et tout son contenu") + " ?";
    if (platform::MessageBox(text, "Confirmer la suppression", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
        platform::IDYES)
      return false;
  }
  bool ok = true;
  std::error_code ec;
  if (!masked) {
    if (flags & FOF_FILESONLY && !fs::is_regular_file(from, ec)) return false;
    return fs::remove_all(from, ec) != static_cast<std::uintmax_t>(-1) && !ec;
  }
  for (const fs::directory_entry& e : Matches(tree, name, flags & FOF_FILESONLY)) {
    fs::remove_all(e.path(), ec);
    if (ec) ok = false;
  }
  return ok;
}

bool CopyOrMoveItems(const fs::path& from, const fs::path& to, bool move) {
  const std::string name = from.filename().string();
  std::vector<fs::path> items;
  if (HasWildcards(name)) {
    for (const fs::directory_entry& e : Matches(from.parent_path(), name, false)) items.push_back(e.path());
  } else {
    items.push_back(from);
  }
  std::error_code ec;
  fs::create_directories(to, ec);
  bool ok = true;
  for (const fs::path& item : items) {
    const fs::path target = to / item.filename();
    if (fs::equivalent(item, target, ec)) continue;
    ec.clear();
    if (Contains(NormalFolder(fs::absolute(item, ec)), NormalFolder(fs::absolute(to, ec)))) {
      ok = false;  // a folder into itself would never end
      continue;
    }
    if (move) {
      fs::rename(item, target, ec);
      if (!ec) continue;  // another file system: copy, then remove
      ec.clear();
    }
    fs::copy(item, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (!ec && move) fs::remove_all(item, ec);
    if (ec) ok = false;
  }
  return ok;
}

}  // namespace

bool CopyFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  if (fs::equivalent(source, target, ec)) return false;  // would truncate the source
  QFile in(QString::fromStdString(source.string()));
  if (!in.open(QIODevice::ReadOnly)) return false;
  QFile out(QString::fromStdString(target.string()));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const qint64 got = in.read(buffer, sizeof buffer);
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (out.write(buffer, got) != got) {
      ok = false;
      break;
    }
  }
  ok = out.flush() && ok;
  out.close();
  if (!ok) out.remove();
  return ok;
}

bool CopyFilesByMask(const std::string& targetFolder, std::string sourceFolder, std::string_view masks) {
  StringList entries;
  for (std::string& e : SplitString(masks, ',')) {
    e = UpperCase(TrimBlanks(e));
    if (e.empty()) continue;
    if (e[0] != '+' && e[0] != '-') e.insert(0, "+");
    entries.push_back(e);
  }
  if (!PrepareFolderPath(sourceFolder)) return false;
  std::error_code ec;
  fs::create_directories(targetFolder, ec);
  StringList excluded;
  for (const std::string& e : entries)
    if (e[0] == '-' && e.size() > 3 && e.compare(1, 2, "*.") == 0) excluded.push_back(e.substr(3));
  for (const std::string& e : entries) {
    if (e[0] != '+') continue;
    for (const fs::directory_entry& file : Matches(sourceFolder, e.substr(1), true)) {
      const std::string name = file.path().filename().string();
      const std::size_t dot = name.rfind('.');
      const std::string ext = dot == std::string::npos ? std::string() : UpperCase(name.substr(dot + 1, 3));
      if (std::find(excluded.begin(), excluded.end(), ext) != excluded.end()) continue;
      CopyFile(file.path(), fs::path(targetFolder) / name);
    }
  }
  return true;
}

std::int64_t GetFileSize(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

bool MatchFileMask(std::string_view mask, std::string_view name) {
  if (mask == "*" || mask == "*.*") return !name.empty();
  if (MatchWildcard(mask, name, false, false)) return true;
  // "name.*" also matches "name", which has no extension.
  return mask.size() > 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos &&
         MatchWildcard(mask.substr(0, mask.size() - 2), name, false, false);
}

void ListFiles(const std::string& pathWithMask, StringList& list) {
  list.clear();
  const fs::path p(pathWithMask);
  for (const fs::directory_entry& e : Matches(p.parent_path(), p.filename().string(), true))
    list.push_back(e.path().filename().string());
}

int CountFiles(const std::string& folder) { return static_cast<int>(Matches(folder, "*.*", true).size()); }

bool PrepareFolderPath(std::string& folder) {
  const bool hadSlash = !folder.empty() && folder[0] == '/';
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (folder.empty() && hadSlash) {
    folder = "/";
    return true;
  }
  std::error_code ec;
  const bool exists = !folder.empty() && fs::is_directory(folder, ec);
  folder += '/';
  return exists;
}

std::string GetSystemDir() { return "/usr/lib/"; }

bool RemoveFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && fs::remove(folder, ec) && !ec;
}

bool IsSafeToDeleteTree(const fs::path& folder) {
  if (!SafeLexically(folder)) return false;
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(folder, ec);
  return !ec && SafeLexically(real);
}

bool ShellFileOperation(const std::string& from, const std::string& to, unsigned operation, unsigned flags) {
  if (from.empty()) return false;
  const fs::path source = fs::path(from).lexically_normal();
  switch (operation) {
    case FO_DELETE: return DeleteItems(source, flags);
    case FO_COPY: return !to.empty() && CopyOrMoveItems(source, to, false);
    case FO_MOVE: return !to.empty() && CopyOrMoveItems(source, to, true);
    case FO_RENAME: {
      std::error_code ec;
      if (to.empty() || fs::exists(to, ec)) return false;
      fs::rename(source, to, ec);
      return !ec;
    }
  }
  return false;
}

void EmptyAndRemoveFolder(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  if (ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE, FOF_SILENT | FOF_NOCONFIRMATION))
    RemoveFolder(folder);
}

void DeleteFolderTree(const std::string& folder, bool confirm) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  if (ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE, confirm ? 0 : FOF_NOCONFIRMATION))
    RemoveFolder(folder);
}

void DeleteFolderFiles(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE,
                     FOF_FILESONLY | FOF_NOCONFIRMATION | FOF_SILENT);
}

std::string GetLongFileName(const std::string& path) { return path; }

bool GetVolumeLabel(const std::string&, std::string&) { return false; }

bool GetDiskFree(const fs::path& folder, std::uint32_t& high, std::uint32_t& low) {
  struct statvfs st{};
  if (::statvfs(folder.c_str(), &st) != 0) return false;
  const std::uint64_t bytes = std::uint64_t{st.f_bavail} * st.f_frsize;
  high = static_cast<std::uint32_t>(bytes >> 32);
  low = static_cast<std::uint32_t>(bytes);
  return true;
}

bool GetDiskFree(int drive, std::uint32_t& high, std::uint32_t& low) {
  if (drive != 0) return false;
  std::error_code ec;
  const fs::path current = fs::current_path(ec);
  return !ec && GetDiskFree(current, high, low);
}

int OpenDocument(const std::string& fileOrUrl) {
  platform::OpenItem(fileOrUrl);
  return 0;
}

bool GetAssociatedProgram(std::string_view extension, std::string& program, std::string* icon) {
  if (extension.empty()) return false;
  const std::optional<platform::Association> a = platform::AssociatedProgram(extension);
  if (!a) return false;
  program = a->program;
  if (icon) *icon = a->icon;
  return true;
}

bool RunProgram(const std::string& commandLine, int) { return platform::StartCommand(commandLine); }

// ---------------------------------------------------------------------------
// Message boxes

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::string shown = caption;
  if (const std::size_t amp = shown.find('&'); amp != std::string::npos) shown.erase(amp, 1);
  return platform::MessageBox(text, shown, flags);
}

int ErrorBox(int iconKind, int captionIndex, const std::string& text, unsigned buttonSet) {
  static constexpr unsigned kButtonValues[8] = {platform::MB_YESNO,  platform::MB_YESNO,
                                                platform::MB_OK,     platform::MB_OKCANCEL,
                                                platform::MB_ABORTRETRYIGNORE, platform::MB_RETRYCANCEL,
                                                platform::MB_ABORTRETRYIGNORE, 7};
  static constexpr unsigned kIconValues[5] = {platform::MB_ICONEXCLAMATION, platform::MB_ICONHAND,
                                              platform::MB_ICONASTERISK, platform::MB_ICONQUESTION, 0};
  unsigned flags = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (buttonSet & (1u << bit)) flags |= kButtonValues[bit];
  if (iconKind >= 0 && iconKind < 5) flags |= kIconValues[iconKind];
  return ShowMessageBox(text, std::string(TextAt(kMessageCaptions, captionIndex)), flags);
}

// ---------------------------------------------------------------------------
// Single instance

namespace {

std::mutex gInstanceLock;
std::unique_ptr<platform::NamedMutex> gInstanceMutex;

std::string ProgramFile() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath().toStdString();
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).string();
}

StringList ProcessArguments() {
  StringList args;
  if (QCoreApplication::instance()) {
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return args;
  }
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string arg;
  bool first = true;
  while (std::getline(in, arg, '\0')) {
    if (!first) args.push_back(arg);
    first = false;
  }
  return args;
}

}  // namespace

fs::path ProgramFolder() { return fs::path(ProgramFile()).parent_path(); }

std::string InstanceMutexName(std::string_view title) {
  std::string name = "APPLICATION-" + std::string(title);
  std::replace(name.begin(), name.end(), '\\', '_');
  return QString::fromStdString(name).toUpper().toStdString();
}

bool CreateInstanceMutex(std::string_view title) {
  const std::string name = InstanceMutexName(title.empty() ? ProgramFile() : std::string(title));
  std::lock_guard lock(gInstanceLock);
  if (gInstanceMutex && gInstanceMutex->name() == name) return false;  // it exists: ours
  auto mutex = std::make_unique<platform::NamedMutex>(name);
  if (!mutex->TryLock()) return false;
  gInstanceMutex = std::move(mutex);
  return true;
}

void CloseInstanceMutex() {
  std::lock_guard lock(gInstanceLock);
  gInstanceMutex.reset();
}

bool IsInstanceFree(std::string_view pathOrTitle) {
  const std::string name = InstanceMutexName(pathOrTitle);
  {
    std::lock_guard lock(gInstanceLock);
    if (gInstanceMutex && gInstanceMutex->name() == name) return false;
  }
  platform::NamedMutex probe(name);
  return probe.TryLock();  // released at once by the destructor
}

InstanceWindow FindWindowByTitle(std::string_view title) {
  const std::string name = InstanceMutexName(title);
  if (platform::HandOverServer::ListensInThisProcess(name)) return {};
  {
    // This process is that instance: there is no other to find.
    std::lock_guard lock(gInstanceLock);
    if (gInstanceMutex && gInstanceMutex->name() == name) return {};
  }
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    if (platform::HandOverAvailable(name, 500)) return {name};
    if (!platform::NamedMutex::IsHeldElsewhere(name) || waited.elapsed() > 5000) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

QByteArray CommandLinePayload(const StringList& arguments) {
  QByteArray payload;
  for (const std::string& a : arguments) {
    payload.append(a.data(), static_cast<qsizetype>(a.size()));
    payload.append("\r\n");
  }
  payload.append('\0');
  return payload;
}

bool SendCommandLine(const InstanceWindow& window) { return SendCommandLine(window, ProcessArguments()); }

bool SendCommandLine(const InstanceWindow& window, const StringList& arguments) {
  return window && platform::SendHandOver(window.channel, CommandLinePayload(arguments));
}

bool ListenForCommandLine(QObject* window, std::string_view title) {
  if (!window) return false;
  const std::string name = InstanceMutexName(title);
  {
    // Only the instance may take over the socket name.
    std::lock_guard lock(gInstanceLock);
    if (!gInstanceMutex || gInstanceMutex->name() != name) return false;
  }
  auto* server = new platform::HandOverServer(window);
  if (!server->Listen(name)) {
    delete server;
    return false;
  }
  QObject::connect(server, &platform::HandOverServer::received, window, [window](const QByteArray& data) {
    const platform::CopyDataStruct copy{0, static_cast<std::uint32_t>(data.size()), data.constData()};
    platform::SendMessage(window, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&copy));
  });
  return true;
}

}  // namespace qlon
