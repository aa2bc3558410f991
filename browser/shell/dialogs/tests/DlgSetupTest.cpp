#include "DlgSetup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <set>

#include "CaptureFixture.h"
#include "Cookies.h"
#include "MessageBox.h"
#include "Profile.h"
#include "ScreenShot.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Texts.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;
using platform::ScriptedMessageBoxes;

using test::WorkFolder;

class DlgSetupTest : public ::testing::Test {
 protected:
  DlgSetupTest()
      : prompt((root.path() / "work").string()),
        setup((fs::create_directories(root.path() / "program"), &prompt), root.path() / "program") {
    CookiesBase().Clear();
  }
  ~DlgSetupTest() override { CookiesBase().Clear(); }
  std::string Ini(const char* section, const char* key) const {
    return profile::TIniFile(setup.IniFile()).ReadString(section, key, "<none>");
  }
  fs::path Cookies() const { return fs::path(setup.WorkPath) / "cookies.txt"; }
  std::string Path(const char* name) const { return (root.path() / name).string(); }

  test::TempRoot root;
  WorkFolder prompt;
  TSetup setup;
};

TEST_F(DlgSetupTest, EditedPagesReachQuillonIniAndComeBackInAFreshDialog) {
  const std::string browser = Path("bin/navigator");
  test::WriteFileBytes(browser, "#!/bin/sh\n");
  {
    TDlgSetup dlg(setup);
    dlg.Pages.Preferences->MaxSocketsSpin->setValue(9);
    dlg.Pages.Preferences->TimeoutSpin->setValue(45);
    dlg.Pages.Preferences->AgentCombo->setCurrentIndex(2);
    dlg.Pages.Preferences->EMailEdit->setText("  moi@example.org ");
    dlg.Pages.Proxy->HTTPUseProxyCheck->setChecked(true);
    dlg.Pages.Proxy->HTTPProxyAdressEdit->setText("proxy.example");
    dlg.Pages.Proxy->HTTPProxyPortSpin->setValue(3128);
    dlg.Pages.Proxy->HTTPProxyUsePasswordCheck->setChecked(true);
    dlg.Pages.Proxy->HTTPProxyUserNameEdit->setText("jean");
    dlg.Pages.Proxy->HTTPProxyPasswordEdit->setText("mot de passe");
    dlg.Pages.Proxy->FTPUseProxyCheck->setChecked(true);
    dlg.Pages.Proxy->UseSameProxyCheck->setChecked(true);
    dlg.Pages.Browser->BrowserOtherRadio->setChecked(true);
    dlg.Pages.Browser->BrowserCombo->setEditText(QString::fromStdString(browser));
    dlg.Pages.Browser->BookmarkFileEdit->setText(QString::fromStdString(Path("marks.htm")));
    dlg.Pages.Browser->BookmarkFolderEdit->setText("Mes Webs");
    dlg.Pages.Report->LigByPageSpin->setValue(20);
    dlg.Pages.Report->ImgRatioCheck->setChecked(true);
    dlg.Pages.Report->ThumbnailSizeCombo->setCurrentIndex(3);
    dlg.Pages.Folders->WebPathEdit->setText(QString::fromStdString(Path("captures")));
    dlg.Pages.Folders->FTPUseSavePathCheck->setChecked(true);
    dlg.Pages.Folders->FTPSavePathEdit->setText(QString::fromStdString(Path("ftp")));
    dlg.Pages.Connection->DefaultIdentCheck->setChecked(false);
    dlg.Pages.Connection->RasUserNameEdit->setText("abonne");
    dlg.Pages.Connection->RasPasswordEdit->setText("secret");
    dlg.Pages.Connection->DisconnectRasCheck->setChecked(true);
    ASSERT_TRUE(dlg.StorePages());
  }
  EXPECT_EQ(Ini("Options", "MaxSockets"), "9");
  EXPECT_EQ(Ini("Options", "Timeout"), "45");
  EXPECT_EQ(Ini("Request", "AgentIdentity"), "2");
  EXPECT_EQ(Ini("Request", "E-Mail"), "moi@example.org");
  EXPECT_EQ(Ini("Request", "HTTPUseProxy"), "1");
  EXPECT_EQ(Ini("Options", "HTTPProxyAdress"), "proxy.example");
  EXPECT_EQ(Ini("Options", "HTTPProxyPort"), "3128");
  EXPECT_EQ(Ini("Options", "HTTPProxyUserName"), "jean");
  EXPECT_EQ(Ini("Options", "HTTPProxyPassword"), "mot de passe");
  EXPECT_EQ(Ini("Request", "UseSameProxy"), "1");
  EXPECT_EQ(Ini("Browser", "Auto"), "0");
  EXPECT_EQ(Ini("BrowserList", "0"), browser);
  EXPECT_EQ(Ini("Browser", "ExeName"), browser);
  EXPECT_EQ(Ini("Bookmark", "FileName"), Path("marks.htm"));
  EXPECT_EQ(Ini("Bookmark", "BookmarkFolder"), "Mes Webs");
  EXPECT_EQ(Ini("sommaire", "LigByPage"), "20");
  EXPECT_EQ(Ini("sommaire", "ImgRatio"), "1");
  EXPECT_EQ(Ini("Thumbnail", "Size"), "3");
  EXPECT_EQ(Ini("Web", "Path"), Path("captures") + "/");
  EXPECT_EQ(Ini("Path", "FTPSavePath"), Path("ftp") + "/");
  EXPECT_EQ(Ini("Ras", "DefaultIdent"), "0");
  EXPECT_EQ(Ini("Ras", "Password"), "secret");

  TSetup again(&prompt, root.path() / "program");
  TDlgSetup dlg(again);
  EXPECT_EQ(dlg.Pages.Preferences->MaxSocketsSpin->value(), 9);
  EXPECT_EQ(dlg.Pages.Preferences->AgentCombo->currentIndex(), 2);
  EXPECT_EQ(dlg.Pages.Proxy->HTTPProxyAdressEdit->text(), "proxy.example");
  EXPECT_EQ(dlg.Pages.Proxy->HTTPProxyPasswordEdit->text(), "mot de passe");
  EXPECT_TRUE(dlg.Pages.Proxy->UseSameProxyCheck->isChecked());
  EXPECT_TRUE(dlg.Pages.Browser->BrowserOtherRadio->isChecked());
  EXPECT_EQ(dlg.Pages.Browser->BrowserCombo->currentText().toStdString(), browser);
  EXPECT_EQ(dlg.Pages.Browser->BookmarkFolderEdit->text(), "Mes Webs");
  EXPECT_EQ(dlg.Pages.Report->LigByPageSpin->value(), 20);
  EXPECT_EQ(dlg.Pages.Report->ThumbnailSizeCombo->currentText(), "160 x 120");
  EXPECT_TRUE(dlg.Pages.Folders->FTPUseSavePathCheck->isChecked());
  EXPECT_FALSE(dlg.Pages.Connection->DefaultIdentCheck->isChecked());
  EXPECT_EQ(dlg.Pages.Connection->RasUserNameEdit->text(), "abonne");
  EXPECT_TRUE(dlg.Pages.Connection->DisconnectRasCheck->isChecked());
}

