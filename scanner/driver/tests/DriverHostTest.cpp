// A scanning host: loads tq21udrv.so by name and drives it through its
// exports against the emulated scanner, as an application would.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CalibrationRoad.h"
#include "DriverApi.h"
#include "EmulatedScanner.h"
#include "ErrorState.h"
#include "NoticeWindow.h"
#include "Registry.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
using namespace qlon::scanner;
using qlon::sti::EmulatedModel;
using qlon::sti::EmulatedScanner;

namespace {

constexpr uint32_t kFailure = 0xC0000000u;
const char* const kProducts[] = {"QM-51270K", "QM-7741", "QM-28460P", "QM-7731", "QM-6620", "QM-51290T", "QM-28490T"};
// The device key is the folder of the library; the STI description is another name.
constexpr const char* kFolder = "QMDEV";
constexpr const char* kDescription = "QM Scanner";

std::string Padded(const char* product) {
  std::string s = product;
  s.resize(16, ' ');
  return s;
}

std::vector<std::pair<int32_t, int32_t>> g_notes;
int32_t Note(int32_t message, int32_t id) {
  g_notes.emplace_back(message, id);
  return 0;
}

// The exports, resolved by name.
struct Api {
  StartDriverFn StartDriver;
  VoidFn StopDriver, Open, Close, Reset, StopScan;
  GetScanInfoFn GetScanInfo;
  GetCapabilityListFn GetCapabilityList;
  GetCapabilityUnitsFn GetCapabilityUnits;
  GetCapabilityFlagsFn GetCapabilityFlags;
  GetCapabilityFn GetCapability;
  GetCapabilityValueFn GetCapabilityValue;
  SetCapabilityFn SetCapability;
  StartScanFn StartScan;
  GetDataFn GetData;
  DeviceControlFn DeviceControl;
  GetNameFn GetDeviceName, GetDeviceInternalName;
  GetDeviceTabNamesFn GetDeviceTabNames;
  HasUserInterfaceFn HasUserInterface;
  CreateUserInterfaceFn CreateUserInterface;
  GetLastErrorInfoFn GetLastErrorInfo;
};

fs::path BinFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

class DriverHost : public ::testing::Test {
 protected:
  void SetUp() override {
    // Loaded through a link in a folder named after the device key, so the
    // driver finds its key the way an installed one does.
    fs::create_directories(libs_.path() / kFolder);
    libPath_ = libs_.path() / kFolder / "tq21udrv.so";
    fs::create_symlink(BinFolder() / "tq21udrv.so", libPath_);
    handle_ = dlopen(libPath_.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle_, name));
      ASSERT_NE(reinterpret_cast<void*>(fn), nullptr) << name;
    };
    get(api.StartDriver, "StartDriver");
    get(api.StopDriver, "StopDriver");
    get(api.Open, "Open");
    get(api.Close, "Close");
    get(api.Reset, "Reset");
    get(api.StopScan, "StopScan");
    get(api.GetScanInfo, "GetScanInfo");
    get(api.GetCapabilityList, "GetCapabilityList");
    get(api.GetCapabilityUnits, "GetCapabilityUnits");
    get(api.GetCapabilityFlags, "GetCapabilityFlags");
    get(api.GetCapability, "GetCapability");
    get(api.GetCapabilityValue, "GetCapabilityValue");
    get(api.SetCapability, "SetCapability");
    get(api.StartScan, "StartScan");
    get(api.GetData, "GetData");
    get(api.DeviceControl, "DeviceControl");
    get(api.GetDeviceName, "GetDeviceName");
    get(api.GetDeviceInternalName, "GetDeviceInternalName");
    get(api.GetDeviceTabNames, "GetDeviceTabNames");
    get(api.HasUserInterface, "HasUserInterface");
    get(api.CreateUserInterface, "CreateUserInterface");
    get(api.GetLastErrorInfo, "GetLastErrorInfo");
    provider_ = std::make_shared<qlon::sti::EmulatedProvider>();
    qlon::sti::SetDeviceProvider(provider_);
    g_notes.clear();
  }
  void TearDown() override {
    if (api.StopDriver) api.StopDriver();
    qlon::sti::SetDeviceProvider(nullptr);
    if (handle_) dlclose(handle_);
  }

  // Installs a device of the model: its HKLM key and an emulated scanner.
  void Install(int model, bool withSpeed = true) {
    using namespace qlon::registry;
    api.StopDriver();  // lets go of the device installed before
    Key key;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, std::string("Software\\Norva\\Vellumor\\5.3\\Devices\\") + kFolder,
                        "option", &key),
              kOk);
    ASSERT_EQ(SetString(key, "ProductId", Padded(kProducts[model])), kOk);
    ASSERT_EQ(SetDword(key, "SCSI Id", 3), kOk);
    ASSERT_EQ(SetDword(key, "LUN Number", 0), kOk);
    ASSERT_EQ(SetDword(key, "Host Adapter", 1), kOk);
    if (withSpeed)
      ASSERT_EQ(SetDword(key, "BWSpeed", 0), kOk);
    else
      DeleteValue(key, "BWSpeed");
    ASSERT_EQ(SetString(key, "TabNames", "Plat;\"Film; neg\""), kOk);
    EmulatedModel m;
    m.productId = kProducts[model];
    qlon::sti::DeviceEntry e;
    e.internalName = "emu-qm-" + std::to_string(model);
    e.description = kDescription;
    e.portName = "emu0";
    provider_ = std::make_shared<qlon::sti::EmulatedProvider>();
    scanner = provider_->Add(e, m);
    qlon::sti::SetDeviceProvider(provider_);
  }

  DrvErrorInfo LastInfo() {
    DrvErrorInfo info{};
    api.GetLastErrorInfo(&info);
    return info;
  }

  // Every row: its units, flags, kind and value; every allowed value set and
  // the default put back.
  void SweepCapabilities() {
    const int32_t* ids = nullptr;
    int32_t count = 0;
    ASSERT_EQ(api.GetCapabilityList(&ids, &count), 0u);
    ASSERT_EQ(count, 34);
    const std::vector<int32_t> list(ids, ids + count);
    for (int32_t id : list) {
      SCOPED_TRACE(testing::Message() << std::hex << "capability 0x" << id);
      EXPECT_GE(api.GetCapabilityUnits(id), 0);
      int32_t flags = -1, kind = -1;
      void* storage = nullptr;
      EXPECT_EQ(api.GetCapabilityFlags(id, &flags), 0u);
      ASSERT_EQ(api.GetCapability(id, &kind, &storage), 0u);
      int32_t value = 0;
      if (kind == kCapFrame) {
        EXPECT_EQ(api.GetCapabilityValue(id, &value), kFailure);
        const CapFrame f = *static_cast<CapFrame*>(storage);
        const int32_t smaller[4] = {f.left, f.top, f.width / 2, f.height / 2};
        EXPECT_EQ(api.SetCapability(id, reinterpret_cast<intptr_t>(smaller)), 0u);
        EXPECT_EQ(static_cast<CapFrame*>(storage)->width, f.width / 2);
        EXPECT_EQ(api.SetCapability(id, reinterpret_cast<intptr_t>(&f)), 0u);
        continue;
      }
      ASSERT_EQ(api.GetCapabilityValue(id, &value), 0u);
      if (kind == kCapEnum) {
        const CapEnum e = *static_cast<CapEnum*>(storage);
        EXPECT_EQ(e.current, value);
        for (int32_t i = 0; i < e.count; ++i) {
          const uint32_t rc = api.SetCapability(id, e.list[i]);
          const bool readOnly = id == cap::FeederLoaded || id == cap::UiControllable;
          EXPECT_EQ(rc, readOnly && e.list[i] != e.current ? kFailure : 0u) << e.list[i];
        }
        EXPECT_EQ(api.SetCapability(id, e.defaultValue), 0u);
      } else if (kind == kCapRange) {
        const CapRange r = *static_cast<CapRange*>(storage);
        EXPECT_EQ(api.SetCapability(id, r.minimum), 0u);
        EXPECT_EQ(api.SetCapability(id, r.maximum), 0u);
        EXPECT_EQ(api.SetCapability(id, int64_t(r.maximum) + 1), kFailure);
        EXPECT_EQ(api.SetCapability(id, r.defaultValue), 0u);
      } else {
        const CapOne o = *static_cast<CapOne*>(storage);
        const bool readOnly = id != cap::PaperLength && id != cap::PaperWidth;
        EXPECT_EQ(api.SetCapability(id, o.current - 1), readOnly ? kFailure : 0u);
        EXPECT_EQ(api.SetCapability(id, o.defaultValue), 0u);
      }
    }
  }

  qlon::test::TempRoot root_;
  qlon::test::TempDir libs_;
  fs::path libPath_;
  void* handle_ = nullptr;
  Api api{};
  std::shared_ptr<qlon::sti::EmulatedProvider> provider_;
  std::shared_ptr<EmulatedScanner> scanner;
};

}  // namespace

