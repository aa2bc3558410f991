#include "EmulatedScanner.h"

#include <gtest/gtest.h>

using namespace qlon::sti;

namespace {

void Be32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void Be16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
uint32_t GetBe32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct WindowParams {
  uint16_t x = 150, y = 150;
  uint32_t left = 0, top = 0, width = 2400, length = 1600;
  uint8_t composition = 2, bpp = 8;
  uint16_t descriptor = 64;
};

std::vector<uint8_t> WindowBytes(const WindowParams& w) {
  std::vector<uint8_t> b(8 + w.descriptor, 0);
  Be16(b, 6, w.descriptor);
  Be16(b, 10, w.x);
  Be16(b, 12, w.y);
  Be32(b, 14, w.left);
  Be32(b, 18, w.top);
  Be32(b, 22, w.width);
  Be32(b, 26, w.length);
  b[30] = b[31] = b[32] = 128;
  b[33] = w.composition;
  b[34] = w.bpp;
  b[37] = 0x80;
  return b;
}

class EmulatedScannerTest : public ::testing::Test {
 protected:
  std::shared_ptr<EmulatedScanner> scanner_ = std::make_shared<EmulatedScanner>();
  std::unique_ptr<ScsiTarget> target_ = scanner_->Connect();

  ScsiReply Run(std::vector<uint8_t> cdb, Direction dir = Direction::None, std::vector<uint8_t>* data = nullptr,
                ScsiTarget* via = nullptr) {
    return (via ? via : target_.get())
        ->Execute(cdb.data(), static_cast<uint8_t>(cdb.size()), dir, data ? data->data() : nullptr,
                  data ? static_cast<uint32_t>(data->size()) : 0);
  }
  ScsiReply SetWindow(const WindowParams& w) {
    std::vector<uint8_t> bytes = WindowBytes(w);
    auto n = static_cast<uint8_t>(bytes.size());
    return Run({0x24, 0, 0, 0, 0, 0, 0, 0, n, 0}, Direction::Out, &bytes);
  }
  ScsiReply Read(std::vector<uint8_t>* buf) {
    auto n = static_cast<uint32_t>(buf->size());
    return Run({0x28, 0, 0, 0, 0, 0, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0}, Direction::In, buf);
  }
  std::vector<uint8_t> BufferStatus() {
    std::vector<uint8_t> b(28, 0xEE);
    EXPECT_EQ(Run({0x34, 0, 0, 0, 0, 0, 0, 0, 28, 0}, Direction::In, &b).srbStatus, kSrbSuccess);
    return b;
  }
  void Start(const WindowParams& w) {
    ASSERT_EQ(SetWindow(w).srbStatus, kSrbSuccess);
    std::vector<uint8_t> id = {0};
    ASSERT_EQ(Run({0x1B, 0, 0, 0, 1, 0}, Direction::Out, &id).srbStatus, kSrbSuccess);
  }
  static void ExpectSense(const ScsiReply& r, uint8_t key, uint8_t asc, uint8_t ascq = 0) {
    EXPECT_EQ(r.srbStatus, kSrbError);
    EXPECT_EQ(r.sense[2] & 0x0F, key);
    EXPECT_EQ(r.sense[12], asc);
    EXPECT_EQ(r.sense[13], ascq);
    EXPECT_GE(r.sense[7], 6);
  }
};

TEST_F(EmulatedScannerTest, InquiryDescribesTheModel) {
  std::vector<uint8_t> b(36);
  ScsiReply r = Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b);
  ASSERT_EQ(r.srbStatus, kSrbSuccess);
  EXPECT_EQ(r.transferred, 36u);
  EXPECT_EQ(b[0], 0x06);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "QLON    ");
  EXPECT_EQ(std::string(b.begin() + 16, b.begin() + 32), "QM-51270K       ");
  EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 36), "1.00");

  std::vector<uint8_t> page(74);
  ASSERT_EQ(Run({0x12, 1, 0xF0, 0, 74, 0}, Direction::In, &page).srbStatus, kSrbSuccess);
  EXPECT_EQ(page[5] << 8 | page[6], 1200);
  EXPECT_EQ(page[7] << 8 | page[8], 1200);
  EXPECT_EQ(GetBe32(&page[20]), 10208u);
  EXPECT_EQ(GetBe32(&page[24]), 14040u);
  EXPECT_EQ(page[38], 64);
  ExpectSense(Run({0x12, 1, 0x80, 0, 74, 0}, Direction::In, &page), 5, 0x24);
  // A shorter allocation gets a prefix.
  std::vector<uint8_t> shorter(5);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 5, 0}, Direction::In, &shorter).transferred, 5u);
}

