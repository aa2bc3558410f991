// ScannerInterface over the real driver, loaded by name, and the emulated scanner.
#include <filesystem>

#include <gtest/gtest.h>

#include "CapabilityTypes.h"
#include "EmulatedScanner.h"
#include "Registry.h"
#include "ScannerInterface.h"
#include "TempRoot.h"

namespace fs = std::filesystem;

TEST(DriverScannerInterface, ForwardsToTheDriverOverTheEmulator) {
  qlon::test::TempRoot root;
  qlon::test::TempDir libs;
  fs::create_directories(libs.path() / "QMDEV");
  const fs::path lib = libs.path() / "QMDEV" / "tq21udrv.so";
  fs::create_symlink(fs::read_symlink("/proc/self/exe").parent_path() / "tq21udrv.so", lib);
  qlon::registry::Key key;
  ASSERT_EQ(qlon::registry::CreateKey(qlon::registry::HKEY_LOCAL_MACHINE,
                                      "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV", "option", &key),
            qlon::registry::kOk);
  qlon::registry::SetString(key, "ProductId", "QM-51270K       ");
  qlon::registry::SetDword(key, "BWSpeed", 0);
  auto provider = std::make_shared<qlon::sti::EmulatedProvider>();
  qlon::sti::EmulatedModel model;
  model.productId = "QM-51270K";
  qlon::sti::DeviceEntry entry;
  entry.internalName = "emu-qm";
  entry.description = "QMDEV";
  entry.portName = "emu0";
  auto scanner = provider->Add(entry, model);
  qlon::sti::SetDeviceProvider(provider);
  {
    EXPECT_FALSE(qlon::imgport::DriverScannerInterface((libs.path() / "none.so").string()).Loaded());
    qlon::imgport::DriverScannerInterface si(lib.string());
    ASSERT_TRUE(si.Loaded()) << si.Error();
    EXPECT_STREQ(si.GetKeyName(), "QMDEV");
    char name[17] = {};
    int32_t length = sizeof name;
    EXPECT_EQ(si.GetDeviceName(name, &length), 0u);
    EXPECT_EQ(std::string(name, 9), "QM-51270K");
    EXPECT_EQ(si.SetCapability(0x1123, 90), 0u);
    int32_t kind = -1;
    void* value = nullptr;
    ASSERT_EQ(si.GetCapability(0x1123, &kind, &value), 0u);
    ASSERT_NE(value, nullptr);
    EXPECT_NE(si.SetCapability(0x7777, 1), 0u);
    qlon::scanner::DrvErrorInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(si.GetLastErrorInfo(&info), 0u);
    EXPECT_GT(info.code, 0);
    EXPECT_EQ(si.DeviceControl(4, nullptr, 0, nullptr, 0), 0u);
    (void)scanner;
  }
  qlon::sti::SetDeviceProvider(nullptr);
}
