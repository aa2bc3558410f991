#include "HalftonePreviews.h"

#include <cstdlib>

namespace qlon::scanner::ui {

namespace {
constexpr int kSize = 64;
// Ordered dither (Bayer 4 x 4) and a clustered dot that grows from its
// centre (8 x 8, the "coarse" screen; its 4 x 4 quarter is "medium").
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
constexpr int kCluster[4][4] = {{12, 5, 6, 13}, {4, 0, 1, 7}, {11, 3, 2, 8}, {15, 10, 9, 14}};

int Scale(int rank, int levels) { return (2 * rank + 1) * 255 / (2 * levels); }
// A line screen across `coord`: the line widens from its middle as the
// shade darkens.
int Lines(int coord, int period) {
  const int half = period / 2;
  const int distance = std::abs(coord % period - half);
  return Scale(half - distance, half + 1);
}
int Dot(int x, int y, int cell) {
  const int qx = x % cell * 4 / cell, qy = y % cell * 4 / cell;
  return Scale(kCluster[qy][qx], 16);
}
}  // namespace

int HalftoneThreshold(int pattern, int x, int y) {
  switch (pattern) {
    case 0: return 128;                                    // Threshold
    case 1: return Dot(x, y, 8);                           // Coarse
    case 2: return Lines(x + y, 4);                        // Diagonal Fine
    case 3: return Scale(kBayer[y % 4][x % 4], 16);        // Dither
    case 4: return Lines(y, 4);                            // Horizontal Fine
    case 5: return Lines(y, 8);                            // Horizontal Line
    case 6: return Dot(x, y, 4);                           // Medium
    case 7: return Lines(x, 8);                            // Vertical Line
    case 8: return Lines(x, 4);                            // Vertical Line (Detail)
    default: return 128;
  }
}

QImage HalftoneBitmap(int resourceId) {
  const int pattern = resourceId - kFirstHalftoneBitmap;
  if (pattern < 0 || pattern >= kHalftoneCount) return {};
  QImage image(kSize, kSize, QImage::Format_Mono);
  image.setColor(0, qRgb(0, 0, 0));
  image.setColor(1, qRgb(255, 255, 255));
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const int grey = x * 255 / (kSize - 1);
      image.setPixel(x, y, grey < HalftoneThreshold(pattern, x, y) ? 0 : 1);
    }
  return image;
}

}  // namespace qlon::scanner::ui
