// Preferences read machine-wide then per user, and the apply rules. The
// control panel's side (the library loaded by name) is tested with the hosts.
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "AppEnvironment.h"
#include "Mnemonics.h"
#include "Preferences.h"
#include "PreferencesPage.h"
#include "Registry.h"
#include "Shell.h"
#include "Sti.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
namespace reg = qlon::registry;
using namespace qlon::scanner::cpl;

namespace {

const std::string kKey = "Software\\Norva\\Vellumor\\5.3\\Devices\\QMDEV";

const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();

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

TEST(PreferencesHelp, ControlsOpenTheirTopicsAndTheLogoTakesTheFaceColour) {
  qlon::test::TempRoot root;
  EXPECT_EQ(HelpTopicOf(4020), 401u);
  EXPECT_EQ(HelpTopicOf(3005), 402u);
  EXPECT_EQ(HelpTopicOf(4018), 403u);
  EXPECT_EQ(HelpTopicOf(4019), 404u);
  EXPECT_EQ(HelpTopicOf(1), 0u);
  PreferencesPage page(kKey);
  qlon::platform::RecordingShell shell;
  // "pxui.hlp" by default, beside the library (the build puts it there).
  ASSERT_TRUE(fs::exists(page.HelpFilePath())) << page.HelpFilePath();
  EXPECT_TRUE(page.Help(4013, false));
  EXPECT_TRUE(page.Help(4019, true));
  EXPECT_FALSE(page.Help(9999, false));
  ASSERT_EQ(shell.opened.size(), 2u);
  EXPECT_NE(shell.opened[0].find("pxui.hlp#topic402"), std::string::npos);
  EXPECT_NE(shell.opened[1].find("#topic404"), std::string::npos);

  const QImage grey = ColourMatchLogo(QColor(192, 192, 192));
  const QImage blue = ColourMatchLogo(QColor(10, 20, 200));
  EXPECT_EQ(grey.pixel(0, 0), qRgb(192, 192, 192));
  EXPECT_EQ(blue.pixel(0, 0), qRgb(10, 20, 200));
  EXPECT_EQ(blue.pixel(32, 12), grey.pixel(32, 12));  // the wheel keeps its colours
  EXPECT_NE(grey.pixel(32, 12), qRgb(192, 192, 192));
}

TEST(PreferencesPage, NoAltKeyAnswersTwoControls) {
  qlon::test::TempRoot root;
  PreferencesPage page(kKey);
  const QStringList clashes = qlon::test::MnemonicClashes(page);
  EXPECT_TRUE(clashes.isEmpty()) << clashes.join("\n").toStdString();
}

}  // namespace