TEST_F(EmulatedScannerTest, ScansTheWindowAndEndsTheImageWithEom) {
  std::vector<uint8_t> status = BufferStatus();
  EXPECT_EQ(GetBe32(&status[12]), 0u);  // nothing before SCAN
  EXPECT_EQ(GetBe32(&status[16]), 0u);
  Start({});
  std::vector<uint8_t> window(72);
  ASSERT_EQ(Run({0x25, 1, 0, 0, 0, 0, 0, 0, 72, 0}, Direction::In, &window).srbStatus, kSrbSuccess);
  EXPECT_EQ(window, WindowBytes({}));
  status = BufferStatus();
  EXPECT_EQ(GetBe32(&status[12]), 300u);  // 2400 × 150 ÷ 1200 pixels of grey
  EXPECT_EQ(GetBe32(&status[16]), 200u);

  std::vector<uint8_t> image;
  for (int i = 0; i < 3; ++i) {
    std::vector<uint8_t> buf(19200);
    ScsiReply r = Read(&buf);
    ASSERT_EQ(r.srbStatus, kSrbSuccess);
    EXPECT_EQ(r.transferred, 19200u);
    image.insert(image.end(), buf.begin(), buf.end());
  }
  std::vector<uint8_t> buf(19200, 0xAA);
  ScsiReply last = Read(&buf);
  EXPECT_EQ(last.transferred, 2400u);
  ExpectSense(last, 0, 0);
  EXPECT_EQ(last.sense[2] & 0xE0, 0x60);       // EOM and ILI
  EXPECT_EQ(last.sense[0], 0xF0);              // the information field is valid ...
  EXPECT_EQ(GetBe32(&last.sense[3]), 16800u);  // ... and holds the residue
  image.insert(image.end(), buf.begin(), buf.begin() + 2400);
  ASSERT_EQ(image.size(), 300u * 200u);
  for (uint32_t y = 0; y < 200; ++y)
    for (uint32_t x = 0; x < 300; x += 37) ASSERT_EQ(image[y * 300 + x], static_cast<uint8_t>(x + y)) << x << "," << y;

  status = BufferStatus();
  EXPECT_EQ(GetBe32(&status[16]), 0u);
  std::vector<uint8_t> sense(11);
  ASSERT_EQ(Run({0x03, 0, 0, 0, 11, 0}, Direction::In, &sense).srbStatus, kSrbSuccess);
  EXPECT_EQ(sense[0] & 0x7F, 0x70);
  EXPECT_EQ(sense[2] & 0x40, 0x40);  // end of medium reached
  EXPECT_EQ(sense[2] & 0x0F, 0);
}

TEST_F(EmulatedScannerTest, PatternIsAWindowOntoTheBed) {
  // Colour at 300 dpi from bed pixel (75, 30).
  Start({.x = 300, .y = 300, .left = 300, .top = 120, .width = 40, .length = 8, .composition = 5, .bpp = 8});
  std::vector<uint8_t> buf(3 * 10 * 2);
  ASSERT_EQ(Read(&buf).srbStatus, kSrbSuccess);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 10; ++x) {
      uint32_t bx = 75 + x, by = 30 + y;
      const uint8_t* p = &buf[(y * 10 + x) * 3];
      EXPECT_EQ(p[0], static_cast<uint8_t>(bx));
      EXPECT_EQ(p[1], static_cast<uint8_t>(by));
      EXPECT_EQ(p[2], static_cast<uint8_t>(bx ^ by));
    }
  // Line art, 20 pixels: three bytes a line, the unused low bits zero.
  Start({.x = 75, .y = 75, .left = 0, .top = 16, .width = 320, .length = 32, .composition = 0, .bpp = 1});
  std::vector<uint8_t> art(3 * 2);
  ASSERT_EQ(Read(&art).srbStatus, kSrbSuccess);
  // Bed line 1: pixels 0-7 set ((0 + 1) & 1), 8-15 clear, 16-19 set.
  EXPECT_EQ(art[0], 0xFF);
  EXPECT_EQ(art[1], 0x00);
  EXPECT_EQ(art[2], 0xF0);
  EXPECT_EQ(art[3], 0x00);
  EXPECT_EQ(art[5], 0x00);
  ImageGeometry g = scanner_->Geometry(*scanner_->Window());
  EXPECT_EQ(g.pixels, 20u);
  EXPECT_EQ(g.bytesPerLine, 3u);
  EXPECT_EQ(EmulatedScanner::PatternLine(g, 1), std::vector<uint8_t>(art.begin() + 3, art.end()));
}

