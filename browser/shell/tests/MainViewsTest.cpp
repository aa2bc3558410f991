// The main window's pages: the page of each web-tree tag, the preview of the
// URL list's row and its fitting, the action buttons' menus, F5, the error
// report, and the map editor and search pane reached from the tree.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <map>
#include <set>

#include "CaptureFixture.h"
#include "DlgSetup.h"
#include "DlgVignettes.h"
#include "DlgWeb.h"
#include "EventPump.h"
#include "ExImage.h"
#include "Main.h"
#include "MainWinProbe.h"
#include "MapEditor.h"
#include "MenusEx.h"
#include "Mnemonics.h"
#include "MessageBox.h"
#include "PictureBytes.h"
#include "Ras.h"
#include "SearchPane.h"
#include "Setup.h"
#include "Shell.h"
#include "TempRoot.h"
#include "Texts.h"
#include "UrlCommands.h"
#include "UrlPage.h"
#include "Urlutil.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using shell::ProcessMessages;

constexpr const char* kHost = "http://h.example/";

using test::BmpPicture;

using test::WorkFolder;

// A window on a small capture: two pages, a small and a large picture with
// an image map, a failed record.
class MainViewsTest : public ::testing::Test {
 protected:
  MainViewsTest()
      : work_((root_.path() / "work").string() + "/"),
        prompt_(work_),
        setup_((fs::create_directories(work_), &prompt_), ProgramFolder()) {
    folder_ = fs::path(work_) / "cap";
    fs::create_directories(folder_);
    {
      TWeb web;
      web.Options.SetDefault(0);
      web.StartEntries = {{std::string(kHost), "", "", ""}};
      web.SetTitle("Essai");
      web.CreateNew(folder_ / "local.web");
      Add(web, "index.htm", "text/html", "htm", "<html><title>Accueil</title></html>");
      Add(web, "a.htm", "text/html", "htm", "<html><title>A</title></html>");
      Add(web, "small.bmp", "image/bmp", "bmp", BmpPicture(40, 30, Qt::red));
      Add(web, "big.bmp", "image/bmp", "bmp", BmpPicture(1600, 400, Qt::blue));
      Add(web, "run.sh", "text/plain", "txt", "#!/bin/sh\necho\n");  // a script served as text
      TWebFile failed(&web);
      SetContentType(failed, "text/html", "htm");
      failed.SetError(404);
      web.AddUrl(Url("gone.htm"), failed);
      web.ErrorCount = 1;
      web.Maps.AddMap(Url("small.bmp"), "small.bmp", "small.map", "Plan", Url("small.map"), Url("a.htm"), "");
      web.Save();
    }
    TMainWinConfig config;
    config.Arguments = StringList{};
    config.Splash = false;
    config.SchedulerStartDelayMs = 0;
    win_ = std::make_unique<TMainWin>(setup_, config);
    Probe().ExecDialog() = [](QDialog& dialog) { return dialog.exec(); };
    Probe().OpenAddress() = [this](const std::string& address) {
      opened_.push_back(address);
      return true;
    };
    win_->resize(1000, 700);
    win_->show();
    ProcessMessages();
    Probe().OpenWebFile((folder_ / "local.web").string());
    EXPECT_NE(win_->CurrentWeb(), nullptr);
  }
  ~MainViewsTest() override { win_.reset(); }

