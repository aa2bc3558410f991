// The URL list's popup menus and their commands, on a capture with files.
#include "UrlCommands.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "CaptureFixture.h"
#include "CopyDialog.h"
#include "DlgUrlProp.h"
#include "DlgWeb.h"
#include "MenusEx.h"
#include "MessageBox.h"
#include "Setup.h"
#include "StringTree.h"
#include "Urlutil.h"
#include "Utils.h"
#include "WUrlList.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using platform::ScriptedMessageBoxes;
using test::CaptureFixture;
using test::ReadFileBytes;
using test::WorkFolder;

class FakeHost : public IUrlCommandsHost {
 public:
  TSetup& Setup() override { return *setup; }
  void SearchFor(const std::string& text, int kind) override {
    if (failSearch) throw std::runtime_error("lecture impossible");
    searches.push_back({text, kind});
  }
  void OpenInBrowser(const std::string& address) override { opened.push_back(address); }
  void RunCapture(uint16_t flags, const std::vector<std::string>& urls) override {
    captureFlags = flags;
    captured.push_back(urls);
  }
  void SelectTreePage(int tag) override { pages.push_back(tag); }
  void RefreshState() override { ++refreshes; }
  bool AcceptNewWebFolder(shell::TDlgWeb& dlg) override {
    offered.push_back(dlg.CaptureFolder());
    if (acceptFolder) fs::create_directories(dlg.CaptureFolder());
    return acceptFolder;
  }
  void AddRecentWeb(const fs::path& file) override { recent.push_back(file); }
  void ShowPreview(const std::string& url, const std::string&) override { previews.push_back(url); }
  void RestartPreview() override { ++previewRestarts; }
  void WebOptionsChanged() override { ++optionChanges; }

  std::unique_ptr<TSetup> setup;
  std::vector<std::pair<std::string, int>> searches;
  std::vector<std::string> opened, offered, previews;
  bool acceptFolder = true;
  std::vector<std::vector<std::string>> captured;
  uint16_t captureFlags = 0;
  std::vector<int> pages;
  std::vector<fs::path> recent;
  int refreshes = 0, previewRestarts = 0, optionChanges = 0;
  bool failSearch = false;
};

std::vector<QString> Captions(const QMenu& menu) {
  std::vector<QString> out;
  for (QAction* a : menu.actions())
    if (!a->isSeparator()) out.push_back(a->text());
  return out;
}
std::vector<int> Tags(const QMenu& menu) {
  std::vector<int> out;
  for (QAction* a : menu.actions())
    if (!a->isSeparator() && !a->menu()) out.push_back(a->data().toInt());
  return out;
}
int EnabledCount(const QMenu& menu) {
  int n = 0;
  for (QAction* a : menu.actions()) n += !a->isSeparator() && a->isEnabled();
  return n;
}
QAction* Item(const QMenu& menu, const QString& caption) {
  for (QAction* a : menu.actions())
    if (a->text() == caption) return a;
  return nullptr;
}
QAction* Named(const QMenu& menu, const QString& name) {
  for (QAction* a : menu.actions())
    if (a->objectName() == name) return a;
  return nullptr;
}
void Open(QMenu& menu) { emit menu.aboutToShow(); }

class UrlCommandsTest : public ::testing::Test, public CaptureFixture {
 protected:
  UrlCommandsTest() : grid(usHtml, usFiltered), cmds(grid, host) {
    grid.resize(600, 300);
    grid.SetWeb(&web);
    grid.SortByColumn(0);  // a.htm, b.htm, c.htm, now.htm
    cmds.AskFolder = [this](const QString& caption, const QString& start) {
      askedFolder.push_back({caption, start});
      return folderAnswer;
    };
    cmds.AskSaveFile = [this](const QString& caption, const QString& preset) {
      askedFile.push_back({caption, preset});
      return fileAnswer;
    };
    cmds.AskPrinter = [this] { return printerAnswer; };
    cmds.RunPrint = [this](const QString& title, const QStringList& files) { prints.push_back({title, files}); };
    cmds.RunVignettes = [this](TWeb&, std::optional<std::vector<std::string>> urls) { thumbs.push_back(urls); };
    cmds.MakeCopyView = [] { return std::unique_ptr<ICopyView>(); };
  }
  ~UrlCommandsTest() override { web.Close(); }

