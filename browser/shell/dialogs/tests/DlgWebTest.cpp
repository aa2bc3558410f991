#include "DlgWeb.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <fstream>

#include "DlgFilter.h"
#include "DlgMime.h"
#include "FiltersView.h"
#include "MessageBox.h"
#include "MimeTree.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Texts.h"
#include "CaptureFixture.h"
#include "Web.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;
using platform::ScriptedMessageBoxes;

using test::WorkFolder;

QByteArray OptionBytes(const TOptions& options) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  options.SaveToStream(buffer, kWebFileVersion);
  return buffer.data();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DlgWebTest : public ::testing::Test {
 protected:
  DlgWebTest()
      : prompt((root.path() / "work").string()),
        setup((fs::create_directories(root.path() / "program"), &prompt), root.path() / "program") {}
  void OpenWeb() {
    fs::create_directories(root.path() / "cap");
    web.CreateNew(root.path() / "cap" / "local.web");
    web.SetTitle("Ancien");
    web.StartEntries.push_back({"http://old.example/", "u", "p", ""});
    web.Options.SetDefault(0);
    web.Options.MaxFileCount = 12;
    web.Options.MaxTime = 30;
    web.Options.RealLinkFlag = true;
    web.Options.Filters().Clear();
    web.Options.Filters().Add("http://ads.example/", kFilterExcluded);
  }
  ~DlgWebTest() override { web.Close(); }

  test::TempRoot root;
  WorkFolder prompt;
  TSetup setup;
  TWeb web;
};

TEST_F(DlgWebTest, CheckUrlTextRefusesWhatCannotStartACapture) {
  EXPECT_EQ(TDlgWeb::CheckUrlText(""), 0);
  EXPECT_EQ(TDlgWeb::CheckUrlText("http://www."), 0);
  EXPECT_EQ(TDlgWeb::CheckUrlText("www.example.com"), 2);
  EXPECT_EQ(TDlgWeb::CheckUrlText("gopher://example.com/"), 2);
  EXPECT_EQ(TDlgWeb::CheckUrlText("https://example.com/"), 2);
  EXPECT_EQ(TDlgWeb::CheckUrlText("http://"), 3);
  EXPECT_EQ(TDlgWeb::CheckUrlText("http://exa mple.com/"), 5);
  EXPECT_EQ(TDlgWeb::CheckUrlText("http://example.com/a\"b"), 5);
  EXPECT_EQ(TDlgWeb::CheckUrlText("http://example.com/"), 1);
  EXPECT_EQ(TDlgWeb::CheckUrlText("FTP://ftp.example.com/pub/"), 1);
  EXPECT_EQ(TDlgWeb::CheckUrlText("file:///tmp/page.htm"), 1);
}