  test::TMainWinProbe Probe() const { return test::TMainWinProbe(*win_); }
  static std::string Url(const std::string& name) { return kHost + name; }
  void Add(TWeb& web, const std::string& name, const std::string& type, const std::string& ext,
           const std::string& body) {
    TWebFile r(&web);
    r.SetState(fsRetrieved);
    SetContentType(r, type, ext);
    r.SetFlag(TWebFile::kFlagPageLink, type == "text/html");
    r.SetLocalName(name);
    test::WriteFileBytes(folder_ / name, body);
    web.AddUrl(Url(name), r);
  }
  // The page of the tag, served now.
  void Page(int tag) {
    ASSERT_TRUE(Probe().Tree()->SelectPage(tag)) << tag;
    Probe().TreeTimerTimer();
    ProcessMessages();
  }
  // The URL previewed, once the view timer has served it.
  void Preview(const std::string& url) {
    Probe().UrlPage()->ShowPreview(url, {});
    Served();
  }
  void Served() {
    EXPECT_TRUE(Probe().ViewTimer()->isActive());
    EXPECT_TRUE(test::PumpUntil([&] { return !Probe().ViewTimer()->isActive(); }, std::chrono::seconds(5)));
  }
  // A click on the row of the URL; false when the list does not show it.
  bool Click(const std::string& url) {
    if (!GoTo(url)) return false;
    TWUrlList* list = Probe().UrlList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->CellRect(0, list->Row()).center());
    return true;
  }
  // Makes the row of the URL current; false when the list does not show it.
  bool GoTo(const std::string& url) {
    TWebFile r(win_->CurrentWeb());
    for (int row = 0; row < Probe().UrlList()->RowCount(); ++row) {
      Probe().UrlList()->SetRow(row);
      if (Probe().UrlList()->CurrentRecord(r) && r.FullUrl == url) return true;
    }
    return false;
  }
  QRect Wall() const { return Probe().ImageWallFrame()->contentsRect(); }
  const QImage& Picture() const { return Probe().UrlPage()->Picture(); }

  test::TempRoot root_;
  std::string work_;
  WorkFolder prompt_;
  TSetup setup_;
  ScriptedMessageBoxes boxes_;
  fs::path folder_;
  std::unique_ptr<TMainWin> win_;
  std::vector<std::string> opened_;
};

TEST_F(MainViewsTest, TwoTreeClicksWithinTheTimerShowOnlyTheSecondPage) {
  int ticks = 0;
  QObject::connect(Probe().TreeTimer(), &QTimer::timeout, [&] { ++ticks; });
  bool schedulerShown = false;
  QObject::connect(Probe().TreeTimer(), &QTimer::timeout, [&] { schedulerShown |= win_->View() == mvScheduler; });
  ASSERT_TRUE(Probe().Tree()->SelectPage(tpScheduler, true));
  ASSERT_TRUE(Probe().Tree()->SelectPage(tpPages, true));
  EXPECT_TRUE(Probe().TreeTimer()->isActive());
  ASSERT_TRUE(test::PumpUntil([&] { return ticks > 0; }, std::chrono::seconds(5)));
  QTest::qWait(300);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(schedulerShown);
  EXPECT_EQ(win_->View(), mvUrls);
  EXPECT_EQ(Probe().PageTag(), tpPages);
  EXPECT_FALSE(Probe().TreeTimer()->isActive());
}

TEST_F(MainViewsTest, EachTagShowsItsViewStyleAndActionButton) {
  Page(tpWeb);
  EXPECT_EQ(win_->View(), mvCapture);
  EXPECT_TRUE(Probe().CaptureFrame()->isVisible());
  Page(tpPages);
  EXPECT_EQ(win_->View(), mvUrls);
  EXPECT_EQ(Probe().UrlList()->Style(), usHtml);
  EXPECT_TRUE(Probe().PageActionBtn()->isVisible());
  EXPECT_FALSE(Probe().ImageActionBtn()->isVisible());
  EXPECT_FALSE(Probe().UrlActionBtn()->isEnabled());
  Page(tpImages);
  EXPECT_EQ(Probe().UrlList()->Style(), usImages);
  EXPECT_TRUE(Probe().ImageActionBtn()->isVisible());
  EXPECT_FALSE(Probe().PageActionBtn()->isVisible());
  Page(tpErrors);
  EXPECT_EQ(Probe().UrlList()->Style(), usErrors);
  EXPECT_TRUE(Probe().UrlActionBtn()->isVisible());
  EXPECT_FALSE(Probe().MarquageButton()->isEnabled());
  Page(tpPreferences);
  EXPECT_EQ(win_->View(), mvSetup);
  Page(tpOptions);
  EXPECT_EQ(win_->View(), mvWebConfig);
  ASSERT_NE(Probe().DlgWeb(), nullptr);
  EXPECT_EQ(Probe().DlgWeb()->Web(), win_->CurrentWeb());
  // The size the form was drawn for, or what its texts need in this font.
  const QSize own = QSize(440, 380).expandedTo(Probe().DlgWeb()->sizeHint());
  EXPECT_GE(Probe().CfgWebFrame()->width(), own.width());
  EXPECT_GE(Probe().CfgWebFrame()->height(), own.height());
  Page(tpFilters);
  EXPECT_EQ(Probe().DlgWeb()->CurrentPage(), shell::TDlgWeb::pgFilters);
  EXPECT_GT(Probe().CfgWebFrame()->width(), own.width());
  Page(tpScheduler);
  EXPECT_EQ(win_->View(), mvScheduler);
  EXPECT_TRUE(Probe().SchedulerFrame()->isVisible());
  Page(tpHelp);
  EXPECT_EQ(win_->View(), mvHelp);
}