  std::string File(const std::string& name) const { return (Folder() / name).string(); }
  // Grid row of a URL of the fixture.
  int RowOf(const std::string& name) const { return grid.List().Find(Url(name)) + 1; }
  void Mark(std::initializer_list<const char*> names) {
    grid.ClearSelection();
    for (const char* name : names) {
      grid.SetRow(RowOf(name));
      grid.Invert();
      grid.ClearSelection();
    }
  }

  ScriptedMessageBoxes boxes;
  FakeHost host;
  TWUrlList grid;
  TUrlCommands cmds;
  QString folderAnswer, fileAnswer;
  bool printerAnswer = true;
  std::vector<std::pair<QString, QString>> askedFolder, askedFile;
  std::vector<std::pair<QString, QStringList>> prints;
  std::vector<std::optional<std::vector<std::string>>> thumbs;
};

// ---------------------------------------------------------------- menus

TEST_F(UrlCommandsTest, EachStyleHasItsMenusWithTheirItemsAndTags) {
  EXPECT_EQ(cmds.PopupForStyle(usHtml)->objectName(), "PagePopup");
  EXPECT_EQ(cmds.PopupForStyle(usImages)->objectName(), "ImagePopup");
  EXPECT_EQ(cmds.PopupForStyle(usErrors)->objectName(), "ErreurPopup");
  EXPECT_EQ(cmds.PopupForStyle(usFiltered)->objectName(), "FilteredPopup");
  for (TWUrlListStyle s : {usFile, usSound, usVideo}) {
    EXPECT_EQ(cmds.PopupForStyle(s)->objectName(), "UrlPopup");
    EXPECT_EQ(cmds.SelectionPopup(s)->objectName(), "UrlSelectionPopup");
    EXPECT_EQ(cmds.MarkedPopup(s)->objectName(), "UrlMarquagePopup");
  }
  EXPECT_EQ(cmds.SelectionPopup(usHtml)->objectName(), "PageSelectionPopup");
  EXPECT_EQ(cmds.MarkedPopup(usImages)->objectName(), "ImageMarquagePopup");

  EXPECT_EQ(Captions(*cmds.PagePopup),
            (std::vector<QString>{"&Charger cette page dans le navigateur...",
                                  "R&echercher les pages propriétaires de cette page...",
                                  "Créer un nouveau web à partir de cette page...", "Enregistrer la page sous...",
                                  "&Imprimer la page...", "Créer la vignette HTML...",
                                  "Générer toutes les vignettes des pages...", "&Propriétés..."}));
  EXPECT_EQ(Item(*cmds.PagePopup, "&Imprimer la page...")->shortcut(), QKeySequence("Ctrl+I"));
  EXPECT_EQ(Captions(*cmds.ImagePopup)[4], "C&opier dans le presse-papiers");
  EXPECT_EQ(Captions(*cmds.ErreurPopup), (std::vector<QString>{"&Rechercher les pages contenant cette erreur...",
                                                              "Créer un rapport d'erreurs...", "&Propriétés.."}));
  EXPECT_EQ(Tags(*cmds.UrlPopup), (std::vector<int>(5, 0)));
  EXPECT_EQ(Tags(*cmds.UrlSelectionPopup), (std::vector<int>{1, 1}));
  // "Générer toutes les vignettes" acts on all pages whatever the menu.
  EXPECT_EQ(Tags(*cmds.PageSelectionPopup), (std::vector<int>{1, 1, 1, 1, 0}));
  EXPECT_EQ(Tags(*cmds.PageMarquagePopup), (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(Captions(*cmds.ImageMarquagePopup),
            (std::vector<QString>{"Enregistrer les images marquées sous...", "Imprimer les images marquées"}));
  EXPECT_EQ(Captions(*cmds.UrlOptionsPopup),
            (std::vector<QString>{"&Colonne", "&Rafraîchir ", "&Affichage automatique de la dernière image capturée",
                                  "&Fenêtre d'aperçu"}));

  cmds.AttachToList();
  std::vector<QMenu*> opened;
  grid.OnPopupMenu = [&](QMenu* menu, QPoint) { opened.push_back(menu); };
  grid.show();
  grid.SetStyle(usErrors);
  QTest::mousePress(grid.viewport(), Qt::RightButton, {}, grid.CellRect(0, 1).center());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], cmds.ErreurPopup.get());
}

