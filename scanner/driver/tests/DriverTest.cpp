#include "Driver.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EmulatedScanner.h"
#include "ErrorState.h"

using namespace qlon::scanner;
using qlon::sti::EmulatedModel;
using qlon::sti::EmulatedScanner;

namespace {

const char* const kProducts[] = {"QM-51270K       ", "QM-7741         ", "QM-28460P       ",
                                 "QM-7731         ", "QM-6620         ", "QM-51290T       ",
                                 "QM-28490T       "};

// The driver's link to an emulated device, straight on its SCSI target.
class EmulatorLink : public DeviceLink {
 public:
  explicit EmulatorLink(std::shared_ptr<EmulatedScanner> s) : scanner(std::move(s)) {}
  int32_t Open(const std::string& description) override {
    opened = description;
    if (!target) {
      target = scanner->Connect();
      ++connects;
    }
    return 0;
  }
  void Release() override { target.reset(); }
  bool IsOpen() const override { return bool(target); }
  std::string InternalName() const override { return "emu-0"; }
  int32_t Send(ScsiCommand& c) override {
    if (!target) return -1;
    const auto dir = c.direction == DataDirection::In    ? qlon::sti::Direction::In
                     : c.direction == DataDirection::Out ? qlon::sti::Direction::Out
                                                         : qlon::sti::Direction::None;
    const qlon::sti::ScsiReply r = target->Execute(c.cdb.data(), uint8_t(c.cdbLength), dir, c.data, c.dataLength);
    c.transferred = r.transferred;
    if (r.result) return -84;
    if ((r.srbStatus & 0x3F) == 1) return 0;
    if ((r.srbStatus & 0x3F) == 4) return DecodeSense(r.sense);
    return -62;
  }
  std::shared_ptr<EmulatedScanner> scanner;
  std::unique_ptr<qlon::sti::ScsiTarget> target;
  std::string opened;
  int connects = 0;
};

EmulatedModel ModelFor(int model) {
  EmulatedModel m;
  m.productId = std::string(kProducts[model]).substr(0, std::string(kProducts[model]).find(' '));
  return m;
}

DeviceSettings SettingsFor(int model) {
  DeviceSettings s;
  s.productId = kProducts[model];
  s.scsiId = 5;
  s.hostAdapter = 123;  // wider than its field
  s.bwSpeed = 0;
  return s;
}

class DriverTest : public ::testing::Test {
 protected:
  void Start(int model, DeviceSettings settings) {
    driver.reset();  // before the link it uses
    scanner = std::make_shared<EmulatedScanner>(ModelFor(model));
    link = std::make_unique<EmulatorLink>(scanner);
    driver = std::make_unique<Driver>(*link, [this](int32_t c) { recorded.push_back(c); });
    driver->SetCarriagePause(1);
    startResult = driver->StartDriver("QM Scanner", nullptr, 0, settings);
  }
  void Start(int model = 0) { Start(model, SettingsFor(model)); }
  void SetFrame(int32_t l, int32_t t, int32_t w, int32_t h) {
    const int32_t f[4] = {l, t, w, h};
    ASSERT_EQ(driver->Caps().Set(cap::Frame, reinterpret_cast<intptr_t>(f)), 0);
  }
  // Reads the whole scan with buffers of `lines` lines.
  std::vector<std::vector<uint8_t>> ReadAll(uint32_t lines, int* calls = nullptr) {
    ScanInfo info{};
    driver->GetScanInfo(&info);
    std::vector<std::vector<uint8_t>> out;
    for (int n = 0; n < 10000; ++n) {
      std::vector<uint8_t> buf(size_t(lines) * info.bytesPerLine);
      const int32_t got = driver->GetData(buf.data(), int32_t(buf.size()));
      if (calls) ++*calls;
      if (got < 0) {
        lastGetData = got;
        break;
      }
      for (int32_t i = 0; i < got; ++i)
        out.emplace_back(buf.begin() + i * info.bytesPerLine, buf.begin() + (i + 1) * info.bytesPerLine);
      if (uint32_t(got) < lines) break;
    }
    return out;
  }
  std::vector<std::string> Cdbs() const { return scanner->LogCdbs(); }

