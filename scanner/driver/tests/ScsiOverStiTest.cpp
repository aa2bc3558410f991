// The command set over the STI transport against the emulated scanner: the
// blocks the driver builds are the ones the device understands, and the
// image read back is the device's test pattern.
#include <gtest/gtest.h>

#include "EmulatedScanner.h"
#include "ErrorState.h"
#include "ScsiCommands.h"
#include "StiTransport.h"
#include "TempRoot.h"

using namespace qlon::scanner;
using qlon::sti::EmulatedModel;
using qlon::sti::EmulatedProvider;
using qlon::sti::EmulatedScanner;

namespace {

class ScsiOverStiTest : public ::testing::Test {
 protected:
  void Install(int model, EmulatedModel m = {}) {
    provider_ = std::make_shared<EmulatedProvider>();
    qlon::sti::DeviceEntry e;
    e.internalName = "{qm}";
    e.description = "QMDEV";
    e.portName = "emu0";
    scanner_ = provider_->Add(e, m);
    qlon::sti::SetDeviceProvider(provider_);
    ASSERT_EQ(transport_.Open("QMDEV"), 0);
    device_ = std::make_unique<ScsiDevice>(transport_, model);
  }
  void TearDown() override {
    transport_.Release();
    qlon::sti::SetDeviceProvider(nullptr);
  }
  // Reads the whole image in chunks of `lines` lines and checks it line by line.
  void ExpectPattern(uint32_t bytesPerLine, uint32_t lines, uint32_t chunk) {
    qlon::sti::ImageGeometry g = scanner_->Geometry(*scanner_->Window());
    ASSERT_EQ(g.bytesPerLine, bytesPerLine);
    ASSERT_EQ(g.lines, lines);
    std::vector<uint8_t> image;
    for (uint32_t done = 0; done < lines; done += chunk) {
      std::vector<uint8_t> buf(chunk * bytesPerLine);
      uint32_t got = 0;
      ASSERT_EQ(device_->Read(buf.data(), static_cast<uint32_t>(buf.size()), &got), 0);  // the short end counts as done
      image.insert(image.end(), buf.begin(), buf.begin() + got);
    }
    ASSERT_EQ(image.size(), size_t{bytesPerLine} * lines);
    for (uint32_t y = 0; y < lines; ++y) {
      std::vector<uint8_t> expected = EmulatedScanner::PatternLine(g, y);
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), image.begin() + y * bytesPerLine)) << "line " << y;
    }
  }

  qlon::test::TempRoot root_;
  std::shared_ptr<EmulatedProvider> provider_;
  std::shared_ptr<EmulatedScanner> scanner_;
  StiTransport transport_;
  std::unique_ptr<ScsiDevice> device_;
};

TEST_F(ScsiOverStiTest, GreyScanSendsTheExpectedBlocksAndReadsThePattern) {
  Install(0);
  ASSERT_EQ(device_->Open(), 0);
  EXPECT_EQ(scanner_->LogCdbs(),
            (std::vector<std::string>{"00 00 00 00 00 00", "16 00 00 00 00 00", "12 01 F0 00 4A 00"}));
  scanner_->ClearLog();
  ScanRequest r;
  r.xResolution = r.yResolution = 150;
  r.width = 300;
  r.height = 200;
  r.composition = 2;
  r.bitsPerPixel = 8;
  uint32_t bpl = 0, lines = 0;
  ASSERT_EQ(device_->StartScan(r, &bpl, &lines), 0);
  EXPECT_EQ(bpl, 300u);
  EXPECT_EQ(lines, 200u);
  auto cdbs = scanner_->LogCdbs();
  ASSERT_EQ(cdbs.size(), 7u);
  EXPECT_EQ(cdbs[2], "24 00 00 00 00 00 00 00 48 00");
  EXPECT_EQ(cdbs[3], "25 01 00 00 00 00 00 00 48 00");
  EXPECT_EQ(cdbs[5], "1B 00 00 00 01 00");
  EXPECT_EQ(cdbs[6], "34 00 00 00 00 00 00 00 1C 00");
  auto w = *scanner_->Window();
  EXPECT_EQ(w.xResolution, 150);
  EXPECT_EQ(w.width, 2400u);
  EXPECT_EQ(w.length, 1600u);
  EXPECT_EQ(w.composition, 2);
  EXPECT_EQ(w.bitsPerPixel, 8);
  EXPECT_EQ(w.bytes[37], 0x80);
  ExpectPattern(300, 200, 64);
  std::array<uint8_t, 11> sense{};
  ASSERT_EQ(device_->RequestSense(&sense), 0);
  EXPECT_EQ(sense[2] & 0x40, 0x40);
}

