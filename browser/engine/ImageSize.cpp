#include "ImageSize.h"

#include <cstdint>
#include <cstdlib>

#include <QFile>
#include <QIODevice>

#include "UtilsStream.h"

namespace qlon {
namespace {

inline constexpr int kGifMaxWidth = 2048;

// Reads exactly n bytes; false when the device ends first.
bool ReadExact(QIODevice& stream, unsigned char* out, qint64 n) {
  return stream.read(reinterpret_cast<char*>(out), n) == n;
}

unsigned Be16(const unsigned char* p) { return (p[0] << 8) | p[1]; }

bool Accept(long long width, long long height, QSize& size) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
  size = QSize(static_cast<int>(width), static_cast<int>(height));
  return true;
}

bool GifSize(QIODevice& stream, QSize& size) {
  unsigned char rest[4];
  if (!ReadExact(stream, rest, 4)) return false;
  const unsigned width = GetLE16(rest), height = GetLE16(rest + 2);
  if (width >= kGifMaxWidth) return false;
  return Accept(width, height, size);
}

bool IsFrameMarker(unsigned char m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }
bool IsStandalone(unsigned char m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD7); }

// The two bytes of the SOI marker were read already.
bool JpegSize(QIODevice& stream, QSize& size) {
  for (;;) {
    unsigned char b[2];
    if (!ReadExact(stream, b, 1) || b[0] != 0xFF) return false;
    do {
      if (!ReadExact(stream, b + 1, 1)) return false;
    } while (b[1] == 0xFF);
    const unsigned char marker = b[1];
    if (IsStandalone(marker)) continue;
    // No size before the image data or the end, and a second SOI or a
    // marker code of 0 is not a JPEG stream.
    if (marker == 0xD9 || marker == 0xDA || marker == 0xD8 || marker == 0x00) return false;
    unsigned char len[2];
    if (!ReadExact(stream, len, 2)) return false;
    const unsigned length = Be16(len);
    if (length < 2) return false;
    if (IsFrameMarker(marker)) {
      unsigned char frame[5];
      if (length < 2 + 6 || !ReadExact(stream, frame, 5)) return false;
      return Accept(Be16(frame + 3), Be16(frame + 1), size);
    }
    // Any other segment (APPn with EXIF or ICC data, tables, comments) is
    // passed over whole; a sequential device is read through.
    const qint64 skip = length - 2;
    if (stream.isSequential()) {
      if (stream.read(skip).size() != skip) return false;
    } else {
      if (stream.pos() + skip > stream.size() || !stream.seek(stream.pos() + skip)) return false;
    }
  }
}

bool BmpSize(QIODevice& stream, QSize& size) {
  unsigned char h[12 + 8];  // rest of the file header, DIB size, width, height
  if (!ReadExact(stream, h, 12 + 4)) return false;
  const std::int32_t dibSize = static_cast<std::int32_t>(GetLE32(h + 12));
  if (dibSize == 12) {
    if (!ReadExact(stream, h + 16, 4)) return false;
    return Accept(GetLE16(h + 16), GetLE16(h + 18), size);
  }
  if (dibSize < 16) return false;
  unsigned char wh[8];
  if (!ReadExact(stream, wh, 8)) return false;
  const long long width = static_cast<std::int32_t>(GetLE32(wh)),
                  height = static_cast<std::int32_t>(GetLE32(wh + 4));
  return Accept(width, std::llabs(height), size);
}

}  // namespace

bool GetImageSize(QIODevice& stream, QSize& size) {
  unsigned char head[6];
  if (!ReadExact(stream, head, 2)) return false;
  if (head[0] == 0xFF && head[1] == 0xD8) return JpegSize(stream, size);
  if (head[0] == 'B' && head[1] == 'M') return BmpSize(stream, size);
  if (head[0] == 'G' && head[1] == 'I') {
    if (!ReadExact(stream, head + 2, 4) || head[2] != 'F') return false;
    return GifSize(stream, size);
  }
  return false;
}

bool GetImageSize(const QString& file, QSize& size) {
  if (file.isEmpty()) return false;
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  return GetImageSize(f, size);
}

}  // namespace qlon
