#pragma once
// Line reading and the smoothing filter.
//
// GetData hands over whole image lines. The reader READs whole device lines
// (never more than are left, split under the transport maximum), fits each
// to the caller's line length (a shorter caller line gets a prefix, a longer
// one ends in 0xFF) and, with smoothing on, passes every line through a 5x5
// diamond-shaped averaging filter:
//
//     . . x . .      output line k, pixel p = integer mean of the marked
//     . x x x .      neighbours of device line k, pixel p that exist
//     x x x x x      (rows outside 0..H-1 and columns outside the line
//     . x x x .      do not take part)
//     . . x . .
//
// Output k needs device lines up to k+2, so the filter runs two lines behind
// the device and the last two outputs come without reads. Line art is never
// smoothed: its bytes hold eight pixels each.

#include <cstdint>
#include <vector>

namespace qlon::scanner {

// What the reader needs of the SCSI layer.
class LineDevice {
 public:
  virtual ~LineDevice() = default;
  // READ(10) of `bytes`; *transferred = bytes received (fewer at the image end).
  virtual int32_t ReadData(uint8_t* buffer, uint32_t bytes, uint32_t* transferred) = 0;
  // GET DATA BUFFER STATUS re-sent after a read; its reply is not used.
  virtual int32_t RefreshBufferStatus() = 0;
};

// The filter works on 8-bit components: one per pixel for grey, three for
// colour (the filter modes 2 and 0 of this family; their 16-bit variants are
// never chosen by a scan).
uint32_t FilterComponents(int pixelType);
// prefix[i + components] = prefix[i] + row[i]: sums by component of a line.
void PrefixSums(const uint8_t* row, uint32_t bytes, uint32_t components, std::vector<uint32_t>* prefix);
// Smooths one line from the prefix sums of the device lines at offsets
// -2..+2 from the centre (nullptr where a line is absent; [2] present).
void SmoothLine(const uint32_t* const prefix[5], const uint8_t* centre, uint8_t* out, uint32_t bytes,
                uint32_t components);

class LineReader {
 public:
  // Largest line a device may announce: three bytes for each of the 65535
  // pixels a window can hold. Larger values are refused as device nonsense.
  static constexpr uint32_t kMaxDeviceLine = 3u * 65535u;
  static constexpr uint32_t kMaxTransfer = 0xFFFFFF;

  struct Options {
    bool smoothing = false;  // already off for line art and for the no-filter flag
    int pixelType = 2;       // 0 line art, 1 grey, 2 colour
    bool triplets = false;   // shorter caller lines keep whole RGB triplets
    uint32_t imageHeight = 0;
  };

  explicit LineReader(LineDevice& device) : device_(device) {}

  // A scan starts: the device's first buffer status and the scan's shape.
  int32_t Begin(uint32_t deviceBytesPerLine, uint32_t deviceLines, const Options& options);
  void End();
  void SetMaxTransfer(uint32_t bytes) { maxTransfer_ = bytes ? bytes : 1; }

  // Reads up to `asked` lines into dest (stride callerBytesPerLine). All asked
  // lines are first filled with 0xFF; *delivered = lines that carry image.
  int32_t ReadLines(uint8_t* dest, uint32_t asked, uint32_t callerBytesPerLine, uint32_t* delivered);

  // No image line is left to hand over.
  bool Finished() const;
  uint32_t LinesToRead() const { return linesToRead_; }
  uint32_t LinesRead() const { return linesRead_; }
  uint32_t DeviceBytesPerLine() const { return deviceBytesPerLine_; }

 private:
  int32_t ReadPlain(uint8_t* dest, uint32_t lines, uint32_t stride, uint32_t* delivered);
  int32_t ReadSmoothed(uint8_t* dest, uint32_t lines, uint32_t stride, uint32_t* delivered);
  int32_t ReadDeviceLine();
  void CopyLine(const uint8_t* line, uint8_t* dest, uint32_t stride) const;

  LineDevice& device_;
  Options options_;
  uint32_t deviceBytesPerLine_ = 0;
  uint32_t linesToRead_ = 0;
  uint32_t linesRead_ = 0;
  uint32_t maxTransfer_ = kMaxTransfer;
  std::vector<uint8_t> buffer_;
  // Smoothing: the last five device lines by line number modulo 5.
  std::vector<uint8_t> window_;
  std::vector<uint32_t> prefix_[5];  // prefix sums of the window's lines, same slots
  std::vector<uint8_t> output_;
  uint32_t outputs_ = 0;
  bool deviceEnded_ = false;
};

}  // namespace qlon::scanner
