#include "HTMLUn2.h"

#include <QCoreApplication>
#include <QPolygonF>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "DynamicLibrary.h"
#include "Ilib95ht.h"

namespace qlon::viewer {

int IntMin(int a, int b) { return a < b ? a : b; }
int IntMax(int a, int b) { return a > b ? a : b; }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long p = (long long)a * b;
  long long q = p / c, r = p % c;
  if (2 * std::llabs(r) >= std::llabs((long long)c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX) return INT32_MAX;
  if (q < INT32_MIN) return INT32_MIN;
  return int(q);
}

QString ReplaceChar(QString text, QChar from, QChar to) { return text.replace(from, to); }

QString HtmlToDos(const QString& url) {
  if (url.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) return url.mid(7);
  return url;
}

QString HtmlTrim(const QString& text) {
  qsizetype b = 0, e = text.size();
  while (b < e && text[b].unicode() < 33) ++b;
  while (e > b && text[e - 1].unicode() < 33) --e;
  return text.mid(b, e - b);
}

bool ColorFromString(const QString& text, Color& color) {
  static const struct { const char* name; Color value; } kNames[] = {
      {"BLACK", 0x000000}, {"MAROON", 0x000080}, {"GREEN", 0x008000}, {"OLIVE", 0x008080},
      {"NAVY", 0x800000},  {"PURPLE", 0x800080}, {"TEAL", 0x808000},  {"GRAY", 0x808080},
      {"SILVER", 0xC0C0C0}, {"RED", 0x0000FF},   {"LIME", 0x00FF00},  {"YELLOW", 0x00FFFF},
      {"BLUE", 0xFF0000},  {"FUCHSIA", 0xFF00FF}, {"AQUA", 0xFFFF00}, {"WHITE", 0xFFFFFF}};
  QString t = HtmlTrim(text).toUpper();
  if (t.isEmpty()) return false;
  for (const auto& n : kNames)
    if (t == QLatin1String(n.name)) {
      color = n.value;
      return true;
    }
  if (t.startsWith('#')) t.remove(0, 1);
  if (t.isEmpty() || t.size() > 8) return false;
  bool ok = false;
  uint v = t.toUInt(&ok, 16);
  if (!ok) return false;
  v &= 0xFFFFFF;
  color = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  return true;
}

char16_t Cp1252ToUnicode(unsigned char b) {
  static const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char16_t(b);
}

std::u16string DecodeDocument(const std::string& bytes, const QString& declaredCharset) {
  auto cp1252 = [&] {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = Cp1252ToUnicode((unsigned char)bytes[i]);
    return out;
  };
  QString cs = declaredCharset.trimmed().toLower();
  // Documents labelled Latin-1 are Windows-1252 in practice.
  if (cs == "windows-1252" || cs == "cp1252" || cs == "iso-8859-1" || cs == "latin1" || cs == "us-ascii")
    return cp1252();
  if (!cs.isEmpty()) {
    QStringDecoder dec(cs.toLatin1().constData());
    if (dec.isValid()) {
      QString s = dec.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
      if (!dec.hasError()) return s.toStdU16String();
    }
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString s = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  if (!utf8.hasError()) {
    if (s.startsWith(QChar(0xFEFF))) s.remove(0, 1);
    return s.toStdU16String();
  }
  return cp1252();
}

const TAttribute* TAttributeList::Find(Attr which) const {
  for (const TAttribute& a : items_)
    if (a.Which == which) return &a;
  return nullptr;
}

void SelTextCount::AddText(const char16_t* s, int n) {
  for (int i = 0; i < n; ++i)
    if (s[i] != kControlChar && s[i] != kImageChar) ++count_;
}

void SelTextBuilder::AddText(const char16_t* s, int n) {
  SelTextCount::AddText(s, n);
  for (int i = 0; i < n; ++i)
    if (s[i] != kControlChar && s[i] != kImageChar) text_ += QChar(s[i]);
}

void SelTextBuilder::AddLineEnd() {
  SelTextCount::AddLineEnd();
  text_ += QLatin1String("\r\n");
}

TBitmapItem* TStringBitmapList::Find(const QString& name) {
  auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second.get();
}

TBitmapItem* TStringBitmapList::Add(const QString& name, TBitmapItem item) {
  auto& slot = items_[name];
  slot = std::make_unique<TBitmapItem>(std::move(item));
  return slot.get();
}

QImage TStringBitmapList::GetImage(TBitmapItem* item) {
  item->AccessCount = 0;
  return item->Bitmap;
}

void TStringBitmapList::PurgeCache() {
  for (auto it = items_.begin(); it != items_.end();) {
    if (++it->second->AccessCount > MaxCache)
      it = items_.erase(it);
    else
      ++it;
  }
}

void TStringBitmapList::SetCacheCount(int n) {
  for (auto it = items_.begin(); it != items_.end();) {
    if (it->second->AccessCount > n)
      it = items_.erase(it);
    else
      ++it;
  }
  MaxCache = n;
}

void TMapItem::AddArea(const TAttributeList& attributes) {
  QString shape, url, target;
  std::vector<int> coords;
  for (const TAttribute& a : attributes.Items()) {
    switch (a.Which) {
      case Attr::Shape: shape = a.Name.toLower().left(4); break;
      case Attr::Href: url = a.Name; break;
      case Attr::NoHref: url.clear(); break;
      case Attr::Target: target = a.Name; break;
      case Attr::Coords: {
        // Numbers separated by commas (blanks are tolerated), at most 200.
        coords.clear();
        const QString& s = a.Name;
        qsizetype i = 0;
        while (i < s.size() && coords.size() < 200) {
          while (i < s.size() && (s[i] == ',' || s[i].unicode() < 33)) ++i;
          qsizetype b = i;
          while (i < s.size() && s[i] != ',' && s[i].unicode() >= 33) ++i;
          // Beyond any picture a page can show, a coordinate is as good as the bound.
          const long long v = s.mid(b, i - b).toLongLong();
          if (i > b) coords.push_back(int(std::clamp<long long>(v, -kMaxLayoutY, kMaxLayoutY)));
        }
        break;
      }
      default: break;
    }
  }
  Region region;
  if (shape == "circ") {
    if (coords.size() < 3) return;
    region = Circle{QPoint(coords[0], coords[1]), std::abs(coords[2])};
  } else if (shape == "poly") {
    if (coords.size() < 6) return;
    QPolygon poly;
    for (size_t i = 0; i + 1 < coords.size(); i += 2) poly << QPoint(coords[i], coords[i + 1]);
    region = poly;
  } else {
    if (coords.size() < 4) return;
    region = QRect(QPoint(coords[0], coords[1]), QPoint(coords[2], coords[3])).normalized();
  }
  areas_.push_back({url, target, region});
}

bool TMapItem::GetURL(int x, int y, QString& url, QString& target) const {
  QPoint p(x, y);
  for (const Area& a : areas_) {
    bool in = false;
    if (auto* r = std::get_if<QRect>(&a.region))
      in = r->contains(p);
    else if (auto* c = std::get_if<Circle>(&a.region)) {
      long long dx = x - c->centre.x(), dy = y - c->centre.y();
      in = dx * dx + dy * dy <= (long long)c->radius * c->radius;
    } else {
      // In floating point: the integer test multiplies coordinates and overflows.
      in = QPolygonF(std::get<QPolygon>(a.region)).containsPoint(QPointF(p), Qt::WindingFill);
    }
    if (in) {
      url = a.url;
      target = a.target;
      return true;
    }
  }
  return false;
}

namespace {

std::string ReadPrefix(const std::string& fileName, size_t n) {
  std::ifstream f(fileName, std::ios::binary);
  if (!f) return {};
  std::string buf(n, '\0');
  f.read(buf.data(), std::streamsize(n));
  buf.resize(size_t(f.gcount()));
  return buf;
}

std::mutex gLibMutex;
std::string gLibFolder;  // empty: the program's folder
// Never closed at exit: no static's destruction may unload it under a user.
platform::TDynamicLibrary& gLib = *new platform::TDynamicLibrary;
bool gLibTried = false;

const platform::TDynamicLibrary& ImageLibrary() {
  std::lock_guard lock(gLibMutex);
  if (!gLibTried) {
    gLibTried = true;
    gLib = platform::TDynamicLibrary::InFolder(gLibFolder, kIlibFileName);
  }
  return gLib;
}

// Decoding is synchronous and processes no events; the library only stops
// when the application is going down.
int Progress(int) { return QCoreApplication::closingDown() ? 0 : 1; }

}  // namespace

std::string ProgramFolder() { return platform::ExecutableFolder().string(); }

void SetImageLibraryFolder(const std::string& folder) {
  std::lock_guard lock(gLibMutex);
  gLib.Close();
  gLibTried = false;
  gLibFolder = folder;
}

int GetImageType(const std::string& fileName) {
  std::string b = ReadPrefix(fileName, 201);
  auto u = [&](size_t i) { return (unsigned char)b[i]; };
  if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return kBmpImage;
  if (b.size() >= 6 && b.compare(0, 3, "GIF") == 0) return kGifImage;
  if (b.size() >= 8 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return kPngImage;
  if (b.size() >= 4 && u(0) == 0xFF && u(1) == 0xD8 && u(2) == 0xFF) {
    // Every complete segment header inside what was read starts with FF.
    size_t pos = 2;
    while (pos + 4 <= b.size()) {
      if (u(pos) != 0xFF) return kUnknownImage;
      unsigned marker = u(pos + 1);
      if (marker == 0xDA || marker == 0xD9) break;  // image data follows
      pos += 2 + ((u(pos + 2) << 8) | u(pos + 3));
    }
    return kJpegImage;
  }
  return kUnknownImage;
}

QImage LoadImageFile(const std::string& fileName) {
  int type = GetImageType(fileName);
  if (type == kUnknownImage) return {};
  const platform::TDynamicLibrary& lib = ImageLibrary();
  if (!lib) return {};
  QImage image;
  void* palette = nullptr;
  int result = 0;
  if (type == kGifImage) {
    auto f = lib.Entry<IlibGifLoader>(kIlibGif);
    if (f) result = f(fileName.c_str(), GetScreenColorDepth(), 1, &image, &palette, Progress, 0, "lzw");
  } else {
    const char* name = type == kBmpImage ? kIlibBmp : type == kJpegImage ? kIlibJpeg : kIlibPng;
    auto f = lib.Entry<IlibLoader>(name);
    if (f) result = f(fileName.c_str(), GetScreenColorDepth(), 1, &image, &palette, Progress, 0);
  }
  return result >= 1 ? image : QImage();
}

bool GetGifTransparentColor(const std::string& fileName, Color& color) {
  // Header (13 bytes), optional global colour table, then blocks: the first
  // graphic-control extension tells the transparent index. Other extensions
  // (an animation's application block, comments) are skipped.
  std::string b = ReadPrefix(fileName, 8192);
  auto u = [&](size_t i) { return (unsigned char)b[i]; };
  if (b.size() < 13 || b.compare(0, 3, "GIF") != 0 || b[4] != '9') return false;
  size_t tableSize = (u(10) & 0x80) ? 3u << ((u(10) & 7) + 1) : 0;
  size_t pos = 13 + tableSize;
  while (pos + 2 <= b.size() && u(pos) == 0x21) {
    unsigned label = u(pos + 1);
    if (label == 0xF9) {
      if (pos + 8 > b.size() || !(u(pos + 3) & 1) || !tableSize) return false;
      size_t index = u(pos + 6);
      if (13 + 3 * index + 2 >= 13 + tableSize) return false;
      size_t e = 13 + 3 * index;
      color = u(e) | (u(e + 1) << 8) | (u(e + 2) << 16);
      return true;
    }
    pos += 2;  // sub-blocks up to the zero terminator
    while (pos < b.size() && u(pos) != 0) pos += 1 + u(pos);
    ++pos;
  }
  return false;
}

QImage CreateMask(const QImage& bitmap, bool useColor, Color color) {
  if (bitmap.isNull()) return {};
  QImage out = bitmap.convertToFormat(QImage::Format_ARGB32);
  QRgb key = useColor ? ColorToRgb(color) : out.pixel(0, out.height() - 1);
  key &= 0xFFFFFF;
  for (int y = 0; y < out.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
  }
  return out;
}

QImage LoadImageWithMask(const std::string& fileName, QImage& mask, uint8_t& transp) {
  mask = QImage();
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return {};
  Color gifColor = 0;
  std::string lower = fileName;
  for (char& c : lower) c = char(std::tolower((unsigned char)c));
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".gif") == 0 && GetGifTransparentColor(fileName, gifColor))
    transp = 2;
  QImage image = LoadImageFile(fileName);
  if (image.isNull() || transp == 0) return image;
  // The decoder already gives a GIF its alpha channel; a corner-colour mask is made here.
  mask = transp == 2 && image.hasAlphaChannel() ? image : CreateMask(image, transp == 2, gifColor);
  return image;
}

std::vector<QRgb> SharedPaletteTable() {
  // The twenty static colours of the display at both ends, a 6 x 6 x 6 cube
  // (blue slowest, red fastest) at 10 .. 225 and greys 135 .. 250 at 226 .. 249.
  static const QRgb kStatic[20] = {
      qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
      qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
      qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
      qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255)};
  static const int kLevels[6] = {55, 115, 165, 205, 235, 255};
  std::vector<QRgb> t(256);
  for (int i = 0; i < 10; ++i) t[i] = kStatic[i];
  for (int i = 0; i < 10; ++i) t[246 + i] = kStatic[10 + i];
  int n = 10;
  for (int b = 0; b < 6; ++b)
    for (int g = 0; g < 6; ++g)
      for (int r = 0; r < 6; ++r) t[n++] = qRgb(kLevels[r], kLevels[g], kLevels[b]);
  for (int i = 0; i < 24; ++i) t[226 + i] = qRgb(135 + 5 * i, 135 + 5 * i, 135 + 5 * i);
  return t;
}

std::vector<QRgb> PaletteFromBitmap(const QImage& bitmap) {
  QList<QRgb> t = bitmap.colorTable();
  return std::vector<QRgb>(t.begin(), t.begin() + std::min<qsizetype>(t.size(), 256));
}

namespace {
std::vector<QRgb>& PaletteSlot() {
  static std::vector<QRgb> palette = SharedPaletteTable();
  return palette;
}
}  // namespace

const std::vector<QRgb>& GlobalPalette() { return PaletteSlot(); }

void SetGlobalPalette(std::vector<QRgb> palette) {
  if (!palette.empty()) PaletteSlot() = std::move(palette);
}

}  // namespace qlon::viewer