static std::string Shell(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) out += buf;
  EXPECT_EQ(pclose(p), 0) << command << "\n" << out;
  return out;
}

TEST_F(DriverHost, TheLibraryNeedsNoOtherDeliverableAndExportsOnlyItsEntryPoints) {
  const std::string library = (BinFolder() / "tq21udrv.so").string();
  const std::string needed = Shell("ldd " + library);
  for (const char* forbidden : {"Qt", "tq21uui", "tq21ucpl", "qlon98", "not found"})
    EXPECT_EQ(needed.find(forbidden), std::string::npos) << forbidden << " in\n" << needed;
  EXPECT_EQ(Shell("nm -D --defined-only --format=just-symbols " + library + " | sort | tr '\\n' ' '"),
            "Close CreateUserInterface DeviceControl GetCapability GetCapabilityFlags GetCapabilityList "
            "GetCapabilityUnits GetCapabilityValue GetData GetDeviceInternalName GetDeviceName "
            "GetDeviceTabNames GetLastErrorInfo GetScanInfo HasUserInterface Open Reset SetCapability "
            "StartDriver StartScan StopDriver StopScan ");
  EXPECT_EQ(api.HasUserInterface(), 0);
  EXPECT_EQ(api.CreateUserInterface(nullptr, nullptr), nullptr);
}

