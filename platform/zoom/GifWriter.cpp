#include "GifWriter.h"

#include <unordered_map>
#include <vector>

namespace qlon::zoom {

namespace {

class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}
  void Put(unsigned code, int bits) {
    acc_ |= code << nbits_;
    nbits_ += bits;
    while (nbits_ >= 8) {
      Byte(acc_ & 0xFF);
      acc_ >>= 8;
      nbits_ -= 8;
    }
  }
  void Finish() {
    if (nbits_ > 0) Byte(acc_ & 0xFF);
    if (!block_.empty()) Flush();
    out_ += '\0';
  }

 private:
  void Byte(unsigned b) {
    block_ += char(b);
    if (block_.size() == 255) Flush();
  }
  void Flush() {
    out_ += char(block_.size());
    out_ += block_;
    block_.clear();
  }
  std::string& out_;
  std::string block_;
  unsigned acc_ = 0;
  int nbits_ = 0;
};

void Put16(std::string& out, int v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}

}  // namespace

std::string EncodeGif(const QImage& image) {
  if (image.format() != QImage::Format_Indexed8 || image.isNull() || image.width() > 65535 || image.height() > 65535)
    return {};
  QList<QRgb> table = image.colorTable();
  if (table.isEmpty()) table.push_back(qRgb(0, 0, 0));
  int bits = 1;
  while ((1 << bits) < table.size()) ++bits;
  std::string out = "GIF89a";
  Put16(out, image.width());
  Put16(out, image.height());
  out += char(0xF0 | (bits - 1));
  out += '\0';
  out += '\0';
  int transparent = -1;
  for (int i = 0; i < (1 << bits); ++i) {
    QRgb c = i < table.size() ? table[i] : 0;
    if (i < table.size() && qAlpha(c) == 0 && transparent < 0) transparent = i;
    out += char(qRed(c));
    out += char(qGreen(c));
    out += char(qBlue(c));
  }
  if (transparent >= 0) {
    out += std::string("\x21\xF9\x04\x01\x00\x00", 6);
    out += char(transparent);
    out += '\0';
  }
  out += ',';
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, image.width());
  Put16(out, image.height());
  out += '\0';

  const int minCode = bits < 2 ? 2 : bits;
  out += char(minCode);
  const unsigned clear = 1u << minCode, end = clear + 1;
  BitWriter w(out);
  std::unordered_map<uint32_t, uint16_t> dict;
  dict.reserve(8192);
  unsigned next = end + 1;
  int width = minCode + 1;
  w.Put(clear, width);
  int prefix = -1;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* line = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      unsigned px = line[x] < table.size() ? line[x] : 0;
      if (prefix < 0) {
        prefix = int(px);
        continue;
      }
      uint32_t key = (uint32_t(prefix) << 8) | px;
      auto it = dict.find(key);
      if (it != dict.end()) {
        prefix = it->second;
        continue;
      }
      w.Put(unsigned(prefix), width);
      if (next < 4096) {
        dict.emplace(key, uint16_t(next));
        if (next == (1u << width) && width < 12) ++width;
        ++next;
      } else {
        w.Put(clear, width);
        dict.clear();
        next = end + 1;
        width = minCode + 1;
      }
      prefix = int(px);
    }
  }
  if (prefix >= 0) w.Put(unsigned(prefix), width);
  w.Put(end, width);
  w.Finish();
  out += ';';
  return out;
}

}  // namespace qlon::zoom
