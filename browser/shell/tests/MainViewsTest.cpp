// The main window's pages: the page of each web-tree tag, the preview of the
// URL list's row and its fitting, the action buttons' menus, F5, the error
// report, and the map editor and search pane reached from the tree.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include "CaptureFixture.h"
#include "DlgWeb.h"
#include "EventPump.h"
#include "Main.h"
#include "MapEditor.h"
#include "MenusEx.h"
#include "MessageBox.h"
#include "PictureBytes.h"
#include "Ras.h"
#include "SearchPane.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Texts.h"
#include "UrlCommands.h"
#include "Urlutil.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;

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
    win_->ExecDialog = [](QDialog& dialog) { return dialog.exec(); };
    win_->OpenAddress = [this](const std::string& address) { opened_.push_back(address); };
    win_->resize(1000, 700);
    win_->show();
    ProcessMessages();
    EXPECT_TRUE(win_->OpenWeb((folder_ / "local.web").string(), false));
  }
  ~MainViewsTest() override { win_.reset(); }

  static std::string Url(const std::string& name) { return kHost + name; }
  void Add(TWeb& web, const std::string& name, const std::string& type, const std::string& ext,
           const std::string& body) {
    TWebFile r(&web);
    r.SetState(fsRetrieved);
    SetContentType(r, type, ext);
    r.SetLocalName(name);
    test::WriteFileBytes(folder_ / name, body);
    web.AddUrl(Url(name), r);
  }
  // The page of the tag, served now.
  void Page(int tag) {
    ASSERT_TRUE(win_->Tree->SelectPage(tag)) << tag;
    win_->TreeTimerTimer();
    ProcessMessages();
  }
  void Preview(const std::string& url) {
    win_->ShowPreview(url, {});
    win_->ViewTimerTimer();
  }
  // Makes the row of the URL current; false when the list does not show it.
  bool GoTo(const std::string& url) {
    TWebFile r(win_->CurrentWeb());
    for (int row = 0; row < win_->UrlList->RowCount(); ++row) {
      win_->UrlList->SetRow(row);
      if (win_->UrlList->CurrentRecord(r) && r.FullUrl == url) return true;
    }
    return false;
  }
  QRect Wall() const { return win_->ImageWallFrame->contentsRect(); }

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
  QObject::connect(win_->TreeTimer, &QTimer::timeout, [&] { ++ticks; });
  bool schedulerShown = false;
  QObject::connect(win_->TreeTimer, &QTimer::timeout, [&] { schedulerShown |= win_->View() == mvScheduler; });
  ASSERT_TRUE(win_->Tree->SelectPage(tpScheduler, true));
  ASSERT_TRUE(win_->Tree->SelectPage(tpPages, true));
  EXPECT_TRUE(win_->TreeTimer->isActive());
  ASSERT_TRUE(test::PumpUntil([&] { return ticks > 0; }, std::chrono::seconds(5)));
  QTest::qWait(300);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(schedulerShown);
  EXPECT_EQ(win_->View(), mvUrls);
  EXPECT_EQ(win_->PageTag, tpPages);
  EXPECT_FALSE(win_->TreeTimer->isActive());
}

TEST_F(MainViewsTest, EachTagShowsItsViewStyleAndActionButton) {
  Page(tpWeb);
  EXPECT_EQ(win_->View(), mvCapture);
  EXPECT_TRUE(win_->CaptureFrame->isVisible());
  Page(tpPages);
  EXPECT_EQ(win_->View(), mvUrls);
  EXPECT_EQ(win_->UrlList->Style(), usHtml);
  EXPECT_TRUE(win_->PageActionBtn->isVisible());
  EXPECT_FALSE(win_->ImageActionBtn->isVisible());
  EXPECT_FALSE(win_->UrlActionBtn->isEnabled());
  Page(tpImages);
  EXPECT_EQ(win_->UrlList->Style(), usImages);
  EXPECT_TRUE(win_->ImageActionBtn->isVisible());
  EXPECT_FALSE(win_->PageActionBtn->isVisible());
  Page(tpErrors);
  EXPECT_EQ(win_->UrlList->Style(), usErrors);
  EXPECT_TRUE(win_->UrlActionBtn->isVisible());
  EXPECT_FALSE(win_->MarquageButton->isEnabled());
  Page(tpPreferences);
  EXPECT_EQ(win_->View(), mvSetup);
  Page(tpOptions);
  EXPECT_EQ(win_->View(), mvWebConfig);
  ASSERT_NE(win_->DlgWeb, nullptr);
  EXPECT_EQ(win_->DlgWeb->Web(), win_->CurrentWeb());
  EXPECT_EQ(win_->CfgWebFrame->size(), QSize(440, 380));
  Page(tpFilters);
  EXPECT_EQ(win_->DlgWeb->CurrentPage(), shell::TDlgWeb::pgFilters);
  EXPECT_GT(win_->CfgWebFrame->width(), 440);
  Page(tpScheduler);
  EXPECT_EQ(win_->View(), mvScheduler);
  EXPECT_TRUE(win_->SchedulerFrame->isVisible());
  Page(tpHelp);
  EXPECT_EQ(win_->View(), mvHelp);
}