TEST_F(DriverHost, EveryModelRunsTheWholeRoad) {
  for (int model = 0; model < 7; ++model) {
    SCOPED_TRACE(testing::Message() << "model " << model);
    Install(model);
    ASSERT_EQ(api.StartDriver(kDescription, &Note), 0u);
    EXPECT_EQ(scanner->LogCdbs(), (std::vector<std::string>{"00 00 00 00 00 00", "16 00 00 00 00 00",
                                                            "12 01 F0 00 4A 00", "17 00 00 00 00 00"}));
    ASSERT_EQ(api.Open(), 0u);
    SweepCapabilities();

    g_notes.clear();
    const int32_t res = model == 6 ? 600 : 150;
    ASSERT_EQ(api.SetCapability(cap::PixelType, model % 3), 0u);
    ASSERT_EQ(api.SetCapability(cap::XResolution, res), 0u);
    ASSERT_EQ(api.SetCapability(cap::YResolution, res), 0u);
    const int32_t frame[4] = {12, 7, 203, 61};
    ASSERT_EQ(api.SetCapability(cap::Frame, reinterpret_cast<intptr_t>(frame)), 0u);
    for (const auto& [message, id] : g_notes) {
      EXPECT_EQ(message, kNotifyValueChanged);
      EXPECT_NE(id, cap::OpticalX);  // chosen silently
    }

    ASSERT_EQ(api.StartScan(1), 0u);
    ScanInfo info{};
    ASSERT_EQ(api.GetScanInfo(&info), 0u);
    EXPECT_EQ(info.height, 61);
    const auto g = scanner->Geometry(*scanner->Window());
    std::vector<uint8_t> buf(size_t(info.bytesPerLine) * 16);
    int32_t y = 0;
    for (;;) {
      const int32_t got = api.GetData(buf.data(), int32_t(buf.size()));
      ASSERT_GE(got, 0);
      for (int32_t i = 0; i < got; ++i, ++y) {
        const auto want = EmulatedScanner::PatternLine(g, uint32_t(y));
        ASSERT_EQ(std::memcmp(buf.data() + size_t(i) * info.bytesPerLine, want.data(),
                              std::min<size_t>(want.size(), info.bytesPerLine)),
                  0)
            << "line " << y;
      }
      if (got < 16) break;
    }
    EXPECT_EQ(y, info.height);
    EXPECT_EQ(api.GetData(buf.data(), int32_t(buf.size())), int32_t(kFailure));  // no longer transferring
    EXPECT_EQ(LastInfo().code, 2);
    EXPECT_EQ(api.StopScan(), 0u);
    EXPECT_EQ(api.Close(), 0u);
    EXPECT_EQ(scanner->ReservedBy(), -1);
    EXPECT_EQ(api.StopDriver(), 0u);
  }
}

TEST_F(DriverHost, FailuresGiveTheStatusAndTheMessage) {
  Install(0);
  ASSERT_EQ(api.StartDriver(kDescription, &Note), 0u);
  char name[32];
  int32_t len = sizeof name;
  ASSERT_EQ(api.GetDeviceName(name, &len), 0u);

  EXPECT_EQ(api.SetCapability(cap::Brightness, 101), kFailure);
  DrvErrorInfo info = LastInfo();
  EXPECT_EQ(info.size, 296);
  EXPECT_EQ(info.code, 7);
  EXPECT_EQ(std::string(info.text), std::string(DriverString(2)) + "(Code:-7)");
  EXPECT_EQ(std::string(info.deviceName), "QM-51270K       ");
  EXPECT_EQ(api.SetCapability(cap::Brightness, 60), 0u);
  EXPECT_EQ(LastInfo().code, 7);  // a success records nothing

  // The device is not ready when the host opens it.
  scanner->FailWithSense(0x00, {2, 0x04, 0x01});
  EXPECT_EQ(api.Open(), kFailure);
  EXPECT_EQ(LastInfo().code, 62);

  // A medium error during READ.
  ASSERT_EQ(api.StartScan(1), 0u);
  scanner->FailWithSense(0x28, {3, 0x11, 0x00});
  std::vector<uint8_t> buf(1 << 20);
  EXPECT_EQ(api.GetData(buf.data(), int32_t(buf.size())), int32_t(kFailure));
  EXPECT_EQ(LastInfo().code, 62);
  EXPECT_EQ(api.Close(), 0u);

  // A missing registry value.
  api.StopDriver();
  Install(0, false);
  EXPECT_EQ(api.StartDriver(kDescription, &Note), kFailure);
  info = LastInfo();
  EXPECT_EQ(info.code, 84);
  EXPECT_EQ(std::string(info.text), DriverString(5));
}

