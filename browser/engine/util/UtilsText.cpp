#include "UtilsText.h"

#include <algorithm>
#include <cmath>

#include <QList>
#include <QLocale>
#include <QString>

#include "Texts.h"

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

void AppendPercentByte(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::string PrintableText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  const auto escape = [&out](std::string_view bytes) {
    for (const char b : bytes) out.append({'\\', 'x', kHex[static_cast<unsigned char>(b) >> 4], kHex[b & 15]});
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8CharLength(text.substr(i));
    if (n == 0) {
      escape(text.substr(i, 1));
      ++i;
      continue;
    }
    // C0 and DEL are one byte; C1 controls are U+0080..U+009F, encoded C2 80..C2 9F.
    const auto lead = static_cast<unsigned char>(text[i]);
    const bool control = n == 1 ? lead < 0x20 || lead == 0x7F
                                : n == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (control)
      escape(text.substr(i, n));
    else
      out.append(text.substr(i, n));
    i += n;
  }
  return out;
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

std::size_t Utf8CharLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return 1;
  // The second byte's range depends on the lead (RFC 3629): it rules out
  // overlong forms, surrogates and codes past U+10FFFF.
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) length = 2;
  else if (c == 0xE0) length = 3, low = 0xA0;
  else if (c == 0xED) length = 3, high = 0x9F;
  else if (c >= 0xE1 && c <= 0xEF) length = 3;
  else if (c == 0xF0) length = 4, low = 0x90;
  else if (c == 0xF4) length = 4, high = 0x8F;
  else if (c >= 0xF1 && c <= 0xF3) length = 4;
  if (length == 0 || text.size() < length) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!IsUtf8Continuation(static_cast<unsigned char>(text[i]))) return 0;
  return length;
}

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

// ---------------------------------------------------------------------------
// Sizes and dates

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