TEST_F(MainViewsTest, MapEditorAndSearchPaneAreReachedFromTheTree) {
  Page(tpMaps);
  EXPECT_EQ(win_->View(), mvMap);
  EXPECT_TRUE(Probe().MapEditor()->isVisible());
  EXPECT_TRUE(Probe().MapEditor()->MapListFrame->isVisible());
  EXPECT_EQ(Probe().MapList(), Probe().MapEditor()->MapList);
  Page(tpMap);
  EXPECT_FALSE(Probe().MapEditor()->MapListFrame->isVisible());
  EXPECT_EQ(Probe().MapEditor()->MapIndex(), 0);
  ASSERT_NE(Probe().MapEditor()->CurrentMap(), nullptr);

  Page(tpSearch);
  EXPECT_EQ(win_->View(), mvSearch);
  EXPECT_TRUE(Probe().SearchPanel()->isVisible());
  Probe().SearchPanel()->SearchFor("big", 0);
  ASSERT_TRUE(test::PumpUntil([&] { return Probe().UrlList()->List().Count() == 1 && !Probe().SearchPanel()->Searching(); },
                              std::chrono::seconds(5)));
  EXPECT_TRUE(GoTo(Url("big.bmp")));
  // Leaving the pane lists the style's rows again.
  Page(tpPages);
  EXPECT_FALSE(Probe().SearchPanel()->isVisible());
  EXPECT_EQ(Probe().UrlList()->List().Count(), 2);
}

TEST_F(MainViewsTest, EnterInTheSearchPatternRunsTheSearch) {
  Page(tpSearch);
  QLineEdit* pattern = Probe().SearchPanel()->SearchTextCombo->lineEdit();
  win_->activateWindow();
  pattern->setFocus();
  QTest::keyClick(pattern, Qt::Key_Return);  // no pattern yet: nothing runs
  EXPECT_EQ(Probe().UrlList()->List().Count(), 0);
  QTest::keyClicks(pattern, "big");
  QTest::keyClick(pattern, Qt::Key_Return);
  ASSERT_TRUE(test::PumpUntil([&] { return Probe().UrlList()->List().Count() == 1 && !Probe().SearchPanel()->Searching(); },
                              std::chrono::seconds(5)));
  EXPECT_TRUE(GoTo(Url("big.bmp")));
  // Kept in the history, as the button keeps it.
  EXPECT_EQ(Probe().SearchPanel()->History(), QStringList{"big"});
}

// A docked page shares the window with the menu bar: Alt+C is the Capture
// menu or a control of the page, never both.
TEST_F(MainViewsTest, NoTwoControlsOfAPageShareAnAltKey) {
  int pages = 0;
  for (int tag = tpPreferences; tag <= tpScheduler; ++tag) {
    if (!Probe().Tree()->SelectPage(tag)) continue;
    Probe().TreeTimerTimer();
    ProcessMessages();
    ++pages;
    const QStringList clashes = test::MnemonicClashes(*win_);
    EXPECT_TRUE(clashes.isEmpty()) << "tree page " << tag << ":\n" << clashes.join("\n").toStdString();
  }
  EXPECT_GE(pages, 25);
}

