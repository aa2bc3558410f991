#pragma once
// The exceptions of the browser and the binary stream primitives of all its
// file formats.
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
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <QString>
#include <QtEndian>

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

}  // namespace qlon
