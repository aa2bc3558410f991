#include "ScsiCommands.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace qlon::scanner;

namespace {

// A channel that logs every block and answers from scripts per opcode.
class ScriptedChannel : public CommandChannel {
 public:
  int32_t Send(ScsiCommand& c) override {
    std::string hex;
    for (int i = 0; i < c.cdbLength; ++i) {
      char b[4];
      std::snprintf(b, sizeof b, i ? " %02X" : "%02X", c.cdb[i]);
      hex += b;
    }
    log.push_back(hex);
    if (c.direction == DataDirection::Out) sent[c.cdb[0]] = std::vector<uint8_t>(c.data, c.data + c.dataLength);
    auto& script = failures[c.cdb[0]];
    if (!script.empty()) {
      const int32_t rc = script.front();
      script.pop_front();
      if (rc) return rc;
    }
    auto& queue = replies[c.cdb[0]];
    if (c.direction == DataDirection::In && !queue.empty()) {
      const std::vector<uint8_t> r = queue.size() > 1 ? queue.front() : queue.back();
      if (queue.size() > 1) queue.pop_front();
      const size_t n = std::min<size_t>(r.size(), c.dataLength);
      std::copy(r.begin(), r.begin() + n, c.data);
      c.transferred = uint32_t(n);
    } else {
      c.transferred = c.dataLength;
    }
    return 0;
  }
  std::vector<std::string> log;
  std::map<int, std::vector<uint8_t>> sent;
  std::map<int, std::deque<int32_t>> failures;
  std::map<int, std::deque<std::vector<uint8_t>>> replies;  // the last one repeats
};

std::vector<uint8_t> VendorPage(uint16_t baseX = 1200, uint32_t maxW = 10200, uint32_t maxL = 14040,
                                uint8_t descriptor = 64) {
  std::vector<uint8_t> p(74, 0);
  PutBe16(&p[5], baseX);
  PutBe16(&p[7], 1200);
  PutBe32(&p[20], maxW);
  PutBe32(&p[24], maxL);
  p[38] = descriptor;
  return p;
}

ScanRequest Grey150(uint16_t w = 300, uint16_t h = 200) {
  ScanRequest r;
  r.xResolution = r.yResolution = 150;
  r.width = w;
  r.height = h;
  r.composition = 2;
  r.bitsPerPixel = 8;
  return r;
}

class ScsiCommandsTest : public ::testing::Test {
 protected:
  void OpenWith(std::vector<uint8_t> page, int model = 0) {
    dev.SetModel(model);
    channel.replies[0x12] = {page};
    ASSERT_EQ(dev.Open(), 0);
    channel.log.clear();
  }
  ScriptedChannel channel;
  ScsiDevice dev{channel, 0};
};

}  // namespace

TEST_F(ScsiCommandsTest, OpenAndScanStartSendTheFamilysBlocks) {
  channel.replies[0x12] = {VendorPage()};
  ASSERT_EQ(dev.Open(), 0);
  EXPECT_EQ(channel.log, (std::vector<std::string>{"00 00 00 00 00 00", "16 00 00 00 00 00",
                                                   "12 01 F0 00 4A 00"}));
  channel.log.clear();
  ScanRequest r = Grey150();
  r.left = 15;
  r.top = 30;
  ASSERT_EQ(dev.StartScan(r), 0);
  EXPECT_EQ(channel.log,
            (std::vector<std::string>{"00 00 00 00 00 00", "00 00 00 00 00 00",
                                      "24 00 00 00 00 00 00 00 48 00", "25 01 00 00 00 00 00 00 48 00",
                                      "00 00 00 00 00 00", "1B 00 00 00 01 00",
                                      "34 00 00 00 00 00 00 00 1C 00"}));
  const std::vector<uint8_t>& w = channel.sent[0x24];
  ASSERT_EQ(w.size(), 72u);
  EXPECT_EQ(GetBe16(&w[6]), 64);
  EXPECT_EQ(GetBe16(&w[10]), 150);
  EXPECT_EQ(GetBe32(&w[14]), 120u);   // 1200 * 15 / 150
  EXPECT_EQ(GetBe32(&w[18]), 240u);
  EXPECT_EQ(GetBe32(&w[22]), 2400u);
  EXPECT_EQ(GetBe32(&w[26]), 1600u);
  EXPECT_EQ(w[30], 128);
  EXPECT_EQ(w[31], 128);
  EXPECT_EQ(w[33], 2);
  EXPECT_EQ(w[34], 8);
  EXPECT_EQ(w[37], 0x80);
  EXPECT_EQ(w[57], 1);
  EXPECT_EQ(w[58], 1);
  EXPECT_EQ(channel.sent[0x1B], std::vector<uint8_t>{0});
}