  std::shared_ptr<EmulatedScanner> scanner;
  std::unique_ptr<EmulatorLink> link;
  std::unique_ptr<Driver> driver;
  std::vector<int32_t> recorded;
  int32_t startResult = 1;
  int32_t lastGetData = 0;
};

}  // namespace

TEST_F(DriverTest, StartDriverOpensChecksAndClosesTheDevice) {
  Start();
  ASSERT_EQ(startResult, 0);
  EXPECT_EQ(Cdbs(), (std::vector<std::string>{"00 00 00 00 00 00", "16 00 00 00 00 00",
                                              "12 01 F0 00 4A 00", "17 00 00 00 00 00"}));
  EXPECT_EQ(link->opened, "QM Scanner");
  EXPECT_EQ(driver->State(), SessionState::Closed);
  EXPECT_EQ(scanner->ReservedBy(), -1);

  // Open, Reset and Open again reuse the one device handle and its lock.
  ASSERT_EQ(driver->Open(), 0);
  ASSERT_EQ(driver->Reset(), 0);
  ASSERT_EQ(driver->Open(), 0);
  EXPECT_EQ(link->connects, 1);
  EXPECT_NE(scanner->ReservedBy(), -1);
  ASSERT_EQ(driver->StopDriver(), 0);
  EXPECT_FALSE(link->IsOpen());
  EXPECT_EQ(scanner->ReservedBy(), -1);
}

TEST_F(DriverTest, StartDriverRefusesBadInstallations) {
  DeviceSettings noSpeed = SettingsFor(0);
  noSpeed.bwSpeed.reset();
  Start(0, noSpeed);
  EXPECT_EQ(startResult, -84);
  DeviceSettings unknown = SettingsFor(0);
  unknown.productId = "QM-51270K";  // not padded: no model matches
  Start(0, unknown);
  EXPECT_EQ(startResult, -26);
  EXPECT_EQ(driver->Open(), -26);
  EXPECT_TRUE(Cdbs().empty());
  Start(0);
  EXPECT_EQ(driver->StartDriver("QM Scanner", nullptr, -4, SettingsFor(0)), -84);
  EXPECT_EQ(driver->Open(), -26);  // nothing of the earlier start is left to open
}

