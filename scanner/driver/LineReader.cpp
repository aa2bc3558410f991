#include "LineReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ErrorState.h"

namespace qlon::scanner {

namespace {

// Half-width of the diamond on the rows at offsets -2..+2.
constexpr uint32_t kHalfWidth[5] = {0, 1, 2, 1, 0};
constexpr uint32_t kMaxNeighbours = 13;

// quotient[count][sum] = sum / count for 8-bit samples: one lookup instead
// of a division per output sample.
struct Quotients {
  std::vector<uint8_t> table = std::vector<uint8_t>((kMaxNeighbours + 1) * (kMaxNeighbours * 255 + 1));
  Quotients() {
    for (uint32_t c = 1; c <= kMaxNeighbours; ++c)
      for (uint32_t s = 0; s <= kMaxNeighbours * 255; ++s) table[c * (kMaxNeighbours * 255 + 1) + s] = uint8_t(s / c);
  }
  uint8_t operator()(uint32_t sum, uint32_t count) const { return table[count * (kMaxNeighbours * 255 + 1) + sum]; }
};

}  // namespace

uint32_t FilterComponents(int pixelType) { return pixelType == 1 ? 1 : 3; }

void PrefixSums(const uint8_t* row, uint32_t bytes, uint32_t components, std::vector<uint32_t>* prefix) {
  const uint32_t samples = bytes / components * components;
  prefix->resize(size_t(samples) + components);
  uint32_t* pre = prefix->data();
  std::fill(pre, pre + components, 0u);
  for (uint32_t i = 0; i < samples; ++i) pre[i + components] = pre[i] + row[i];
}

void SmoothLine(const uint32_t* const prefix[5], const uint8_t* centre, uint8_t* out, uint32_t bytes,
                uint32_t components) {
  static const Quotients quotient;
  const uint32_t pixels = bytes / components;
  const uint32_t C = components;
  // Bytes past the last whole pixel (line padding) are kept from the centre line.
  std::memcpy(out, centre, bytes);
  // One pixel, any rows: each present row adds its columns that exist.
  auto edge = [&](uint32_t p) {
    uint32_t lo[5], hi[5], count = 0;
    for (int r = 0; r < 5; ++r) {
      if (!prefix[r]) continue;
      lo[r] = (p >= kHalfWidth[r] ? p - kHalfWidth[r] : 0) * C;
      hi[r] = std::min(pixels, p + kHalfWidth[r] + 1) * C;
      count += (hi[r] - lo[r]) / C;
    }
    for (uint32_t c = 0; c < C; ++c) {
      uint32_t sum = 0;
      for (int r = 0; r < 5; ++r)
        if (prefix[r]) sum += prefix[r][hi[r] + c] - prefix[r][lo[r] + c];
      out[p * C + c] = quotient(sum, count);
    }
  };
  const bool allRows = prefix[0] && prefix[1] && prefix[3] && prefix[4];
  if (!allRows || pixels < 5) {
    for (uint32_t p = 0; p < pixels; ++p) edge(p);
    return;
  }
  // Inside the line every sample has all 13 neighbours: sample s sums
  // prefix[s + (h + 1) * C] - prefix[s - h * C] on each row of half-width h.
  const uint32_t *p0 = prefix[0], *p1 = prefix[1], *p2 = prefix[2], *p3 = prefix[3], *p4 = prefix[4];
  for (uint32_t s = 2 * C; s < (pixels - 2) * C; ++s) {
    const uint32_t sum = (p0[s + C] - p0[s]) + (p4[s + C] - p4[s]) + (p1[s + 2 * C] - p1[s - C]) +
                         (p3[s + 2 * C] - p3[s - C]) + (p2[s + 3 * C] - p2[s - 2 * C]);
    out[s] = quotient(sum, kMaxNeighbours);
  }
  for (uint32_t p : {0u, 1u, pixels - 2, pixels - 1}) edge(p);
}

int32_t LineReader::Begin(uint32_t deviceBytesPerLine, uint32_t deviceLines, const Options& options) {
  End();
  if (deviceBytesPerLine == 0 || deviceBytesPerLine > kMaxDeviceLine) return kTransferTooLarge;
  deviceBytesPerLine_ = deviceBytesPerLine;
  linesToRead_ = deviceLines;
  options_ = options;
  if (options_.pixelType == 0) options_.smoothing = false;
  if (options_.smoothing) window_.assign(size_t(5) * deviceBytesPerLine, 0);
  for (auto& p : prefix_) p.clear();
  return 0;
}

void LineReader::End() {
  deviceBytesPerLine_ = 0;
  linesToRead_ = 0;
  linesRead_ = 0;
  outputs_ = 0;
  deviceEnded_ = false;
  buffer_.clear();
  buffer_.shrink_to_fit();
  window_.clear();
  window_.shrink_to_fit();
}

bool LineReader::Finished() const {
  if (!options_.smoothing) return linesToRead_ == 0 || deviceEnded_;
  const uint32_t height = options_.imageHeight ? options_.imageHeight : linesRead_ + linesToRead_;
  return outputs_ >= height || (deviceEnded_ && outputs_ >= linesRead_);
}

void LineReader::CopyLine(const uint8_t* line, uint8_t* dest, uint32_t stride) const {
  uint32_t n = deviceBytesPerLine_;
  if (stride < n) {
    n = stride;
    if (options_.triplets) n -= n % 3;
  }
  std::memcpy(dest, line, n);
}

int32_t LineReader::ReadLines(uint8_t* dest, uint32_t asked, uint32_t callerBytesPerLine,
                              uint32_t* delivered) {
  *delivered = 0;
  if (deviceBytesPerLine_ == 0) return kNotTransferring;
  std::memset(dest, 0xFF, size_t(asked) * callerBytesPerLine);
  const int32_t rc = options_.smoothing ? ReadSmoothed(dest, asked, callerBytesPerLine, delivered)
                                        : ReadPlain(dest, asked, callerBytesPerLine, delivered);
  if (rc) return rc;
  device_.RefreshBufferStatus();
  return 0;
}

int32_t LineReader::ReadPlain(uint8_t* dest, uint32_t asked, uint32_t stride, uint32_t* delivered) {
  if (deviceEnded_) return 0;
  const uint32_t perRead = maxTransfer_ / deviceBytesPerLine_;
  if (perRead == 0) return kTransferTooLarge;
  uint32_t toDeliver = std::min(asked, linesToRead_);
  while (toDeliver > 0) {
    const uint32_t lines = std::min(toDeliver, perRead);
    const uint32_t bytes = lines * deviceBytesPerLine_;  // <= maxTransfer_, no overflow
    try {
      buffer_.resize(std::max<size_t>(buffer_.size(), bytes));
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    }
    uint32_t got = 0;
    if (const int32_t rc = device_.ReadData(buffer_.data(), bytes, &got)) return rc;
    const uint32_t whole = std::min(got, bytes) / deviceBytesPerLine_;
    for (uint32_t i = 0; i < whole; ++i) {
      CopyLine(buffer_.data() + size_t(i) * deviceBytesPerLine_,
               dest + size_t(*delivered) * stride, stride);
      ++*delivered;
      --linesToRead_;
      ++linesRead_;
    }
    if (whole < lines) {  // the device ended the image early
      deviceEnded_ = true;
      break;
    }
    toDeliver -= lines;
  }
  return 0;
}

int32_t LineReader::ReadDeviceLine() {
  if (linesToRead_ == 0 || deviceEnded_) {
    deviceEnded_ = true;
    return 0;
  }
  uint8_t* slot = window_.data() + size_t(linesRead_ % 5) * deviceBytesPerLine_;
  uint32_t got = 0;
  if (const int32_t rc = device_.ReadData(slot, deviceBytesPerLine_, &got)) return rc;
  if (got < deviceBytesPerLine_) {
    deviceEnded_ = true;
    return 0;
  }
  PrefixSums(slot, deviceBytesPerLine_, FilterComponents(options_.pixelType), &prefix_[linesRead_ % 5]);
  ++linesRead_;
  --linesToRead_;
  return 0;
}

int32_t LineReader::ReadSmoothed(uint8_t* dest, uint32_t asked, uint32_t stride, uint32_t* delivered) {
  const uint32_t height = options_.imageHeight ? options_.imageHeight : linesRead_ + linesToRead_;
  output_.resize(deviceBytesPerLine_);
  const uint32_t components = FilterComponents(options_.pixelType);
  while (*delivered < asked && outputs_ < height) {
    const uint32_t o = outputs_;
    const uint32_t need = std::min(o + 2, height - 1);  // last device line this output uses
    while (linesRead_ <= need && !deviceEnded_)
      if (const int32_t rc = ReadDeviceLine()) return rc;
    if (o >= linesRead_) break;  // the device ended before this line
    const uint32_t* prefix[5];
    for (int r = 0; r < 5; ++r) {
      const int64_t line = int64_t(o) + r - 2;
      prefix[r] = (line >= 0 && line < int64_t(linesRead_) && line < int64_t(height))
                      ? prefix_[line % 5].data()
                      : nullptr;
    }
    SmoothLine(prefix, window_.data() + size_t(o % 5) * deviceBytesPerLine_, output_.data(),
               deviceBytesPerLine_, components);
    CopyLine(output_.data(), dest + size_t(*delivered) * stride, stride);
    ++*delivered;
    ++outputs_;
  }
  return 0;
}

}  // namespace qlon::scanner