TEST_F(DlgWebTest, NewWebGoesPageByPageOnlyFromAnAcceptedAddress) {
  ScriptedMessageBoxes boxes;
  TDlgWeb dlg(setup);
  EXPECT_EQ(dlg.windowTitle(), "Configuration de la Capture");
  EXPECT_EQ(dlg.TitleLine->text(), "Nouveau Web : ");
  EXPECT_EQ(dlg.CurrentPage(), TDlgWeb::pgUrl);
  EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText(), "http://www.");
  EXPECT_FALSE(dlg.PrevBtn->isEnabled());

  EXPECT_FALSE(dlg.NextPage());
  EXPECT_EQ(dlg.CurrentPage(), TDlgWeb::pgUrl);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Erreur dans l'Url");
  EXPECT_EQ(boxes.shown[0].text, std::string(TextAt(kUrlCheckMessages, 0)));
  EXPECT_FALSE(dlg.GoToPage(TDlgWeb::pgFilters)) << "the page list is held too";

  // Typed whole after the field's first text, the address is taken as typed.
  QLineEdit* address = dlg.Pages.Url->UrlCombo->lineEdit();
  address->end(false);
  QTest::keyClicks(address, "http://site.example/start/");
  EXPECT_EQ(address->text(), "http://www.http://site.example/start/");
  for (int page = 1; page < TDlgWeb::kPageCount; ++page) {
    ASSERT_TRUE(dlg.NextPage());
    EXPECT_EQ(dlg.CurrentPage(), page);
    EXPECT_EQ(dlg.PageList->currentRow(), page);
  }
  EXPECT_FALSE(dlg.NextBtn->isEnabled());
  EXPECT_FALSE(dlg.NextPage());
  ASSERT_TRUE(dlg.GoToPage(TDlgWeb::pgMime));
  EXPECT_EQ(dlg.HintLabel->text(), QString::fromUtf8("Les types de documents à rapatrier."));
  EXPECT_TRUE(dlg.PrevPage());
  EXPECT_EQ(dlg.CurrentPage(), TDlgWeb::pgExplore);
  EXPECT_EQ(boxes.shown.size(), 2u) << "only the two refusals";

  // The accepted address went into the history file, first.
  EXPECT_EQ(ReadText(fs::path(setup.WorkPath) / "uhistory.lst"), "http://site.example/start/\r\n");
  TDlgWeb again(setup);
  EXPECT_EQ(again.Pages.Url->UrlCombo->currentText(), "http://site.example/start/");
}

// A numeric address, localhost or a "www." typed after the field's
// "http://www." loses the prefix's "www."; a name keeps it.
TEST_F(DlgWebTest, ANumericAddressTypedAfterThePrefixIsNotGivenItsWww) {
  TDlgWeb dlg(setup);
  QLineEdit* address = dlg.Pages.Url->UrlCombo->lineEdit();
  const std::pair<const char*, const char*> cases[] = {
      {"127.0.0.1:18631/index.html", "http://127.0.0.1:18631/index.html"},
      {"localhost/doc/", "http://localhost/doc/"},
      {"[::1]:8080/", "http://[::1]:8080/"},
      {"www.site.example/", "http://www.site.example/"},
      {"site.example/", "http://www.site.example/"},
      {"127.0.0.1.example/", "http://www.127.0.0.1.example/"},
  };
  for (const auto& [typed, taken] : cases) {
    dlg.Pages.Url->UrlCombo->setEditText("http://www.");
    address->end(false);
    QTest::keyClicks(address, typed);
    ASSERT_TRUE(dlg.CheckStartUrl()) << typed;
    EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText(), taken) << typed;
  }
}

TEST_F(DlgWebTest, HistoryKeepsFortyAddressesMostRecentFirst) {
  TDlgWeb dlg(setup);
  for (int k = 0; k < 45; ++k) {
    dlg.Pages.Url->UrlCombo->setEditText(QString("http://h%1.example/").arg(k));
    ASSERT_TRUE(dlg.CheckStartUrl());
  }
  dlg.Pages.Url->UrlCombo->setEditText("http://h10.example/");
  ASSERT_TRUE(dlg.CheckStartUrl());
  ASSERT_EQ(dlg.History().size(), 40);
  EXPECT_EQ(dlg.History().front(), "http://h10.example/");
  EXPECT_EQ(dlg.History().count("http://h10.example/"), 1);
  EXPECT_EQ(dlg.History()[1], "http://h44.example/");
  TDlgWeb reread(setup);
  EXPECT_EQ(reread.History(), dlg.History());
}

