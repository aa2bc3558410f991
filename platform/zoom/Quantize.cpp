#include "Quantize.h"

#include <algorithm>
#include <array>
#include <climits>
#include <unordered_map>
#include <vector>

namespace qlon::zoom {

namespace {

constexpr QRgb kTransparent = 0;  // qRgba(0, 0, 0, 0)
// Fewer flat pixels than this is chance (two equal neighbours in a
// photograph), not an area.
constexpr int kMinFlatPixels = 4;

struct Weighted {
  QRgb Colour;
  qint64 Count;
};

int Channel(QRgb c, int channel) { return channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c); }

// A run of the colour list with its pixel count and its longest side.
struct Box {
  size_t Begin, End;
  qint64 Pixels = 0;
  int Channel = 0, Longest = 0;
};

Box MakeBox(const std::vector<Weighted> &colours, size_t begin, size_t end) {
  Box box{begin, end};
  std::array<int, 3> lo{255, 255, 255}, hi{0, 0, 0};
  for (size_t i = begin; i < end; ++i) {
    box.Pixels += colours[i].Count;
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min(lo[c], Channel(colours[i].Colour, c));
      hi[c] = std::max(hi[c], Channel(colours[i].Colour, c));
    }
  }
  for (int c = 0; c < 3; ++c)
    if (hi[c] - lo[c] > box.Longest) box.Longest = hi[c] - lo[c], box.Channel = c;
  return box;
}

QRgb MeanOf(const std::vector<Weighted> &colours, const Box &box) {
  std::array<qint64, 3> sum{};
  for (size_t i = box.Begin; i < box.End; ++i)
    for (int c = 0; c < 3; ++c) sum[c] += qint64(Channel(colours[i].Colour, c)) * colours[i].Count;
  auto mean = [&](int c) { return int((sum[c] + box.Pixels / 2) / box.Pixels); };
  return qRgb(mean(0), mean(1), mean(2));
}

// At most `entries` colours standing for the list: the box with the most
// pixels along the longest side is split at its weighted median.
std::vector<QRgb> MedianCut(std::vector<Weighted> colours, int entries) {
  if (colours.empty() || entries <= 0) return {};
  std::vector<Box> boxes{MakeBox(colours, 0, colours.size())};
  while (int(boxes.size()) < entries) {
    size_t pick = boxes.size();
    qint64 best = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const qint64 weight = boxes[i].Pixels * boxes[i].Longest;
      if (boxes[i].Longest > 0 && weight > best) best = weight, pick = i;
    }
    if (pick == boxes.size()) break;  // every box holds one colour
    const Box box = boxes[pick];
    std::sort(colours.begin() + qsizetype(box.Begin), colours.begin() + qsizetype(box.End),
              [c = box.Channel](const Weighted &a, const Weighted &b) {
                return Channel(a.Colour, c) < Channel(b.Colour, c);
              });
    size_t mid = box.Begin + 1;
    qint64 below = colours[box.Begin].Count;
    while (mid < box.End - 1 && below < box.Pixels / 2) below += colours[mid++].Count;
    boxes[pick] = MakeBox(colours, box.Begin, mid);
    boxes.push_back(MakeBox(colours, mid, box.End));
  }
  std::vector<QRgb> table;
  for (const Box &box : boxes) table.push_back(MeanOf(colours, box));
  return table;
}

QImage Indexed(int width, int height, const std::vector<QRgb> &table) {
  QImage out(width, height, QImage::Format_Indexed8);
  if (!out.isNull()) out.setColorTable(QList<QRgb>(table.begin(), table.end()));
  return out;
}

}  // namespace

