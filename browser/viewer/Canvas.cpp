#include "Canvas.h"

namespace qlon::viewer {

QRgb ColorToRgb(Color c) {
  if (c & kSystemColorFlag) {
    switch (c & 0xFF) {
      case 0x05: return qRgb(255, 255, 255);  // window
      case 0x08: return qRgb(0, 0, 0);        // window text
      case 0x0D: return qRgb(0, 0, 128);      // highlight
      case 0x0E: return qRgb(255, 255, 255);  // highlight text
      case 0x0F: return qRgb(192, 192, 192);  // button face
      case 0x10: return qRgb(128, 128, 128);  // button shadow
      case 0x12: return qRgb(0, 0, 0);        // button text
      case 0x14: return qRgb(255, 255, 255);  // button highlight
      default: return qRgb(192, 192, 192);
    }
  }
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int Canvas::TextWidth(const char16_t* s, int n) {
  int w = 0;
  for (int i = 0; i < n; ++i) w += CharWidth(s[i]);
  return w;
}

int Canvas::FitCount(const char16_t* s, int n, int width) {
  int w = 0;
  for (int i = 0; i < n; ++i) {
    w += CharWidth(s[i]);
    if (w > width) return i;
  }
  return n;
}

void Canvas::DrawWidget(QWidget*, QPoint) {}

}  // namespace qlon::viewer