TEST_F(DlgWebTest, LoadingAndOkWithoutEditsKeepEveryOption) {
  OpenWeb();
  web.Options.ExternalWebDepth = 3;
  web.Options.CheckDomainMachineFlag = true;
  web.Options.MinFileSize = 4;
  web.Options.DownLoadAppletJavaFlag = true;
  web.Options.NewMimeValidStateFlag = true;
  web.Options.ProfileName = std::string(kPresetNames[0]);
  const QByteArray before = OptionBytes(web.Options);
  TDlgWeb dlg(setup);
  dlg.LoadWeb(&web);
  EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText(), "http://old.example/");
  EXPECT_EQ(dlg.Pages.Path->PathEdit->text().toStdString(), (root.path() / "cap").string() + "/");
  EXPECT_TRUE(dlg.Pages.Limits->MaxFileCountCheck->isChecked());
  EXPECT_FALSE(dlg.Pages.Limits->MaxDiskSizeCheck->isChecked());
  EXPECT_FALSE(dlg.Pages.Limits->MaxDiskSizeEdit->isEnabled());
  EXPECT_FALSE(dlg.Pages.Explore->DomainMachineNotCheck->isChecked());
  ASSERT_TRUE(dlg.OKClick());
  EXPECT_EQ(OptionBytes(web.Options), before);
  ASSERT_EQ(web.StartEntries.size(), 1u);
  EXPECT_EQ(web.StartEntries[0].User, "u");
}

TEST_F(DlgWebTest, OkWritesTheControlsIntoTheCapture) {
  OpenWeb();
  bool started = false;
  TDlgWeb dlg(setup);
  dlg.OnStartCapture = [&] { started = true; };
  dlg.LoadWeb(&web);
  dlg.Pages.Url->UrlCombo->setEditText("http://new.example/docs/");
  dlg.Pages.Url->UserNameEdit->setText("moi");
  dlg.Pages.Url->PasswordEdit->setText("secret");
  dlg.Pages.Url->TitleEdit->setText("Nouveau titre");
  dlg.Pages.Path->UseShortNameCheck->setChecked(true);
  dlg.Pages.Path->UseWebStructureCheck->setChecked(false);
  dlg.Pages.Limits->MaxFileCountCheck->setChecked(false);
  dlg.Pages.Limits->MaxDiskSizeCheck->setChecked(true);
  dlg.Pages.Limits->MaxDiskSizeEdit->setValue(250);
  dlg.Pages.Other->MaxTimeCheck->setChecked(false);
  dlg.Pages.Explore->InternalLinkDepthUpDown->setValue(7);
  dlg.Pages.Explore->DomainMachineNotCheck->setChecked(false);
  dlg.Pages.Other->RealLinkCheck->setChecked(false);
  dlg.Pages.Other->VignetteCheck->setChecked(true);
  // MIME page: no images.
  controls::TWTreeNode* images = dlg.Pages.Mime->WMimeList->Root()->Child(mcImage);
  dlg.Pages.Mime->WMimeList->Model().SelectNode(images);
  dlg.Pages.Mime->WMimeList->ToggleCheck();
  // Filter page: a filter added through its dialog.
  dlg.RunDialog = [](QDialog& d) {
    auto* filter = qobject_cast<TDlgFilter*>(&d);
    if (!filter) return false;
    filter->DomainEdit->setText("new.example");
    filter->PathEdit->setText("private/");
    return filter->Validate();
  };
  dlg.FilterAddClick();

  ASSERT_TRUE(dlg.OKClick(true));
  EXPECT_TRUE(dlg.CaptureRequested);
  EXPECT_TRUE(started);
  ASSERT_EQ(web.StartEntries.size(), 1u);
  EXPECT_EQ(web.StartEntries[0].Url, "http://new.example/docs/");
  EXPECT_EQ(web.StartEntries[0].User, "moi");
  EXPECT_EQ(web.StartEntries[0].Password, "secret");
  EXPECT_EQ(web.GetTitle(), "Nouveau titre");
  EXPECT_EQ(dlg.CaptureFile(), root.path() / "cap" / "local.web");
  const TOptions& o = web.Options;
  EXPECT_EQ(o.MaxFileCount, 0) << "an unchecked limit is stored as 0";
  EXPECT_EQ(o.MaxDiskSize, 250);
  EXPECT_EQ(o.MaxTime, 0);
  EXPECT_EQ(o.InternalLinkDepth, 7);
  EXPECT_TRUE(o.CheckDomainMachineFlag);
  EXPECT_FALSE(o.RealLinkFlag);
  EXPECT_TRUE(o.VignetteFlag);
  EXPECT_TRUE(o.ShortFileNameFlag);
  EXPECT_FALSE(o.UseWebStructureFlag);
  EXPECT_FALSE(o.MimeList().GetCategoryEnabled(mcImage));
  EXPECT_TRUE(o.Filters().IsExcluded("http://new.example/private/a.htm"));
  EXPECT_TRUE(o.Filters().IsExcluded("http://ads.example/x.gif"));
  EXPECT_TRUE(setup.UseShortName);
  EXPECT_FALSE(setup.UseWebStructure);
}

