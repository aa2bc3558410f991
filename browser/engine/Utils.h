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
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtEndian>

class QIODevice;
class QObject;

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

// Appends the byte as "%XX" (upper-case hex), as URLs and our text
// escapes write it.
void AppendPercentByte(std::string& out, unsigned char c);

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

// The same little-endian values in a byte buffer (pages, records and
// journal headers that are read and written whole): p must hold the bytes.
inline std::uint16_t GetLE16(const std::uint8_t* p) { return qFromLittleEndian<std::uint16_t>(p); }
inline std::uint32_t GetLE32(const std::uint8_t* p) { return qFromLittleEndian<std::uint32_t>(p); }
inline std::uint64_t GetLE64(const std::uint8_t* p) { return qFromLittleEndian<std::uint64_t>(p); }
inline void PutLE16(std::uint8_t* p, std::uint16_t value) { qToLittleEndian(value, p); }
inline void PutLE32(std::uint8_t* p, std::uint32_t value) { qToLittleEndian(value, p); }
inline void PutLE64(std::uint8_t* p, std::uint64_t value) { qToLittleEndian(value, p); }

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

// ---------------------------------------------------------------------------
// Geometry and windows. The engine opens no window: the routines that
// act on controls take the small interfaces below, which the controls
// implement.

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};
Rect NormalizeRect(const Rect& rect);


class ListBoxModel {
 public:
  virtual ~ListBoxModel() = default;
  virtual int Count() const = 0;
  virtual bool Selected(int index) const = 0;
  virtual void Delete(int index) = 0;
  virtual int ItemIndex() const = 0;  // the current item, -1 for none
  virtual void SetItemIndex(int index) = 0;
  virtual bool MultiSelect() const = 0;
  virtual void SetSelected(int index, bool selected) = 0;
};
// Deletes the selected items; the item now at the former current index
// (or the last one) becomes current, and selected in a multi-select list.
void ListBoxDeleteSelected(ListBoxModel& list);

// GetTextExtentExPoint of a canvas: how many characters (UTF-8 code points)
// of the text fit in maxWidth, and the width of the whole text.
class TextExtent {
 public:
  virtual ~TextExtent() = default;
  virtual void Measure(std::string_view text, int maxWidth, int& fit, int& width) const = 0;
};
// result = the text, shortened with dots to the characters that fit in the
// rectangle when shorten is set (keeping its end or its start); the
// rectangle's right edge becomes left + the whole text's width + 2.
void FitTextEllipsis(const TextExtent& canvas, std::string_view text, Rect& rect, std::string& result, bool keepEnd,
                     bool shorten);

// DrawShellIcon flags.
inline constexpr int kIconSmall = 2;
inline constexpr int kIconSelected = 16;
inline constexpr int kIconLinkOverlay = 32;
inline constexpr int kIconOpen = 64;
class IconCanvas {
 public:
  virtual ~IconCanvas() = default;
  // Draws the themed icon (or icon file) at (x, y); false when there is none.
  virtual bool DrawIcon(const std::string& icon, int x, int y, int size, int flags) = 0;
};
// The icon of the file's type (a folder's for a folder), 16 or 32 pixels.
void DrawShellIcon(IconCanvas& canvas, int x, int y, int flags, const std::string& file);
std::string ShellIconName(const std::string& file, int flags);

// ---------------------------------------------------------------------------
// Files, folders and the shell. Folder arguments end in "/". None of these
// raises: failures are false, 0 or unchanged outputs.

// Copies the whole file; the target is created anew. False when a file
// cannot be opened, the copy fails (the partial target is removed), or
// both name the same file.
bool CopyFile(const std::filesystem::path& source, const std::filesystem::path& target);
// Copies the files of sourceFolder matching the "+mask" entries of a
// comma-separated list into targetFolder (made when missing), except those
// whose extension, cut to 3 characters, a "-*.ext" entry names. False only
// when the source folder does not exist.
bool CopyFilesByMask(const std::string& targetFolder, std::string sourceFolder, std::string_view masks);
// The size of the file in bytes; 0 when missing.
std::int64_t GetFileSize(const std::filesystem::path& file);
// A file-name mask in the DOS manner: case-insensitive, "*.*" matches any
// name (one without a dot too), "name.*" matches "name".
bool MatchFileMask(std::string_view mask, std::string_view name);
// The names of the files matching the path's mask ("folder/*.htm"), sorted.
void ListFiles(const std::string& pathWithMask, StringList& list);
// The number of files (not folders) in the folder.
int CountFiles(const std::string& folder);
// Removes trailing "/", appends one; true when the folder exists.
bool PrepareFolderPath(std::string& folder);
std::string GetSystemDir();
// Removes the empty folder.
bool RemoveFolder(const std::filesystem::path& folder);

