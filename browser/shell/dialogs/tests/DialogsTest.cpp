#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <fstream>

#include "DlgFilter.h"
#include "DlgMime.h"
#include "DlgProfile.h"
#include "DlgText.h"
#include "MessageBox.h"
#include "Options.h"
#include "TempRoot.h"

namespace qlon::shell {
namespace {

using platform::IDNO;
using platform::IDYES;
using platform::ScriptedMessageBoxes;

TEST(DlgFilter, IpMasks) {
  EXPECT_TRUE(TDlgFilter::IsValidIpMask("203.000.113.???"));
  EXPECT_TRUE(TDlgFilter::IsValidIpMask(TDlgFilter::kDefaultIpMask));
  EXPECT_TRUE(TDlgFilter::IsValidIpMask("255.2?5.?99.?9?")) << "only all-digit groups are bounded";
  EXPECT_FALSE(TDlgFilter::IsValidIpMask("203.000.113.256"));
  EXPECT_FALSE(TDlgFilter::IsValidIpMask("203.000.113.25"));
  EXPECT_FALSE(TDlgFilter::IsValidIpMask("203.00.113.2555"));
  EXPECT_FALSE(TDlgFilter::IsValidIpMask("203.0a0.113.255"));
  EXPECT_FALSE(TDlgFilter::IsValidIpMask("203-000-113-255"));
  EXPECT_FALSE(TDlgFilter::IsValidIpMask(""));
}

TEST(DlgFilter, OkBuildsTheAddressTheFilterListUses) {
  ScriptedMessageBoxes boxes;
  TDlgFilter dlg;
  EXPECT_EQ(dlg.windowTitle(), "Ajouter...");
  dlg.DomainEdit->setText("*.ads.example");
  dlg.PathEdit->setText("banners/");
  ASSERT_TRUE(dlg.Validate());
  EXPECT_EQ(dlg.FilterUrl, "http://*.ads.example/banners/");
  TFilterList filters;
  filters.Add(dlg.FilterUrl, kFilterExcluded);
  EXPECT_TRUE(filters.IsExcluded("http://www.ads.example/banners/top.gif"));
  EXPECT_FALSE(filters.IsExcluded("http://www.ads.example/other/top.gif"));

  dlg.IPCheckBox->setChecked(true);
  dlg.IpEdit->setText("203.000.113.256");
  EXPECT_FALSE(dlg.Validate());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Erreur");
  EXPECT_EQ(boxes.shown[0].text, " \"203.000.113.256\" n'est pas un filtre ou une adresse IP valide");
  dlg.IpEdit->setText("203.000.113.???");
  dlg.PathEdit->setText("");
  ASSERT_TRUE(dlg.Validate());
  EXPECT_EQ(dlg.FilterUrl, "http://203.000.113.??" "?/");

  dlg.IPCheckBox->setChecked(false);
  dlg.DomainEdit->setText("bad host/x");
  EXPECT_FALSE(dlg.Validate());
}

TEST(DlgFilter, ChangingAFilterStartsFromIt) {
  TDlgFilter dlg("http://www.example.com/a/b.htm");
  EXPECT_EQ(dlg.windowTitle(), "Modifier...");
  EXPECT_EQ(dlg.DomainEdit->text(), "www.example.com");
  EXPECT_EQ(dlg.PathEdit->text(), "a/b.htm");
  TDlgFilter ip("http://010.000.000.??" "?/x/");
  EXPECT_TRUE(ip.IPCheckBox->isChecked());
  EXPECT_EQ(ip.IpEdit->text(), "010.000.000.???");
}

TEST(DlgMime, OkNeedsAnExtensionAndWritesOnlyThen) {
  ScriptedMessageBoxes boxes;
  TMimeList list;
  list.Clear();
  TMimeItem& item = *list.GetItem(list.AddType("image/png", "png", 0, mcImage, true));
  {
    TDlgMime dlg(item);
    EXPECT_EQ(dlg.ClassCb->currentIndex(), mcImage);
    ASSERT_EQ(dlg.ExtLB->count(), 1);
    dlg.ExtLB->setCurrentRow(0);
    dlg.DelExtClick();
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Rejected) << "stays open";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Vous devez précisez une extension pour la capture!");
    EXPECT_EQ(boxes.shown[0].caption, "Erreur");
    EXPECT_EQ(item.Extensions, "png");

    dlg.ExtEdit->setText(".PNG");
    dlg.AddExtClick();
    dlg.ExtEdit->setText("apng");
    dlg.AddExtClick();
    dlg.ExtEdit->setText("png");
    dlg.AddExtClick();  // already listed, in any case
    dlg.ExtEdit->setText("a,b");
    dlg.AddExtClick();  // would break the stored list
    dlg.TypeCombo->setEditText("image/x-png");
    dlg.ClassCb->setCurrentIndex(mcAutre);
    dlg.EnabledCheck->setChecked(false);
    dlg.reject();
    EXPECT_EQ(item.ContentType, "image/png") << "a cancelled dialog changes nothing";
    dlg.accept();
  }
  EXPECT_EQ(item.ContentType, "image/x-png");
  EXPECT_EQ(item.Extensions, "PNG,apng");
  EXPECT_EQ(item.Category, mcAutre);
  EXPECT_EQ(item.Params.Disabled, 1);
  EXPECT_EQ(item.Owner, &list);
  EXPECT_FALSE(TDlgMime::KnownContentTypes().isEmpty());
}

class ProfileDialog : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return dir.path() / "profiles.ini"; }
  std::string Ini() const {
    std::ifstream in(File());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  test::TempDir dir;
  TOptions current;
};