TEST_F(DlgWebTest, CancelAndRefusedAddressLeaveTheCaptureAlone) {
  OpenWeb();
  ScriptedMessageBoxes boxes;
  const QByteArray before = OptionBytes(web.Options);
  TDlgWeb dlg(setup);
  dlg.LoadWeb(&web);
  dlg.Pages.Limits->MaxFileCountCheck->setChecked(false);
  dlg.Pages.Filters->FiltersTreeView->AddFilterPath("http://other.example/", true);
  dlg.Pages.Mime->WMimeList->EnableAllCategories();
  dlg.Pages.Url->TitleEdit->setText("Changé");
  dlg.CancelClick();
  EXPECT_EQ(OptionBytes(web.Options), before);
  EXPECT_EQ(web.GetTitle(), "Ancien");

  dlg.LoadWeb(&web);
  dlg.GoToPage(TDlgWeb::pgLimits);
  dlg.Pages.Url->UrlCombo->setEditText("news.example");
  dlg.Pages.Url->TitleEdit->setText("Changé");
  EXPECT_FALSE(dlg.OKClick());
  EXPECT_EQ(dlg.CurrentPage(), TDlgWeb::pgUrl) << "a refused address shows the first page";
  EXPECT_EQ(boxes.shown.back().text, std::string(TextAt(kUrlCheckMessages, 2)));
  EXPECT_EQ(web.GetTitle(), "Ancien");
  EXPECT_EQ(web.StartEntries[0].Url, "http://old.example/");
}

TEST_F(DlgWebTest, StructureIsFixedOnceTheCaptureHoldsFiles) {
  OpenWeb();
  web.Options.UseWebStructureFlag = true;
  web.RetrievedCount = 3;
  TDlgWeb dlg(setup);
  dlg.LoadWeb(&web);
  EXPECT_FALSE(dlg.Pages.Path->UseWebStructureCheck->isEnabled());
  dlg.Pages.Path->UseWebStructureCheck->setChecked(false);
  ASSERT_TRUE(dlg.OKClick());
  EXPECT_TRUE(web.Options.UseWebStructureFlag);
}

TEST_F(DlgWebTest, ASavedCaptureKeepsItsFolderAndItsOtherStartEntries) {
  OpenWeb();
  web.StartEntries.push_back({"http://old.example/more/", "", "", ""});
  web.StartEntries.push_back({"http://other.example/", "", "", ""});
  ScriptedMessageBoxes boxes;
  TDlgWeb dlg(setup);
  dlg.LoadWeb(&web);
  EXPECT_TRUE(dlg.Pages.Path->PathEdit->isReadOnly());
  EXPECT_FALSE(dlg.Pages.Path->BrowseBtn->isEnabled());
  EXPECT_FALSE(dlg.Pages.Path->FixedLabel->isHidden());
  // The page edits the first entry; an entry that becomes a copy of it goes.
  dlg.Pages.Url->UrlCombo->setEditText("http://other.example/");
  ASSERT_TRUE(dlg.OKClick());
  ASSERT_EQ(web.StartEntries.size(), 2u);
  EXPECT_EQ(web.StartEntries[0].Url, "http://other.example/");
  EXPECT_EQ(web.StartEntries[1].Url, "http://old.example/more/");
  EXPECT_TRUE(boxes.shown.empty());

  // A folder set behind the field's back is refused, nothing written.
  dlg.Pages.Url->TitleEdit->setText("Ailleurs");
  dlg.Pages.Path->PathEdit->setText(QString::fromStdString((root.path() / "dest").string()));
  EXPECT_FALSE(dlg.OKClick());
  EXPECT_EQ(dlg.CurrentPage(), TDlgWeb::pgPath);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find("Déplacer"), std::string::npos);
  EXPECT_EQ(web.GetTitle(), "Ancien");
  EXPECT_EQ(web.GetFolder(), (root.path() / "cap").string() + "/");
}

