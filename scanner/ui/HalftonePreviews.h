#pragma once
// The preview bitmaps of the nine halftone patterns (resources 104 to 112,
// in the order of the pattern names 48 to 56): a grey ramp, dark on the
// left, rendered in black and white with the pattern, so that the user sees
// how the pattern draws each shade.
#include <QImage>

namespace qlon::scanner::ui {

inline constexpr int kFirstHalftoneBitmap = 104;
inline constexpr int kHalftoneCount = 9;

// The bitmap of a resource id 104-112; a null image for any other id.
QImage HalftoneBitmap(int resourceId);
// The threshold (0-255) a pattern sets at a pixel: a pixel of grey g is
// black when g < the threshold.
int HalftoneThreshold(int pattern, int x, int y);

}  // namespace qlon::scanner::ui