TEST_F(MainViewsTest, MapEditorAndSearchPaneAreReachedFromTheTree) {
  Page(tpMaps);
  EXPECT_EQ(win_->View(), mvMap);
  EXPECT_TRUE(win_->MapEditor->isVisible());
  EXPECT_TRUE(win_->MapEditor->MapListFrame->isVisible());
  EXPECT_EQ(win_->MapList, win_->MapEditor->MapList);
  Page(tpMap);
  EXPECT_FALSE(win_->MapEditor->MapListFrame->isVisible());
  EXPECT_EQ(win_->MapEditor->MapIndex(), 0);
  ASSERT_NE(win_->MapEditor->CurrentMap(), nullptr);

  Page(tpSearch);
  EXPECT_EQ(win_->View(), mvSearch);
  EXPECT_TRUE(win_->SearchPanel->isVisible());
  win_->SearchFor("big", 0);
  ASSERT_TRUE(test::PumpUntil([&] { return win_->UrlList->List().Count() == 1 && !win_->SearchPanel->Searching(); },
                              std::chrono::seconds(5)));
  EXPECT_TRUE(GoTo(Url("big.bmp")));
  // Leaving the pane lists the style's rows again.
  Page(tpPages);
  EXPECT_FALSE(win_->SearchPanel->isVisible());
  EXPECT_EQ(win_->UrlList->List().Count(), 2);
}

TEST_F(MainViewsTest, PicturesFitTheirFrame) {
  Page(tpImages);
  ASSERT_TRUE(win_->ImageWallFrame->isVisible());
  Preview(Url("small.bmp"));
  ASSERT_FALSE(win_->Picture.isNull());
  EXPECT_EQ(win_->Picture.size(), QSize(40, 30));
  // Natural size, centred.
  EXPECT_FALSE(win_->Image->hasScaledContents());
  EXPECT_EQ(win_->Image->geometry(), Wall());
  EXPECT_EQ(win_->Image->alignment(), Qt::AlignCenter);

  win_->KeepImageRatioCheck->setChecked(true);
  Preview(Url("big.bmp"));
  ASSERT_EQ(win_->Picture.size(), QSize(1600, 400));
  const QRect wall = Wall(), shown = win_->Image->geometry();
  EXPECT_TRUE(win_->Image->hasScaledContents());
  // Inside the frame, touching it on one axis, centred on the other, 4:1 kept.
  EXPECT_TRUE(wall.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
  EXPECT_TRUE(shown.width() == wall.width() || shown.height() == wall.height());
  EXPECT_NEAR(shown.width(), shown.height() * 4, 4);
  EXPECT_LE(std::abs((shown.left() - wall.left()) - (wall.right() - shown.right())), 2);
  EXPECT_LE(std::abs((shown.top() - wall.top()) - (wall.bottom() - shown.bottom())), 2);

  // On the picture page without the ratio box: natural size.
  win_->KeepImageRatioCheck->setChecked(false);
  win_->FitImage();
  EXPECT_TRUE(win_->Image->hasScaledContents());  // the list page still fits
  win_->SetView(mvPicture);
  win_->FitImage();
  EXPECT_FALSE(win_->Image->hasScaledContents());
  EXPECT_EQ(win_->Image->geometry(), Wall());
}

TEST_F(MainViewsTest, TheSameRowTwiceDoesNotReloadItsPreview) {
  Page(tpImages);
  ASSERT_TRUE(GoTo(Url("small.bmp")));
  TWebFile r(win_->CurrentWeb());
  ASSERT_TRUE(win_->UrlList->CurrentRecord(r));
  win_->UrlListWebFileClick(r);
  EXPECT_TRUE(win_->ViewTimer->isActive());
  win_->ViewTimerTimer();
  EXPECT_EQ(win_->ShownUrl, Url("small.bmp"));
  // The file changes; the same row again keeps what is shown.
  test::WriteFileBytes(folder_ / "small.bmp", BmpPicture(20, 10, Qt::green));
  win_->UrlListWebFileClick(r);
  win_->ViewTimerTimer();
  EXPECT_EQ(win_->Picture.size(), QSize(40, 30));
  Preview(Url("big.bmp"));
  EXPECT_EQ(win_->Picture.size(), QSize(1600, 400));
  Preview(Url("small.bmp"));
  EXPECT_EQ(win_->Picture.size(), QSize(20, 10));
}

TEST_F(MainViewsTest, F5ReloadsTheListKeepingItsRow) {
  Page(tpPages);
  ASSERT_TRUE(GoTo(Url("a.htm")));
  ASSERT_EQ(win_->UrlList->List().Count(), 2);
  TWeb& web = *win_->CurrentWeb();
  Add(web, "b.htm", "text/html", "htm", "<html><title>B</title></html>");
  EXPECT_EQ(win_->UrlList->List().Count(), 2);
  win_->activateWindow();
  QTest::keyClick(win_.get(), Qt::Key_F5);
  ProcessMessages();
  EXPECT_EQ(win_->UrlList->List().Count(), 3);
  TWebFile r(&web);
  ASSERT_TRUE(win_->UrlList->CurrentRecord(r));
  EXPECT_EQ(r.FullUrl, Url("a.htm"));
}

TEST_F(MainViewsTest, ActionButtonsOfferTheSelectionMenuWhenRowsAreSelected) {
  Page(tpPages);
  auto enter = [&](QToolButton* b) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(b, &e);
    return b->menu();
  };
  EXPECT_EQ(enter(win_->PageActionBtn), win_->UrlCommands->PagePopup.get());
  win_->UrlList->SelectRow(win_->UrlList->Row(), 1);
  ASSERT_GT(win_->UrlList->SelectedCount(), 0);
  EXPECT_EQ(enter(win_->PageActionBtn), win_->UrlCommands->PageSelectionPopup.get());
  EXPECT_EQ(enter(win_->ImageActionBtn), win_->UrlCommands->ImageSelectionPopup.get());
  win_->UrlList->ClearSelection();
  EXPECT_EQ(enter(win_->ImageActionBtn), win_->UrlCommands->ImagePopup.get());
  EXPECT_EQ(enter(win_->UrlActionBtn), win_->UrlCommands->UrlPopup.get());
  // The marking button follows the style.
  Page(tpImages);
  EXPECT_TRUE(win_->MarquageButton->isEnabled());
  EXPECT_EQ(win_->MarquageButton->menu(), win_->UrlCommands->MarquagePopup.get());
}