// Shell file operations (SHFileOperation); from may end in a mask.
inline constexpr unsigned FO_MOVE = 1;
inline constexpr unsigned FO_COPY = 2;
inline constexpr unsigned FO_DELETE = 3;
inline constexpr unsigned FO_RENAME = 4;
inline constexpr unsigned FOF_SILENT = 0x4;
inline constexpr unsigned FOF_NOCONFIRMATION = 0x10;
inline constexpr unsigned FOF_FILESONLY = 0x80;
// Deletes refuse (false, nothing touched) folders that are not safe to
// empty: see IsSafeToDeleteTree. Without FOF_NOCONFIRMATION a delete asks
// first (a Yes/No message box).
bool ShellFileOperation(const std::string& from, const std::string& to, unsigned operation, unsigned flags);
// The path lexically normal, without a trailing "/" ("a/b/" gives "a/b";
// the root stays "/").
std::filesystem::path NormalFolder(const std::filesystem::path& p);
// False for an empty or relative path, the root, a folder directly under
// the root, a home folder (of any account) or an ancestor of one (also
// after resolving links).
bool IsSafeToDeleteTree(const std::filesystem::path& folder);
// Deletes the folder's whole content, then the folder.
void EmptyAndRemoveFolder(const std::string& folder);
// The same, asking first when confirm is set.
void DeleteFolderTree(const std::string& folder, bool confirm);
// Deletes the files of the folder; its sub-folders stay.
void DeleteFolderFiles(const std::string& folder);
// POSIX names have no short form: the path itself.
std::string GetLongFileName(const std::string& path);
// Volumes have no labels here: the label is left unchanged, false.
bool GetVolumeLabel(const std::string& path, std::string& label);
// Free bytes, for an unprivileged user, of the file system holding the
// folder, as two 32-bit halves; true when the query succeeded.
bool GetDiskFree(const std::filesystem::path& folder, std::uint32_t& high, std::uint32_t& low);
// Drive numbers: 0 is the current folder's file system; there is no other.
bool GetDiskFree(int drive, std::uint32_t& high, std::uint32_t& low);
inline bool IsWindowsNT() { return true; }
// Opens a file or URL with its default application; returns 0.
int OpenDocument(const std::string& fileOrUrl);
// The program (and icon name) of the default application of the
// extension; false when there is none.
bool GetAssociatedProgram(std::string_view extension, std::string& program, std::string* icon = nullptr);
// Starts the command line detached; true when it started.
bool RunProgram(const std::string& commandLine, int showState);
// The folder of the running program's executable (templates, helpers and
// companion programs are installed beside it).
std::filesystem::path ProgramFolder();

// ---------------------------------------------------------------------------
// Message boxes

// Shows the box with the caption's first "&" removed; returns the button.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Icon kinds.
inline constexpr int kIconExclamation = 0;
inline constexpr int kIconHand = 1;
inline constexpr int kIconAsterisk = 2;
inline constexpr int kIconQuestion = 3;
inline constexpr int kIconNone = 4;
// A box of one of the standard captions (by index); its buttons are the OR
// of the button values of the bits set in buttonSet.
int ErrorBox(int iconKind, int captionIndex, const std::string& text, unsigned buttonSet);

// ---------------------------------------------------------------------------
// Single instance. The running instance holds the mutex of its title and
// listens for command lines under the same name; a second instance finds
// it by the title and hands over its arguments.

// "APPLICATION-" + title, "\" turned into "_", upper-cased.
std::string InstanceMutexName(std::string_view title);
// True only when this call made this process the instance (the mutex is
// then kept until CloseInstanceMutex or the end of the process). An empty
// title stands for the program's file.
bool CreateInstanceMutex(std::string_view title);
void CloseInstanceMutex();
// True when no process holds the instance mutex of that path or title.
bool IsInstanceFree(std::string_view pathOrTitle);

// The running instance's window as this process reaches it.
struct InstanceWindow {
  std::string channel;
  explicit operator bool() const { return !channel.empty(); }
};
// The instance of that title that listens for command lines, other than
// this process; waits up to 5 s for one whose mutex is taken but which
// does not listen yet (it is starting). Empty when none.
InstanceWindow FindWindowByTitle(std::string_view title);
// Each argument followed by CR LF, then a NUL.
QByteArray CommandLinePayload(const StringList& arguments);
// Hands this process's arguments (or the given ones) to the window; true
// when the running instance took them.
bool SendCommandLine(const InstanceWindow& window);
bool SendCommandLine(const InstanceWindow& window, const StringList& arguments);
// For the running instance (which must hold the instance mutex of the
// title): every command line handed over reaches window as a WM_COPYDATA
// window message whose lParam points to a platform::CopyDataStruct
// (dwData 0, cbData the bytes with the NUL), sent while the socket is
// served: a handler that opens dialogs or runs long should post itself the
// work. False when it cannot listen.
bool ListenForCommandLine(QObject* window, std::string_view title);

}  // namespace qlon
