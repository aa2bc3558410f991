#pragma once
// Free routines shared by every part of the offline browser: the binary
// stream primitives of all its file formats, and (below) text, size, file,
// shell, message-box and single-instance helpers.
//
// Stream primitives. Every binary file of the browser is a plain sequence
// of these values, little-endian, unpadded:
//
//   byte          1 byte
//   int16 / word  2 bytes (int16 read back sign-extended)
//   int32         4 bytes, signed
//   double        8 bytes, IEEE 754
//   short string  1 length byte n (0..255), then n bytes of UTF-8 text
//
// A short string holds at most 255 bytes; a longer text is cut at the last
// UTF-8 character boundary at or before byte 255, so that a stored text is
// never a broken character.
//
// Reads come in two forms. The plain form presets the value to 0 and reads
// what is there, so a read at the end of the stream yields 0 or an empty
// text; formats that tolerate short files (older versions, optional
// trailing blocks) use it. The Checked form raises EReadError when the
// stream ends inside the value; loaders that must not take a truncated
// file for plausible zeros use it. Every write raises EWriteError when the
// device does not take all the bytes (disk full, closed device), so a
// failed save is never reported as a success.
//
// The primitives keep no state: the scheduler thread uses them on its own
// streams while the GUI thread uses them on others.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>
#include <QString>

class QIODevice;

namespace qlon {

// Base of every exception of the browser; the event loop shows message().
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

// A stream ended inside a value read in the Checked form.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// A stream did not take every byte written.
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr std::size_t kShortStringMax = 255;

// The longest prefix of text of at most maxBytes bytes that does not end
// inside a UTF-8 sequence. Bytes that are not UTF-8 (old Windows-1252 texts)
// are cut like single characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes);

// Writes a short string; returns false when the text was longer than 255
// bytes and only its first characters were stored.
bool WriteShortString(std::string_view text, QIODevice& stream);
bool WriteShortString(const char* text, QIODevice& stream);
bool WriteShortString(const QString& text, QIODevice& stream);
void WriteByte(std::uint8_t value, QIODevice& stream);
void WriteInt16(std::int16_t value, QIODevice& stream);
void WriteWord(std::uint16_t value, QIODevice& stream);
void WriteInt32(std::int32_t value, QIODevice& stream);
void WriteDouble(double value, QIODevice& stream);

// Plain reads: 0 (or the bytes that were there) at the end of the stream.
// ReadShortString returns false when the stream ended inside the string.
bool ReadShortString(QIODevice& stream, std::string& text);
bool ReadShortString(QIODevice& stream, QString& text);
std::string ReadShortString(QIODevice& stream);
std::uint8_t ReadByte(QIODevice& stream);
std::int16_t ReadInt16(QIODevice& stream);
std::uint16_t ReadWord(QIODevice& stream);
std::int32_t ReadInt32(QIODevice& stream);
double ReadDouble(QIODevice& stream);

// Checked reads: EReadError when the stream ends inside the value.
std::string ReadShortStringChecked(QIODevice& stream);
std::uint8_t ReadByteChecked(QIODevice& stream);
std::int16_t ReadInt16Checked(QIODevice& stream);
std::uint16_t ReadWordChecked(QIODevice& stream);
std::int32_t ReadInt32Checked(QIODevice& stream);
double ReadDoubleChecked(QIODevice& stream);

// Dates: in memory a day count with day 0 = 1899-12-30; in files the days
// since 0001-01-01, that is the in-memory value + 693594.
inline constexpr double kStoredDateOffset = 693594.0;
inline double DateToStored(double date) { return date + kStoredDateOffset; }
inline double StoredToDate(double stored) { return stored - kStoredDateOffset; }

// ---------------------------------------------------------------------------
// Texts. Texts are UTF-8 byte strings; positions are 1-based, 0 meaning
// "none", as the callers (header, cookie and coordinate splitters) count.
// "Blank" means a byte below 33 (space, tab, CR, LF, other controls).

using StringList = std::vector<std::string>;

// True when the text holds "*" or "?".
bool HasWildcards(std::string_view text);

// Reads the text as hexadecimal digits (either case) into value; false at
// the first other character (value then holds the digits before it). An
// empty text gives true and 0. Digits beyond 32 bits wrap, as they did.
bool HexToInt(std::string_view text, std::uint32_t& value);

// Mask matching of file names, filters and searches. An empty mask or text
// never matches; a mask equal to the text always does. A mask without "*"
// and "?" must equal the text, or with substring set occur in it. Otherwise
// "*" matches any run of characters (none included) and "?" exactly one.
// Characters, not bytes, are matched; case is folded unless caseSensitive.
bool MatchWildcard(std::string_view mask, std::string_view text, bool caseSensitive, bool substring);

// The parts of text between separators, in order. Empty parts between two
// separators are kept; a final separator adds no empty last part. The
// second form appends to an existing list.
StringList SplitString(std::string_view text, char separator);
void SplitString(std::string_view text, char separator, StringList& list);

// The comma-separated fields of a MIME or column line, at most maximum of
// them. A field that opens with "(" runs to the next ")" and may hold
// commas: "text/html,Html,(htm,html),(1,2)" gives text/html, Html, htm,html
// and 1,2.
StringList SplitFields(std::string_view text, std::size_t maximum);

// The lines joined with the separator between them.
std::string JoinStrings(const StringList& list, char separator);

// The first position >= start holding a non-blank byte; 0 when none.
std::size_t WordStart(std::string_view text, std::size_t start);
// The position before the first blank at or after start; the text's length
// when none.
std::size_t WordEnd(std::string_view text, std::size_t start);
// The runs of non-blank bytes, in order; at most kMaxWords of them.
inline constexpr std::size_t kMaxWords = 101;
StringList SplitWords(std::string_view text);
// The text without blanks at both ends.
std::string TrimBlanks(std::string_view text);
// The 1-based index of the first word of text equal to word ignoring case;
// 0 when absent.
std::size_t WordIndex(std::string_view word, std::string_view text);
// Replaces the first occurrence of find (nothing when absent or empty).
void ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement);
// True when every byte is a digit or "." (an empty text included).
bool IsNumeric(std::string_view text);
std::size_t CountChar(char c, std::string_view text);

// TrimCharSet flags.
inline constexpr int kTrimStart = 1;
inline constexpr int kTrimEnd = 2;
inline constexpr int kTrimAll = 4;  // remove the set's bytes everywhere
std::string TrimCharSet(std::string_view text, std::string_view set, int flags);

// ASCII upper case, the folding the stored names and masks use.
std::string UpperCase(std::string_view text);

// ---------------------------------------------------------------------------
// Sizes and dates

// "Ok (200)", "Pas trouvé (404)", " (412)" for a code without text, "" for 0.
std::string HttpStatusText(int code);

// A byte count given as two 32-bit halves, in the French units of the lists:
// " 999 Octets", "1 Ko", "3,0 Mo", "4,0 Go" (see the .cpp for the rules).
std::string FormatSize(std::uint32_t high, std::uint32_t low);

// In-memory date-times: days since 1899-12-30 plus the fraction of the day
// (for dates before it the fraction still counts forward from midnight).
QDateTime DateTimeToQDateTime(double dateTime);
double QDateTimeToDateTime(const QDateTime& dateTime);

// "lundi 3 janv. 2000,14:05:09": full French day name, day, short French
// month name, year, then the time.
std::string DateTimeText(double dateTime);

}  // namespace qlon
