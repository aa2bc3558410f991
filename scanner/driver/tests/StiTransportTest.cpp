#include "StiTransport.h"

#include <chrono>

#include <gtest/gtest.h>

#include "EmulatedScanner.h"
#include "ErrorState.h"
#include "TempRoot.h"

using namespace qlon::scanner;
using qlon::sti::DeviceEntry;
using qlon::sti::EmulatedProvider;
using qlon::sti::EmulatedScanner;

namespace {

DeviceEntry Entry(const std::string& name, const std::string& description, const std::string& port,
                  uint32_t type = qlon::sti::kDeviceTypeScanner << 16) {
  DeviceEntry e;
  e.internalName = name;
  e.description = description;
  e.portName = port;
  e.deviceType = type;
  return e;
}

class StiTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_ = std::make_shared<EmulatedProvider>();
    // Decoys before the device: another type with our description, ours without a port.
    provider_->Add(Entry("{camera}", "QMDEV", "usb0", 2u << 16));
    provider_->Add(Entry("{unplugged}", "QMDEV", ""));
    scanner_ = provider_->Add(Entry("{qm-0}", "QMDEV", "emu0"));
    qlon::sti::SetDeviceProvider(provider_);
    LastError().Clear();
  }
  void TearDown() override { qlon::sti::SetDeviceProvider(nullptr); }

  static ScsiCommand Command(std::initializer_list<uint8_t> cdb, DataDirection dir = DataDirection::None,
                             uint8_t* data = nullptr, uint32_t length = 0) {
    ScsiCommand c;
    std::copy(cdb.begin(), cdb.end(), c.cdb.begin());
    c.cdbLength = static_cast<uint16_t>(cdb.size());
    c.direction = dir;
    c.data = data;
    c.dataLength = length;
    return c;
  }

  qlon::test::TempRoot root_;
  std::shared_ptr<EmulatedProvider> provider_;
  std::shared_ptr<EmulatedScanner> scanner_;
};

TEST_F(StiTransportTest, OpensTheScannerWithAPortByDescription) {
  StiTransport t;
  ASSERT_EQ(t.Open("QMDEV"), 0);
  EXPECT_TRUE(t.IsOpen());
  EXPECT_EQ(t.InternalName(), "{qm-0}");
  // Reopening the same device reuses it instead of waiting against its own lock.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(t.Open("QMDEV"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  StiTransport other;
  EXPECT_EQ(other.Open("Nothing"), -53);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(other.InternalName(), "");
  EXPECT_EQ(LastError().code(), -53);
}

TEST_F(StiTransportTest, NoScannerAtAllIsNoCommunication) {
  auto empty = std::make_shared<EmulatedProvider>();
  empty->Add(Entry("{camera}", "QMDEV", "usb0", 2u << 16));
  qlon::sti::SetDeviceProvider(empty);
  StiTransport t;
  EXPECT_EQ(t.Open("QMDEV"), -53);
  EXPECT_EQ(PublicStatus(-53), kStatusFailure);
}

TEST_F(StiTransportTest, LockHeldElsewhereTimesOutAndReleaseFreesIt) {
  StiTransport first;
  ASSERT_EQ(first.Open("QMDEV"), 0);
  StiTransport second;
  second.SetLockTimeout(100);
  EXPECT_EQ(second.Open("QMDEV"), -53);
  EXPECT_EQ(LastError().systemError(), 0x102u);  // WAIT_TIMEOUT, kept with the failure
  EXPECT_EQ(qlon::sti::GetLastError(), 0u);      // cleared by the release of the failed open
  first.Release();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Open("QMDEV"), 0);
}

