// A scanning host: loads tq21uui.so by name, embeds the page in its window
// and renders it offscreen.
#include <dlfcn.h>

#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QWidget>
#include <gtest/gtest.h>

#include "CapabilityTypes.h"
#include "ScannerInterface.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
using namespace qlon::scanner;

namespace {

class Device : public qlon::imgport::ScannerInterface {
 public:
  int sets = 0;
  CapEnum pixel{3, 0, 0, nullptr}, port{4, 2, 1, nullptr};
  uint32_t GetCapability(int32_t id, int32_t* kind, void** value) override {
    *kind = kCapEnum;
    *value = id == 0x8074 ? &port : &pixel;
    return 0;
  }
  uint32_t SetCapability(int32_t, intptr_t) override { ++sets; return 0; }
  uint32_t DeviceControl(int32_t, const void*, int32_t, void*, int32_t) override { return 0; }
  uint32_t GetLastErrorInfo(DrvErrorInfo*) override { return 0; }
  const char* GetKeyName() override { return "QMDEV"; }
  const char* GetDriverName() override { return "tq21udrv"; }
  uint32_t GetDeviceName(char* b, int32_t*) override { std::snprintf(b, 17, "QM-51270K       "); return 0; }
};

TEST(UiHost, LoadsThePageByNameAndShowsIt) {
  qlon::test::TempRoot root;
  int argc = 1;
  char name[] = "host";
  char* argv[] = {name};
  QApplication app(argc, argv);
  const fs::path lib = fs::read_symlink("/proc/self/exe").parent_path() / "tq21uui.so";
  void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  using CreateFn = void* (*)(void*, int32_t, void*);
  auto create = reinterpret_cast<CreateFn>(dlsym(handle, "CreateUserInterface"));
  ASSERT_NE(create, nullptr);
  Device device;
  QWidget host;
  host.resize(420, 420);
  EXPECT_EQ(create(&host, 1, &device), nullptr);
  auto* page = static_cast<QWidget*>(create(&host, 0, &device));
  ASSERT_NE(page, nullptr);
  EXPECT_GT(device.sets, 0);
  EXPECT_EQ(page->geometry(), host.rect());
  auto boxes = page->findChildren<QComboBox*>();
  ASSERT_GE(boxes.size(), 2);
  EXPECT_EQ(boxes[1]->currentText(), "A4");
  host.show();
  app.processEvents();
  const fs::path out = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "screens";
  fs::create_directories(out);
  EXPECT_TRUE(host.grab().save(QString::fromStdString((out / "settings-page.png").string())));
  delete page;
}

}  // namespace