TEST_F(MainViewsTest, TheMapBeingEditedGivesTheStatusLineItsText) {
  Page(tpMap);
  TMapEditor* editor = Probe().MapEditor();
  ASSERT_NE(editor->CurrentMap(), nullptr);
  QWidget* image = editor->MapImage->viewport();
  const auto at = [&](int x, int y) { return editor->ImageToControl(QPoint(x, y)); };
  QTest::mouseMove(image, at(12, 9));
  EXPECT_EQ(Probe().StatusInfo1()->text(), "small.bmp  |  0 zone  |  x 12, y 9");
  // A zone drawn with the mouse.
  QTest::mousePress(image, Qt::LeftButton, {}, at(3, 4));
  QTest::mouseMove(image, at(30, 25));
  QTest::mouseRelease(image, Qt::LeftButton, {}, at(30, 25));
  EXPECT_EQ(editor->MapZones().size(), 1u);
  EXPECT_TRUE(Probe().StatusInfo1()->text().startsWith("small.bmp  |  1 zone  |  x 30, y 25  |  modifiée"))
      << Probe().StatusInfo1()->text().toStdString();
  // What the window refreshes on its own keeps the editor's text.
  Probe().MenuFileSave()->trigger();
  EXPECT_TRUE(Probe().StatusInfo1()->text().startsWith("small.bmp  |  1 zone"));
  // Another page: the web's folder again.
  Page(tpPages);
  EXPECT_EQ(Probe().StatusInfo1()->text().toStdString(), folder_.string());
}