QImage ReduceTo256(const QImage &source) {
  if (source.isNull()) return {};
  if (source.format() == QImage::Format_Indexed8) return source;
  const bool alpha = source.hasAlphaChannel();
  const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const int w = image.width(), h = image.height();
  std::vector<QRgb> pixels(size_t(w) * size_t(h));
  std::unordered_map<QRgb, qint64> counts;
  for (int y = 0; y < h; ++y) {
    const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      const QRgb p = alpha && qAlpha(line[x]) < 128 ? kTransparent : (line[x] | 0xFF000000u);
      pixels[size_t(y) * size_t(w) + size_t(x)] = p;
      if (counts.size() <= 256) ++counts[p];
    }
  }
  auto at = [&](int x, int y) { return pixels[size_t(y) * size_t(w) + size_t(x)]; };

  // Few colours: all of them, nothing changes.
  if (counts.size() <= 256) {
    std::vector<Weighted> used;
    for (const auto &[colour, n] : counts) used.push_back({colour, n});
    std::sort(used.begin(), used.end(), [](const Weighted &a, const Weighted &b) {
      return a.Count != b.Count ? a.Count > b.Count : a.Colour < b.Colour;
    });
    std::vector<QRgb> table;
    std::unordered_map<QRgb, uchar> index;
    for (const Weighted &u : used) {
      index[u.Colour] = uchar(table.size());
      table.push_back(u.Colour);
    }
    QImage out = Indexed(w, h, table);
    if (out.isNull()) return {};
    for (int y = 0; y < h; ++y) {
      uchar *line = out.scanLine(y);
      for (int x = 0; x < w; ++x) line[x] = index[at(x, y)];
    }
    return out;
  }

  // The table: the transparent entry, the flat colours, then the median cut.
  std::vector<QRgb> table;
  std::unordered_map<QRgb, uchar> exact;
  bool anyTransparent = false;
  std::unordered_map<QRgb, qint64> flat;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = at(x, y);
      if (p == kTransparent) {
        anyTransparent = true;
      } else if (x + 1 < w && y + 1 < h && at(x + 1, y) == p && at(x, y + 1) == p) {
        ++flat[p];
      }
    }
  if (anyTransparent) {
    exact[kTransparent] = 0;
    table.push_back(kTransparent);
  }
  std::vector<Weighted> areas;
  for (const auto &[colour, n] : flat)
    if (n >= kMinFlatPixels) areas.push_back({colour, n});
  std::sort(areas.begin(), areas.end(), [](const Weighted &a, const Weighted &b) {
    return a.Count != b.Count ? a.Count > b.Count : a.Colour < b.Colour;
  });
  if (areas.size() > size_t(kMaxFlatEntries)) areas.resize(size_t(kMaxFlatEntries));
  for (const Weighted &a : areas) {
    exact[a.Colour] = uchar(table.size());
    table.push_back(a.Colour);
  }
  std::unordered_map<QRgb, qint64> rest;
  for (const QRgb p : pixels)
    if (!exact.count(p)) ++rest[p];
  std::vector<Weighted> others;
  others.reserve(rest.size());
  for (const auto &[colour, n] : rest) others.push_back({colour, n});
  // The order of a hash map is not the same from run to run: the same
  // picture must give the same file.
  std::sort(others.begin(), others.end(), [](const Weighted &a, const Weighted &b) { return a.Colour < b.Colour; });
  for (const QRgb c : MedianCut(std::move(others), 256 - int(table.size()))) table.push_back(c);

  const size_t firstOpaque = anyTransparent ? 1 : 0;
  std::unordered_map<QRgb, uchar> nearestOf;
  auto nearest = [&](QRgb c) {
    auto found = nearestOf.find(c);
    if (found != nearestOf.end()) return found->second;
    size_t best = firstOpaque;
    int bestDistance = INT_MAX;
    for (size_t i = firstOpaque; i < table.size(); ++i) {
      const int dr = qRed(c) - qRed(table[i]), dg = qGreen(c) - qGreen(table[i]), db = qBlue(c) - qBlue(table[i]);
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) bestDistance = d, best = i;
    }
    return nearestOf[c] = uchar(best);
  };

  QImage out = Indexed(w, h, table);
  if (out.isNull()) return {};
  // Floyd-Steinberg along alternate directions; the error of a line lands on
  // the dithered pixels only (an exact pixel drops what it is handed).
  std::vector<std::array<int, 3>> here(size_t(w) + 2), below(size_t(w) + 2);
  for (int y = 0; y < h; ++y) {
    std::fill(below.begin(), below.end(), std::array<int, 3>{});
    const bool forward = y % 2 == 0;
    const int step = forward ? 1 : -1;
    uchar *line = out.scanLine(y);
    for (int i = 0; i < w; ++i) {
      const int x = forward ? i : w - 1 - i;
      const QRgb p = at(x, y);
      auto known = exact.find(p);
      if (known != exact.end()) {
        line[x] = known->second;
        continue;
      }
      const std::array<int, 3> &e = here[size_t(x + 1)];
      const QRgb want = qRgb(std::clamp(qRed(p) + e[0] / 16, 0, 255), std::clamp(qGreen(p) + e[1] / 16, 0, 255),
                             std::clamp(qBlue(p) + e[2] / 16, 0, 255));
      const uchar index = nearest(want);
      line[x] = index;
      const QRgb got = table[index];
      const std::array<int, 3> error{qRed(want) - qRed(got), qGreen(want) - qGreen(got), qBlue(want) - qBlue(got)};
      for (int c = 0; c < 3; ++c) {
        here[size_t(x + 1 + step)][c] += error[c] * 7;
        below[size_t(x + 1 - step)][c] += error[c] * 3;
        below[size_t(x + 1)][c] += error[c] * 5;
        below[size_t(x + 1 + step)][c] += error[c];
      }
    }
    std::swap(here, below);
  }
  return out;
}

}  // namespace qlon::zoom