TEST_F(ProfileDialog, SaveNamesListsAndAsksBeforeOverwriting) {
  TProfileList profiles(File());
  const int presets = int(profiles.GetProfileNames().size());
  TDlgProfileList dlg(profiles, current);
  EXPECT_EQ(dlg.windowTitle(), "Liste des configurations...");
  EXPECT_EQ(dlg.ProfileList->count(), presets);

  ScriptedMessageBoxes boxes({IDNO});
  std::string answer = "Mon site";
  dlg.AskName = [&](std::string& name) {
    name = answer;
    return true;
  };
  current.MaxFileCount = 77;
  ASSERT_TRUE(dlg.SaveClick());
  EXPECT_TRUE(boxes.shown.empty()) << "a new name is not asked about";
  EXPECT_NE(Ini().find("[Mon site]"), std::string::npos);
  ASSERT_EQ(dlg.ProfileList->count(), presets + 1);
  EXPECT_FALSE(dlg.ProfileList->findItems("Mon site", Qt::MatchExactly).isEmpty());

  current.MaxFileCount = 5;
  answer = "mon SITE";
  EXPECT_FALSE(dlg.SaveClick()) << "No keeps the saved one";
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Voulez-vous écraser la configuration-type \"mon SITE\" ?");
  TOptions loaded;
  ASSERT_TRUE(profiles.LoadProfile(&loaded, "Mon site"));
  EXPECT_EQ(loaded.MaxFileCount, 77);
  boxes.Answer(IDYES);
  answer = "Mon site";
  EXPECT_TRUE(dlg.SaveClick());
  ASSERT_TRUE(profiles.LoadProfile(&loaded, "Mon site"));
  EXPECT_EQ(loaded.MaxFileCount, 5);

  // Delete asks, and No keeps it.
  dlg.ProfileList->setCurrentItem(dlg.ProfileList->findItems("Mon site", Qt::MatchExactly).value(0));
  boxes.Answer(IDNO);
  dlg.DeleteClick();
  EXPECT_EQ(dlg.ProfileList->count(), presets + 1);
  EXPECT_EQ(boxes.shown.back().text, "Voulez-vous supprimer la configuration-type \"Mon site\" ?");
  boxes.Answer(IDYES);
  dlg.DeleteClick();
  EXPECT_EQ(dlg.ProfileList->count(), presets);
  EXPECT_EQ(Ini().find("[Mon site]"), std::string::npos);
}

TEST_F(ProfileDialog, SavingCreatesAMissingFileAndRefusesBadNames) {
  TProfileList profiles(File());
  std::filesystem::remove(File());
  TDlgProfileList dlg(profiles, current);
  EXPECT_EQ(dlg.ProfileList->count(), 0);
  dlg.AskName = [](std::string& name) {
    name = "Neuf";
    return true;
  };
  ASSERT_TRUE(dlg.SaveClick());
  EXPECT_NE(Ini().find("[Neuf]"), std::string::npos);
  dlg.AskName = [](std::string& name) {
    name = "a]b";
    return true;
  };
  EXPECT_FALSE(dlg.SaveClick());
  dlg.AskName = [](std::string&) { return false; };  // cancelled
  const std::string before = Ini();
  EXPECT_FALSE(dlg.SaveClick());
  EXPECT_EQ(Ini(), before);

  EXPECT_FALSE(TDlgNameProfile::IsValidName("   "));
  EXPECT_TRUE(TDlgNameProfile::IsValidName("Tout le site 2"));
}

TEST(DlgNameAndText, OkReturnsTheTextCancelKeepsIt) {
  TDlgNameProfile name;
  EXPECT_EQ(name.windowTitle(), "Enregistrer la configuration actuelle...");
  QTimer::singleShot(0, &name, [&] {
    name.NameEdit->setText("  Essai ");
    name.accept();
  });
  std::string got;
  ASSERT_TRUE(name.Execute(got));
  EXPECT_EQ(got, "Essai");

  std::string text = "avant";
  TDlgText dlg(text);
  EXPECT_EQ(dlg.windowTitle(), "Modifier...");
  QTimer::singleShot(0, &dlg, [&] {
    dlg.TextEdit->setText("après");
    dlg.reject();
  });
  EXPECT_FALSE(dlg.Execute(text));
  EXPECT_EQ(text, "avant");
  QTimer::singleShot(0, &dlg, [&] {
    dlg.TextEdit->setText("après");
    dlg.accept();
  });
  EXPECT_TRUE(dlg.Execute(text));
  EXPECT_EQ(text, "après");
}

}  // namespace
}  // namespace qlon::shell
