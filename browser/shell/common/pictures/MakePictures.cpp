// qlon_pictures FOLDER: draws the pictures that lie beside the program
// (Pictures.h) into FOLDER, the program's folder. Run by the build.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "GifWriter.h"
#include "Pictures.h"

namespace {

bool Write(const QString& path, const QImage& picture) {
  if (!QDir().mkpath(QFileInfo(path).path())) return false;
  if (!path.endsWith(".gif")) return picture.save(path, "PNG");
  // Few colours: the exact ones, no dithering.
  const std::string gif = qlon::zoom::EncodeGif(picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither));
  QFile out(path);
  return !gif.empty() && out.open(QIODevice::WriteOnly) && out.write(gif.data(), qint64(gif.size())) == qint64(gif.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qlon_pictures FOLDER\n");
    return 2;
  }
  // Drawing needs no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  for (const qlon::shell::TInstalledPicture& file : qlon::shell::InstalledPictures()) {
    if (!Write(folder.filePath(file.File), file.Picture)) {
      std::fprintf(stderr, "qlon_pictures: cannot write %s\n", qPrintable(folder.filePath(file.File)));
      return 1;
    }
  }
  return 0;
}
