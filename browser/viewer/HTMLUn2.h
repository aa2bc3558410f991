#pragma once
// What the reader, the layout model and the viewer share: small helpers, the
// attribute list the reader hands to the model's constructors, the link
// record, the selection counter, the image cache, client-side image maps and
// image loading (sniffing, decoding through ILIB95HT, transparency masks).
//
// Text is UTF-16, one unit per character; the layout model's placeholder
// characters are kControlChar (2, a form control) and kImageChar (4, an image).
#include <QImage>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "Canvas.h"

namespace qlon::viewer {

inline constexpr char16_t kControlChar = 2;
inline constexpr char16_t kImageChar = 4;

int IntMin(int a, int b);
int IntMax(int a, int b);
// a * b / c rounded half away from zero, computed in 64 bits; -1 when c is 0
// (callers guard the zero case themselves where it can occur).
int MulDiv(int a, int b, int c);
// Sizes a document may give (WIDTH, HEIGHT in pixels), and the pixel sizes
// made from its numbers (a control of SIZE characters, ROWS lines), are kept
// below this; layout heights saturate at kMaxLayoutY, so sums of hostile sizes
// never overflow.
inline constexpr int kMaxAttrSize = 100000;
inline constexpr int kMaxLayoutY = 1 << 28;
inline int AttrSize(long long v) { return int(v < 0 ? 0 : v > kMaxAttrSize ? kMaxAttrSize : v); }
inline int LayoutSum(long long a, long long b) {
  long long s = a + b;
  return int(s > kMaxLayoutY ? kMaxLayoutY : s < -kMaxLayoutY ? -kMaxLayoutY : s);
}

QString ReplaceChar(QString text, QChar from, QChar to);
// A file URL turned into a local path: a leading "file://" (any case) is
// removed, so "file:///home/a.htm" gives "/home/a.htm". Other text is kept.
QString HtmlToDos(const QString& url);
// Characters below 33 removed at both ends.
QString HtmlTrim(const QString& text);

// Colour text of a document: one of the 16 colour names, or hexadecimal
// RRGGBB with an optional "#". A value that is neither gives false (the
// attribute is then ignored); values never carry more than 24 bits.
bool ColorFromString(const QString& text, Color& color);

// The decoded text of a document: its declared charset when known, else UTF-8
// when the bytes are valid UTF-8, else Windows-1252.
std::u16string DecodeDocument(const std::string& bytes, const QString& declaredCharset = {});
// One Windows-1252 byte as a character.
char16_t Cp1252ToUnicode(unsigned char byte);

// The attribute symbols of the reader's attribute table, in table order.
enum class Attr {
  Href, Name, Src, Alt, Align, Text, BgColor, Link, Background, ColSpan, RowSpan, Border, CellPadding,
  CellSpacing, VAlign, Width, Start, Value, Type, CheckBox, Radio, Method, Action, Checked, Size, MaxLength,
  Cols, Rows, Multiple, Selected, Face, Color, Transp, Clear, IsMap, BorderColor, UseMap, Shape, Coords, NoHref,
  Height, Plain, Target, NoResize, Scrolling, HSpace, Unknown
};

struct TAttribute {
  Attr Which = Attr::Unknown;
  int Value = 0;
  QString Name;
};

class TAttributeList {
 public:
  void Add(Attr which, int value, const QString& name) { items_.push_back({which, value, name}); }
  void Add(Attr which, const QString& name) { items_.push_back({which, name.toInt(), name}); }
  void Clear() { items_.clear(); }
  // The first attribute with that symbol, or nullptr.
  const TAttribute* Find(Attr which) const;
  const std::vector<TAttribute>& Items() const { return items_; }

 private:
  std::vector<TAttribute> items_;
};

struct TUrlTarget {
  QString Url, Target;
  void Assign(const QString& url, const QString& target) { Url = url; Target = target; }
  void Clear() { Url.clear(); Target.clear(); }
};

// Receives the selected text, line by line: a counter (GetSelLength) or a
// builder of the text itself (copy). Placeholder characters are skipped; a
// line end is CR LF.
class SelTextCount {
 public:
  virtual ~SelTextCount() = default;
  virtual void AddText(const char16_t* s, int n);
  virtual void AddLineEnd() { count_ += 2; }
  int Terminate() const { return count_; }

