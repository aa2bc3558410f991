#include "Sti.h"

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EmulatedScanner.h"
#include "Registry.h"
#include "SgIoTarget.h"
#include "StiProvider.h"
#include "TempRoot.h"

using namespace qlon::sti;

namespace {

DeviceEntry Entry(const std::string& name, const std::string& description, const std::string& port = "emu0",
                  uint32_t type = kDeviceTypeScanner << 16) {
  DeviceEntry e;
  e.internalName = name;
  e.description = description;
  e.vendor = "Norva";
  e.portName = port;
  e.deviceType = type;
  return e;
}

class StiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_ = std::make_shared<EmulatedProvider>();
    scanner_ = provider_->Add(Entry("{dev-0}", "QMDEV"));
    provider_->Add(Entry("{cam-1}", "Camera", "usb1", 2u << 16));
    provider_->Add(Entry("{dev-2}", "Détaché", ""));
    SetDeviceProvider(provider_);
    ASSERT_EQ(StiCreateInstanceW(nullptr, kStiVersion, &sti_, nullptr), S_OK);
  }
  void TearDown() override {
    if (sti_) sti_->Release();
    SetDeviceProvider(nullptr);
  }
  IStiDevice* Create(const char16_t* name = u"{dev-0}") {
    IStiDevice* d = nullptr;
    EXPECT_EQ(sti_->CreateDevice(name, kModeStatusAndData, &d, nullptr), S_OK);
    return d;
  }

  qlon::test::TempRoot root_;
  std::shared_ptr<EmulatedProvider> provider_;
  std::shared_ptr<EmulatedScanner> scanner_;
  IStillImage* sti_ = nullptr;
};

struct Outcome {
  HRESULT hr;
  uint8_t status;
  uint8_t sense[kSenseLength];
  uint32_t returned;
};

Outcome Send(IStiDevice* d, std::initializer_list<uint8_t> cdb, uint32_t flags, void* data, uint32_t length) {
  Outcome o{};
  ScsiPassThrough req{};
  req.size = sizeof req;
  req.flags = flags;
  req.cdbLength = static_cast<uint8_t>(cdb.size());
  req.senseLength = kSenseLength;
  req.dataLength = length;
  std::copy(cdb.begin(), cdb.end(), req.cdb);
  req.status = &o.status;
  req.sense = o.sense;
  o.hr = d->Escape(kEscapeScsiPassThrough, &req, sizeof req, data, length, &o.returned);
  return o;
}

TEST_F(StiTest, DeviceListHoldsEveryDeviceInOneAllocation) {
  uint32_t count = 0;
  void* list = nullptr;
  ASSERT_EQ(sti_->GetDeviceList(0, 0, &count, &list), S_OK);
  ASSERT_EQ(count, 3u);
  auto* records = static_cast<DeviceInformation*>(list);
  EXPECT_EQ(records[0].size, sizeof(DeviceInformation));
  EXPECT_EQ(std::u16string(records[0].internalName), u"{dev-0}");
  EXPECT_EQ(Utf16ToUtf8(records[0].deviceDescription), "QMDEV");
  EXPECT_EQ(Utf16ToUtf8(records[0].portName), "emu0");
  EXPECT_EQ(Utf16ToUtf8(records[0].vendorDescription), "Norva");
  EXPECT_EQ(records[1].deviceType >> 16, 2u);
  EXPECT_EQ(Utf16ToUtf8(records[2].deviceDescription), "Détaché");
  EXPECT_EQ(Utf16ToUtf8(records[2].portName), "");
  StiFreeDeviceList(list);

  ASSERT_EQ(sti_->GetDeviceList(kDeviceTypeScanner, 0, &count, &list), S_OK);
  EXPECT_EQ(count, 2u);
  StiFreeDeviceList(list);
  EXPECT_EQ(sti_->GetDeviceList(0, 0, nullptr, &list), E_INVALIDARG);
}