TEST_F(ScsiOverStiTest, LineArtAcrossTheWholeBed) {
  Install(2);
  ASSERT_EQ(device_->Open(), 0);
  ScanRequest r;
  r.xResolution = r.yResolution = 300;
  r.width = 2552;
  r.height = 24;
  r.top = 3484;
  r.composition = 1;
  r.bitsPerPixel = 1;
  r.threshold = 127;
  ASSERT_EQ(device_->StartScan(r), 0);
  auto w = *scanner_->Window();
  EXPECT_EQ(w.width, 10208u);
  EXPECT_EQ(w.composition, 0);
  EXPECT_EQ(w.threshold, 127);
  EXPECT_EQ(w.bytes[57], 1);
  ExpectPattern(319, 24, 10);
}

TEST_F(ScsiOverStiTest, ColourScanOfTheNewModelsCalibratesAndSetsTheColourOption) {
  Install(5);
  scanner_->SetCalibrationNeeded(1);
  ASSERT_EQ(device_->Open(), 0);
  ScanRequest r;
  r.xResolution = r.yResolution = 75;
  r.left = 10;
  r.top = 20;
  r.width = 33;
  r.height = 9;
  r.composition = 3;
  r.bitsPerPixel = 24;
  r.colourOption = 1;
  scanner_->ClearLog();
  ASSERT_EQ(device_->StartScan(r), 0);
  EXPECT_EQ(scanner_->Calibrations(), 1);
  EXPECT_EQ(scanner_->VendorPage(0x20)[19] & 0x08, 0x08);
  auto cdbs = scanner_->LogCdbs();
  ASSERT_EQ(cdbs.size(), 12u);
  EXPECT_EQ(cdbs[5], "C3 00 00 00 02 00");
  EXPECT_EQ(cdbs[6], "C2 00 00 00 02 00");
  EXPECT_EQ(cdbs[8], "D5 00 20 00 14 00");
  EXPECT_EQ(cdbs[9], "D6 10 00 00 14 00");
  ExpectPattern(99, 9, 4);

  // A calibration that leaves the bits set fails.
  scanner_->SetCalibrationNeeded(3, true);
  EXPECT_EQ(device_->Calibration(false), -24);
  r.colourOption = 0;
  scanner_->SetCalibrationNeeded(0);
  ASSERT_EQ(device_->StartScan(r), 0);
  EXPECT_EQ(scanner_->VendorPage(0x20)[19] & 0x08, 0);
}

TEST_F(ScsiOverStiTest, DeviceServicesReachTheDevice) {
  Install(2, EmulatedModel{.feeder = true});
  ASSERT_EQ(device_->Open(), 0);
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(device_->Gamma(3, table), 0);
  EXPECT_EQ((*scanner_->Gamma(3))[77], 77);
  ASSERT_EQ(device_->Diagnostics(), 0);
  EXPECT_EQ(scanner_->Diagnostics(), 1);
  EXPECT_TRUE(device_->FeederPresent());
  StandardInquiry inq;
  ASSERT_EQ(device_->Inquiry(&inq), 0);
  EXPECT_EQ(inq.product, "QM-51270K       ");
  std::vector<uint8_t> page;
  ASSERT_EQ(device_->ReadVendorPage(0x3F, &page), 0);
  EXPECT_EQ(page.size(), 36u);
  scanner_->SetDeviceStatus(0x82, 0);
  int32_t loaded = 0, record = 0;
  ASSERT_EQ(device_->PaperLoaded(&loaded, &record), 0);
  EXPECT_EQ(record, -20);
  ASSERT_EQ(device_->ReleaseUnit(), 0);
  EXPECT_EQ(scanner_->ReservedBy(), -1);
  // A medium error during READ is a failure, not image.
  ScanRequest r;
  r.xResolution = r.yResolution = 75;
  r.width = r.height = 8;
  r.composition = 2;
  r.bitsPerPixel = 8;
  ASSERT_EQ(device_->StartScan(r), 0);
  scanner_->FailWithSense(0x28, {3, 0x11, 0});
  uint8_t buf[64];
  uint32_t got = 0;
  EXPECT_EQ(device_->Read(buf, 64, &got), kDeviceFailure);
  EXPECT_EQ(LastError().code(), kDeviceFailure);
}

}  // namespace