TEST_F(StiTransportTest, SendsBlocksAndReportsTheTransfer) {
  StiTransport t;
  ScsiCommand tur = Command({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(t.Send(tur), -1);  // nothing open
  ASSERT_EQ(t.Open("QMDEV"), 0);
  EXPECT_EQ(t.Send(tur), 0);
  uint8_t reply[36] = {};
  ScsiCommand inquiry = Command({0x12, 0, 0, 0, 36, 0}, DataDirection::In, reply, 36);
  ASSERT_EQ(t.Send(inquiry), 0);
  EXPECT_EQ(inquiry.transferred, 36u);
  EXPECT_EQ(reply[0], 0x06);
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(255 - i);
  ScsiCommand gamma = Command({0x2A, 0, 3, 0, 2, 0, 0, 1, 0, 0}, DataDirection::Out, table, 256);
  ASSERT_EQ(t.Send(gamma), 0);
  ASSERT_TRUE(scanner_->Gamma(2).has_value());
  EXPECT_EQ((*scanner_->Gamma(2))[0], 255);

  auto log = scanner_->Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1].direction, qlon::sti::Direction::In);
  EXPECT_EQ(log[2].direction, qlon::sti::Direction::Out);
  EXPECT_EQ(log[2].dataOut.size(), 256u);
  EXPECT_EQ(scanner_->LogCdbs()[0], "00 00 00 00 00 00");
}

TEST_F(StiTransportTest, DeviceConditionsBecomeInternalCodes) {
  StiTransport t;
  ASSERT_EQ(t.Open("QMDEV"), 0);
  ScsiCommand tur = Command({0, 0, 0, 0, 0, 0});
  struct Case {
    qlon::sti::SenseCode sense;
    int32_t code;
  } cases[] = {{{4, 0x80, 0x01}, -59}, {{5, 0x24, 0}, -67}, {{11, 0x80, 0}, -81},
               {{1, 0x37, 0}, 0},      // rounded parameter: done
               {{2, 0x04, 0x01}, -62}, // not ready: no row, a failure
               {{3, 0x11, 0}, -62},    // medium error
               {{6, 0x29, 0}, 0}};     // unit attention
  for (const Case& c : cases) {
    LastError().Clear();
    scanner_->FailWithSense(0x00, c.sense);
    EXPECT_EQ(t.Send(tur), c.code) << int(c.sense.key) << "/" << int(c.sense.asc);
    EXPECT_EQ(LastError().code(), c.code);
  }
  scanner_->FailWithStatus(0x00, qlon::sti::kSrbBusy);
  EXPECT_EQ(t.Send(tur), -62);

  // A reservation held by another handle is a failed command too.
  StiTransport owner;
  owner.SetLockTimeout(0);
  EXPECT_EQ(owner.Open("QMDEV"), -53);  // the lock is ours; reserve through a raw target instead
  auto raw = scanner_->Connect();
  const uint8_t reserve[6] = {0x16, 0, 0, 0, 0, 0};
  raw->Execute(reserve, 6, qlon::sti::Direction::None, nullptr, 0);
  EXPECT_EQ(t.Send(tur), -62);
  raw.reset();  // the handle goes, its reservation with it
  EXPECT_EQ(t.Send(tur), 0);
}

TEST_F(StiTransportTest, StiFailuresMapThroughTheResultTable) {
  using namespace qlon::sti;
  struct Case {
    HRESULT hr;
    int32_t code;
  } cases[] = {{E_ACCESSDENIED, -81}, {STIERR_DEVICE_GONE, -81}, {E_INVALIDARG, -66},
               {STIERR_NOT_LOCKED, -53}, {STIERR_LOCK_TIMEOUT, -53}, {STIERR_COMMAND_TIMEOUT, -999},
               {E_FAIL, -84}, {E_OUTOFMEMORY, -84}};
  StiTransport t;
  ASSERT_EQ(t.Open("QMDEV"), 0);
  ScsiCommand tur = Command({0, 0, 0, 0, 0, 0});
  for (const Case& c : cases) {
    EXPECT_EQ(StiTransport::MapResult(c.hr), c.code);
    scanner_->FailTransport(0x00, c.hr);
    EXPECT_EQ(t.Send(tur), c.code);
    EXPECT_EQ(LastError().systemError(), static_cast<uint32_t>(c.hr) & 0xFFFF);
  }
  // A block that claims data without a buffer never reaches the device.
  size_t before = scanner_->Log().size();
  ScsiCommand bad = Command({0x12, 0, 0, 0, 36, 0}, DataDirection::In, nullptr, 36);
  EXPECT_EQ(t.Send(bad), -66);
  EXPECT_EQ(scanner_->Log().size(), before);
}

}  // namespace
