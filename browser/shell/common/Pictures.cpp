#include "Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <functional>

#include "DlgVignettes.h"
#include "Palette.h"
#include "Setup.h"

namespace qlon::shell {

namespace {

// The emblem, drawn on a 64 x 64 grid scaled to the rectangle: a globe
// under a quill. Small sizes leave out the globe's lines.
void PaintEmblem(QPainter& p, const QRectF& box) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(box.topLeft());
  p.scale(box.width() / 64.0, box.height() / 64.0);
  const bool detailed = box.width() >= 24;

  const QPointF centre(28, 37);
  QRadialGradient sea(QPointF(21, 29), 30);
  sea.setColorAt(0, QColor(170, 215, 255));
  sea.setColorAt(1, QColor(20, 70, 160));
  p.setPen(QPen(QColor(0, 0, 110), detailed ? 2.0 : 3.0));
  p.setBrush(sea);
  p.drawEllipse(centre, 23, 23);
  if (detailed) {
    QPainterPath globe;
    globe.addEllipse(centre, 22, 22);
    p.setClipPath(globe);
    p.setPen(QPen(QColor(225, 240, 255, 190), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 9, 23);
    p.drawLine(QPointF(4, 37), QPointF(52, 37));
    p.drawLine(QPointF(4, 27), QPointF(52, 27));
    p.drawLine(QPointF(4, 47), QPointF(52, 47));
    p.setClipping(false);
  }

  // The quill: a vane along a shaft from the top right down to a nib.
  QPainterPath vane;
  vane.moveTo(61, 2);
  vane.cubicTo(48, 6, 34, 20, 27, 42);
  vane.cubicTo(38, 32, 52, 22, 61, 2);
  vane.moveTo(61, 2);
  vane.cubicTo(60, 14, 50, 30, 31, 44);
  vane.cubicTo(44, 26, 56, 14, 61, 2);
  QLinearGradient feather(QPointF(61, 2), QPointF(28, 44));
  feather.setColorAt(0, QColor(235, 90, 60));
  feather.setColorAt(1, QColor(140, 10, 10));
  p.setPen(QPen(QColor(90, 0, 0), detailed ? 1.0 : 1.6));
  p.setBrush(feather);
  p.drawPath(vane);
  p.setPen(QPen(QColor(60, 30, 10), detailed ? 1.6 : 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(61, 2), QPointF(22, 52));
  QPainterPath nib;
  nib.moveTo(24, 49);
  nib.lineTo(18, 58);
  nib.lineTo(20, 50);
  nib.closeSubpath();
  p.setBrush(QColor(40, 40, 40));
  p.drawPath(nib);
  p.restore();
}

QImage Transparent(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

QImage Emblem(int size) {
  QImage img = Transparent(size, size);
  QPainter p(&img);
  PaintEmblem(p, QRectF(0, 0, size, size));
  return img;
}

// A ".web" capture file: a page with a folded corner and the emblem.
QImage WebFileIcon(int size) {
  QImage img = Transparent(size, size);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QPainterPath page;
  page.moveTo(9, 2);
  page.lineTo(40, 2);
  page.lineTo(54, 16);
  page.lineTo(54, 62);
  page.lineTo(9, 62);
  page.closeSubpath();
  p.setPen(QPen(QColor(90, 90, 90), size >= 32 ? 1.2 : 2.5));
  p.setBrush(Qt::white);
  p.drawPath(page);
  p.setBrush(QColor(215, 215, 215));
  p.drawPolygon(QPolygonF({QPointF(40, 2), QPointF(40, 16), QPointF(54, 16)}));
  if (size >= 32) {
    p.setPen(QPen(QColor(150, 150, 170), 2));
    for (int y = 10; y <= 26; y += 6) p.drawLine(QPointF(14, y), QPointF(y < 16 ? 35 : 47, y));
  }
  PaintEmblem(p, QRectF(22, 28, 40, 36));
  return img;
}

// The start-up picture: the emblem and the program's name on a blue ground.
QImage Splash() {
  QImage img(420, 240, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, img.height());
  sky.setColorAt(0, QColor(0, 0, 110));
  sky.setColorAt(1, QColor(60, 120, 200));
  p.fillRect(img.rect(), sky);
  p.setPen(QPen(QColor(200, 220, 255), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(1, 1, img.width() - 2, img.height() - 2));
  PaintEmblem(p, QRectF(20, 40, 150, 150));
  p.setPen(Qt::white);
  QFont title("DejaVu Sans");
  title.setPixelSize(40);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(180, 50, 230, 56), Qt::AlignLeft | Qt::AlignVCenter, "Quillon 98");
  QFont line("DejaVu Sans");
  line.setPixelSize(16);
  p.setFont(line);
  p.drawText(QRect(182, 110, 230, 24), Qt::AlignLeft | Qt::AlignVCenter, "Le navigateur hors ligne");
  line.setPixelSize(13);
  p.setFont(line);
  p.setPen(QColor(210, 225, 250));
  p.drawText(QRect(182, 140, 230, 20), Qt::AlignLeft | Qt::AlignVCenter, "Version 2.03");
  p.drawText(QRect(182, 196, 230, 20), Qt::AlignLeft | Qt::AlignVCenter, "Chargement en cours...");
  return img;
}

// The main window's background: a quiet tile of fine diagonal lines, pale
// enough that the text of docked forms stays readable over it.
QImage Background() {
  QImage img(64, 64, QImage::Format_RGB32);
  img.fill(QColor(218, 225, 235));
  QPainter p(&img);
  p.setPen(QColor(226, 232, 241));
  for (int k = -64; k < 64; k += 8) p.drawLine(k, 64, k + 64, 0);
  p.setPen(QColor(211, 219, 230));
  for (int k = -60; k < 68; k += 16) p.drawLine(k, 0, k + 64, 64);
  return img;
}

// The help window's caption strip.
QImage BarBlue() {
  QImage img(400, 6, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient g(0, 0, 400, 0);
  g.setColorAt(0, QColor(0, 0, 128));
  g.setColorAt(1, QColor(90, 150, 220));
  p.fillRect(img.rect(), g);
  return img;
}

// The program's colour table as a 16 x 16 picture, one pixel per colour.
QImage PalettePicture() {
  QImage img(16, 16, QImage::Format_Indexed8);
  const std::vector<QRgb>& colours = ProgramPalette();
  img.setColorTable(QList<QRgb>(colours.begin(), colours.end()));
  const uint count = uint(std::max<std::size_t>(colours.size(), 1));
  for (int i = 0; i < 256; ++i) img.setPixel(i % 16, i / 16, uint(i) % count);
  return img;
}

struct TNamedPicture {
  const char* Name;
  std::function<QImage()> Draw;
};

const std::vector<TNamedPicture>& NamedPictures() {
  static const std::vector<TNamedPicture> pictures = [] {
    std::vector<TNamedPicture> list = {{"SPLASH", Splash},
                                       {"QUILLON", [] { return Emblem(48); }},
                                       {"BARBLUE", BarBlue},
                                       {"PALETTEBMP", PalettePicture},
                                       {"BACK1", Background}};
    for (int i = 0; i < 4; ++i) list.push_back({kThumbnailSizes[i].Frame, [i] { return ThumbnailFrame(i); }});
    return list;
  }();
  return pictures;
}

}  // namespace

QImage ProgramBitmap(const QString& name) {
  for (const TNamedPicture& picture : NamedPictures())
    if (name.compare(QLatin1String(picture.Name), Qt::CaseInsensitive) == 0) return picture.Draw();
  return {};
}

QStringList ProgramBitmapNames() {
  QStringList names;
  for (const TNamedPicture& picture : NamedPictures()) names << picture.Name;
  return names;
}

QString IconFile(const char* context, const char* icon, int size) {
  return QString("icons/hicolor/%1x%1/%2/%3.png").arg(size).arg(context, icon);
}

std::vector<TInstalledPicture> InstalledPictures() {
  std::vector<TInstalledPicture> files = {{kBackgroundFile, Background()}};
  for (int size : kIconSizes) {
    files.push_back({IconFile("apps", kProgramIcon, size), Emblem(size)});
    files.push_back({IconFile("mimetypes", kWebFileIcon, size), WebFileIcon(size)});
  }
  return files;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : kIconSizes) icon.addPixmap(QPixmap::fromImage(Emblem(size)));
  return icon;
}

}  // namespace qlon::shell