TEST_F(DriverTest, EveryModelScansTheFrameAtTheRequestedResolution) {
  struct Case { int model; int pixelType; int32_t res; int32_t frame[4]; };
  const Case cases[] = {
      {0, 1, 150, {10, 20, 300, 37}}, {1, 2, 75, {0, 0, 101, 9}},   {2, 0, 300, {8, 3, 203, 11}},
      {3, 1, 101, {5, 5, 77, 13}},    {4, 2, 150, {1, 2, 33, 7}},   {5, 2, 300, {40, 0, 120, 10}},
      {6, 1, 600, {0, 50, 250, 21}},  {6, 2, 1200, {3, 3, 31, 17}}, {5, 0, 200, {16, 16, 64, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "model " << c.model << " type " << c.pixelType << " res " << c.res);
    Start(c.model);
    ASSERT_EQ(startResult, 0);
    Capabilities& caps = driver->Caps();
    ASSERT_EQ(caps.Set(cap::PixelType, c.pixelType), 0);
    ASSERT_EQ(caps.Set(cap::XResolution, c.res), 0);
    ASSERT_EQ(caps.Set(cap::YResolution, c.res), 0);
    SetFrame(c.frame[0], c.frame[1], c.frame[2], c.frame[3]);
    ASSERT_EQ(driver->StartScan(1), 0);
    ASSERT_EQ(driver->State(), SessionState::Transferring);
    ScanInfo info{};
    driver->GetScanInfo(&info);
    const auto window = scanner->Window();
    ASSERT_TRUE(window);
    const auto g = scanner->Geometry(*window);
    const auto lines = ReadAll(5);
    ASSERT_EQ(lines.size(), size_t(info.height));
    EXPECT_EQ(g.lines, uint32_t(info.height));
    EXPECT_EQ(driver->State(), SessionState::Open);
    for (uint32_t y = 0; y < lines.size(); ++y) {
      const auto want = EmulatedScanner::PatternLine(g, y);
      const size_t n = std::min<size_t>(want.size(), lines[y].size());
      ASSERT_EQ(std::vector<uint8_t>(lines[y].begin(), lines[y].begin() + n),
                std::vector<uint8_t>(want.begin(), want.begin() + n))
          << "line " << y;
      for (size_t i = want.size(); i < lines[y].size(); ++i) ASSERT_EQ(lines[y][i], 0xFF);
    }
    if (c.pixelType == 1 && info.opticalX == c.res) {
      // Grey is (bed x + bed y) & FFh: the frame's origin must be where it was asked.
      EXPECT_EQ(lines[0][0], uint8_t(c.frame[0] + c.frame[1]));
      EXPECT_EQ(lines[1][2], uint8_t(c.frame[0] + c.frame[1] + 3));
    }
    ASSERT_EQ(driver->StopScan(), 0);
    EXPECT_EQ(driver->Close(), 0);
    EXPECT_EQ(scanner->ReservedBy(), -1);
  }
}

TEST_F(DriverTest, ScanStartSendsTheSequenceAndTheWindowOfTheRequest) {
  Start(0);
  Capabilities& caps = driver->Caps();
  ASSERT_EQ(caps.Set(cap::PixelType, 1), 0);
  ASSERT_EQ(caps.Set(cap::XResolution, 150), 0);
  ASSERT_EQ(caps.Set(cap::YResolution, 150), 0);
  SetFrame(0, 0, 300, 200);
  ASSERT_EQ(driver->Open(), 0);
  scanner->ClearLog();
  ASSERT_EQ(driver->StartScan(0), 0);
  EXPECT_EQ(Cdbs(), (std::vector<std::string>{
                        "00 00 00 00 00 00", "00 00 00 00 00 00", "24 00 00 00 00 00 00 00 48 00",
                        "25 01 00 00 00 00 00 00 48 00", "00 00 00 00 00 00", "1B 00 00 00 01 00",
                        "34 00 00 00 00 00 00 00 1C 00"}));
  const auto w = scanner->Window();
  EXPECT_EQ(w->width, 2400u);
  EXPECT_EQ(w->length, 1600u);
  EXPECT_EQ(w->composition, 2);
  EXPECT_EQ(w->threshold, 128);
  ScanInfo info{};
  driver->GetScanInfo(&info);
  EXPECT_EQ(info.width, 300);
  EXPECT_EQ(info.height, 200);
  EXPECT_EQ(info.bytesPerLine, 300);
  EXPECT_EQ(info.bitsPerPixel, 8);

  scanner->ClearLog();
  int calls = 0;
  const auto lines = ReadAll(64, &calls);
  EXPECT_EQ(lines.size(), 200u);
  EXPECT_EQ(calls, 4);
  const auto log = Cdbs();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0], "28 00 00 00 00 00 00 4B 00 00");  // 64 lines of 300 bytes
  EXPECT_EQ(log[1], "34 00 00 00 00 00 00 00 1C 00");
  EXPECT_EQ(log[6], "28 00 00 00 00 00 00 09 60 00");  // the 8 lines left, no more
  scanner->ClearLog();
  ASSERT_EQ(driver->StopScan(), 0);
  EXPECT_EQ(Cdbs(), (std::vector<std::string>{"03 00 00 00 0B 00"}));  // at the end of the medium
  EXPECT_EQ(scanner->ObjectPositions(), 0);
}

TEST_F(DriverTest, StoppingEarlyReturnsTheCarriage) {
  Start(0);
  SetFrame(0, 0, 100, 50);
  ASSERT_EQ(driver->StartScan(1), 0);
  ScanInfo info{};
  driver->GetScanInfo(&info);
  std::vector<uint8_t> buf(info.bytesPerLine * 5 / 2);
  EXPECT_EQ(driver->GetData(buf.data(), int32_t(buf.size())), 2);  // 2.5 lines hold 2
  EXPECT_EQ(driver->GetData(buf.data(), info.bytesPerLine - 1), -4);
  scanner->ClearLog();
  ASSERT_EQ(driver->StopScan(), 0);
  EXPECT_EQ(Cdbs(), (std::vector<std::string>{"34 00 00 00 00 00 00 00 1C 00", "31 00 00 00 00 00 00 00 00 00"}));
  EXPECT_EQ(driver->State(), SessionState::Open);
  EXPECT_EQ(driver->GetData(buf.data(), int32_t(buf.size())), -2);
}