TEST_F(DlgSetupTest, CookiesAreSavedOnlyWhenAcceptedAndAFileReadLateIsKept) {
  TDlgSetup dlg(setup);
  ASSERT_FALSE(dlg.Pages.Preferences->AcceptCookiesCheck->isChecked());
  CookiesBase().AddCookie("http://c.example/", "new=1", 73000);  // 2099
  ASSERT_TRUE(dlg.StorePages());
  EXPECT_FALSE(fs::exists(Cookies()));

  // Refused cookies at start were never read: the file there must survive
  // the first save after they are accepted.
  CookiesBase().Clear();
  test::WriteFileBytes(Cookies(), "QLONCOOKIES 100\r\nhttp://old.example/\r\nkeep=1\r\n2099-12-31 23:59:58\r\n");
  CookiesBase().AddCookie("http://c.example/", "new=1", 73000);
  dlg.Pages.Preferences->AcceptCookiesCheck->setChecked(true);
  ASSERT_TRUE(dlg.StorePages());
  EXPECT_EQ(Ini("Request", "AcceptCookies"), "1");
  const std::string saved = test::ReadFileBytes(Cookies());
  EXPECT_NE(saved.find("keep=1"), std::string::npos) << saved;
  EXPECT_NE(saved.find("new=1"), std::string::npos) << saved;
}