TEST_F(UrlCommandsTest, RowMenusAreDisabledOnAnEmptyList) {
  for (QMenu* menu : {static_cast<QMenu*>(cmds.UrlPopup.get()), static_cast<QMenu*>(cmds.PagePopup.get()),
                      static_cast<QMenu*>(cmds.ImagePopup.get()), static_cast<QMenu*>(cmds.ErreurPopup.get())}) {
    Open(*menu);
    EXPECT_EQ(EnabledCount(*menu), int(Captions(*menu).size())) << menu->objectName().toStdString();
  }
  grid.SetWeb(nullptr);
  cmds.RefreshPopups();
  for (QMenu* menu : {static_cast<QMenu*>(cmds.UrlPopup.get()), static_cast<QMenu*>(cmds.PagePopup.get()),
                      static_cast<QMenu*>(cmds.ImagePopup.get()), static_cast<QMenu*>(cmds.ErreurPopup.get()),
                      static_cast<QMenu*>(cmds.FilteredPopup.get())})
    EXPECT_EQ(EnabledCount(*menu), 0) << menu->objectName().toStdString();
  // Commands with no row do nothing.
  cmds.UpdateNow(0);
  cmds.SearchOwner();
  cmds.LoadUrl();
  EXPECT_TRUE(host.captured.empty());
  EXPECT_TRUE(host.searches.empty());
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(UrlCommandsTest, TheMarkingMenuFollowsTheMarks) {
  Open(*cmds.MarquagePopup);
  EXPECT_EQ(EnabledCount(*cmds.PageMarquagePopup), 0);
  EXPECT_EQ(cmds.MarquagePopup->actions().size(), 3);
  EXPECT_EQ(cmds.MarquagePopupInvert->text(), "Mettre une marque (barre d'espace)");

  cmds.MarkAll();
  EXPECT_EQ(grid.MarkedCount(), 4);
  EXPECT_EQ(EnabledCount(*cmds.PageMarquagePopup), 4);
  const QList<QAction*> items = cmds.MarquagePopup->actions();
  ASSERT_EQ(items.size(), 3 + 1 + 4);
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[3]->objectName(), "MarquagePopupExtMenu");
  EXPECT_EQ(items[4]->objectName(), "MarquagePopupExtMenu0");
  EXPECT_EQ(items[4]->text(), "&Réactualiser les pages marquées");
  EXPECT_EQ(items[7]->text(), "Créer les vignettes HTML à partir des pages marquées...");
  EXPECT_EQ(cmds.MarquagePopupInvert->text(), "Supprimer la marque (barre d'espace)");

  // A copy runs the marked-row command.
  items[4]->trigger();
  ASSERT_EQ(host.captured.size(), 1u);
  EXPECT_EQ(host.captured[0].size(), 4u);

  // Opening again does not pile up copies; two selected rows invert.
  grid.SelectRange(1, 2, 1);
  Open(*cmds.MarquagePopup);
  EXPECT_EQ(cmds.MarquagePopup->actions().size(), 8);
  EXPECT_EQ(cmds.MarquagePopupInvert->text(), "Inverser le marquage (barre d'espace)");

  Named(*cmds.MarquagePopup, "MarquagePopupCancel")->trigger();
  EXPECT_EQ(grid.MarkedCount(), 0);
  EXPECT_EQ(cmds.MarquagePopup->actions().size(), 3);
  EXPECT_EQ(EnabledCount(*cmds.PageMarquagePopup), 0);
  Named(*cmds.MarquagePopup, "MarquagePopupInvert")->trigger();
  EXPECT_EQ(grid.MarkedCount(), 2) << "the selected rows were marked";

  // The errors and filtered lists have no marks.
  grid.SetStyle(usErrors);
  cmds.MarkAll();
  EXPECT_EQ(grid.MarkedCount(), 0);
  EXPECT_EQ(cmds.MarquagePopup->actions().size(), 3);
}