TEST_F(DriverTest, SmoothedScansReadOneLinePerOutputAndEndExactly) {
  Start(0);
  Capabilities& caps = driver->Caps();
  ASSERT_EQ(caps.Set(cap::Smoothing, 1), 0);
  ASSERT_EQ(caps.Set(cap::PixelType, 1), 0);
  SetFrame(0, 0, 40, 12);  // at 75 dpi requested, 300 optical: 160 x 48
  ASSERT_EQ(driver->StartScan(0), 0);
  scanner->ClearLog();
  const auto lines = ReadAll(7);
  EXPECT_EQ(lines.size(), 48u);
  int reads = 0;
  for (const auto& c : Cdbs()) reads += c.rfind("28", 0) == 0;
  EXPECT_EQ(reads, 48);
  EXPECT_EQ(driver->State(), SessionState::Open);
}

TEST_F(DriverTest, DeviceFailuresLeaveAUsableSession) {
  Start(0);
  // A medium error in the middle of a READ is a failure, never image.
  ASSERT_EQ(driver->StartScan(1), 0);
  scanner->FailWithSense(0x28, {3, 0x11, 0});
  std::vector<uint8_t> buf(100000);
  EXPECT_EQ(driver->GetData(buf.data(), int32_t(buf.size())), -62);
  EXPECT_EQ(driver->State(), SessionState::Open);

  // A refused window: the scan fails, the device is reset, the session stays open.
  SetFrame(0, 0, 10, 10);
  scanner->FailWithSense(0x24, {5, 0x26, 0});
  EXPECT_EQ(driver->StartScan(1), -69);
  EXPECT_EQ(driver->State(), SessionState::Open);
  EXPECT_EQ(driver->StartScan(1), 0);

  // A lost RELEASE still closes, so the next Open works.
  scanner->FailWithSense(0x17, {4, 0x80, 0x04});
  EXPECT_EQ(driver->Close(), -62);
  EXPECT_EQ(driver->State(), SessionState::Closed);
  EXPECT_EQ(driver->Open(), 0);

  // Not ready at open.
  ASSERT_EQ(driver->Close(), 0);
  scanner->FailWithSense(0x00, {4, 0x80, 0x01});
  EXPECT_EQ(driver->Open(), -59);
  EXPECT_EQ(driver->State(), SessionState::Closed);
}

TEST_F(DriverTest, DeviceControlServices) {
  Start(0);
  uint8_t table[256];
  EXPECT_EQ(driver->DeviceControl(2, table, 255, nullptr, 0), -13);
  EXPECT_EQ(driver->DeviceControl(7, nullptr, 0, nullptr, 0), -12);
  EXPECT_EQ(driver->DeviceControl(-1, nullptr, 0, nullptr, 0), -12);
  for (int i = 0; i < 256; ++i) table[i] = uint8_t(i * 3);
  ASSERT_EQ(driver->DeviceControl(2, table, 256, nullptr, 0), 0);
  const auto sent = scanner->Gamma(2);
  ASSERT_TRUE(sent);
  for (int i = 0; i < 256; ++i) ASSERT_EQ((*sent)[i], uint8_t(~table[255 - i])) << i;
  EXPECT_EQ(driver->State(), SessionState::Closed);

  ASSERT_EQ(driver->DeviceControl(4, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(scanner->Diagnostics(), 1);

  uint8_t block[kDeviceInfoBlockSize + 4];
  std::memset(block, 0xAA, sizeof block);
  EXPECT_EQ(driver->DeviceControl(5, nullptr, 0, block, 43), -27);
  ASSERT_EQ(driver->DeviceControl(5, nullptr, 0, block, kDeviceInfoBlockSize), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 10)), "QM-51270K       ");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 27)), "1.00");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 32)), "1200");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 38)), "5");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 41)), "99");
  EXPECT_EQ(block[43], 0);
  EXPECT_EQ(block[44], 0xAA);  // nothing past the block
  scanner->ClearLog();
  uint8_t again[kDeviceInfoBlockSize];
  ASSERT_EQ(driver->DeviceControl(5, nullptr, 0, again, kDeviceInfoBlockSize), 0);
  EXPECT_TRUE(Cdbs().empty());  // from the cache
  EXPECT_EQ(std::memcmp(again, block, kDeviceInfoBlockSize), 0);

  scanner->SetCalibrationNeeded(3, true);
  EXPECT_EQ(driver->DeviceControl(6, nullptr, 0, nullptr, 0), -24);
}

