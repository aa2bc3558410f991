#include "Rastfix.h"

#include <algorithm>

namespace {

class Enhancer final : public C_ImageEnhanceInterface {
 public:
  int32_t Scale(const CImageData& src, CImageData& dst) override {
    if (!src.Valid() || !dst.Valid() || src.BitsPerPixel() != dst.BitsPerPixel()) return -1;
    if (src.BitsPerPixel() == 1)
      ScaleBits(src, dst);
    else
      ScaleBytes(src, dst, src.BitsPerPixel() / 8);
    return 0;
  }

 private:
  static void ScaleBits(const CImageData& src, CImageData& dst) {
    for (int32_t y = 0; y < dst.Lines(); ++y) {
      const uint8_t* in = src.Bits() + src.BytesPerLine() * (int64_t(y) * src.Lines() / dst.Lines());
      uint8_t* out = dst.Bits() + dst.BytesPerLine() * y;
      std::fill(out, out + dst.BytesPerLine(), 0);
      for (int32_t x = 0; x < dst.Width(); ++x) {
        const int64_t sx = int64_t(x) * src.Width() / dst.Width();
        if (in[sx / 8] & (0x80 >> (sx % 8))) out[x / 8] |= uint8_t(0x80 >> (x % 8));
      }
    }
  }

  // Box filter: target pixel (x, y) covers source columns [x*W/w, (x+1)*W/w)
  // and rows likewise (at least one of each).
  static void ScaleBytes(const CImageData& src, CImageData& dst, int components) {
    for (int32_t y = 0; y < dst.Lines(); ++y) {
      const int64_t y0 = int64_t(y) * src.Lines() / dst.Lines();
      const int64_t y1 = std::max(y0 + 1, int64_t(y + 1) * src.Lines() / dst.Lines());
      uint8_t* out = dst.Bits() + dst.BytesPerLine() * y;
      for (int32_t x = 0; x < dst.Width(); ++x) {
        const int64_t x0 = int64_t(x) * src.Width() / dst.Width();
        const int64_t x1 = std::max(x0 + 1, int64_t(x + 1) * src.Width() / dst.Width());
        for (int c = 0; c < components; ++c) {
          uint64_t sum = 0;
          for (int64_t sy = y0; sy < y1; ++sy) {
            const uint8_t* row = src.Bits() + src.BytesPerLine() * sy;
            for (int64_t sx = x0; sx < x1; ++sx) sum += row[sx * components + c];
          }
          out[x * components + c] = uint8_t(sum / uint64_t((y1 - y0) * (x1 - x0)));
        }
      }
    }
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) C_ImageEnhanceInterface* rastfix_interface() {
  static Enhancer enhancer;
  return &enhancer;
}