TEST_F(MainViewsTest, PicturesFitTheirFrame) {
  Page(tpImages);
  ASSERT_TRUE(Probe().ImageWallFrame()->isVisible());
  Preview(Url("small.bmp"));
  ASSERT_FALSE(Picture().isNull());
  EXPECT_EQ(Picture().size(), QSize(40, 30));
  // Natural size, centred.
  EXPECT_FALSE(Probe().Image()->hasScaledContents());
  EXPECT_EQ(Probe().Image()->geometry(), Wall());
  EXPECT_EQ(Probe().Image()->alignment(), Qt::AlignCenter);

  Probe().KeepImageRatioCheck()->setChecked(true);
  Preview(Url("big.bmp"));
  ASSERT_EQ(Picture().size(), QSize(1600, 400));
  const QRect wall = Wall(), shown = Probe().Image()->geometry();
  EXPECT_TRUE(Probe().Image()->hasScaledContents());
  // Inside the frame, touching it on one axis, centred on the other, 4:1 kept.
  EXPECT_TRUE(wall.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
  EXPECT_TRUE(shown.width() == wall.width() || shown.height() == wall.height());
  EXPECT_NEAR(shown.width(), shown.height() * 4, 4);
  EXPECT_LE(std::abs((shown.left() - wall.left()) - (wall.right() - shown.right())), 2);
  EXPECT_LE(std::abs((shown.top() - wall.top()) - (wall.bottom() - shown.bottom())), 2);

  // On the picture page without the ratio box: natural size.
  Probe().KeepImageRatioCheck()->setChecked(false);
  EXPECT_TRUE(Probe().Image()->hasScaledContents());  // the list page still fits
  // The picture's own page: its node in the tree's images folder.
  ASSERT_NE(Probe().Tree()->ImagesFolder(), nullptr);
  Probe().Tree()->ImagesFolder()->SetExpanded(true);
  controls::TWTreeNode* node = nullptr;
  for (int i = 0; i < Probe().Tree()->ImagesFolder()->ChildCount(); ++i)
    if (auto* image = dynamic_cast<TImageNode*>(Probe().Tree()->ImagesFolder()->Child(i));
        image && image->LocalName == "big.bmp")
      node = image;
  ASSERT_NE(node, nullptr);
  Probe().Tree()->Model().SelectNode(node);
  Probe().TreeTimerTimer();
  EXPECT_EQ(win_->View(), mvPicture);
  Served();
  EXPECT_EQ(Picture().size(), QSize(1600, 400));
  EXPECT_FALSE(Probe().Image()->hasScaledContents());
  EXPECT_EQ(Probe().Image()->geometry(), Wall());
  // The ratio box fits it again at once.
  Probe().KeepImageRatioCheck()->trigger();
  EXPECT_TRUE(Probe().Image()->hasScaledContents());
}

TEST_F(MainViewsTest, TheViewChecksKeepTheirStateThroughASave) {
  // Saving the web sets the checks from the settings: each click is kept there.
  for (QAction* check : {Probe().KeepImageRatioCheck(), Probe().Find<QAction>("OptionsMenuViewLastImage"),
                         Probe().Find<QAction>("OptionsMenuViewFrame")}) {
    const bool before = check->isChecked();
    check->trigger();
    ASSERT_TRUE(Probe().MenuFileSave()->isEnabled());
    Probe().MenuFileSave()->trigger();
    EXPECT_EQ(check->isChecked(), !before) << check->objectName().toStdString();
  }
  EXPECT_EQ(setup_.KeepImageRatioFlag, Probe().KeepImageRatioCheck()->isChecked());
}

TEST_F(MainViewsTest, TheSameRowTwiceDoesNotReloadItsPreview) {
  Page(tpImages);
  ASSERT_TRUE(GoTo(Url("small.bmp")));
  ASSERT_TRUE(Click(Url("small.bmp")));
  Served();
  EXPECT_EQ(Probe().UrlPage()->ShownUrl(), Url("small.bmp"));
  // The file changes; the same row again keeps what is shown.
  test::WriteFileBytes(folder_ / "small.bmp", BmpPicture(20, 10, Qt::green));
  ASSERT_TRUE(Click(Url("small.bmp")));
  Served();
  EXPECT_EQ(Picture().size(), QSize(40, 30));
  Preview(Url("big.bmp"));
  EXPECT_EQ(Picture().size(), QSize(1600, 400));
  Preview(Url("small.bmp"));
  EXPECT_EQ(Picture().size(), QSize(20, 10));
}

TEST_F(MainViewsTest, F5ReloadsTheListKeepingItsRow) {
  Page(tpPages);
  ASSERT_TRUE(GoTo(Url("a.htm")));
  ASSERT_EQ(Probe().UrlList()->List().Count(), 2);
  TWeb& web = *win_->CurrentWeb();
  Add(web, "b.htm", "text/html", "htm", "<html><title>B</title></html>");
  EXPECT_EQ(Probe().UrlList()->List().Count(), 2);
  win_->activateWindow();
  QTest::keyClick(win_.get(), Qt::Key_F5);
  ProcessMessages();
  EXPECT_EQ(Probe().UrlList()->List().Count(), 3);
  TWebFile r(&web);
  ASSERT_TRUE(Probe().UrlList()->CurrentRecord(r));
  EXPECT_EQ(r.FullUrl, Url("a.htm"));
}

TEST_F(MainViewsTest, ActionButtonsOfferTheSelectionMenuWhenRowsAreSelected) {
  Page(tpPages);
  auto enter = [&](QToolButton* b) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(b, &e);
    return b->menu();
  };
  EXPECT_EQ(enter(Probe().PageActionBtn()), Probe().UrlCommands()->PagePopup.get());
  Probe().UrlList()->SelectRow(Probe().UrlList()->Row(), 1);
  ASSERT_GT(Probe().UrlList()->SelectedCount(), 0);
  EXPECT_EQ(enter(Probe().PageActionBtn()), Probe().UrlCommands()->PageSelectionPopup.get());
  EXPECT_EQ(enter(Probe().ImageActionBtn()), Probe().UrlCommands()->ImageSelectionPopup.get());
  Probe().UrlList()->ClearSelection();
  EXPECT_EQ(enter(Probe().ImageActionBtn()), Probe().UrlCommands()->ImagePopup.get());
  EXPECT_EQ(enter(Probe().UrlActionBtn()), Probe().UrlCommands()->UrlPopup.get());
  // The marking button follows the style.
  Page(tpImages);
  EXPECT_TRUE(Probe().MarquageButton()->isEnabled());
  EXPECT_EQ(Probe().MarquageButton()->menu(), Probe().UrlCommands()->MarquagePopup.get());
}