TEST_F(MainViewsTest, ErrorReportWritesThePageAndOffersToShowIt) {
  Page(tpErrors);
  ASSERT_EQ(win_->UrlList->List().Count(), 1);
  QAction* report = win_->UrlCommands->ErreurPopup->findChild<QAction*>("ErreurPopupRapport");
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
  win_->BrowserPopupPopup();
  EXPECT_TRUE(win_->BrowserPopupLoadIndex->isEnabled());
  EXPECT_FALSE(win_->BrowserPopupLoadSommaire->isEnabled());  // no index pages yet
  EXPECT_FALSE(win_->BrowserPopupLoadBookmarks->isEnabled());
  EXPECT_EQ(win_->BrowserPopupLoadBookmarks->text(), QString::fromStdString(setup_.BookmarkFolder) + "...");
  win_->BrowserPopupLoadIndex->trigger();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], kHost);
  win_->CloseWeb(false);
  win_->BrowserPopupPopup();
  EXPECT_FALSE(win_->BrowserPopupLoadIndex->isEnabled());
  EXPECT_FALSE(win_->BrowserPopupLoadSommaire->isEnabled());
  EXPECT_TRUE(win_->BrowserPopupSelect->isEnabled());
}

TEST_F(MainViewsTest, DialUpStatesShowInTheStatusLine) {
  win_->RasStateChange(kRasStateConnected);
  EXPECT_EQ(win_->StatusInfo1->text().toStdString(), TextAt(kDialStateTexts, kRasStateConnected));
  EXPECT_FALSE(win_->StatusInfo1->text().isEmpty());
  win_->RasStateChange(99);  // a state the texts do not know
  EXPECT_TRUE(win_->StatusInfo1->text().isEmpty());
}

TEST_F(MainViewsTest, ScreenshotOfAListPageWithItsPreview) {
  Page(tpImages);
  ASSERT_TRUE(GoTo(Url("big.bmp")));
  Preview(Url("big.bmp"));
  ProcessMessages();
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  EXPECT_TRUE(win_->grab().save(QString::fromStdString((screens / "main-views.png").string())));
  EXPECT_TRUE(win_->Image->isVisible());
}

}  // namespace
}  // namespace qlon
