// Preferences read machine-wide then per user, the apply rules, and the
// control-panel host that loads tq21ucpl.so and feeds its add-page callback.
#include <dlfcn.h>

#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "Preferences.h"
#include "PreferencesPage.h"
#include "Registry.h"
#include "Sti.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
namespace reg = qlon::registry;
using namespace qlon::scanner::cpl;

namespace {

const std::string kKey = "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV";

// One application for the run, gone before the exit handlers run (a static
// one would outlive the platform plugin).
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = new QApplication(argc_, argv_); }
  void TearDown() override { delete app_; }
  static QApplication* app_;

 private:
  int argc_ = 1;
  char name_[4] = "cpl";
  char* argv_[2] = {name_, nullptr};
};
QApplication* AppEnvironment::app_ = nullptr;
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
QApplication& App() { return *AppEnvironment::app_; }

reg::Key Make(const reg::Key& root) {
  reg::Key k;
  EXPECT_EQ(reg::CreateKey(root, kKey, "option", &k), reg::kOk);
  return k;
}

TEST(Preferences, MachineValuesAreDefaultsForUserValues) {
  qlon::test::TempRoot root;
  reg::Key m = Make(reg::HKEY_LOCAL_MACHINE);
  reg::SetString(m, "ProductName", "QM Scanner");
  reg::SetDword(m, "TextEnhance", 1);
  reg::SetDword(m, "AutoClose", 1);
  reg::SetString(m, "HelpFile", "aide.hlp");
  reg::SetDword(Make(reg::HKEY_CURRENT_USER), "AutoClose", 0);
  EXPECT_EQ(DeviceKeyOf("QM Scanner"), kKey);
  EXPECT_EQ(DeviceKeyOf("Other"), "Software\\Norva\\Vellumor\\5.3\\Devices\\");
  Preferences p;
  ReadPreferences(kKey, &p);
  EXPECT_EQ(p.textEnhance, 1u);
  EXPECT_EQ(p.autoClose, 0u);
  EXPECT_EQ(p.colorMatch, 1u);
  EXPECT_EQ(HelpFileOf(kKey), "aide.hlp");
}

TEST(Preferences, DroppingTheSavedPreviewDeletesItsFileOnce) {
  qlon::test::TempRoot root;
  qlon::test::TempDir dir;
  const fs::path cache = dir.path() / "preview.bmp";
  qlon::test::WriteFileBytes(cache, "x");
  reg::Key u = Make(reg::HKEY_CURRENT_USER);
  reg::SetDword(u, "SavePreview", 1);
  reg::SetString(u, "CacheFileName", cache.string());
  App();
  PreferencesPage page(kKey);
  int changes = 0;
  QObject::connect(&page, &PreferencesPage::changed, [&] { ++changes; });
  static_cast<QRadioButton*>(page.Control(4018))->click();
  EXPECT_EQ(changes, 1);
  page.apply();
  EXPECT_FALSE(fs::exists(cache));
  std::string name = "?";
  reg::QueryString(u, "CacheFileName", &name);
  EXPECT_EQ(name, "");
  uint32_t save = 9;
  reg::QueryDword(u, "SavePreview", &save);
  EXPECT_EQ(save, 0u);
  // A folder named as the cache is never removed.
  reg::SetDword(u, "SavePreview", 1);
  reg::SetString(u, "CacheFileName", dir.path().string());
  page.apply();
  EXPECT_TRUE(fs::is_directory(dir.path()));
  // Unchecking colour matching disables the profile box but keeps its value.
  static_cast<QCheckBox*>(page.Control(4013))->click();
  static_cast<QCheckBox*>(page.Control(3004))->click();
  EXPECT_FALSE(page.Control(4013)->isEnabled());
  EXPECT_EQ(page.Values().useProfile, 1u);
}

std::vector<QWidget*> g_pages;
int Keep(void* page, intptr_t parameter) {
  EXPECT_EQ(parameter, 77);
  g_pages.push_back(static_cast<QWidget*>(page));
  return 1;
}
int Refuse(void*, intptr_t) { return 0; }

TEST(CplHost, EnumStiPropPagesAddsThePreferencesPage) {
  qlon::test::TempRoot root;
  App();
  void* handle = dlopen((fs::read_symlink("/proc/self/exe").parent_path() / "tq21ucpl.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  using EnumFn = int32_t (*)(const qlon::sti::DeviceInformation*, int (*)(void*, intptr_t), intptr_t);
  auto enumPages = reinterpret_cast<EnumFn>(dlsym(handle, "EnumStiPropPages"));
  ASSERT_NE(enumPages, nullptr);
  qlon::sti::DeviceInformation info{};
  info.size = sizeof info;
  EXPECT_EQ(enumPages(&info, Keep, 77), 0);  // no description
  info.deviceDescription = u"QM Scanner";
  EXPECT_EQ(enumPages(&info, Refuse, 77), 0);
  ASSERT_EQ(enumPages(&info, Keep, 77), 1);
  ASSERT_EQ(g_pages.size(), 1u);
  QWidget* page = g_pages[0];
  EXPECT_EQ(page->windowTitle(), QString::fromUtf8("Préférences"));
  page->resize(460, 420);
  page->show();
  App().processEvents();
  const fs::path out = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "screens";
  fs::create_directories(out);
  EXPECT_TRUE(page->grab().save(QString::fromStdString((out / "preferences-page.png").string())));
  delete page;
}

}  // namespace