TEST_F(MainViewsTest, ErrorReportWritesThePageAndOffersToShowIt) {
  Page(tpErrors);
  ASSERT_EQ(Probe().UrlList()->List().Count(), 1);
  QAction* report = Probe().UrlCommands()->ErreurPopup->findChild<QAction*>("ErreurPopupRapport");
  ASSERT_NE(report, nullptr);
  boxes_.Answer(IDYES);
  report->trigger();
  const fs::path page = folder_ / "Index" / "_Rapport.htm";
  EXPECT_TRUE(fs::is_regular_file(page));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, "Rapport des erreurs");
  EXPECT_NE(boxes_.shown[0].text.find("Voulez-vous voir le rapport des erreurs"), std::string::npos);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], PathToFileUrl(page.string()));
  // No: the report is written, nothing opened.
  boxes_.Answer(IDNO);
  report->trigger();
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(MainViewsTest, BrowserMenuFollowsTheWebAndOpensItsPages) {
  emit Probe().Find<QMenu>("BrowserPopup")->aboutToShow();
  EXPECT_TRUE(Probe().BrowserPopupLoadIndex()->isEnabled());
  EXPECT_FALSE(Probe().BrowserPopupLoadSommaire()->isEnabled());  // no index pages yet
  EXPECT_FALSE(Probe().BrowserPopupLoadBookmarks()->isEnabled());
  EXPECT_EQ(Probe().BrowserPopupLoadBookmarks()->text(), QString::fromStdString(setup_.BookmarkFolder) + "...");
  Probe().BrowserPopupLoadIndex()->trigger();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], kHost);
  Probe().CloseWeb(false);
  emit Probe().Find<QMenu>("BrowserPopup")->aboutToShow();
  EXPECT_FALSE(Probe().BrowserPopupLoadIndex()->isEnabled());
  EXPECT_FALSE(Probe().BrowserPopupLoadSommaire()->isEnabled());
  EXPECT_TRUE(Probe().BrowserPopupSelect()->isEnabled());
}

TEST_F(MainViewsTest, AListThatFillsShowsItsProgressInTheStatusBar) {
  struct Seen {
    bool shown;
    int value, maximum;
    QString text;
  };
  std::vector<Seen> seen;
  QProgressBar* bar = Probe().StatusProgressBar();
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
    seen.push_back({bar->isVisible(), value, bar->maximum(), Probe().StatusInfo1()->text()});
  });
  Page(tpImages);
  ASSERT_FALSE(seen.empty());
  const int records = int(win_->CurrentWeb()->GetCount());
  EXPECT_TRUE(seen.front().shown);
  EXPECT_EQ(seen.front().maximum, records);
  EXPECT_EQ(seen.front().text.toStdString(), TextAt(kUrlListProgressTexts, usImages - 1));
  EXPECT_EQ(seen.back().value, records);
  // Done: the bar goes, the status line shows the web again.
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(Probe().StatusInfo1()->text().toStdString(), folder_.string());
}

TEST_F(MainViewsTest, TheListOptionsOpenFromTheirButtonAndBesideTheList) {
  Page(tpPages);
  QToolButton* options = Probe().UrlOptionsBtn();
  EXPECT_TRUE(options->isVisible());
  QMenu* popup = options->menu();
  ASSERT_EQ(popup, Probe().UrlCommands()->UrlOptionsPopup.get());
  QStringList captions;
  for (const QAction* a : popup->actions())
    if (!a->isSeparator()) captions << a->text();
  EXPECT_EQ(captions, (QStringList{"&Colonne", "&Rafraîchir ", "&Affichage automatique de la dernière image capturée",
                                   "&Fenêtre d'aperçu"}));
  // A right click beside the list opens it too.
  QWidget* top = options->parentWidget();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), top->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(top, &click);
  EXPECT_TRUE(popup->isVisible());
  popup->close();
}

