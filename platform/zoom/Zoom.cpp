#include "Zoom.h"

#include <QImage>
#include <fstream>

#include "GifWriter.h"
#include "Quantize.h"

using qlon::zoom::ReduceTo256;

extern "C" {

__attribute__((visibility("default"))) int StretchFilterDIB(const QImage* source, int left, int top, int right,
                                                            int bottom, int width, int height, int filter,
                                                            QImage* result) {
  if (!source || !result) return 0;
  *result = QImage();
  QRect r = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(source->rect());
  if (r.isEmpty() || width <= 0 || height <= 0) return 0;
  *result = source->copy(r).scaled(width, height, Qt::IgnoreAspectRatio,
                                   filter ? Qt::SmoothTransformation : Qt::FastTransformation);
  return result->isNull() ? 0 : 1;
}

__attribute__((visibility("default"))) int ConvertDIB(const QImage* source, int bitsPerPixel, QImage* result) {
  if (!source || !result || source->isNull()) return 0;
  *result = bitsPerPixel <= 8 ? ReduceTo256(*source) : source->convertToFormat(QImage::Format_RGB888);
  return result->isNull() ? 0 : 1;
}

__attribute__((visibility("default"))) int SaveToGIF(const QImage* source, const char* fileName) {
  if (!source || !fileName || source->isNull()) return 0;
  std::string bytes = qlon::zoom::EncodeGif(ReduceTo256(*source));
  if (bytes.empty()) return 0;
  std::ofstream f(fileName, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  f.close();
  return f ? 1 : 0;
}
}
