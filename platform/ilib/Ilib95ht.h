#pragma once
// ILIB95HT: decodes an image file into a bitmap the caller hands in. The
// library is loaded at run time by file name (kIlibFileName) from the
// program's folder; its loaders are looked up by the names of their old
// ordinals. The viewer works when the library is missing: every image then
// shows the error picture.
//
// Each loader takes the file name (zero-terminated, UTF-8), the bits per pixel
// of the screen, a flag, the bitmap to fill, a palette out-parameter (always
// set to null: the bitmap carries its own colour table), the progress callback
// and an option word. A result of 1 or more is success; below 1 is failure and
// leaves the bitmap null. The progress callback is called before and after
// decoding; when it returns 0 the loader stops and fails.
#include <cstdint>

class QImage;

extern "C" {

typedef int (*IlibProgress)(int percentDone);
typedef int (*IlibLoader)(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                          IlibProgress progress, uint16_t option);
typedef int (*IlibGifLoader)(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                             IlibProgress progress, uint16_t option, const char* optionText);

int ilib95ht_ordinal_1(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                       IlibProgress progress, uint16_t option);  // JPEG
int ilib95ht_ordinal_2(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                       IlibProgress progress, uint16_t option, const char* optionText);  // GIF ("lzw")
int ilib95ht_ordinal_3(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                       IlibProgress progress, uint16_t option);  // BMP
int ilib95ht_ordinal_4(const char* fileName, int bitsPerPixel, int flag, QImage* bitmap, void** palette,
                       IlibProgress progress, uint16_t option);  // PNG (ours: links name .png files)
}

inline constexpr const char* kIlibFileName = "ilib95ht.so";
inline constexpr const char* kIlibJpeg = "ilib95ht_ordinal_1";
inline constexpr const char* kIlibGif = "ilib95ht_ordinal_2";
inline constexpr const char* kIlibBmp = "ilib95ht_ordinal_3";
inline constexpr const char* kIlibPng = "ilib95ht_ordinal_4";