// The marked letters of a caption: "&&" is a plain ampersand.
QString MarkedLetters(const QString& text) {
  QString marked;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') marked += text[i + 1].toLower();
    ++i;
  }
  return marked;
}

// Walks a menu and its submenus, filled as they are when they open: within a
// menu no two items share a letter, and each caption marks one letter at most
// (a second one would hide its ampersand and never be reached).
void WalkMenu(QMenu* menu, const QString& path, std::set<QMenu*>& walked, QStringList& faults) {
  if (!walked.insert(menu).second) return;
  emit menu->aboutToShow();
  std::map<QChar, QString> taken;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator() || !a->isVisible()) continue;
    const QString letters = MarkedLetters(a->text());
    if (letters.size() > 1) faults << path + " : « " + a->text() + " » marque plusieurs lettres";
    if (!letters.isEmpty()) {
      const auto [at, fresh] = taken.emplace(letters[0], a->text());
      if (!fresh) faults << path + " : « " + at->second + " » et « " + a->text() + " »";
    }
    if (a->menu()) WalkMenu(a->menu(), path + " > " + a->text(), walked, faults);
  }
}

TEST_F(MainViewsTest, EveryMenuOfTheWindowMarksEachLetterOnce) {
  // A bookmark folder and a recent web whose names hold an ampersand.
  setup_.BookmarkFolder = "Liens & signets";
  const fs::path other = fs::path(work_) / "plans";
  fs::create_directories(other);
  {
    TWeb web;
    web.Options.SetDefault(0);
    web.StartEntries = {{std::string(kHost), "", "", ""}};
    web.SetTitle("Plans & cartes");
    web.CreateNew(other / "local.web");
    web.Save();
  }
  Probe().OpenWebFile((other / "local.web").string());
  Probe().OpenWebFile((folder_ / "local.web").string());
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  bool recentShown = false;
  for (QAction* a : Probe().MenuFile()->actions()) recentShown |= a->text().contains("Plans && cartes");
  EXPECT_TRUE(recentShown);
  // Every page once, so that the menus its views make exist.
  for (int tag : {tpWeb, tpImages, tpOthers, tpErrors, tpMaps, tpReport, tpHelp, tpScheduler, tpPages}) Page(tag);
  ASSERT_TRUE(GoTo(Url("a.htm")));

  QStringList faults;
  std::set<QMenu*> walked;
  std::map<QChar, QString> titles;
  for (QAction* a : win_->menuBar()->actions()) {
    const QString letters = MarkedLetters(a->text());
    if (!letters.isEmpty() && !titles.emplace(letters[0], a->text()).second)
      faults << "barre des menus : « " + a->text() + " »";
    if (a->menu()) WalkMenu(a->menu(), a->text(), walked, faults);
  }
  // The tool bar's, the pages' and the pop-up menus, the URL lists' too
  // (some have no parent of their own).
  for (QWidget* w : QApplication::allWidgets())
    if (auto* menu = qobject_cast<QMenu*>(w)) WalkMenu(menu, menu->objectName(), walked, faults);
  EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
  // The walk reached the Web menu, the URL pop-ups and the scheduler's menu.
  EXPECT_TRUE(walked.count(Probe().Find<QMenu>("MenuWeb")));
  EXPECT_TRUE(walked.count(Probe().UrlCommands()->ImagePopup.get()));
  EXPECT_TRUE(walked.count(Probe().DlgScheduler()->TaskPopup));
  EXPECT_GT(walked.size(), 25u);
}