TEST_F(DlgWebTest, ANewWebsFolderFollowsItsAddressUntilTheUserEditsIt) {
  const std::string base = setup.WebPath;
  ASSERT_FALSE(base.empty());
  TDlgWeb dlg(setup);
  dlg.Pages.Url->UrlCombo->setEditText("http://www.example.org/docs/manual/");
  EXPECT_EQ(dlg.Pages.Path->PathEdit->text().toStdString(), base + "manual/");
  dlg.Pages.Url->UrlCombo->setEditText("http://www.example.org/");
  EXPECT_EQ(dlg.Pages.Path->PathEdit->text().toStdString(), base + "EXAMPLE/");
  // A folder that holds something is not offered: a number follows.
  fs::create_directories(fs::path(base) / "EXAMPLE");
  std::ofstream(fs::path(base) / "EXAMPLE" / "local.web") << "x";
  fs::create_directories(fs::path(base) / "EXAMPLE (2)");  // empty: offered
  EXPECT_EQ(TDlgWeb::DefaultFolder(base, "http://www.example.org/"), base + "EXAMPLE (2)/");
  // Names from addresses are made clean; an address without one gives "Web".
  EXPECT_EQ(TDlgWeb::DefaultFolder(base, "http://h.example/a:b/"), base + "a_b/");
  EXPECT_EQ(TDlgWeb::DefaultFolder(base, ""), base + "Web/");

  // Typed by the user, the folder stays.
  dlg.Pages.Path->PathEdit->setFocus();
  QTest::keyClicks(dlg.Pages.Path->PathEdit, "x");
  dlg.Pages.Url->UrlCombo->setEditText("http://www.example.org/docs/manual/");
  EXPECT_EQ(dlg.Pages.Path->PathEdit->text().toStdString(), base + "EXAMPLE/x");
  // A new web starts following again.
  dlg.LoadWeb(nullptr);
  dlg.Pages.Url->UrlCombo->setEditText("http://www.example.org/docs/manual/");
  EXPECT_EQ(dlg.Pages.Path->PathEdit->text().toStdString(), base + "manual/");
}

TEST_F(DlgWebTest, ChoosingAProfileLoadsItIntoTheWorkingOptions) {
  ASSERT_TRUE(setup.Profiles);
  TOptions saved;
  saved.SetDefault(0);
  saved.MaxFileSize = 321;
  saved.DownloadVrmlFlag = true;
  ASSERT_TRUE(setup.Profiles->SaveProfile(saved, "Essai"));
  TDlgWeb dlg(setup);
  EXPECT_GE(dlg.Pages.Profile->DefaultCombo->findText("Essai"), 0);
  dlg.ChooseProfile("Essai");
  EXPECT_EQ(dlg.Pages.Profile->DefaultCombo->currentText(), "Essai");
  EXPECT_EQ(dlg.Pages.Limits->MaxFileSizeEdit->value(), 321);
  EXPECT_TRUE(dlg.Pages.Other->DownLoadVrmlCheck->isChecked());
  EXPECT_EQ(dlg.WorkingOptions().MaxFileSize, 321);
}