TEST_F(UrlCommandsTest, TheColumnMenuHidesAndShowsColumnsOfTheGrid) {
  const auto ids = [&] {
    std::vector<int> out;
    for (const TColHeader& c : grid.Columns()) out.push_back(c.Id);
    return out;
  };
  ASSERT_EQ(ids(), (std::vector<int>{0, 1, 2, 5, 8}));
  grid.show();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(1, 2).center());
  ASSERT_EQ(grid.Col(), 1);
  Open(*cmds.OptionsMenuColonne);
  const std::vector<QString> captions = Captions(*cmds.OptionsMenuColonne);
  ASSERT_GE(captions.size(), 7u);
  EXPECT_EQ(captions[0], "Colonne");
  EXPECT_EQ(captions[1], "Ordre de tri &croissant");
  Item(*cmds.OptionsMenuColonne, "Supprimer la colonne")->trigger();
  EXPECT_EQ(ids(), (std::vector<int>{0, 2, 5, 8}));

  // Opening again shows the grid's items once.
  Open(*cmds.OptionsMenuColonne);
  EXPECT_EQ(Captions(*cmds.OptionsMenuColonne).size(), captions.size());
  QMenu* add = Item(*cmds.OptionsMenuColonne, "Ajouter la colonne")->menu();
  ASSERT_NE(add, nullptr);
  Open(*add);
  Item(*add, "Titre")->trigger();
  EXPECT_EQ(ids().size(), 5u);
  EXPECT_NE(std::find(ids().begin(), ids().end(), 1), ids().end());

  Item(*cmds.UrlOptionsPopup, "&Rafraîchir ")->trigger();
  EXPECT_EQ(grid.List().Count(), 4);
}

// ------------------------------------------------------------- targets

TEST_F(UrlCommandsTest, UpdateTakesTheCurrentRowUnlessSeveralRowsAreMarked) {
  grid.SetRow(RowOf("b.htm"));
  cmds.UpdateNow(0);
  Mark({"a.htm"});
  grid.SetRow(RowOf("b.htm"));
  cmds.UpdateNow(0);
  Mark({"c.htm"});
  grid.SetRow(RowOf("b.htm"));
  cmds.UpdateNow(0);
  ASSERT_EQ(host.captured.size(), 3u);
  EXPECT_EQ(host.captureFlags, 3);
  EXPECT_EQ(host.captured[0], (std::vector<std::string>{Url("b.htm")}));
  EXPECT_EQ(host.captured[1], (std::vector<std::string>{Url("b.htm")}));
  EXPECT_EQ(host.captured[2], (std::vector<std::string>{Url("a.htm"), Url("c.htm")}));

  // The selection item updates the selection, the marked item the marks.
  grid.SelectRange(RowOf("b.htm"), RowOf("now.htm"), 1);
  Item(*cmds.PageSelectionPopup, "&Réactualiser la sélection")->trigger();
  EXPECT_EQ(host.captured.back(), (std::vector<std::string>{Url("b.htm"), Url("c.htm"), Url("now.htm")}));
  grid.ClearMarks();
  Mark({"now.htm"});
  Open(*cmds.PageMarquagePopup);
  Item(*cmds.PageMarquagePopup, "&Réactualiser les pages marquées")->trigger();
  EXPECT_EQ(host.captured.back(), (std::vector<std::string>{Url("now.htm")}));
}

TEST_F(UrlCommandsTest, SavingSeveralFilesCopiesEachTargetAndKeepsFilesOfTheSameName) {
  const fs::path target = dir_.path() / "out";
  fs::create_directories(target);
  test::WriteFileBytes(target / "a.htm", "mine");
  folderAnswer = QString::fromStdString(target.string() + "/");
  Mark({"a.htm", "b.htm", "c.htm"});  // c.htm has no file
  grid.SetRow(RowOf("now.htm"));
  Open(*cmds.PageMarquagePopup);
  Item(*cmds.PageMarquagePopup, "Enregistrer les pages marquées sous...")->trigger();
  ASSERT_EQ(askedFolder.size(), 1u);
  EXPECT_EQ(askedFolder[0].first, "Enregister...");
  EXPECT_EQ(cmds.SaveFolder(), folderAnswer);

  EXPECT_EQ(ReadFileBytes(target / "a.htm"), "mine") << "a file already there is kept";
  EXPECT_EQ(ReadFileBytes(target / "b.htm"), ReadFileBytes(File("b.htm")));
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(target)) {
    ++copies;
    if (entry.path().filename() != "a.htm" && entry.path().filename() != "b.htm") {
      EXPECT_EQ(ReadFileBytes(entry.path()), ReadFileBytes(File("a.htm"))) << entry.path();
    }
  }
  EXPECT_EQ(copies, 3) << "a.htm, its copy under a free name, b.htm; nothing for c.htm";
  EXPECT_TRUE(boxes.shown.empty());

  // The selection item copies the selection; the last folder is offered again.
  fs::remove_all(target);
  fs::create_directories(target);
  grid.ClearMarks();
  grid.SelectRange(RowOf("b.htm"), RowOf("b.htm"), 1);
  cmds.SaveAs(1);
  EXPECT_EQ(askedFolder.back().second, folderAnswer);
  EXPECT_TRUE(fs::exists(target / "b.htm"));
  EXPECT_FALSE(fs::exists(target / "a.htm"));

  // Cancelling the folder copies nothing.
  fs::remove_all(target);
  folderAnswer.clear();
  cmds.SaveAs(1);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(UrlCommandsTest, SavingOneFileCopiesItAndNeverOntoItself) {
  const std::string before = ReadFileBytes(File("a.htm"));
  grid.SetRow(RowOf("a.htm"));
  fileAnswer = QString::fromStdString(File("a.htm"));  // the preset, accepted
  cmds.SaveAs(0);
  ASSERT_EQ(askedFile.size(), 1u);
  EXPECT_EQ(askedFile[0].first, "Enregister...");
  EXPECT_EQ(askedFile[0].second.toStdString(), File("a.htm"));
  EXPECT_EQ(ReadFileBytes(File("a.htm")), before);
  EXPECT_TRUE(boxes.shown.empty());

  fileAnswer = QString::fromStdString((dir_.path() / "copy.htm").string());
  cmds.SaveAs(0);
  EXPECT_EQ(ReadFileBytes(dir_.path() / "copy.htm"), before);

  // A target that cannot be written is reported.
  fileAnswer = QString::fromStdString((dir_.path() / "no" / "such" / "x.htm").string());
  cmds.SaveAs(0);
  ASSERT_EQ(boxes.shown.size(), 1u);

  // A record without a file asks nothing.
  grid.SetRow(RowOf("c.htm"));
  cmds.SaveAs(0);
  EXPECT_EQ(askedFile.size(), 3u);
}

