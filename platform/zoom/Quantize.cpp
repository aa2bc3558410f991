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

bool MoreFrequentFirst(const Weighted &a, const Weighted &b) {
  return a.Count != b.Count ? a.Count > b.Count : a.Colour < b.Colour;
}

// The picture row after row, each pixel opaque or the transparent colour.
struct Pixels {
  int Width = 0, Height = 0;
  std::vector<QRgb> Colours;
  QRgb At(int x, int y) const { return Colours[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Counts stop growing past 257 colours: that many tells the table cannot
// hold them all.
Pixels ReadPixels(const QImage &source, std::unordered_map<QRgb, qint64> &counts) {
  const bool alpha = source.hasAlphaChannel();
  const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  Pixels pixels{image.width(), image.height(), {}};
  pixels.Colours.resize(size_t(pixels.Width) * size_t(pixels.Height));
  for (int y = 0; y < pixels.Height; ++y) {
    const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    for (int x = 0; x < pixels.Width; ++x) {
      const QRgb p = alpha && qAlpha(line[x]) < 128 ? kTransparent : (line[x] | 0xFF000000u);
      pixels.Colours[size_t(y) * size_t(pixels.Width) + size_t(x)] = p;
      if (counts.size() <= 256) ++counts[p];
    }
  }
  return pixels;
}

// Few colours: all of them, most frequent first; nothing changes.
QImage IndexEveryColour(const Pixels &pixels, const std::unordered_map<QRgb, qint64> &counts) {
  std::vector<Weighted> used;
  for (const auto &[colour, n] : counts) used.push_back({colour, n});
  std::sort(used.begin(), used.end(), MoreFrequentFirst);
  std::vector<QRgb> table;
  std::unordered_map<QRgb, uchar> index;
  for (const Weighted &u : used) {
    index[u.Colour] = uchar(table.size());
    table.push_back(u.Colour);
  }
  QImage out = Indexed(pixels.Width, pixels.Height, table);
  if (out.isNull()) return {};
  for (int y = 0; y < pixels.Height; ++y) {
    uchar *line = out.scanLine(y);
    for (int x = 0; x < pixels.Width; ++x) line[x] = index[pixels.At(x, y)];
  }
  return out;
}

// The entries kept exact: the transparent one when used, then the colours of
// flat areas (a pixel equal to its right and lower neighbours), the largest
// first. Returns whether the transparent entry was added.
bool AddExactEntries(const Pixels &pixels, std::vector<QRgb> &table, std::unordered_map<QRgb, uchar> &exact) {
  bool anyTransparent = false;
  std::unordered_map<QRgb, qint64> flat;
  const int w = pixels.Width, h = pixels.Height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = pixels.At(x, y);
      if (p == kTransparent) {
        anyTransparent = true;
      } else if (x + 1 < w && y + 1 < h && pixels.At(x + 1, y) == p && pixels.At(x, y + 1) == p) {
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
  std::sort(areas.begin(), areas.end(), MoreFrequentFirst);
  if (areas.size() > size_t(kMaxFlatEntries)) areas.resize(size_t(kMaxFlatEntries));
  for (const Weighted &a : areas) {
    exact[a.Colour] = uchar(table.size());
    table.push_back(a.Colour);
  }
  return anyTransparent;
}

// The rest of the table: the median cut of the colours not kept exact.
void AddMedianCutEntries(const Pixels &pixels, const std::unordered_map<QRgb, uchar> &exact,
                         std::vector<QRgb> &table) {
  std::unordered_map<QRgb, qint64> rest;
  for (const QRgb p : pixels.Colours)
    if (!exact.count(p)) ++rest[p];
  std::vector<Weighted> others;
  others.reserve(rest.size());
  for (const auto &[colour, n] : rest) others.push_back({colour, n});
  // The order of a hash map is not the same from run to run: the same
  // picture must give the same file.
  std::sort(others.begin(), others.end(), [](const Weighted &a, const Weighted &b) { return a.Colour < b.Colour; });
  for (const QRgb c : MedianCut(std::move(others), 256 - int(table.size()))) table.push_back(c);
}

// The closest opaque entry of the table to a colour, remembered per colour.
class NearestEntry {
 public:
  NearestEntry(const std::vector<QRgb> &table, size_t firstOpaque) : table_(table), firstOpaque_(firstOpaque) {}
  uchar operator()(QRgb c) {
    auto found = known_.find(c);
    if (found != known_.end()) return found->second;
    size_t best = firstOpaque_;
    int bestDistance = INT_MAX;
    for (size_t i = firstOpaque_; i < table_.size(); ++i) {
      const int dr = qRed(c) - qRed(table_[i]), dg = qGreen(c) - qGreen(table_[i]), db = qBlue(c) - qBlue(table_[i]);
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) bestDistance = d, best = i;
    }
    return known_[c] = uchar(best);
  }

 private:
  const std::vector<QRgb> &table_;
  size_t firstOpaque_;
  std::unordered_map<QRgb, uchar> known_;
};

// Floyd-Steinberg along alternate directions; the error of a line lands on
// the dithered pixels only (an exact pixel drops what it is handed).
QImage Dither(const Pixels &pixels, const std::vector<QRgb> &table, const std::unordered_map<QRgb, uchar> &exact,
              size_t firstOpaque) {
  const int w = pixels.Width, h = pixels.Height;
  QImage out = Indexed(w, h, table);
  if (out.isNull()) return {};
  NearestEntry nearest(table, firstOpaque);
  std::vector<std::array<int, 3>> here(size_t(w) + 2), below(size_t(w) + 2);
  for (int y = 0; y < h; ++y) {
    std::fill(below.begin(), below.end(), std::array<int, 3>{});
    const bool forward = y % 2 == 0;
    const int step = forward ? 1 : -1;
    uchar *line = out.scanLine(y);
    for (int i = 0; i < w; ++i) {
      const int x = forward ? i : w - 1 - i;
      const QRgb p = pixels.At(x, y);
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

}  // namespace

QImage ReduceTo256(const QImage &source) {
  if (source.isNull()) return {};
  if (source.format() == QImage::Format_Indexed8) return source;
  std::unordered_map<QRgb, qint64> counts;
  const Pixels pixels = ReadPixels(source, counts);
  if (counts.size() <= 256) return IndexEveryColour(pixels, counts);
  // The table: the transparent entry, the flat colours, then the median cut.
  std::vector<QRgb> table;
  std::unordered_map<QRgb, uchar> exact;
  const bool anyTransparent = AddExactEntries(pixels, table, exact);
  AddMedianCutEntries(pixels, exact, table);
  return Dither(pixels, table, exact, anyTransparent ? 1 : 0);
}

}  // namespace qlon::zoom
