#pragma once
// Pictures as the bytes of a file, for tests that serve or save images.
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

namespace qlon::test {

inline std::string ImageBytes(const QImage& image, const char* format = "BMP") {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// A BMP picture of one colour.
inline std::string BmpPicture(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return ImageBytes(image);
}

}  // namespace qlon::test