TEST_F(EmulatedScannerTest, RefusesBadWindowsAndOutOfOrderCommands) {
  std::vector<uint8_t> buf(16);
  ExpectSense(Read(&buf), 5, 0x2C);  // READ before SCAN
  std::vector<uint8_t> id = {0};
  ExpectSense(Run({0x1B, 0, 0, 0, 1, 0}, Direction::Out, &id), 5, 0x2C);
  std::vector<uint8_t> window(72);
  ExpectSense(Run({0x25, 1, 0, 0, 0, 0, 0, 0, 72, 0}, Direction::In, &window), 5, 0x2C);

  WindowParams bad[] = {
      {.x = 100},                             // not a resolution of the model
      {.composition = 3},                     // no such composition
      {.composition = 0, .bpp = 8},           // line art is one bit
      {.composition = 5, .bpp = 24},
      {.width = 0},
      {.left = 10000, .width = 209},          // beyond the maximum width
      {.top = 14000, .length = 41},           // beyond the maximum length
      {.width = 7},                           // less than one pixel at 150 dpi
      {.descriptor = 72},                     // not the model's descriptor length
      {.left = 0xFFFFFFFF, .width = 2},       // wraps in 32 bits
  };
  for (const WindowParams& w : bad) ExpectSense(SetWindow(w), 5, 0x26);
  EXPECT_FALSE(scanner_->Window().has_value());
  // The transfer length must be header plus descriptor.
  std::vector<uint8_t> bytes = WindowBytes({});
  ExpectSense(Run({0x24, 0, 0, 0, 0, 0, 0, 0, 70, 0}, Direction::Out, &bytes), 5, 0x26);

  ExpectSense(Run({0xE7, 0, 0, 0, 0, 0}), 5, 0x20);             // unknown opcode
  ExpectSense(Run({0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 5, 0x24);  // wrong CDB length for the group
  std::vector<uint8_t> in(36);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::Out, &in).srbStatus, kSrbInvalidRequest);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}).srbStatus, kSrbInvalidRequest);
  std::vector<uint8_t> shortOut(10);
  EXPECT_EQ(Run({0x24, 0, 0, 0, 0, 0, 0, 0, 72, 0}, Direction::Out, &shortOut).srbStatus, kSrbInvalidRequest);
}

TEST_F(EmulatedScannerTest, ReservationBelongsToOneHandle) {
  auto other = scanner_->Connect();
  ASSERT_EQ(Run({0x16, 0, 0, 0, 0, 0}).srbStatus, kSrbSuccess);
  EXPECT_EQ(Run({0x00, 0, 0, 0, 0, 0}, Direction::None, nullptr, other.get()).srbStatus, kSrbReservationConflict);
  EXPECT_EQ(Run({0x16, 0, 0, 0, 0, 0}, Direction::None, nullptr, other.get()).srbStatus, kSrbReservationConflict);
  std::vector<uint8_t> b(36);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b, other.get()).srbStatus, kSrbSuccess);
  // Another handle's RELEASE does not free it; the owner's does.
  EXPECT_EQ(Run({0x17, 0, 0, 0, 0, 0}, Direction::None, nullptr, other.get()).srbStatus, kSrbSuccess);
  EXPECT_NE(scanner_->ReservedBy(), -1);
  EXPECT_EQ(Run({0x17, 0, 0, 0, 0, 0}).srbStatus, kSrbSuccess);
  EXPECT_EQ(scanner_->ReservedBy(), -1);
  EXPECT_EQ(Run({0x00, 0, 0, 0, 0, 0}, Direction::None, nullptr, other.get()).srbStatus, kSrbSuccess);
}