TEST_F(UrlCommandsTest, PrintingTitlesOnePageByItsTitleAndSeveralByTheWebs) {
  web.SetTitle("Mon web");
  grid.SetRow(RowOf("a.htm"));
  printerAnswer = false;
  cmds.Print(0);
  EXPECT_TRUE(prints.empty()) << "cancelling the printer dialog ends";
  printerAnswer = true;
  cmds.Print(0);
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_EQ(prints[0].first, "Alpha");
  EXPECT_EQ(prints[0].second, QStringList{QString::fromStdString(File("a.htm"))});

  Mark({"b.htm", "a.htm", "c.htm"});
  cmds.Print(2);
  ASSERT_EQ(prints.size(), 2u);
  EXPECT_EQ(prints[1].first, "Mon web");
  EXPECT_EQ(prints[1].second,
            (QStringList{QString::fromStdString(File("a.htm")), QString::fromStdString(File("b.htm"))}));
}

TEST_F(UrlCommandsTest, ThumbnailsOfTheRowTheSelectionTheMarksOrAllPages) {
  grid.SetRow(RowOf("b.htm"));
  Item(*cmds.PagePopup, "Créer la vignette HTML...")->trigger();
  Mark({"a.htm", "c.htm"});
  cmds.Vignettes(2);
  cmds.AllVignettes();
  ASSERT_EQ(thumbs.size(), 3u);
  EXPECT_EQ(thumbs[0], (std::vector<std::string>{Url("b.htm")}));
  EXPECT_EQ(thumbs[1], (std::vector<std::string>{Url("a.htm"), Url("c.htm")}));
  EXPECT_FALSE(thumbs[2].has_value());
  EXPECT_EQ(host.previewRestarts, 3);
}

// ----------------------------------------------------- one-row commands

TEST_F(UrlCommandsTest, RowCommandsReachTheHostWithTheCurrentRecord) {
  grid.SetRow(RowOf("a.htm"));
  cmds.LoadUrl();
  cmds.SearchOwner();
  grid.SetRow(RowOf("c.htm"));  // no local file: its URL
  cmds.LoadUrl();
  EXPECT_EQ(host.opened, (std::vector<std::string>{PathToFileUrl(File("a.htm")), Url("c.htm")}));
  ASSERT_EQ(host.searches.size(), 1u);
  EXPECT_EQ(host.searches[0], (std::pair<std::string, int>{Url("a.htm"), 1}));

  // A command that fails is reported; the menu stays usable.
  host.failSearch = true;
  Item(*cmds.PagePopup, "R&echercher les pages propriétaires de cette page...")->trigger();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "lecture impossible");

  cmds.UrlListBoxClick(Url("a.htm"));
  cmds.UrlListBoxClick(Url("c.htm"));
  cmds.UrlListBoxClick("http://nowhere.example/");
  EXPECT_EQ(host.previews, (std::vector<std::string>{Url("a.htm")}));
}

