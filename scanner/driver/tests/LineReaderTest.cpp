#include "LineReader.h"

#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

using namespace qlon::scanner;

namespace {

// A device holding `lines` lines of `bpl` bytes; logs every READ size.
class FakeLines : public LineDevice {
 public:
  FakeLines(uint32_t bpl, uint32_t lines) : bpl(bpl), image(size_t(bpl) * lines) {
    std::mt19937 rng(7);
    for (auto& b : image) b = uint8_t(rng());
  }
  int32_t ReadData(uint8_t* buffer, uint32_t bytes, uint32_t* transferred) override {
    reads.push_back(bytes);
    if (failNext) return failNext;
    const size_t n = std::min<size_t>(bytes, image.size() - offset);
    std::memcpy(buffer, image.data() + offset, n);
    offset += n;
    *transferred = uint32_t(n);
    return 0;
  }
  int32_t RefreshBufferStatus() override {
    ++statusCalls;
    return 0;
  }
  const uint8_t* Line(uint32_t i) const { return image.data() + size_t(i) * bpl; }

  uint32_t bpl;
  std::vector<uint8_t> image;
  size_t offset = 0;
  std::vector<uint32_t> reads;
  int statusCalls = 0;
  int32_t failNext = 0;
};

// The filter by its definition: every mask cell checked one by one.
std::vector<uint8_t> Reference(const FakeLines& dev, uint32_t height, int components, uint32_t k) {
  static const int mask[5][5] = {{0, 0, 1, 0, 0}, {0, 1, 1, 1, 0}, {1, 1, 1, 1, 1},
                                 {0, 1, 1, 1, 0}, {0, 0, 1, 0, 0}};
  const int pixels = int(dev.bpl) / components;
  std::vector<uint8_t> out(dev.Line(k), dev.Line(k) + dev.bpl);
  for (int p = 0; p < pixels; ++p)
    for (int c = 0; c < components; ++c) {
      int sum = 0, n = 0;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const int y = int(k) + dy, x = p + dx;
          if (!mask[dy + 2][dx + 2] || y < 0 || y >= int(height) || x < 0 || x >= pixels) continue;
          sum += dev.Line(y)[x * components + c];
          ++n;
        }
      out[p * components + c] = uint8_t(sum / n);
    }
  return out;
}

LineReader::Options Plain(int pixelType = 1) {
  LineReader::Options o;
  o.pixelType = pixelType;
  return o;
}

LineReader::Options Smoothed(int pixelType, uint32_t height) {
  LineReader::Options o = Plain(pixelType);
  o.smoothing = true;
  o.imageHeight = height;
  return o;
}

}  // namespace

TEST(LineReaderPlain, ReadsOnlyWhatIsLeftAndReportsTheLinesDelivered) {
  FakeLines dev(10, 7);
  LineReader reader(dev);
  ASSERT_EQ(reader.Begin(10, 7, Plain()), 0);
  std::vector<uint8_t> buf(5 * 10);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(buf.data(), 5, 10, &got), 0);
  EXPECT_EQ(got, 5u);
  ASSERT_EQ(reader.ReadLines(buf.data(), 5, 10, &got), 0);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(std::memcmp(buf.data(), dev.Line(5), 20), 0);
  for (size_t i = 20; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xFF) << i;
  EXPECT_EQ(dev.reads, (std::vector<uint32_t>{50, 20}));
  EXPECT_EQ(dev.statusCalls, 2);
  EXPECT_TRUE(reader.Finished());
  EXPECT_EQ(reader.LinesRead(), 7u);
  ASSERT_EQ(reader.ReadLines(buf.data(), 5, 10, &got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(dev.reads.size(), 2u);
}

TEST(LineReaderPlain, FitsDeviceLinesToTheCallersStride) {
  FakeLines dev(10, 4);
  LineReader reader(dev);
  ASSERT_EQ(reader.Begin(10, 4, Plain()), 0);
  std::vector<uint8_t> wide(2 * 13);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(wide.data(), 2, 13, &got), 0);
  EXPECT_EQ(std::memcmp(wide.data() + 13, dev.Line(1), 10), 0);
  EXPECT_EQ(wide[10], 0xFF);
  EXPECT_EQ(wide[25], 0xFF);

  LineReader::Options colour = Plain(2);
  colour.triplets = true;
  FakeLines dev2(9, 2);
  LineReader r2(dev2);
  ASSERT_EQ(r2.Begin(9, 2, colour), 0);
  std::vector<uint8_t> narrow(2 * 8);
  ASSERT_EQ(r2.ReadLines(narrow.data(), 2, 8, &got), 0);
  EXPECT_EQ(std::memcmp(narrow.data() + 8, dev2.Line(1), 6), 0);  // whole triplets only
  EXPECT_EQ(narrow[14], 0xFF);
}