TEST_F(ScsiCommandsTest, WindowFieldsFollowTheRequest) {
  OpenWith(VendorPage(), 4);
  ScanRequest art = Grey150(301, 10);
  art.composition = 1;
  art.bitsPerPixel = 1;
  art.threshold = 0;
  art.pixelFlavour = true;
  art.cap8064 = 1;
  std::vector<uint8_t> w;
  ASSERT_EQ(dev.BuildWindow(art, &w), 0);
  EXPECT_EQ(GetBe32(&w[22]), 2432u);  // 301 -> 304 pixels -> 2432, already a multiple of 8
  EXPECT_EQ(w[31], 1);                // threshold 0 without auto threshold
  EXPECT_EQ(w[33], 0);
  EXPECT_EQ(w[34], 1);
  EXPECT_EQ(w[37], 0);
  EXPECT_EQ(w[50], 0x08);
  EXPECT_EQ(w[57], 0);
  art.autoThreshold = true;
  ASSERT_EQ(dev.BuildWindow(art, &w), 0);
  EXPECT_EQ(w[31], 0);

  ScanRequest colour = Grey150(7, 3);
  colour.composition = 3;
  colour.bitsPerPixel = 24;
  colour.xResolution = 1000;  // 1200 * 7 / 1000 = 8.4 -> 9, model 4 rounds up to 16
  ASSERT_EQ(dev.BuildWindow(colour, &w), 0);
  EXPECT_EQ(GetBe32(&w[22]), 16u);
  EXPECT_EQ(w[33], 5);
  EXPECT_EQ(w[34], 8);
}

TEST_F(ScsiCommandsTest, WindowLimitsApplyInTurn) {
  OpenWith(VendorPage(1200, 2400, 1600));
  std::vector<uint8_t> w;
  ScanRequest r = Grey150(400, 300);  // 3200 x 2400 base units: both too big
  r.top = 0;
  ASSERT_EQ(dev.BuildWindow(r, &w), 0);
  EXPECT_EQ(GetBe32(&w[22]), 2400u);
  EXPECT_EQ(GetBe32(&w[26]), 1600u);  // a cut width no longer skips the length check
  r.left = 100;                       // 800 base units in: width becomes what is left
  ASSERT_EQ(dev.BuildWindow(r, &w), 0);
  EXPECT_EQ(GetBe32(&w[22]), 1600u);
  r.left = 300;  // at the edge: nothing left to scan
  EXPECT_EQ(dev.BuildWindow(r, &w), -32);
  r = Grey150(100, 100);
  r.top = 150;  // 1200 + 800 > 1600
  EXPECT_EQ(dev.BuildWindow(r, &w), -32);
  EXPECT_EQ(dev.StartScan(r), -32);
  EXPECT_EQ(channel.sent.count(0x24), 0u);  // nothing scanned
}