TEST_F(UrlCommandsTest, PropertiesEditTheCurrentRecordAndTheListFollows) {
  std::string shown;
  bool write = false;
  cmds.RunUrlPropDialog = [&](shell::TDlgUrlProp& dlg) {
    shown = dlg.UrlEdit->text().toStdString();
    dlg.UrlEdit->setText(QString::fromStdString(Url("alpha.htm")));
    return write && dlg.Apply();
  };
  grid.SetRow(RowOf("a.htm"));
  cmds.Properties();  // cancelled
  EXPECT_EQ(shown, Url("a.htm"));
  EXPECT_NE(grid.List().Find(Url("a.htm")), -1);
  write = true;
  Item(*cmds.PagePopup, "&Propriétés...")->trigger();
  EXPECT_EQ(grid.List().Find(Url("a.htm")), -1);
  EXPECT_NE(grid.List().Find(Url("alpha.htm")), -1);
}

TEST_F(UrlCommandsTest, ImageCopyPutsTheRowsPictureOnTheClipboard) {
  QImage picture(12, 7, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(File("shot.png")), "PNG"));
  Add("shot.png", fsRetrieved, "image/png", "png", ReadFileBytes(File("shot.png")), 12, 7);
  grid.SetStyle(usImages);
  grid.SetRow(RowOf("shot.png"));
  QApplication::clipboard()->clear();
  Item(*cmds.ImagePopup, "C&opier dans le presse-papiers")->trigger();
  const QImage copied = QApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(12, 7));
}

TEST_F(UrlCommandsTest, TheErrorReportIsShownOnRequest) {
  bool report = false;
  cmds.RunErrorReport = [&](TWeb&) { return report; };
  cmds.ErrorReport();
  EXPECT_TRUE(boxes.shown.empty()) << "a cancelled report asks nothing";
  report = true;
  boxes.Answer(platform::IDNO);
  boxes.Answer(platform::IDYES);
  cmds.ErrorReport();
  EXPECT_TRUE(host.opened.empty());
  cmds.ErrorReport();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].caption, "Rapport des erreurs");
  EXPECT_EQ(host.opened, (std::vector<std::string>{PathToFileUrl(File("Index/_Rapport.htm"))}));
}

