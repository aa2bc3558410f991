#include "ImageSize.h"

#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <QFile>
#include <QIODevice>
#include <QRegularExpression>
#include <QXmlStreamReader>

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

unsigned Be32(const unsigned char* p) { return (unsigned(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// The signature's first two bytes were read already.
bool PngSize(QIODevice& stream, QSize& size) {
  unsigned char h[6 + 8 + 8];  // rest of the signature, IHDR length and type, width, height
  if (!ReadExact(stream, h, sizeof h)) return false;
  if (std::memcmp(h, "NG\r\n\x1a\n", 6) != 0 || Be32(h + 6) != 13 || std::memcmp(h + 10, "IHDR", 4) != 0)
    return false;
  const unsigned width = Be32(h + 14), height = Be32(h + 18);
  // The format allows no more than 2^31 - 1.
  if (width > INT32_MAX || height > INT32_MAX) return false;
  return Accept(width, height, size);
}

// A length of the root element in pixels: a number, in px or in units of
// a fixed size at 96 per inch; a percentage or a font-relative length says
// nothing of the picture's own size.
double SvgLength(const QString& text) {
  static const QRegularExpression length(
      QStringLiteral("^\\s*([0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?)\\s*(px|pt|pc|mm|cm|in)?\\s*$"));
  const QRegularExpressionMatch m = length.match(text);
  if (!m.hasMatch()) return 0;
  const double value = m.captured(1).toDouble();
  const QString unit = m.captured(2);
  if (unit == QLatin1String("pt")) return value * 96 / 72;
  if (unit == QLatin1String("pc")) return value * 16;
  if (unit == QLatin1String("mm")) return value * 96 / 25.4;
  if (unit == QLatin1String("cm")) return value * 96 / 2.54;
  if (unit == QLatin1String("in")) return value * 96;
  return value;
}

// The root element's width and height; where one is missing or relative,
// the view box gives it (the other scaled to the box's proportions). Only
// the head of the file is read, up to the root element.
bool SvgSize(QIODevice& stream, const QByteArray& head, QSize& size) {
  constexpr qint64 kSvgHeadLimit = 64 * 1024;
  QXmlStreamReader xml(head + stream.read(kSvgHeadLimit));
  while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::StartElement) {
  }
  if (xml.tokenType() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("svg")) return false;
  const QXmlStreamAttributes a = xml.attributes();
  double width = SvgLength(a.value(QLatin1String("width")).toString()),
         height = SvgLength(a.value(QLatin1String("height")).toString());
  const QStringList box =
      a.value(QLatin1String("viewBox")).toString().split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
  if ((width <= 0 || height <= 0) && box.size() == 4) {
    const double bw = box[2].toDouble(), bh = box[3].toDouble();
    if (bw > 0 && bh > 0) {
      if (width > 0) {
        height = width * bh / bw;
      } else if (height > 0) {
        width = height * bw / bh;
      } else {
        width = bw;
        height = bh;
      }
    }
  }
  if (!(width >= 0.5 && height >= 0.5 && width < INT32_MAX && height < INT32_MAX)) return false;
  return Accept(std::llround(width), std::llround(height), size);
}

bool MaybeSvg(const unsigned char* head) {
  // "<?xml", "<svg", "<!--", a byte order mark or blanks first.
  return head[0] == '<' || (head[0] == 0xEF && head[1] == 0xBB) || head[0] == ' ' || head[0] == '\t' ||
         head[0] == '\r' || head[0] == '\n';
}

}  // namespace

bool GetImageSize(QIODevice& stream, QSize& size) {
  unsigned char head[6];
  if (!ReadExact(stream, head, 2)) return false;
  if (head[0] == 0x89 && head[1] == 'P') return PngSize(stream, size);
  if (MaybeSvg(head)) return SvgSize(stream, QByteArray(reinterpret_cast<const char*>(head), 2), size);
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