TEST_F(ScsiCommandsTest, HostileVendorPagesAreRefused) {
  const std::vector<std::vector<uint8_t>> pages = {
      std::vector<uint8_t>(10, 0),  // short
      VendorPage(0),                // zero base resolution
      VendorPage(1200, 0),
      VendorPage(1200, 10200, 14040, 250),  // larger than the length byte can say
      VendorPage(1200, 10200, 14040, 20),   // too small for the window
  };
  for (const auto& page : pages) {
    channel.replies[0x12] = {page};
    EXPECT_EQ(dev.Open(), -62);
    EXPECT_FALSE(dev.HaveVendorPage());
    std::vector<uint8_t> w;
    EXPECT_NE(dev.BuildWindow(Grey150(), &w), 0);
  }
  channel.replies[0x12] = {VendorPage(1200, 10200, 14040, 200)};
  ASSERT_EQ(dev.Open(), 0);
  channel.log.clear();
  ASSERT_EQ(dev.SetWindow(Grey150()), 0);
  EXPECT_EQ(channel.sent[0x24].size(), 208u);
  EXPECT_EQ(channel.log[0], "24 00 00 00 00 00 00 00 D0 00");
}

TEST_F(ScsiCommandsTest, VendorPagesGammaAndRead) {
  std::vector<uint8_t> page;
  EXPECT_EQ(dev.ReadVendorPage(0x03, &page), -35);
  EXPECT_EQ(dev.WriteVendorPage(0x03, std::vector<uint8_t>(12)), -36);
  EXPECT_EQ(dev.WriteVendorPage(0x3F, std::vector<uint8_t>(36)), -36);
  EXPECT_TRUE(channel.log.empty());
  ASSERT_EQ(dev.ReadVendorPage(0x3F, &page), 0);
  EXPECT_EQ(channel.log.back(), "D5 00 3F 00 24 00");
  ASSERT_EQ(dev.WriteVendorPage(0x20, std::vector<uint8_t>(20)), 0);
  EXPECT_EQ(channel.log.back(), "D6 10 00 00 14 00");

  uint8_t table[256] = {};
  EXPECT_EQ(dev.Gamma(4, table), -30);
  ASSERT_EQ(dev.Gamma(2, table), 0);
  EXPECT_EQ(channel.log.back(), "2A 00 03 00 02 00 00 01 00 00");

  uint32_t got = 0;
  std::vector<uint8_t> buf(0x10000);
  EXPECT_EQ(dev.Read(buf.data(), 0x1000000, &got), -29);
  ASSERT_EQ(dev.Read(buf.data(), 0x10203, &got), 0);
  EXPECT_EQ(channel.log.back(), "28 00 00 00 00 00 01 02 03 00");
}

TEST_F(ScsiCommandsTest, CalibrationOnlyWhenNeededAndFailsWhenBitsStay) {
  OpenWith(VendorPage(), 5);
  channel.replies[0xC3] = {{0x00, 0x00}};
  ASSERT_EQ(dev.Calibration(true), 0);
  EXPECT_EQ(channel.log, (std::vector<std::string>{"C3 00 00 00 02 00"}));

  channel.log.clear();
  channel.replies[0xC3] = {{0x01, 0}, {0x00, 0}};
  ASSERT_EQ(dev.Calibration(true), 0);
  EXPECT_EQ(channel.log, (std::vector<std::string>{"C3 00 00 00 02 00", "C2 00 00 00 02 00",
                                                   "C3 00 00 00 02 00"}));
  EXPECT_EQ(channel.sent[0xC2], (std::vector<uint8_t>{0, 0}));

  channel.replies[0xC3] = {{0x03, 0}};
  EXPECT_EQ(dev.Calibration(false), -24);
  channel.failures[0xC2] = {-59};
  EXPECT_EQ(dev.Calibration(false), -59);

  // Models 5 and 6 calibrate and set the colour bit of page 20h on scan start.
  channel.replies[0xC3] = {{0x00, 0}};
  channel.replies[0xD5] = {std::vector<uint8_t>(20, 0)};
  ScanRequest r = Grey150();
  r.composition = 3;
  r.bitsPerPixel = 24;
  r.colourOption = 1;
  ASSERT_EQ(dev.StartScan(r), 0);
  EXPECT_EQ(channel.sent[0xD6][19], 0x08);
}

