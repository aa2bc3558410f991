#include "UtilsStream.h"

#include <array>

#include <QByteArray>
#include <QIODevice>

#include "UtilsText.h"

namespace qlon {

namespace {

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