TEST_F(DriverHost, ALockHeldElsewhereTimesOut) {
  Install(0);
  // flock conflicts between open files as between processes.
  const int fd = ::open(qlon::sti::DeviceLockFile("emu-qm-0").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(api.StartDriver(kDescription, &Note), kFailure);
  const DrvErrorInfo info = LastInfo();
  EXPECT_EQ(info.code, 53);
  EXPECT_EQ(std::string(info.text), DriverString(3));
  ::close(fd);
  EXPECT_EQ(api.StartDriver(kDescription, &Note), 0u);
}

TEST_F(DriverHost, HostileDeviceAnswersFailCleanly) {
  Install(0);
  scanner->EditReplies(0x12, [](const uint8_t* cdb, std::vector<uint8_t>& reply) {
    if (cdb[1] & 1) reply.resize(12);  // a vendor page cut short
  });
  EXPECT_EQ(api.StartDriver(kDescription, &Note), kFailure);

  Install(0);
  scanner->EditReplies(0x12, [](const uint8_t* cdb, std::vector<uint8_t>& reply) {
    if (cdb[1] & 1) reply[38] = 250;  // a descriptor the window buffer cannot hold
  });
  EXPECT_EQ(api.StartDriver(kDescription, &Note), kFailure);

  Install(0);
  ASSERT_EQ(api.StartDriver(kDescription, &Note), 0u);
  scanner->EditReplies(0x34, [](const uint8_t*, std::vector<uint8_t>& reply) {
    std::memset(&reply[12], 0xFF, 8);  // 4 GiB lines, 4 G of them
  });
  EXPECT_EQ(api.StartScan(1), kFailure);
  EXPECT_EQ(LastInfo().code, 29);

  Install(0);
  ASSERT_EQ(api.StartDriver(kDescription, &Note), 0u);
  scanner->EditReplies(0x12, [](const uint8_t* cdb, std::vector<uint8_t>& reply) {
    if (!(cdb[1] & 1)) reply.resize(20);  // a standard inquiry cut short
  });
  char name[32];
  int32_t len = sizeof name;
  EXPECT_EQ(api.GetDeviceName(name, &len), kFailure);
  uint8_t block[kDeviceInfoBlockSize];
  EXPECT_EQ(api.DeviceControl(5, nullptr, 0, block, sizeof block), kFailure);
}

// A host with no screen (this program has no GUI at all): the driver loads
// its window stand-in, which shows nothing, and the device sees the same
// commands and the same pause before calibrating as under a GUI host.
TEST_F(DriverHost, CalibrationKeepsItsCommandsAndPauseWithoutAScreen) {
  const std::string standIn = (BinFolder() / kNoticeWindowFileName).string();
  Install(5);  // QM-51290T calibrates at scan start
  ASSERT_EQ(api.StartDriver(kDescription, &Note), 0u);
  scanner->ClearLog();
  ASSERT_EQ(api.DeviceControl(6, nullptr, 0, nullptr, 0), 0u);
  EXPECT_EQ(scanner->LogCdbs(), test::kCalibrationCdbs);
  EXPECT_GE(test::PauseBeforeCalibrate(scanner->Log()), std::chrono::milliseconds(100));
  void* loaded = dlopen(standIn.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(loaded, nullptr) << "the driver did not look for its window stand-in";
  if (loaded) dlclose(loaded);

  scanner->SetCalibrationNeeded(1);
  scanner->ClearLog();
  EXPECT_EQ(test::ScanSmallFrame([this](const char* name) { return dlsym(handle_, name); }), 16);
  std::vector<std::string> cdbs = scanner->LogCdbs();
  ASSERT_GE(cdbs.size(), test::kCalibratingScanCdbs.size());
  cdbs.resize(test::kCalibratingScanCdbs.size());
  EXPECT_EQ(cdbs, test::kCalibratingScanCdbs);
  EXPECT_GE(test::PauseBeforeCalibrate(scanner->Log()), std::chrono::milliseconds(100));
  EXPECT_EQ(scanner->Calibrations(), 2);
}
