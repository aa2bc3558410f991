#include "JavaClassFile.h"

#include <set>
#include <string_view>

#include <QFile>
#include <QIODevice>
#include <QString>

#include "Utils.h"

namespace qlon {
namespace {

constexpr std::uint32_t kMagic = 0xCAFEBABE;

void ReadBytes(QIODevice& stream, char* out, qint64 n) {
  if (stream.read(out, n) != n) throw EReadError("La classe Java se termine au milieu de ses constantes");
}

std::uint32_t ReadBig(QIODevice& stream, int bytes) {
  unsigned char b[4];
  ReadBytes(stream, reinterpret_cast<char*>(b), bytes);
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | b[i];
  return v;
}

void Skip(QIODevice& stream, qint64 n) {
  char buf[8];
  ReadBytes(stream, buf, n);
}

// Modified UTF-8 to UTF-8: a NUL (written as 0 or C0 80) is left out, and
// the surrogate pairs of characters beyond U+FFFF are joined. A malformed
// sequence becomes U+FFFD.
std::string DecodeText(const QByteArray& bytes) {
  std::u16string units;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const std::size_t n = static_cast<std::size_t>(bytes.size());
  for (std::size_t i = 0; i < n;) {
    const unsigned c = p[i];
    char16_t unit = u'\uFFFD';
    if (c < 0x80) {
      unit = static_cast<char16_t>(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      unit = static_cast<char16_t>(((c & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
      unit = static_cast<char16_t>(((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
    } else {
      i += 1;
    }
    if (unit != 0) units.push_back(unit);
  }
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
}

bool HasSystemPrefix(std::string_view name) {
  return UpperCase(name).find("JAVA/") != std::string::npos;
}

}  // namespace

void TJavaClassFile::Clear() {
  texts_.clear();
  classes_.clear();
  textIndex_.clear();
  poolCount_ = 0;
}

bool TJavaClassFile::LoadFromFile(const QString& name) {
  Clear();
  if (name.isEmpty()) return false;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return LoadFromStream(file);
}

bool TJavaClassFile::LoadFromStream(QIODevice& stream) {
  Clear();
  try {
    if (ReadBig(stream, 4) != kMagic) return false;
    ReadBig(stream, 2);  // minor version
    ReadBig(stream, 2);  // major version
    ReadPool(stream);
  } catch (const EReadError&) {
    Clear();
    return false;
  }
  return true;
}

void TJavaClassFile::ReadPool(QIODevice& stream) {
  const int count = static_cast<int>(ReadBig(stream, 2));
  poolCount_ = count;
  // Grown as entries arrive, so that a huge count in a short file costs
  // nothing before the read fails.
  for (int index = 1; index < count; ++index) {
    if (textIndex_.size() <= static_cast<std::size_t>(index)) textIndex_.resize(index + 1, -1);
    const unsigned tag = ReadBig(stream, 1);
    switch (tag) {
      case 1: {
        const qint64 length = ReadBig(stream, 2);
        QByteArray bytes(length, Qt::Uninitialized);
        ReadBytes(stream, bytes.data(), length);
        textIndex_[static_cast<std::size_t>(index)] = static_cast<std::int32_t>(texts_.size());
        texts_.push_back(DecodeText(bytes));
        break;
      }
      case 7:
        classes_.push_back(static_cast<std::uint16_t>(ReadBig(stream, 2)));
        break;
      case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18:
        Skip(stream, 4);
        break;
      case 5: case 6:  // a long or a double takes two slots of the pool
        Skip(stream, 8);
        ++index;
        break;
      case 8: case 16: case 19: case 20:
        Skip(stream, 2);
        break;
      case 15:
        Skip(stream, 3);
        break;
      default:
        return;  // unknown tag: the rest cannot be followed
    }
  }
}

void TJavaClassFile::GetClassFiles(std::vector<std::string>& list, bool skipSystem) const {
  std::set<std::string> seen;
  for (const std::uint16_t nameIndex : classes_) {
    if (nameIndex >= textIndex_.size() || textIndex_[nameIndex] < 0) continue;
    std::string_view name = texts_[static_cast<std::size_t>(textIndex_[nameIndex])];
    // "[[Lpkg/Name;" is an array of pkg/Name; arrays of primitives name none.
    if (!name.empty() && name.front() == '[') {
      name.remove_prefix(std::min(name.find_first_not_of('['), name.size()));
      if (name.size() < 3 || name.front() != 'L' || name.back() != ';') continue;
      name = name.substr(1, name.size() - 2);
    }
    if (name.empty() || (skipSystem && HasSystemPrefix(name))) continue;
    std::string file = std::string(name) + ".class";
    if (seen.insert(file).second) list.push_back(std::move(file));
  }
}

}  // namespace qlon
