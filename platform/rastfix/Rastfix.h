#pragma once
// rastfix: rescales scanned images. Loaded at run time by file name
// (kRastfixFileName); its one entry point, kRastfixInterface, returns the
// library's C_ImageEnhanceInterface, which lives as long as the library.
//
// An image is a CImageData over a caller's buffer: `lines` rows of
// `width` pixels, 1 (most significant bit first), 8 or 24 bits per pixel,
// each row padded to a multiple of 4 bytes (ImageSize is the whole buffer).
#include <cstdint>

class CImageData {
 public:
  CImageData(uint8_t* bits, int32_t width, int32_t lines, int32_t bitsPerPixel)
      : bits_(bits), width_(width), lines_(lines), bitsPerPixel_(bitsPerPixel) {}
  uint8_t* Bits() const { return bits_; }
  int32_t Width() const { return width_; }
  int32_t Lines() const { return lines_; }
  int32_t BitsPerPixel() const { return bitsPerPixel_; }
  bool Valid() const {
    return bits_ && width_ > 0 && lines_ > 0 && (bitsPerPixel_ == 1 || bitsPerPixel_ == 8 || bitsPerPixel_ == 24);
  }
  int64_t BytesPerLine() const { return ((int64_t(bitsPerPixel_) * width_ + 31) / 32) * 4; }
  // Bytes of the whole image, 0 for an invalid one.
  int64_t ImageSize() const { return Valid() ? BytesPerLine() * lines_ : 0; }

 private:
  uint8_t* bits_;
  int32_t width_, lines_, bitsPerPixel_;
};

class C_ImageEnhanceInterface {
 public:
  // Scales src to the size of dst (same bits per pixel): each target pixel
  // is the mean of the source pixels it covers (the nearest one for line
  // art). 0, or -1 when an image is invalid or the depths differ.
  virtual int32_t Scale(const CImageData& src, CImageData& dst) = 0;

 protected:
  ~C_ImageEnhanceInterface() = default;
};

extern "C" {
typedef C_ImageEnhanceInterface* (*RastfixInterfaceFn)();
C_ImageEnhanceInterface* rastfix_interface();
}

inline constexpr const char* kRastfixFileName = "rastfix.so";
inline constexpr const char* kRastfixInterface = "rastfix_interface";