 protected:
  int count_ = 0;
};

class SelTextBuilder : public SelTextCount {
 public:
  void AddText(const char16_t* s, int n) override;
  void AddLineEnd() override;
  const QString& Text() const { return text_; }

 private:
  QString text_;
};

// One cached picture. Pictures are implicitly shared values: a section, an
// image or a print copy that holds one keeps it alive after the cache drops it.
struct TBitmapItem {
  int AccessCount = 0;
  uint8_t Transp = 0;  // 0 opaque, 1 corner colour, 2 GIF transparency
  QImage Bitmap;
  QImage Mask;         // the picture with its transparent pixels cleared; may be null
};

// The image cache, keyed by image name (callers pass it upper-cased and trimmed).
class TStringBitmapList {
 public:
  int MaxCache = 4;

  TBitmapItem* Find(const QString& name);
  TBitmapItem* Add(const QString& name, TBitmapItem item);
  // Marks the item used by the current load and returns its picture.
  QImage GetImage(TBitmapItem* item);
  // Ages every item by one load; drops the ones not used in the last MaxCache loads.
  void PurgeCache();
  void SetCacheCount(int n);
  void Clear() { items_.clear(); }
  int Count() const { return int(items_.size()); }

 private:
  std::map<QString, std::unique_ptr<TBitmapItem>> items_;
};

// One client-side map: its areas in document order.
class TMapItem {
 public:
  QString MapName;

  // SHAPE, COORDS, HREF, NOHREF, TARGET; an area with too few numbers is ignored.
  void AddArea(const TAttributeList& attributes);
  // The first area holding the point gives its URL and target (NOHREF: empty).
  bool GetURL(int x, int y, QString& url, QString& target) const;
  int AreaCount() const { return int(areas_.size()); }

 private:
  struct Circle { QPoint centre; int radius; };
  using Region = std::variant<QRect, Circle, QPolygon>;
  struct Area { QString url, target; Region region; };
  std::vector<Area> areas_;
};

// Image file kinds as GetImageType reports them.
enum ImageType { kBmpImage = 0, kJpegImage = 1, kGifImage = 2, kUnknownImage = 3, kPngImage = 4 };
int GetImageType(const std::string& fileName);
// The decoded picture, or a null image when the file cannot be opened or
// decoded, or when the image library is missing.
QImage LoadImageFile(const std::string& fileName);
// The transparent colour of a GIF89a file, as 0x00BBGGRR.
bool GetGifTransparentColor(const std::string& fileName, Color& color);
// Loads the picture and, for a GIF with a transparent colour (transp := 2) or
// a requested corner transparency (transp 1 on entry), its mask.
QImage LoadImageWithMask(const std::string& fileName, QImage& mask, uint8_t& transp);
// The picture with every pixel of the transparent colour cleared: the given
// colour, else the colour of the bottom-left pixel.
QImage CreateMask(const QImage& bitmap, bool useColor, Color color);
// The screen's colour depth: always true colour here.
inline int GetScreenColorDepth() { return 24; }
// The 256-entry colour table of the old shared palette (6 x 6 x 6 cube and
// greys), kept as the target table of 8-bit page pictures.
std::vector<QRgb> SharedPaletteTable();
// The colours of an 8-bit picture (at most 256), empty for a true-colour one.
std::vector<QRgb> PaletteFromBitmap(const QImage& bitmap);
// The colour table the viewers' 8-bit page pictures use; SharedPaletteTable()
// until a picture's colours replace it.
const std::vector<QRgb>& GlobalPalette();
void SetGlobalPalette(std::vector<QRgb> palette);

// Where the program's run-time libraries live (the executable's folder);
// tests may point it elsewhere to take the "library missing" path.
std::string ProgramFolder();
void SetImageLibraryFolder(const std::string& folder);

}  // namespace qlon::viewer
