#pragma once
// The one narrow drawing interface of the viewer's layout model. Sections,
// tables, lines and images measure and draw only through it: QtCanvas puts
// QPainter behind it (screen, QImage, printer); RecordingCanvas gives formula
// metrics and records every call for tests.
//
// Geometry follows the old device calls it replaces: a QRect is the set of
// pixels it covers (x .. x + width - 1), a line excludes its end point, text
// is anchored at its baseline. Widths are integer advances that add up: the
// width of a run is the sum of its characters' widths.
#include <QHashFunctions>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QtGlobal>
#include <cstdint>

class QWidget;

namespace qlon::viewer {

// A colour as the document model keeps it: 0x00BBGGRR; 0x80000000 | n names
// system colour n; the palette-relative flag 0x02000000 is accepted and
// dropped (the display is always true colour).
using Color = uint32_t;
inline constexpr Color kPaletteRelative = 0x02000000;
inline constexpr Color kSystemColorFlag = 0x80000000;
inline constexpr Color kNoColor = 0xFFFFFFFF;  // transparent background

inline constexpr Color clWindow = 0x80000005;
inline constexpr Color clWindowText = 0x80000008;
inline constexpr Color clHighlight = 0x8000000D;
inline constexpr Color clHighlightText = 0x8000000E;
inline constexpr Color clBtnFace = 0x8000000F;
inline constexpr Color clBtnShadow = 0x80000010;
inline constexpr Color clBtnText = 0x80000012;
inline constexpr Color clBtnHighlight = 0x80000014;
inline constexpr Color clBlue = 0x00FF0000;
inline constexpr Color clBlack = 0x00000000;
inline constexpr Color clWhite = 0x00FFFFFF;

// Drops the palette-relative flag; system colours keep their flag.
inline Color PlainColor(Color c) {
  return (c & kSystemColorFlag) ? (c & 0x800000FF) : (c & 0x00FFFFFF);
}
// The RGB value of a colour; system colours through a fixed table of the
// classic desktop scheme (the Qt canvas may map them to its palette).
QRgb ColorToRgb(Color c);

// Font sizes are in points as documents give them; the canvas works in
// pixels at 96 per inch so that screens and printers measure alike.
inline int PointsToPixels(int points) { return (points * 96 + 36) / 72; }

enum FontStyle : uint8_t { kBold = 1, kItalic = 2, kUnderline = 4, kStrikeOut = 8 };

struct FontDesc {
  QString face;
  int pixelSize = 16;
  uint8_t style = 0;
  bool operator==(const FontDesc&) const = default;
};
inline size_t qHash(const FontDesc& f, size_t seed = 0) { return qHashMulti(seed, f.face, f.pixelSize, f.style); }

struct TextMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0;
  int descent = 0;
  int externalLeading = 0;
  int overhang = 0;  // always 0: only synthesised raster fonts had one
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void SetFont(const FontDesc& font) = 0;
  virtual TextMetrics Metrics() = 0;
  // Advance of one character in the current font.
  virtual int CharWidth(char16_t c) = 0;
  int TextWidth(const char16_t* s, int n);
  int TextWidth(const QString& s) { return TextWidth(reinterpret_cast<const char16_t*>(s.utf16()), int(s.size())); }
  // How many of the n characters fit in the width (their summed advance <= width).
  int FitCount(const char16_t* s, int n, int width);

  // Text at the baseline in the current font; bg = kNoColor draws with a
  // transparent background, any other colour fills the run's box first.
  // With a clip, nothing outside it is touched.
  virtual void DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg = kNoColor,
                        const QRect* clip = nullptr) = 0;
  virtual void FillRect(const QRect& r, Color c) = 0;
  // A one-pixel frame on the rectangle's outermost pixels.
  virtual void FrameRect(const QRect& r, Color c) = 0;
  // From a to b, b itself not drawn.
  virtual void Line(QPoint a, QPoint b, Color c) = 0;
  virtual void FillEllipse(const QRect& r, Color c) = 0;
  // The image stretched to the rectangle; its alpha channel is honoured.
  virtual void DrawImage(const QRect& dst, const QImage& image) = 0;
  virtual void FillRegion(const QRegion& region, Color c) = 0;
  // Form controls are real widgets on screen; a printer draws them itself.
  virtual void DrawWidget(QWidget* widget, QPoint at);

  virtual QRect ClipBox() const = 0;
  virtual bool IsPrinter() const { return false; }
};

}  // namespace qlon::viewer