TEST_F(EmulatedScannerTest, VendorCommandsGammaAndDiagnostics) {
  // Gamma: type 3, qualifiers 0..3, 256 bytes.
  std::vector<uint8_t> table(256, 7);
  EXPECT_EQ(Run({0x2A, 0, 3, 0, 1, 0, 0, 1, 0, 0}, Direction::Out, &table).srbStatus, kSrbSuccess);
  EXPECT_EQ((*scanner_->Gamma(1))[200], 7);
  EXPECT_FALSE(scanner_->Gamma(0).has_value());
  ExpectSense(Run({0x2A, 0, 3, 0, 4, 0, 0, 1, 0, 0}, Direction::Out, &table), 5, 0x24);
  ExpectSense(Run({0x2A, 0, 2, 0, 0, 0, 0, 1, 0, 0}, Direction::Out, &table), 5, 0x24);
  // Diagnostics, carriage return.
  EXPECT_EQ(Run({0x1D, 4, 0, 0, 0, 0}).srbStatus, kSrbSuccess);
  ExpectSense(Run({0x1D, 0, 0, 0, 0, 0}), 5, 0x24);
  EXPECT_EQ(scanner_->Diagnostics(), 1);
  EXPECT_EQ(Run({0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0}).srbStatus, kSrbSuccess);
  EXPECT_EQ(scanner_->ObjectPositions(), 1);

  // Calibration: the status shows the bits until a calibration clears them.
  scanner_->SetCalibrationNeeded(3);
  std::vector<uint8_t> two(2);
  ASSERT_EQ(Run({0xC3, 0, 0, 0, 2, 0}, Direction::In, &two).srbStatus, kSrbSuccess);
  EXPECT_EQ(two[0] & 3, 3);
  std::vector<uint8_t> zero(2, 0);
  EXPECT_EQ(Run({0xC2, 0, 0, 0, 2, 0}, Direction::Out, &zero).srbStatus, kSrbSuccess);
  Run({0xC3, 0, 0, 0, 2, 0}, Direction::In, &two);
  EXPECT_EQ(two[0] & 3, 0);
  scanner_->SetCalibrationNeeded(1, true);
  Run({0xC2, 0, 0, 0, 2, 0}, Direction::Out, &zero);
  Run({0xC3, 0, 0, 0, 2, 0}, Direction::In, &two);
  EXPECT_EQ(two[0] & 3, 1);
  EXPECT_EQ(scanner_->Calibrations(), 2);

  scanner_->SetDeviceStatus(0x82, 0x05);
  Run({0xD3, 0, 0, 0, 2, 0}, Direction::In, &two);
  EXPECT_EQ(two, (std::vector<uint8_t>{0x82, 0x05}));
}

TEST_F(EmulatedScannerTest, VendorPagesReadAndWrite) {
  auto feeder = std::make_shared<EmulatedScanner>(EmulatedModel{.feeder = true});
  auto t = feeder->Connect();
  std::vector<uint8_t> page(12);
  ASSERT_EQ(Run({0xD5, 0, 0x02, 0, 12, 0}, Direction::In, &page, t.get()).srbStatus, kSrbSuccess);
  EXPECT_EQ(page[6] & 0x80, 0x80);
  ASSERT_EQ(Run({0xD5, 0, 0x02, 0, 12, 0}, Direction::In, &page).srbStatus, kSrbSuccess);
  EXPECT_EQ(page[6] & 0x80, 0);
  std::vector<uint8_t> p3f(36);
  EXPECT_EQ(Run({0xD5, 0, 0x3F, 0, 36, 0}, Direction::In, &p3f).transferred, 36u);
  ExpectSense(Run({0xD5, 0, 0x03, 0, 12, 0}, Direction::In, &page), 5, 0x24);

  std::vector<uint8_t> p20(20);
  ASSERT_EQ(Run({0xD5, 0, 0x20, 0, 20, 0}, Direction::In, &p20).srbStatus, kSrbSuccess);
  EXPECT_EQ(p20[0], 0x20);
  p20[19] |= 0x08;
  ASSERT_EQ(Run({0xD6, 0x10, 0, 0, 20, 0}, Direction::Out, &p20).srbStatus, kSrbSuccess);
  EXPECT_EQ(scanner_->VendorPage(0x20)[19] & 0x08, 0x08);
  // A write names its page in its first byte; the length must fit that page.
  std::vector<uint8_t> wrong(12, 0);
  wrong[0] = 0x3F;
  ExpectSense(Run({0xD6, 0x10, 0, 0, 12, 0}, Direction::Out, &wrong), 5, 0x26);
  p20[0] = 0x01;
  ExpectSense(Run({0xD6, 0x10, 0, 0, 20, 0}, Direction::Out, &p20), 5, 0x26);
  ExpectSense(Run({0xD6, 0x00, 0, 0, 20, 0}, Direction::Out, &p20), 5, 0x24);
}