// The notice's calls, in one log with the commands sent.
class LoggingNotice : public CalibrationNotice {
 public:
  explicit LoggingNotice(ScriptedChannel& channel) : log_(channel.log) {}
  void Show() override { log_.push_back("show"); shown = std::chrono::steady_clock::now(); }
  void Repaint() override { log_.push_back("repaint"); repainted = std::chrono::steady_clock::now(); }
  void WaitCursor(bool on) override { log_.push_back(on ? "hourglass" : "arrow"); }
  void Close() override { log_.push_back("close"); }
  std::chrono::steady_clock::time_point shown, repainted;

 private:
  std::vector<std::string>& log_;
};

TEST_F(ScsiCommandsTest, CalibrationShowsTheNoticeThenPausesAndKeepsTheHourglassWhileTheDeviceWorks) {
  OpenWith(VendorPage(), 5);
  LoggingNotice notice(channel);
  dev.SetNotice(&notice);
  channel.replies[0xC3] = {{0x03, 0}, {0x03, 0}, {0x03, 0}};
  EXPECT_EQ(dev.Calibration(true), -24);  // the bits stay: a failure, and the notice still closes
  EXPECT_EQ(channel.log, (std::vector<std::string>{"C3 00 00 00 02 00", "show", "repaint", "hourglass",
                                                   "C2 00 00 00 02 00", "C3 00 00 00 02 00", "C3 00 00 00 02 00",
                                                   "arrow", "close"}));
  EXPECT_GE(notice.repainted - notice.shown, std::chrono::milliseconds(100));

  // Not needed at scan start: no notice; a failed calibrate still takes it down.
  channel.log.clear();
  channel.replies[0xC3] = {{0x00, 0}};
  EXPECT_EQ(dev.Calibration(true), 0);
  EXPECT_EQ(channel.log, (std::vector<std::string>{"C3 00 00 00 02 00"}));
  channel.log.clear();
  channel.failures[0xC2] = {-81};
  EXPECT_EQ(dev.Calibration(false), -81);
  EXPECT_EQ(channel.log, (std::vector<std::string>{"show", "repaint", "hourglass", "C2 00 00 00 02 00", "arrow",
                                                   "close"}));
}

TEST_F(ScsiCommandsTest, DeviceStatusQueries) {
  struct Case { uint8_t byte0; bool present; int32_t presentRecord; int32_t loaded; int32_t loadedRecord; };
  const Case cases[] = {{0x80, true, 0, 1, 0},   {0x81, false, -17, 0, -17}, {0x82, true, 0, 0, -20},
                        {0x84, true, 0, 0, -21}, {0x88, true, 0, 0, -22},    {0x01, false, 0, 0, -17},
                        {0x00, true, 0, 1, 0}};  // bit 0 clear forces "ready"
  for (const Case& c : cases) {
    channel.replies[0xD3] = {{c.byte0, 0}};
    int32_t record = 0, loaded = 0;
    EXPECT_EQ(dev.PaperPresent(&record), c.present) << int(c.byte0);
    EXPECT_EQ(record, c.presentRecord) << int(c.byte0);
    ASSERT_EQ(dev.PaperLoaded(&loaded, &record), 0);
    EXPECT_EQ(loaded, c.loaded) << int(c.byte0);
    EXPECT_EQ(record, c.loadedRecord) << int(c.byte0);
  }
  channel.failures[0xD3] = {-81};
  int32_t record = 0, loaded = 0;
  EXPECT_EQ(dev.PaperLoaded(&loaded, &record), -81);

  EXPECT_FALSE(dev.FeederPresent());  // model 0 never has one
  dev.SetModel(2);
  std::vector<uint8_t> page2(12, 0);
  page2[6] = 0x80;
  channel.replies[0xD5] = {page2};
  EXPECT_TRUE(dev.FeederPresent());
}