TEST_F(DlgSetupTest, EachTagShowsItsOwnTitledPage) {
  TDlgSetup dlg(setup);
  std::set<int> pages;
  for (int tag = TDlgSetup::kFirstTag; tag <= TDlgSetup::kLastTag; ++tag) {
    dlg.SelectPage(tag);
    EXPECT_EQ(dlg.CurrentPage(), TDlgSetup::PageOfTag(tag));
    EXPECT_EQ(dlg.Stack->currentIndex(), dlg.CurrentPage());
    EXPECT_EQ(dlg.TitleLabel->text().toStdString(), TextAt(kPageTitles, tag));
    EXPECT_EQ(TDlgSetup::TagOfPage(dlg.CurrentPage()), tag);
    pages.insert(dlg.CurrentPage());
  }
  EXPECT_EQ(pages.size(), size_t(TDlgSetup::kPageCount));
  EXPECT_EQ(dlg.Stack->count(), TDlgSetup::kPageCount);
  // The proxy page is the one with the proxy's hint.
  dlg.SelectPage(5);
  EXPECT_EQ(dlg.HintLabel->text().toStdString(), "Configurer votre serveur proxy");
  dlg.SelectPage(10);
  dlg.SelectPage(3);
  EXPECT_EQ(dlg.CurrentPage(), TDlgSetup::pgProxy);
}

TEST_F(DlgSetupTest, ARefusedFieldStoresNothingAndShowsItsPage) {
  struct Case {
    std::function<void(TDlgSetup&)> spoil;
    int page;
  };
  const Case cases[] = {
      {[](TDlgSetup& d) { d.Pages.Folders->WorkPathEdit->setText("relatif/webs"); }, TDlgSetup::pgFolders},
      {[](TDlgSetup& d) { d.Pages.Folders->WorkPathEdit->clear(); }, TDlgSetup::pgFolders},
      {[](TDlgSetup& d) {
         d.Pages.Folders->FTPUseSavePathCheck->setChecked(true);
         d.Pages.Folders->FTPSavePathEdit->setText("ftp");
       },
       TDlgSetup::pgFolders},
      {[](TDlgSetup& d) { d.Pages.Proxy->HTTPUseProxyCheck->setChecked(true); }, TDlgSetup::pgProxy},
      {[](TDlgSetup& d) {
         d.Pages.Proxy->HTTPUseProxyCheck->setChecked(true);
         d.Pages.Proxy->HTTPProxyAdressEdit->setText("pro xy");
       },
       TDlgSetup::pgProxy},
      {[](TDlgSetup& d) { d.Pages.Connection->RasPasswordEdit->setText(" secret"); }, TDlgSetup::pgConnection},
      {[](TDlgSetup& d) {
         d.Pages.Browser->BrowserOtherRadio->setChecked(true);
         d.Pages.Browser->BrowserCombo->setEditText("/nulle/part/navigateur");
       },
       TDlgSetup::pgBrowser},
  };
  for (const Case& c : cases) {
    ScriptedMessageBoxes boxes;
    TDlgSetup dlg(setup);
    dlg.Pages.Preferences->MaxSocketsSpin->setValue(12);
    c.spoil(dlg);
    dlg.SelectPage(4);
    EXPECT_FALSE(dlg.StorePages());
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(dlg.CurrentPage(), c.page);
    EXPECT_EQ(setup.MaxSockets, 5);
    EXPECT_FALSE(fs::exists(setup.IniFile()));
    // The edit is still there to be mended.
    EXPECT_EQ(dlg.Pages.Preferences->MaxSocketsSpin->value(), 12);
  }
}