TEST_F(EmulatedScannerTest, InjectedFaultsAndHostileReplies) {
  // The second and third TEST UNIT READY fail NOT READY; other opcodes are untouched.
  scanner_->FailWithSense(0x00, {2, 0x04, 0x01}, 2, 1);
  EXPECT_EQ(Run({0x00, 0, 0, 0, 0, 0}).srbStatus, kSrbSuccess);
  std::vector<uint8_t> b(36);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b).srbStatus, kSrbSuccess);
  ExpectSense(Run({0x00, 0, 0, 0, 0, 0}), 2, 0x04, 0x01);
  // REQUEST SENSE reports the condition once.
  std::vector<uint8_t> sense(11);
  Run({0x03, 0, 0, 0, 11, 0}, Direction::In, &sense);
  EXPECT_EQ(sense[2] & 0x0F, 2);
  Run({0x03, 0, 0, 0, 11, 0}, Direction::In, &sense);
  EXPECT_EQ(sense[2] & 0x0F, 0);
  ExpectSense(Run({0x00, 0, 0, 0, 0, 0}), 2, 0x04, 0x01);
  EXPECT_EQ(Run({0x00, 0, 0, 0, 0, 0}).srbStatus, kSrbSuccess);

  scanner_->FailTransport(-1, STIERR_COMMAND_TIMEOUT);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b).result, STIERR_COMMAND_TIMEOUT);
  scanner_->FailWithStatus(0x12, kSrbBusy, -1);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b).srbStatus, kSrbBusy);
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b).srbStatus, kSrbBusy);
  scanner_->ClearFaults();

  // A short INQUIRY and a huge buffer status.
  scanner_->EditReplies(0x12, [](const uint8_t*, std::vector<uint8_t>& reply) { reply.resize(5); });
  scanner_->EditReplies(0x34, [](const uint8_t*, std::vector<uint8_t>& reply) {
    for (int i = 12; i < 20; ++i) reply[i] = 0xFF;
  });
  EXPECT_EQ(Run({0x12, 0, 0, 0, 36, 0}, Direction::In, &b).transferred, 5u);
  EXPECT_EQ(GetBe32(&BufferStatus()[12]), 0xFFFFFFFFu);
  auto log = scanner_->Log();
  EXPECT_EQ(log.back().cdb[0], 0x34);
  EXPECT_EQ(log[log.size() - 2].transferred, 5u);
}

}  // namespace

namespace {

TEST(EmulatedScannerSwitch, NamedFaultsFailTheSelfTestAndCalibration) {
  auto scanner = std::make_shared<EmulatedScanner>();
  auto target = scanner->Connect();
  auto run = [&](std::vector<uint8_t> cdb, Direction dir = Direction::None, std::vector<uint8_t>* data = nullptr) {
    return target->Execute(cdb.data(), uint8_t(cdb.size()), dir, data ? data->data() : nullptr,
                           data ? uint32_t(data->size()) : 0);
  };
  EXPECT_FALSE(scanner->ApplyFaultSwitch("diagnostics,bogus"));
  EXPECT_EQ(run({0x1D, 4, 0, 0, 0, 0}).srbStatus, kSrbSuccess);  // nothing was applied
  ASSERT_TRUE(scanner->ApplyFaultSwitch("diagnostics,calibration"));
  for (int i = 0; i < 2; ++i) {
    const ScsiReply r = run({0x1D, 4, 0, 0, 0, 0});
    EXPECT_EQ(r.srbStatus, kSrbError);
    EXPECT_EQ(r.sense[2] & 0x0F, 4);
    EXPECT_EQ(r.sense[12], 0x80);
  }
  std::vector<uint8_t> zero(2, 0), two(2);
  EXPECT_EQ(run({0xC2, 0, 0, 0, 2, 0}, Direction::Out, &zero).srbStatus, kSrbSuccess);
  run({0xC3, 0, 0, 0, 2, 0}, Direction::In, &two);
  EXPECT_EQ(two[0] & 3, 3);  // still needs calibration
  ASSERT_TRUE(scanner->ApplyFaultSwitch("offline"));
  EXPECT_EQ(run({0x00, 0, 0, 0, 0, 0}).result, STIERR_DEVICE_GONE);
  EXPECT_TRUE(scanner->ApplyFaultSwitch(""));
}

}  // namespace