TEST_F(UrlCommandsTest, StartUrlsAreAddedAndDeletedWithTheirRecordAndFile) {
  grid.SetRow(RowOf("a.htm"));
  cmds.AddStartUrl();
  cmds.AddStartUrl();
  ASSERT_EQ(web.StartEntries.size(), 1u);
  EXPECT_EQ(web.StartEntries[0].Url, Url("a.htm"));
  TWebFile record(&web);
  ASSERT_TRUE(web.FindUrl(Url("a.htm"), record));
  EXPECT_TRUE(record.IsStartUrl());

  boxes.Answer(platform::IDNO);
  cmds.DeleteUrl();
  EXPECT_EQ(web.StartEntries.size(), 1u);
  EXPECT_TRUE(fs::exists(File("a.htm")));

  boxes.Answer(platform::IDYES);
  grid.SetRow(RowOf("a.htm"));
  cmds.DeleteUrl();
  EXPECT_TRUE(web.StartEntries.empty());
  EXPECT_FALSE(web.FindUrl(Url("a.htm"), record));
  EXPECT_FALSE(fs::exists(File("a.htm")));
  EXPECT_TRUE(fs::exists(File("b.htm")));
  EXPECT_EQ(grid.List().Find(Url("a.htm")), -1);

  // A row that is no start URL deletes nothing.
  grid.SetRow(RowOf("b.htm"));
  cmds.DeleteUrl();
  EXPECT_TRUE(web.FindUrl(Url("b.htm"), record));
  EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(UrlCommandsTest, ANewWebFromAPageIsCreatedBesideTheCurrentOne) {
  test::TempRoot root;
  WorkFolder prompt((root.path() / "work").string());
  fs::create_directories(root.path() / "program");
  host.setup = std::make_unique<TSetup>(&prompt, root.path() / "program");
  const fs::path folder = root.path() / "nouveau";
  std::string url, path;
  int oks = 0;
  // OK as the user presses it: the host settles the folder while the
  // wizard is open, and a refusal keeps it open.
  cmds.RunWebDialog = [&](shell::TDlgWeb& dlg) {
    url = dlg.Pages.Url->UrlCombo->currentText().toStdString();
    if (path.empty()) return false;
    dlg.Pages.Path->PathEdit->setText(QString::fromStdString(path));
    ++oks;
    return dlg.OKClick();
  };
  grid.SetRow(RowOf("b.htm"));
  cmds.PageNewWeb();  // cancelled
  EXPECT_EQ(url, Url("b.htm"));
  EXPECT_TRUE(host.recent.empty());

  path = folder.string() + "/";
  host.acceptFolder = false;
  cmds.PageNewWeb();
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(host.offered, (std::vector<std::string>{path}));
  EXPECT_TRUE(host.recent.empty());
  EXPECT_FALSE(fs::exists(folder / "local.web"));

  host.acceptFolder = true;
  cmds.PageNewWeb();
  ASSERT_EQ(host.recent.size(), 1u);
  EXPECT_EQ(host.recent[0], folder / "local.web");
  EXPECT_EQ(host.refreshes, 1);
  TWeb created;
  ASSERT_EQ(created.Open(folder / "local.web"), wlOk);
  ASSERT_EQ(created.StartEntries.size(), 1u);
  EXPECT_EQ(created.StartEntries[0].Url, Url("b.htm"));
  created.Close();
  EXPECT_TRUE(web.IsFileOpen()) << "the current web stays open";

  // A capture file found in the accepted folder is never replaced.
  const std::string before = ReadFileBytes(folder / "local.web");
  cmds.PageNewWeb();
  EXPECT_EQ(host.recent.size(), 1u);
  EXPECT_EQ(ReadFileBytes(folder / "local.web"), before);
}

// ------------------------------------------------------- filtered links

class FilteredLinksTest : public UrlCommandsTest {
 protected:
  FilteredLinksTest() {
    AddAt("http://h.example/a/b/deep.htm", fsFilteredExternalLinkDirectory);
    AddAt("http://bare.example/", fsFilteredExternalLinkDepth);
    AddAt("http://www.example.com/x.htm", fsFilteredDomainMachine);
    AddAt("ftp://f.example/pub/x.zip", fsFilteredProtocol);
    AddAt("http://h.example/doc.pdf", fsFilteredMime, "application/pdf", "pdf");
    web.StartEntries.push_back({Url("a.htm"), "", "", ""});
    grid.SetStyle(usFiltered);
  }
  void AddAt(const std::string& url, TWebFileState state, const std::string& type = "text/html",
             const std::string& ext = "htm") {
    TWebFile r(&web);
    r.SetState(state);
    SetContentType(r, type, ext);
    web.AddUrl(url, r);
  }
  void Choose(const std::string& url) {
    grid.Reload();
    grid.SetRow(grid.List().Find(TUrl(url).GetFullUrl()) + 1);
    Open(*cmds.FilteredPopup);
  }
  std::vector<std::pair<QString, int>> Includes() const {
    std::vector<std::pair<QString, int>> out;
    for (QAction* a : cmds.FilteredPopupInclude->actions()) out.push_back({a->objectName(), a->data().toInt()});
    return out;
  }
};

TEST_F(FilteredLinksTest, TheIncludeMenuOffersTheFileEachDirectoryAndTheHost) {
  Choose("http://h.example/a/b/deep.htm");
  EXPECT_EQ(Includes(), (std::vector<std::pair<QString, int>>{
                            {"MenuInclude_N1", -1}, {"MenuInclude_2", 2}, {"MenuInclude_1", 1}, {"MenuInclude_N2", -2}}));
  EXPECT_EQ(Captions(*cmds.FilteredPopupInclude),
            (std::vector<QString>{"deep.htm", "a/b/", "a/", "h.example"}));
  EXPECT_TRUE(cmds.FilteredPopupUnFiltered->isVisible());
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->text(), "Ne plus se limiter au répertoire d'entrée http://h.example/a/b/ ");
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->data().toInt(), 16);
  EXPECT_EQ(EnabledCount(*cmds.FilteredPopup), int(Captions(*cmds.FilteredPopup).size()));

  Named(*cmds.FilteredPopupInclude, "MenuInclude_1")->trigger();
  EXPECT_EQ(TFilterList::GetNodeMark(web.Options.Filters().Find("http://h.example/a/")), kFilterAllowed);
  Choose("http://h.example/a/b/deep.htm");
  Named(*cmds.FilteredPopupInclude, "MenuInclude_N1")->trigger();
  EXPECT_EQ(TFilterList::GetNodeMark(web.Options.Filters().Find("http://h.example/a/b/deep.htm")), kFilterAllowed);
  Choose("http://h.example/a/b/deep.htm");
  Named(*cmds.FilteredPopupInclude, "MenuInclude_N2")->trigger();
  EXPECT_EQ(TFilterList::GetNodeMark(web.Options.Filters().Find("http://h.example/")), kFilterAllowed);
  EXPECT_EQ(host.optionChanges, 3);

  // A link without a path: only the host.
  Choose("http://bare.example/");
  EXPECT_EQ(Includes(), (std::vector<std::pair<QString, int>>{{"MenuInclude_N2", -2}}));
  // Other filtered states offer no include.
  Choose("http://www.example.com/x.htm");
  EXPECT_TRUE(Includes().empty());
  EXPECT_FALSE(cmds.FilteredPopupInclude->menuAction()->isEnabled());
  // A state without an action text shows no un-filter item.
  Choose(Url("skip.htm"));
  EXPECT_FALSE(cmds.FilteredPopupUnFiltered->isVisible());
}

