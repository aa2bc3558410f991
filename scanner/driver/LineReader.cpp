#include "LineReader.h"

#include <algorithm>
#include <cstring>

namespace qlon::scanner {

namespace {

constexpr FilterMode kModes[] = {{0, 3, 1}, {1, 3, 2}, {2, 1, 1}, {3, 1, 2}};
// Half-width of the diamond on the rows at offsets -2..+2.
constexpr int kHalfWidth[5] = {0, 1, 2, 1, 0};

template <typename Sample>
void SmoothSamples(const uint8_t* const rows[5], uint8_t* out, uint32_t pixels, int components) {
  const size_t samples = size_t(pixels) * components;
  // Per present row, prefix sums by component: prefix[p * components + c] is
  // the sum of component c over pixels 0..p-1.
  std::vector<uint64_t> prefix[5];
  for (int r = 0; r < 5; ++r) {
    if (!rows[r]) continue;
    std::vector<uint64_t>& pre = prefix[r];
    pre.assign(samples + components, 0);
    for (size_t i = 0; i < samples; ++i) {
      Sample s;
      std::memcpy(&s, rows[r] + i * sizeof(Sample), sizeof(Sample));
      pre[i + components] = pre[i] + s;
    }
  }
  for (uint32_t p = 0; p < pixels; ++p) {
    for (int c = 0; c < components; ++c) {
      uint64_t sum = 0;
      uint64_t count = 0;
      for (int r = 0; r < 5; ++r) {
        if (!rows[r]) continue;
        const uint32_t h = kHalfWidth[r];
        const uint32_t lo = p >= h ? p - h : 0;
        const uint32_t hi = std::min<uint32_t>(pixels, p + h + 1);
        sum += prefix[r][size_t(hi) * components + c] - prefix[r][size_t(lo) * components + c];
        count += hi - lo;
      }
      const auto s = static_cast<Sample>(sum / count);
      std::memcpy(out + (size_t(p) * components + c) * sizeof(Sample), &s, sizeof(Sample));
    }
  }
}

}  // namespace

const FilterMode& FilterModeOf(int mode) {
  return kModes[(mode >= 0 && mode <= 3) ? mode : 0];
}

void SmoothLine(const uint8_t* const rows[5], uint8_t* out, uint32_t bytes, const FilterMode& mode) {
  const uint32_t pixelBytes = uint32_t(mode.components * mode.bytesPerComponent);
  const uint32_t pixels = bytes / pixelBytes;
  // Bytes past the last whole pixel (line padding) are kept from the centre line.
  std::memcpy(out, rows[2], bytes);
  if (pixels == 0) return;
  if (mode.bytesPerComponent == 2)
    SmoothSamples<uint16_t>(rows, out, pixels, mode.components);
  else
    SmoothSamples<uint8_t>(rows, out, pixels, mode.components);
}

int32_t LineReader::Begin(uint32_t deviceBytesPerLine, uint32_t deviceLines, const Options& options) {
  End();
  if (deviceBytesPerLine == 0 || deviceBytesPerLine > kMaxDeviceLine) return -29;
  deviceBytesPerLine_ = deviceBytesPerLine;
  linesToRead_ = deviceLines;
  options_ = options;
  if (options_.pixelType == 0) options_.smoothing = false;
  if (options_.smoothing) window_.assign(size_t(5) * deviceBytesPerLine, 0);
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
  if (deviceBytesPerLine_ == 0) return -2;
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
  if (perRead == 0) return -29;
  uint32_t toDeliver = std::min(asked, linesToRead_);
  while (toDeliver > 0) {
    const uint32_t lines = std::min(toDeliver, perRead);
    const uint32_t bytes = lines * deviceBytesPerLine_;  // <= maxTransfer_, no overflow
    buffer_.resize(std::max<size_t>(buffer_.size(), bytes));
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
  ++linesRead_;
  --linesToRead_;
  return 0;
}

int32_t LineReader::ReadSmoothed(uint8_t* dest, uint32_t asked, uint32_t stride, uint32_t* delivered) {
  const uint32_t height = options_.imageHeight ? options_.imageHeight : linesRead_ + linesToRead_;
  output_.resize(deviceBytesPerLine_);
  const FilterMode& mode = FilterModeOf(options_.pixelType == 1 ? 2 : 0);
  while (*delivered < asked && outputs_ < height) {
    const uint32_t o = outputs_;
    const uint32_t need = std::min(o + 2, height - 1);  // last device line this output uses
    while (linesRead_ <= need && !deviceEnded_)
      if (const int32_t rc = ReadDeviceLine()) return rc;
    if (o >= linesRead_) break;  // the device ended before this line
    const uint8_t* rows[5];
    for (int r = 0; r < 5; ++r) {
      const int64_t line = int64_t(o) + r - 2;
      rows[r] = (line >= 0 && line < int64_t(linesRead_) && line < int64_t(height))
                    ? window_.data() + size_t(line % 5) * deviceBytesPerLine_
                    : nullptr;
    }
    SmoothLine(rows, output_.data(), deviceBytesPerLine_, mode);
    CopyLine(output_.data(), dest + size_t(*delivered) * stride, stride);
    ++*delivered;
    ++outputs_;
  }
  return 0;
}

}  // namespace qlon::scanner