TEST_F(DlgSetupTest, DoubtfulValuesAlreadyStoredDoNotBlockTheNextStore) {
  profile::TIniFile ini(setup.IniFile());
  ini.WriteBool("Request", "HTTPUseProxy", true);
  ini.WriteString("Options", "HTTPProxyAdress", "");
  ini.WriteString("Web", "Path", "relatif");
  setup.LoadSettings();
  ScriptedMessageBoxes boxes;
  TDlgSetup dlg(setup);
  dlg.Pages.Preferences->TryCountSpin->setValue(4);
  EXPECT_TRUE(dlg.StorePages());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(Ini("Options", "TryCount"), "4");
}

TEST_F(DlgSetupTest, ANewWorkFolderIsMadeAndKeptForTheNextStart) {
  TDlgSetup dlg(setup);
  const std::string folder = Path("autre/webs");
  dlg.Pages.Folders->WorkPathEdit->setText(QString::fromStdString(folder));
  ASSERT_TRUE(dlg.StorePages());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(setup.WorkPath, folder + "/");
  EXPECT_EQ(profile::GetProfileString("QUILLON", "WORKPATH", ""), folder + "/");
  EXPECT_TRUE(fs::exists(fs::path(folder) / "quillon.ini"));
}

TEST_F(DlgSetupTest, SettingsChangedElsewhereAreNotPutBack) {
  TDlgSetup dlg(setup);
  setup.UseWebStructure = false;  // the wizard's choice, after the pages were loaded
  setup.MaxSockets = 7;
  dlg.Pages.Preferences->TimeoutSpin->setValue(60);
  ASSERT_TRUE(dlg.StorePages());
  EXPECT_FALSE(setup.UseWebStructure);
  EXPECT_EQ(setup.MaxSockets, 7);
  EXPECT_EQ(setup.Timeout, 60);
  EXPECT_EQ(Ini("Path", "UseWebStructure"), "0");
}

TEST_F(DlgSetupTest, DialUpEntriesComeFromTheDialUpLayer) {
  setup.RasConnexion = "Bureau";
  TDlgSetup dlg(setup);
  dlg.SetDialUpAvailable(false);
  EXPECT_FALSE(dlg.Pages.Connection->UseRasCheck->isEnabled());
  EXPECT_FALSE(dlg.Pages.Connection->UseRasCheck->isChecked());

  dlg.SetDialUpAvailable(true);
  dlg.SetPhoneBookEntries({"Maison", "Modem"});
  EXPECT_EQ(dlg.Pages.Connection->ConnexionCombo->count(), 3);
  EXPECT_EQ(dlg.Pages.Connection->ConnexionCombo->currentText(), "Bureau");
  dlg.Pages.Connection->UseRasCheck->setChecked(true);
  EXPECT_TRUE(dlg.Pages.Connection->ConnexionCombo->isEnabled());
  dlg.Pages.Connection->ConnexionCombo->setCurrentIndex(dlg.Pages.Connection->ConnexionCombo->findText("Modem"));
  ASSERT_TRUE(dlg.StorePages());
  EXPECT_EQ(setup.RasConnexion, "Modem");
  EXPECT_EQ(Ini("Ras", "Connexion"), "Modem");
  EXPECT_EQ(Ini("Ras", "UseRas"), "1");
}

TEST_F(DlgSetupTest, ScreenShots) {
  TDlgSetup dlg(setup);
  dlg.resize(440, 380);
  for (int tag = TDlgSetup::kFirstTag; tag <= TDlgSetup::kLastTag; ++tag) {
    dlg.SelectPage(tag);
    EXPECT_TRUE(test::SaveScreenShot(dlg, QStringLiteral("DlgSetup-%1").arg(tag)));
  }
}

}  // namespace
}  // namespace qlon::shell