TEST_F(FilteredLinksTest, UnFilteringChangesTheOptionThatRefusedTheLink) {
  web.Options.DownloadFTPFlag = false;
  Choose("ftp://f.example/pub/x.zip");
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->text(), "Rapatrier les documents FTP");
  cmds.FilteredPopupUnFiltered->trigger();
  EXPECT_TRUE(web.Options.DownloadFTPFlag);

  Choose("http://h.example/doc.pdf");
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->text(), "Récupérer les documents application/pdf");
  TWebFile record(&web);
  ASSERT_TRUE(grid.CurrentRecord(record));
  TMimeItem* item = web.Options.MimeList().GetItem(record.GetMimeIndex() - 1);
  ASSERT_NE(item, nullptr);
  item->SetEnabled(false);
  cmds.FilteredPopupUnFiltered->trigger();
  EXPECT_FALSE(item->Params.Disabled);

  web.Options.CheckDomainMachineFlag = true;
  Choose("http://www.example.com/x.htm");
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->text(), "Autoriser l'exploration des sites XXX.example.com");
  cmds.FilteredPopupUnFiltered->trigger();
  EXPECT_FALSE(web.Options.CheckDomainMachineFlag);

  web.Options.ExternalPathLimit = true;
  web.Options.InternalPathLimit = true;
  Choose("http://h.example/a/b/deep.htm");
  cmds.FilteredPopupUnFiltered->trigger();
  EXPECT_FALSE(web.Options.ExternalPathLimit);
  cmds.UnFiltered(18);
  EXPECT_FALSE(web.Options.InternalPathLimit);
  EXPECT_EQ(host.optionChanges, 5);

  // The others show the page of the web tree where the limit is set.
  Choose(Url("out.htm"));
  EXPECT_EQ(cmds.FilteredPopupUnFiltered->text(), "Changer le niveau d'exploration des Webs externes");
  cmds.FilteredPopupUnFiltered->trigger();
  cmds.UnFiltered(13);
  cmds.UnFiltered(20);
  EXPECT_EQ(host.pages, (std::vector<int>{13, 16, 14}));
  EXPECT_EQ(host.optionChanges, 5);
}

// ------------------------------------------------------------ screenshot

TEST_F(UrlCommandsTest, ScreenshotOfThePageMenuOverTheList) {
  grid.show();
  grid.SetRow(RowOf("b.htm"));
  Mark({"a.htm"});
  grid.SetRow(RowOf("b.htm"));
  QMenu& menu = *cmds.PagePopup;
  const QPoint at = grid.CellRect(0, RowOf("b.htm")).center();
  menu.popup(grid.viewport()->mapToGlobal(at));
  QApplication::processEvents();
  ASSERT_TRUE(menu.isVisible());
  EXPECT_EQ(EnabledCount(menu), 8);
  QImage shot = grid.grab().toImage();
  {
    QPainter p(&shot);
    p.drawPixmap(grid.viewport()->mapTo(&grid, at), menu.grab());
  }
  menu.hide();
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  EXPECT_TRUE(shot.save(QString::fromStdString((screens / "url-popup.png").string())));
}

}  // namespace
}  // namespace qlon