TEST_F(StiTest, CreateDeviceSetsTheLastErrorOnlyOnFailure) {
  SetLastError(0);
  IStiDevice* d = nullptr;
  EXPECT_EQ(sti_->CreateDevice(u"{none}", kModeStatusAndData, &d, nullptr), E_INVALIDARG);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(GetLastError(), 0x57u);
  SetLastError(0);
  IStillImage* other = nullptr;
  ASSERT_EQ(StiCreateInstanceW(nullptr, kStiVersion, &other, nullptr), S_OK);
  d = Create();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  d->Release();
  other->Release();
  EXPECT_EQ(StiCreateInstanceW(nullptr, 99, &other, nullptr), E_INVALIDARG);
}

TEST_F(StiTest, LockExcludesOtherHandlesUntilUnlockOrRelease) {
  IStiDevice* a = Create();
  IStiDevice* b = Create();
  EXPECT_EQ(a->UnLockDevice(), STIERR_NOT_LOCKED);
  ASSERT_EQ(a->LockDevice(0), S_OK);
  EXPECT_EQ(a->LockDevice(0), S_OK);  // already held by this handle
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(b->LockDevice(120), STIERR_LOCK_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120));
  EXPECT_EQ(GetLastError(), 0x102u);
  ASSERT_EQ(a->UnLockDevice(), S_OK);
  ASSERT_EQ(b->LockDevice(0), S_OK);
  b->Release();  // the last release drops the lock
  EXPECT_EQ(a->LockDevice(0), S_OK);
  a->Release();
}

TEST_F(StiTest, LockIsHeldAcrossProcesses) {
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IStiDevice* d = nullptr;
    int ok = sti_->CreateDevice(u"{dev-0}", kModeStatusAndData, &d, nullptr) == S_OK && d->LockDevice(0) == S_OK;
    char c = ok ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    ::_exit(0);  // dies holding the lock
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  IStiDevice* d = Create();
  EXPECT_EQ(d->LockDevice(100), STIERR_LOCK_TIMEOUT);
  (void)!::write(done[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(d->LockDevice(1000), S_OK);
  d->Release();
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

TEST_F(StiTest, EscapeCarriesTheCommandAndChecksTheRequest) {
  IStiDevice* d = Create();
  uint8_t inquiry[36] = {};
  Outcome o = Send(d, {0x12, 0, 0, 0, 36, 0}, kDataIn, inquiry, sizeof inquiry);
  EXPECT_EQ(o.hr, S_OK);
  EXPECT_EQ(o.status, kSrbSuccess);
  EXPECT_EQ(o.returned, 36u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry + 16), 16), "QM-51270K       ");

  // A request that does not fit the buffer never reaches the device.
  uint8_t small[8];
  ScsiPassThrough req{};
  req.flags = kDataIn;
  req.cdbLength = 6;
  req.dataLength = 36;
  req.cdb[0] = 0x12;
  req.cdb[4] = 36;
  uint32_t returned = 7;
  EXPECT_EQ(d->Escape(kEscapeScsiPassThrough, &req, sizeof req, small, sizeof small, &returned), E_INVALIDARG);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(d->Escape(0x1002, &req, sizeof req, small, sizeof small, &returned), E_INVALIDARG);
  EXPECT_EQ(d->Escape(kEscapeScsiPassThrough, &req, 10, small, sizeof small, &returned), E_INVALIDARG);
  req.flags = kDataIn | kDataOut;
  req.dataLength = 8;
  EXPECT_EQ(d->Escape(kEscapeScsiPassThrough, &req, sizeof req, small, sizeof small, &returned), E_INVALIDARG);
  EXPECT_EQ(scanner_->Log().size(), 1u);

  // Check conditions come back as status 4 with sense; transport failures as the HRESULT.
  scanner_->FailWithSense(0x00, {2, 0x04, 0x01});
  o = Send(d, {0, 0, 0, 0, 0, 0}, 0, nullptr, 0);
  EXPECT_EQ(o.status, kSrbError);
  EXPECT_EQ(o.sense[2] & 0x0F, 2);
  EXPECT_EQ(o.sense[12], 0x04);
  EXPECT_EQ(o.sense[13], 0x01);
  scanner_->FailTransport(0x00, STIERR_DEVICE_GONE);
  EXPECT_EQ(Send(d, {0, 0, 0, 0, 0, 0}, 0, nullptr, 0).hr, STIERR_DEVICE_GONE);
  EXPECT_EQ(GetLastError(), 0x45Du);
  d->Release();
}

TEST_F(StiTest, CatalogueInTheRegistryListsAndOpensDevices) {
  using namespace qlon::registry;
  SetDeviceProvider(nullptr);
  Key k;
  ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "System\\StillImage\\Devices\\{emu}", "", &k), kOk);
  SetString(k, "DeviceDescription", "QMDEV");
  SetString(k, "PortName", "emu0");
  SetString(k, "ProductId", "QM-28490T       ");
  ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "System\\StillImage\\Devices\\{sg}", "", &k), kOk);
  SetString(k, "DeviceDescription", "Real");
  SetString(k, "Backend", "sg");
  SetString(k, "Node", (root_.path() / "no-such-sg").string());
  uint32_t count = 0;
  void* list = nullptr;
  ASSERT_EQ(sti_->GetDeviceList(0, 0, &count, &list), S_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(Utf16ToUtf8(static_cast<DeviceInformation*>(list)[0].deviceDescription), "QMDEV");
  EXPECT_EQ(static_cast<DeviceInformation*>(list)[1].deviceType, kDeviceTypeScanner << 16);
  StiFreeDeviceList(list);

  IStiDevice* d = Create(u"{emu}");
  ASSERT_NE(d, nullptr);
  uint8_t inquiry[36] = {};
  ASSERT_EQ(Send(d, {0x12, 0, 0, 0, 36, 0}, kDataIn, inquiry, 36).status, kSrbSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry + 16), 16), "QM-28490T       ");
  d->Release();
  IStiDevice* sg = nullptr;
  EXPECT_EQ(sti_->CreateDevice(u"{sg}", kModeStatusAndData, &sg, nullptr), STIERR_DEVICE_GONE);
}

