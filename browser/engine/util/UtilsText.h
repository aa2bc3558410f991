#pragma once
// Text routines of the browser: UTF-8 prefixes, masks, splitting, words and
// trimming; and the texts of sizes, HTTP statuses and dates in the lists.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>

namespace qlon {

// Texts are UTF-8 byte strings; positions are 1-based, 0 meaning "none", as
// the callers (header, cookie and coordinate splitters) count. "Blank"
// means a byte below 33 (space, tab, CR, LF, other controls).

using StringList = std::vector<std::string>;

// True for the bytes that continue a UTF-8 sequence.
inline bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The longest prefix of text of at most maxBytes bytes that does not end
// inside a UTF-8 sequence. Bytes that are not UTF-8 (old Windows-1252 texts)
// are cut like single characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes);

// The length of the UTF-8 character that starts the text (1 for ASCII);
// 0 when the bytes there are none: a continuation byte, an overlong form, a
// surrogate, a code past U+10FFFF, or a sequence cut short.
std::size_t Utf8CharLength(std::string_view text);

// The text as it may reach a terminal or a message unchanged in meaning:
// each byte that is not part of a valid UTF-8 character, and each control
// character (C0, DEL, C1: an escape sequence, a line break), is written as
// "\xXX" (upper-case hex); every other character stays as it is.
std::string PrintableText(std::string_view text);

// Appends the byte as "%XX" (upper-case hex), as URLs and our text
// escapes write it.
void AppendPercentByte(std::string& out, unsigned char c);

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