TEST_F(DriverTest, NamesAndTabs) {
  DeviceSettings s = SettingsFor(2);
  s.tabNames = "Plat;\"Chargeur; auto\";Film";
  Start(2, s);
  char name[32];
  int32_t len = 16;
  EXPECT_EQ(driver->GetDeviceName(name, &len), -38);
  EXPECT_EQ(len, 17);
  EXPECT_EQ(driver->GetDeviceName(name, &len), 0);
  EXPECT_STREQ(name, "QM-28460P       ");
  len = 16;  // cached: the NUL must still fit
  EXPECT_EQ(driver->GetDeviceName(name, &len), -38);
  EXPECT_EQ(len, 17);

  len = sizeof name;
  EXPECT_EQ(driver->GetDeviceInternalName(name, &len), 0);
  EXPECT_STREQ(name, "emu-0");
  EXPECT_EQ(len, 5);
  len = 5;
  EXPECT_EQ(driver->GetDeviceInternalName(name, &len), -1);

  // Model 2 without a feeder keeps the first tab only.
  const char* const* tabs = driver->GetDeviceTabNames();
  ASSERT_NE(tabs, nullptr);
  EXPECT_STREQ(tabs[0], "Plat");
  EXPECT_EQ(tabs[1], nullptr);

  EXPECT_EQ(SplitTabNames("Plat;\"Chargeur; auto\";Film"),
            (std::vector<std::string>{"Plat", "Chargeur; auto", "Film"}));
  DeviceSettings other = SettingsFor(0);
  other.tabNames = "A;\"B;C\";D";
  Start(0, other);
  tabs = driver->GetDeviceTabNames();
  ASSERT_NE(tabs, nullptr);
  EXPECT_STREQ(tabs[1], "B;C");
  EXPECT_STREQ(tabs[2], "D");
  EXPECT_EQ(tabs[3], nullptr);
  Start(0);
  EXPECT_EQ(driver->GetDeviceTabNames(), nullptr);
}

TEST_F(DriverTest, SlowMonochromeAndTheCarriageWait) {
  DeviceSettings s = SettingsFor(0);
  s.bwSpeed = 40;
  Start(0, s);
  Capabilities& caps = driver->Caps();
  ASSERT_EQ(caps.Set(cap::PixelType, 1), 0);
  ASSERT_EQ(caps.Set(cap::XResolution, 200), 0);
  SetFrame(0, 0, 20, 4);
  ASSERT_EQ(driver->StartScan(1), 0);
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<uint8_t> buf(100000);
  ASSERT_GT(driver->GetData(buf.data(), int32_t(buf.size())), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(40));

  // With the feeder on and auto feed, the driver waits for the page to leave:
  // (P - ceil(N * (T + H) / O)) * 6000 / P ms = (3400 - 3300) * 6000 / 3400 = 176 ms.
  Start(0);
  Capabilities& feeder = driver->Caps();
  ASSERT_EQ(feeder.ReplaceList(cap::FeederEnabled, {0, 1}, 0), 0);
  ASSERT_EQ(feeder.ReplaceList(cap::AutoFeed, {0, 1}, 0), 0);
  ASSERT_EQ(driver->Open(), 0);
  ASSERT_EQ(feeder.Set(cap::FeederEnabled, 1), 0);
  ASSERT_EQ(feeder.Set(cap::AutoFeed, 1), 0);
  ASSERT_EQ(feeder.Set(cap::PaperLength, 3400), 0);
  ASSERT_EQ(feeder.Set(cap::PixelType, 0), 0);
  SetFrame(0, 0, 8, 825);
  ASSERT_EQ(driver->StartScan(1), 0);
  scanner->ClearLog();
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadAll(1000).size(), 825u);
  EXPECT_GE(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(176));
  const auto log = Cdbs();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.back(), "00 00 00 00 00 00");  // TEST UNIT READY while waiting
}