TEST_F(DlgWebTest, TextFileOfAddressesBecomesAnEscapedStartPage) {
  const fs::path list = root.path() / "liens.txt";
  std::ofstream(list) << "voir http://a.example/x.htm et\nftp://f.example/pub/ puis "
                         "http://b.example/?q=<script>alert(1)</script>\n";
  const fs::path page = TDlgWeb::MakeUrlPage(list);
  ASSERT_EQ(page, root.path() / "liens.htm");
  const std::string html = ReadText(page);
  EXPECT_EQ(html.rfind("<html>\r\n<body>\r\n<title>liens.txt</title><br>\r\n<h2>liens.txt<h2><br>\r\n", 0), 0u);
  EXPECT_NE(html.find("<a href=\"http://a.example/x.htm\">http://a.example/x.htm</a><br>\r\n"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"ftp://f.example/pub/\">"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 16), "</body>\r\n</html>");

  // Through the button: the page made above is the user's now, so the
  // new one takes a free name.
  test::WriteFileBytes(page, "<html>mine</html>");
  ScriptedMessageBoxes boxes({platform::IDYES, platform::IDYES});
  TDlgWeb dlg(setup);
  dlg.AskUrlFile = [&] { return QString::fromStdString(list.string()); };
  QTest::mouseClick(dlg.Pages.Url->OpenUrlButton, Qt::LeftButton);
  EXPECT_EQ(boxes.shown.at(0).caption, "Analyse du fichier texte");
  const fs::path made = root.path() / "lien1.htm";
  EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText().toStdString(), "file://" + made.string());
  EXPECT_EQ(TDlgWeb::CheckUrlText(dlg.Pages.Url->UrlCombo->currentText().toStdString()), 1);
  EXPECT_EQ(ReadText(page), "<html>mine</html>");
  EXPECT_EQ(ReadText(made), html);

  const fs::path empty = root.path() / "vide.txt";
  std::ofstream(empty) << "rien ici\n";
  dlg.OpenUrlFile(empty);
  EXPECT_EQ(boxes.shown.back().text, "Ce fichier texte ne contient pas d'urls ou ne peut être lu par Quillon!");
  EXPECT_FALSE(fs::exists(root.path() / "vide.htm"));
}

TEST_F(DlgWebTest, TypesPageAddsThroughItsDialogAndDeletesOnlyFreeTypes) {
  TDlgWeb dlg(setup);
  TMimeList& list = dlg.WorkingOptions().MimeList();
  list.Clear();
  const int builtIn = list.AddType("text/html", "htm", kMimeBuiltIn, mcHtml, true);
  dlg.Pages.Mime->WMimeList->Rebuild();
  dlg.RunDialog = [](QDialog& d) {
    auto* mime = qobject_cast<TDlgMime*>(&d);
    if (!mime) return false;
    mime->TypeCombo->setEditText("video/x-test");
    mime->ExtEdit->setText("xtv");
    mime->AddExtClick();
    mime->ClassCb->setCurrentIndex(mcVideo);
    mime->accept();
    return mime->result() == QDialog::Accepted;
  };
  dlg.MimeAddClick();
  TMimeItem* added = list.FindType("video/x-test");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Category, mcVideo);
  EXPECT_EQ(dlg.Pages.Mime->WMimeList->GetSelectedMimeItem(), added);
  dlg.MimeDeleteClick();
  EXPECT_EQ(list.FindType("video/x-test"), nullptr);

  controls::TWTreeNode* html = dlg.Pages.Mime->WMimeList->Root()->Child(mcHtml)->Child(0);
  html->ExpandWithParents();
  dlg.Pages.Mime->WMimeList->Model().SelectNode(html);
  dlg.MimeDeleteClick();
  EXPECT_EQ(list.GetItem(builtIn)->ContentType, "text/html") << "a built-in type stays";
}