TEST(StiText, ConvertsBetweenUtf8AndUtf16) {
  EXPECT_EQ(Utf8ToUtf16("Numérisation \xF0\x9F\x93\xB7"), u"Numérisation \U0001F4F7");
  EXPECT_EQ(Utf16ToUtf8(u"Numérisation \U0001F4F7"), "Numérisation \xF0\x9F\x93\xB7");
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");            // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");     // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBDy");
  EXPECT_EQ(Utf16ToUtf8(nullptr), "");
}

TEST(SgIo, DescriptorSenseBecomesFixedFormat) {
  const uint8_t descriptor[8] = {0x72, 0x05, 0x24, 0x01, 0, 0, 0, 0};
  uint8_t fixed[kSenseLength];
  SgIoTarget::ToFixedSense(descriptor, sizeof descriptor, fixed);
  EXPECT_EQ(fixed[0], 0x70);
  EXPECT_EQ(fixed[2], 0x05);
  EXPECT_EQ(fixed[12], 0x24);
  EXPECT_EQ(fixed[13], 0x01);
  const uint8_t already[18] = {0x70, 0, 0x04, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x80, 0x02};
  SgIoTarget::ToFixedSense(already, sizeof already, fixed);
  EXPECT_EQ(std::memcmp(fixed, already, kSenseLength), 0);
  std::unique_ptr<ScsiTarget> t;
  EXPECT_EQ(SgIoTarget::Open("/dev/null", &t), E_INVALIDARG);  // not an sg node
  EXPECT_EQ(t, nullptr);
}

}  // namespace