TEST_F(MainViewsTest, ThumbnailsAreWrittenAtTheSizeChosenInThePreferences) {
  shell::TDlgSetup* preferences = Probe().DlgSetup();
  const fs::path thumb = folder_ / "thumb" / "index.gif";
  for (int size = 0; size < 4; ++size) {
    Page(tpReport);
    preferences->ThumbnailSizeCombo->setCurrentIndex(size);
    Page(tpPages);  // leaving the page stores it
    EXPECT_EQ(setup_.ThumbnailSize, size);
    QAction* all = nullptr;
    for (QAction* a : Probe().UrlCommands()->PagePopup->actions())
      if (a->text() == "Générer toutes les vignettes des pages...") all = a;
    ASSERT_NE(all, nullptr);
    all->trigger();
    EXPECT_EQ(QImage(QString::fromStdString(thumb.string())).size(),
              QSize(kThumbnailSizes[size].Width, kThumbnailSizes[size].Height))
        << preferences->ThumbnailSizeCombo->currentText().toStdString();
  }
}

TEST_F(MainViewsTest, TheListMenusShortcutsWorkFromTheList) {
  const fs::path thumb = folder_ / "thumb" / "index.gif";
  ASSERT_FALSE(fs::exists(thumb));
  Page(tpPages);
  TWUrlList* list = Probe().UrlList();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(fs::is_regular_file(thumb));
  // Another list's menu has no such item: nothing is made there.
  fs::remove(thumb);
  Page(tpImages);
  QTest::keyClick(Probe().UrlList(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_FALSE(fs::exists(thumb));
}

TEST_F(MainViewsTest, ThePagesOfTheWebAreOfferedOnceTheyExist) {
  // No link resolution yet: nothing to consult.
  EXPECT_FALSE(Probe().ConsulterBtn()->isEnabled());
  emit Probe().MenuHtmlPage()->aboutToShow();
  EXPECT_FALSE(Probe().MenuHTMLPageSommaire()->isEnabled());
  Probe().MenuCaptureResolveLinks()->trigger();
  ASSERT_TRUE(fs::is_regular_file(folder_ / "_Accueil.htm"));
  EXPECT_TRUE(Probe().ConsulterBtn()->isEnabled());
  EXPECT_TRUE(Probe().MenuHTMLPageSommaire()->isEnabled());
  Probe().ConsulterBtn()->click();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], PathToFileUrl((folder_ / "_Accueil.htm").string()));
}

TEST_F(MainViewsTest, ADoubleClickOpensACapturedPictureButNeverRunsAScript) {
  platform::RecordingShell shell;
  const auto doubleClick = [&](int tag, const std::string& url) {
    Page(tag);
    ASSERT_TRUE(GoTo(url)) << url;
    TWUrlList* list = Probe().UrlList();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->CellRect(0, list->Row()).center());
  };
  doubleClick(tpImages, Url("small.bmp"));
  EXPECT_EQ(shell.opened, std::vector<std::string>{(folder_ / "small.bmp").string()});
  EXPECT_TRUE(boxes_.shown.empty());
  doubleClick(tpOthers, Url("run.sh"));
  ASSERT_EQ(shell.opened.size(), 2u);
  EXPECT_EQ(shell.opened[1], folder_.string());  // its folder, not the script
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, "Ouvrir un fichier");
  EXPECT_TRUE(shell.programs.empty() && shell.started.empty());
}

TEST_F(MainViewsTest, DialUpStatesShowInTheStatusLine) {
  emit Probe().RasEntry()->RasStateChange(kRasStateConnected);
  EXPECT_EQ(Probe().StatusInfo1()->text().toStdString(), TextAt(kDialStateTexts, kRasStateConnected));
  EXPECT_FALSE(Probe().StatusInfo1()->text().isEmpty());
  emit Probe().RasEntry()->RasStateChange(99);  // a state the texts do not know
  EXPECT_TRUE(Probe().StatusInfo1()->text().isEmpty());
}

TEST_F(MainViewsTest, ScreenshotOfAListPageWithItsPreview) {
  Page(tpImages);
  ASSERT_TRUE(GoTo(Url("big.bmp")));
  Preview(Url("big.bmp"));
  ProcessMessages();
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  EXPECT_TRUE(win_->grab().save(QString::fromStdString((screens / "main-views.png").string())));
  EXPECT_TRUE(Probe().Image()->isVisible());
}

}  // namespace
}  // namespace qlon