TEST_F(DlgWebTest, TheTreeButtonsFollowTheSelectedNode) {
  OpenWeb();
  TDlgWeb dlg(setup);
  dlg.LoadWeb(&web);
  dlg.resize(600, 400);
  dlg.show();
  ASSERT_TRUE(dlg.GoToPage(TDlgWeb::pgMime));
  // A category: nothing to edit or delete.
  dlg.Pages.Mime->WMimeList->Model().SelectNode(dlg.Pages.Mime->WMimeList->Root()->Child(mcHtml));
  QTest::keyClick(dlg.Pages.Mime->WMimeList, Qt::Key_Home);
  EXPECT_FALSE(dlg.Pages.Mime->MimePropBtn->isEnabled());
  EXPECT_FALSE(dlg.Pages.Mime->MimeDeleteBtn->isEnabled());
  // A type: its properties; its deletion only when nothing holds it.
  dlg.Pages.Mime->WMimeList->Root()->Child(mcHtml)->Child(0)->ExpandWithParents();
  QTest::keyClick(dlg.Pages.Mime->WMimeList, Qt::Key_Home);
  QTest::keyClick(dlg.Pages.Mime->WMimeList, Qt::Key_Down);
  ASSERT_NE(dlg.Pages.Mime->WMimeList->GetSelectedMimeItem(), nullptr);
  EXPECT_TRUE(dlg.Pages.Mime->MimePropBtn->isEnabled());
  EXPECT_EQ(dlg.Pages.Mime->MimeDeleteBtn->isEnabled(), dlg.Pages.Mime->WMimeList->GetSelectedMimeItem()->CanDelete());

  // The filters: a node to change once one is chosen; none after all are gone.
  ASSERT_TRUE(dlg.GoToPage(TDlgWeb::pgFilters));
  QTest::keyClick(dlg.Pages.Filters->FiltersTreeView, Qt::Key_Home);
  EXPECT_TRUE(dlg.Pages.Filters->FilterEditBtn->isEnabled());
  EXPECT_TRUE(dlg.Pages.Filters->FilterDeleteBtn->isEnabled());
  dlg.FilterClearClick();
  EXPECT_FALSE(dlg.Pages.Filters->FilterEditBtn->isEnabled());
  EXPECT_FALSE(dlg.Pages.Filters->FilterDeleteBtn->isEnabled());
}

TEST_F(DlgWebTest, TheBrowsersAddressIsOfferedOnlyWhileABrowserTellsIt) {
  TDlgWeb dlg(setup);
  std::string page;  // what the browser shows; empty: no browser answers
  dlg.BrowserCurrentPage = [&](std::string& address, std::string& title) {
    address = page;
    title = "Page du navigateur";
    return !page.empty();
  };
  dlg.LoadWeb(nullptr);
  EXPECT_FALSE(dlg.Pages.Url->BrowserUrlBut->isEnabled());
  EXPECT_FALSE(dlg.Pages.Url->BrowserUrlBut->toolTip().isEmpty()) << "a hint says why";
  page = "http://vu.example/page.htm";
  dlg.Pages.Url->UrlCombo->setEditText("http://site.example/");
  ASSERT_TRUE(dlg.GoToPage(TDlgWeb::pgPath));
  ASSERT_TRUE(dlg.GoToPage(TDlgWeb::pgUrl));  // shown again: asked again
  ASSERT_TRUE(dlg.Pages.Url->BrowserUrlBut->isEnabled());
  dlg.Pages.Url->BrowserUrlBut->click();
  EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText().toStdString(), page);
  EXPECT_EQ(dlg.Pages.Url->TitleEdit->text(), "Page du navigateur");
  // The browser went meanwhile: the click changes nothing, the button goes grey.
  page.clear();
  dlg.Pages.Url->UrlCombo->setEditText("http://autre.example/");
  dlg.Pages.Url->BrowserUrlBut->click();
  EXPECT_EQ(dlg.Pages.Url->UrlCombo->currentText(), "http://autre.example/");
  EXPECT_FALSE(dlg.Pages.Url->BrowserUrlBut->isEnabled());
}

}  // namespace
}  // namespace qlon::shell
