#include "Ilib95ht.h"

#include <QImage>
#include <QImageReader>

namespace {

// Decodes with the given format only, so that a file is never read as
// another kind than the one its caller sniffed. QImageReader keeps its
// allocation limit: a huge image fails instead of exhausting memory.
int Load(const char* fileName, const char* format, QImage* bitmap, void** palette, IlibProgress progress) {
  if (palette) *palette = nullptr;
  if (!fileName || !bitmap) return 0;
  *bitmap = QImage();
  if (progress && progress(0) == 0) return 0;
  QImageReader reader(QString::fromUtf8(fileName), format);
  reader.setDecideFormatFromContent(false);
  QImage image = reader.read();
  if (image.isNull()) return 0;
  if (progress && progress(100) == 0) return 0;
  *bitmap = std::move(image);
  return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ilib95ht_ordinal_1(const char* fileName, int, int, QImage* bitmap,
                                                              void** palette, IlibProgress progress, uint16_t) {
  return Load(fileName, "jpeg", bitmap, palette, progress);
}

__attribute__((visibility("default"))) int ilib95ht_ordinal_2(const char* fileName, int, int, QImage* bitmap,
                                                              void** palette, IlibProgress progress, uint16_t,
                                                              const char*) {
  return Load(fileName, "gif", bitmap, palette, progress);
}

__attribute__((visibility("default"))) int ilib95ht_ordinal_3(const char* fileName, int, int, QImage* bitmap,
                                                              void** palette, IlibProgress progress, uint16_t) {
  return Load(fileName, "bmp", bitmap, palette, progress);
}

__attribute__((visibility("default"))) int ilib95ht_ordinal_4(const char* fileName, int, int, QImage* bitmap,
                                                              void** palette, IlibProgress progress, uint16_t) {
  return Load(fileName, "png", bitmap, palette, progress);
}

}