TEST(LineReaderPlain, SplitsReadsAndRefusesDeviceNonsense) {
  FakeLines dev(100, 10);
  LineReader reader(dev);
  reader.SetMaxTransfer(350);
  ASSERT_EQ(reader.Begin(100, 10, Plain()), 0);
  std::vector<uint8_t> buf(10 * 100);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(buf.data(), 10, 100, &got), 0);
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(dev.reads, (std::vector<uint32_t>{300, 300, 300, 100}));
  EXPECT_EQ(std::memcmp(buf.data(), dev.image.data(), buf.size()), 0);

  EXPECT_EQ(reader.Begin(0, 10, Plain()), -29);
  EXPECT_EQ(reader.Begin(0x7FFFFFFF, 0xFFFFFFFF, Plain()), -29);
  EXPECT_EQ(reader.ReadLines(buf.data(), 1, 100, &got), -2);

  FakeLines failing(10, 3);
  LineReader r2(failing);
  ASSERT_EQ(r2.Begin(10, 3, Plain()), 0);
  failing.failNext = -81;
  EXPECT_EQ(r2.ReadLines(buf.data(), 1, 10, &got), -81);
}

TEST(LineReaderPlain, AShortDeviceAnswerEndsTheImage) {
  FakeLines dev(10, 3);
  LineReader reader(dev);
  ASSERT_EQ(reader.Begin(10, 5, Plain()), 0);  // the device announced more than it has
  std::vector<uint8_t> buf(5 * 10);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(buf.data(), 5, 10, &got), 0);
  EXPECT_EQ(got, 3u);
  EXPECT_TRUE(reader.Finished());
}

TEST(LineReaderSmoothing, MatchesTheMaskForEveryHeightAndChunking) {
  for (int components : {1, 3})
    for (uint32_t height : {1u, 2u, 3u, 4u, 5u, 9u})
      for (uint32_t chunk : {1u, 2u, 4u}) {
        const uint32_t bpl = 7 * components;
        FakeLines dev(bpl, height);
        LineReader reader(dev);
        ASSERT_EQ(reader.Begin(bpl, height, Smoothed(components == 1 ? 1 : 2, height)), 0);
        std::vector<uint8_t> all;
        for (;;) {
          std::vector<uint8_t> buf(chunk * bpl);
          uint32_t got = 0;
          ASSERT_EQ(reader.ReadLines(buf.data(), chunk, bpl, &got), 0);
          all.insert(all.end(), buf.begin(), buf.begin() + got * bpl);
          if (got < chunk) break;
        }
        ASSERT_EQ(all.size(), size_t(height) * bpl) << components << "/" << height << "/" << chunk;
        EXPECT_EQ(dev.reads.size(), height);  // one READ per device line, none beyond
        for (uint32_t k = 0; k < height; ++k) {
          const auto want = Reference(dev, height, components, k);
          ASSERT_EQ(std::vector<uint8_t>(all.begin() + k * bpl, all.begin() + (k + 1) * bpl), want)
              << "line " << k << " height " << height << " components " << components;
        }
      }
}

TEST(LineReaderSmoothing, RunsTwoLinesBehindTheDevice) {
  FakeLines dev(8, 5);
  std::fill(dev.image.begin(), dev.image.end(), 0);
  dev.image[4] = 90;  // line 0, pixel 4: nine neighbours of output 0 take part
  dev.image[0] = 60;  // line 0, pixel 0: six
  LineReader reader(dev);
  ASSERT_EQ(reader.Begin(8, 5, Smoothed(1, 5)), 0);
  std::vector<uint8_t> line(8);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(line.data(), 1, 8, &got), 0);
  EXPECT_EQ(dev.reads.size(), 3u);
  EXPECT_EQ(line[4], 10);
  EXPECT_EQ(line[0], 10);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(reader.ReadLines(line.data(), 1, 8, &got), 0);
  EXPECT_EQ(dev.reads.size(), 5u);
  EXPECT_FALSE(reader.Finished());
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(reader.ReadLines(line.data(), 1, 8, &got), 0);
    EXPECT_EQ(got, 1u);
  }
  EXPECT_EQ(dev.reads.size(), 5u);
  EXPECT_TRUE(reader.Finished());
  ASSERT_EQ(reader.ReadLines(line.data(), 1, 8, &got), 0);
  EXPECT_EQ(got, 0u);
}

TEST(LineReaderSmoothing, LineArtIsNeverSmoothed) {
  FakeLines dev(4, 3);
  LineReader reader(dev);
  ASSERT_EQ(reader.Begin(4, 3, Smoothed(0, 3)), 0);
  std::vector<uint8_t> buf(12);
  uint32_t got = 0;
  ASSERT_EQ(reader.ReadLines(buf.data(), 3, 4, &got), 0);
  EXPECT_EQ(buf, dev.image);
  EXPECT_EQ(dev.reads, (std::vector<uint32_t>{12}));
}
