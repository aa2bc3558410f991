// The main window: modes and toolbar, recent webs, geometry, the command
// line and hand-over, closing during a capture, and whole capture runs on a
// loopback site with the message boxes scripted.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QLineEdit>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <map>
#include <mutex>

#include "CaptureFixture.h"
#include "CopyDialog.h"
#include "DlgChooseCapture.h"
#include "DlgHelp.h"
#include "DlgSetup.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "DlgWeb.h"
#include "EventPump.h"
#include "HandOver.h"
#include "HttpTestServer.h"
#include "Main.h"
#include "MainWindowFixture.h"
#include "MessageBox.h"
#include "Ras.h"
#include "RasLibrary.h"
#include "Scheduler.h"
#include "ScreenShot.h"
#include "Setup.h"
#include "Splash.h"
#include "TempRoot.h"
#include "WBrowser.h"
#include "Web.h"
#include "WebShortcut.h"
#include "WindowMessage.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using shell::ProcessMessages;
using test::HttpReply;
using test::HttpRequestSeen;

using test::WorkFolder;

using MainWindowTest = test::MainWindowFixture;

// ---------------------------------------------------------------- frame of state

TEST_F(MainWindowTest, ModeFollowsTheCurrentWebAndShowsOneMainButton) {
  Make();
  win_->show();
  EXPECT_EQ(win_->Mode(), mmNoWeb);
  EXPECT_EQ(win_->windowTitle(), "Quillon 98 ");
  // At least 640 x 460; more when a page needs more in this font.
  EXPECT_EQ(win_->minimumSize(), QSize(640, 460).expandedTo(win_->minimumSizeHint()));
  EXPECT_TRUE(Probe().NewBtn()->isVisible());
  EXPECT_FALSE(Probe().CaptureBtn()->isVisible());
  EXPECT_FALSE(Probe().StopBtn()->isVisible());

  const fs::path untitled = MakeWeb("untitled", server_.Url("/"));
  Probe().OpenWebFile(untitled.string());
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->Mode(), mmWebOpen);
  EXPECT_FALSE(Probe().NewBtn()->isVisible());
  EXPECT_TRUE(Probe().CaptureBtn()->isVisible());
  EXPECT_EQ(win_->windowTitle(), QString::fromStdString("Quillon 98 (" + untitled.parent_path().string() + ")"));

  Probe().OpenWebFile(MakeWeb("titled", server_.Url("/"), "Mon site").string());
  EXPECT_EQ(win_->windowTitle(), "Quillon 98 (Mon site)");

  // Mode 2 cannot stand without a web.
  ASSERT_TRUE(Probe().CloseWeb(false));
  Probe().SetMode(mmRunning);
  EXPECT_EQ(win_->Mode(), mmNoWeb);
  // The help: view 0, or view 9 once the tree's timer has served its node.
  EXPECT_TRUE(win_->View() == mvHome || win_->View() == mvHelp) << int(win_->View());
  EXPECT_TRUE(Probe().HelpFrame()->isVisible());
}

TEST_F(MainWindowTest, AStartWithoutArgumentsShowsTheSplashTheIconAndTheBackground) {
  TMainWinConfig config;
  config.Arguments = StringList{};
  config.SchedulerStartDelayMs = 0;
  win_ = std::make_unique<TMainWin>(setup_, config);
  QWidget* splash = controls::TSplash::Window();
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(splash->isVisible());
  EXPECT_GE(splash->width(), 300);
  EXPECT_FALSE(win_->windowIcon().isNull());
  // The background picture of the program's folder under the right-hand pages.
  EXPECT_FALSE(Probe().RightFrame()->palette().window().texture().isNull());
  // The help is shown with its contents page, and the tree lists the pages by title.
  win_->show();
  ASSERT_NE(HelpWindow(), nullptr);
  EXPECT_EQ(HelpWindow()->InfoLabel->text(), "Sommaire de l'aide");
  EXPECT_TRUE(test::SaveScreenShot(*win_, "MainWin-Help"));
  // The splash goes after its delay.
  EXPECT_TRUE(test::PumpUntil([] { return controls::TSplash::Window() == nullptr; }, std::chrono::seconds(5)));
}

TEST_F(MainWindowTest, TheBrowserChosenInTheOptionsIsUsedFromTheStart) {
  const std::string before = GetBrowser().GetPath();
  setup_.BrowserAuto = false;
  setup_.BrowserExeName = "/bin/sh";  // any existing program
  Make();
  EXPECT_EQ(GetBrowser().GetPath(), "/bin/sh");
  GetBrowser().SetPath(before);
}

TEST_F(MainWindowTest, TheDefaultBrowserHeadsTheBrowserListOfTheOptions) {
  // The desktop names a browser for HTML files.
  const fs::path program = root_.path() / "bin" / "desk.browser";
  test::WriteFileBytes(program, "#!/bin/sh\n");
  test::WriteFileBytes(root_.path() / "applications" / "qlon-desk-browser.desktop",
                       "[Desktop Entry]\nType=Application\nName=Desk\nExec=" + program.string() + " %u\n");
  test::WriteFileBytes(root_.path() / "mimeapps.list", "[Default Applications]\ntext/html=qlon-desk-browser.desktop\n");
  setup_.BrowserList = {"/usr/bin/other-browser"};
  Make();
  EXPECT_EQ(setup_.BrowserList, (std::vector<std::string>{program.string(), "/usr/bin/other-browser"}));
  ASSERT_GE(Probe().DlgSetup()->Pages.Browser->BrowserCombo->count(), 1);
  EXPECT_EQ(Probe().DlgSetup()->Pages.Browser->BrowserCombo->itemText(0).toStdString(), program.string());
  // Listed already: the list stays as it is.
  win_.reset();
  setup_.BrowserList = {"/usr/bin/other-browser", program.string()};
  Make();
  EXPECT_EQ(setup_.BrowserList, (std::vector<std::string>{"/usr/bin/other-browser", program.string()}));
}

TEST_F(MainWindowTest, RecentWebsShowSixAndKeepAllNewestFirst) {
  Make();
  std::vector<fs::path> webs;
  for (int i = 0; i < 7; ++i) {
    webs.push_back(MakeWeb("w" + std::to_string(i), server_.Url("/"), "Web " + std::to_string(i)));
    Probe().OpenWebFile(webs.back().string());
  }
  std::vector<QString> shown;
  for (QAction* a : Probe().MenuFile()->actions())
    if (a->data().toInt() > 0) shown.push_back(a->text());
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown.front(), "&1 Web 6");
  EXPECT_EQ(shown.back(), "&6 Web 1");
  EXPECT_EQ(Probe().RecentPaths().size(), 7);
  const std::string saved = test::ReadFileBytes(fs::path(work_) / "webs.dat");
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 7);
  EXPECT_EQ(saved.substr(0, saved.find('\n')), webs[6].string());

  // A long title is cut; an entry whose file went away is dropped at start.
  win_.reset();
  fs::remove(webs[3]);
  Make();
  EXPECT_EQ(Probe().RecentPaths().size(), 6);
  EXPECT_FALSE(Probe().RecentPaths().contains(QString::fromStdString(webs[3].string())));

  // Opening the n-th entry makes it current and puts it first.
  Probe().Find<QAction>("w4")->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->GetTitle(), "Web 2");
  EXPECT_EQ(Probe().RecentPaths().front().toStdString(), webs[2].string());
}

TEST_F(MainWindowTest, GeometryIsSavedAndAPlaceOffTheScreenPulledBack) {
  setup_.Left = 5000;
  setup_.Top = 4000;
  setup_.Width = 700;
  setup_.Height = 500;
  Make();
  const QSize screen = win_->screen()->availableGeometry().size();
  EXPECT_EQ(win_->x(), screen.width() - 700);
  EXPECT_EQ(win_->y(), screen.height() - 500);
  win_->show();
  win_->resize(720, 510);
  const int treeWidth = Probe().WTreeFrame()->width();
  win_.reset();  // the place is saved as the window goes
  EXPECT_EQ(setup_.Width, 720);
  EXPECT_EQ(setup_.Height, 510);
  EXPECT_EQ(setup_.WindowState, 0);
  EXPECT_EQ(setup_.TreeFrameWidth, treeWidth);
}

// ---------------------------------------------------------------- command line

TEST_F(MainWindowTest, ArgumentsOpenByExtensionOnly) {
  const fs::path web = MakeWeb("site", server_.Url("/"), "Site");
  Make({"\"" + web.string() + "\" ignored"});
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() != nullptr; }, 5));
  EXPECT_EQ(win_->CurrentWeb()->Path(), web);
  ASSERT_TRUE(Probe().CloseWeb(false));

  // A folder named like a capture file is not one; nor is "x.web.old".
  const fs::path odd = fs::path(work_) / "x.web.old";
  fs::create_directories(odd);
  StringList list{odd.string()};
  Probe().HandleArguments(&list);
  StringList inside{(odd / "run.wbs.txt").string()};
  Probe().HandleArguments(&inside);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  StringList empty;
  Probe().HandleArguments(&empty);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainWindowTest, HandedOverWebOpensUnlessACaptureRuns) {
  const fs::path first = MakeWeb("first", server_.Url("/"), "Premier");
  const fs::path second = MakeWeb("second", server_.Url("/"), "Second");
  Make();
  HandOver({"\"" + first.string() + "\"", "--x"});
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() != nullptr; }, 5));
  EXPECT_EQ(win_->CurrentWeb()->Path(), first);

  // An empty hand-over only brings the window forward.
  HandOver({});
  ProcessMessages();
  EXPECT_EQ(win_->CurrentWeb()->Path(), first);

  // During a capture the handed-over web is ignored.
  Put("/", SlowPage());
  bool handed = false;
  QTimer::singleShot(100, win_.get(), [&] {
    HandOver({second.string()});
    handed = true;
  });
  Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true);
  EXPECT_TRUE(handed);
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(win_->CurrentWeb()->Path(), first);
}

// ---------------------------------------------------------------- webs

TEST_F(MainWindowTest, CloseAskedForAnUnsavedWebAndCancelKeepsIt) {
  Make();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  ASSERT_TRUE(Probe().Tree()->SelectPage(tpWeb));
  Probe().TreeTimerTimer();
  ASSERT_EQ(win_->View(), mvCapture);
  // A capture that was never given a file cannot be saved: the question
  // decides, Cancel keeps it open on its page.
  auto pathless = std::make_unique<TWeb>();
  ASSERT_TRUE(Probe().CloseWeb(true));
  Probe().Session().Adopt(std::move(pathless));
  boxes_.Answer(IDCANCEL);
  EXPECT_FALSE(Probe().CloseWeb(false));
  EXPECT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->View(), mvCapture);
  boxes_.Answer(IDNO);
  EXPECT_TRUE(Probe().CloseWeb(false));
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Fermeture du web", "Fermeture du web"}));
}

TEST_F(MainWindowTest, DeletingAWebInTheWorkFolderKeepsTheFolder) {
  Make();
  TWeb web;
  web.StartEntries = {{server_.Url("/"), "", "", ""}};
  web.CreateNew(fs::path(work_) / "local.web");
  web.Close();
  test::WriteFileBytes(fs::path(work_) / "keep.txt", "mine");
  Probe().OpenWebFile(work_ + "local.web");
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  Probe().Find<QAction>("MenuWebDelete")->trigger();
  EXPECT_TRUE(boxes_.shown.empty());  // no question for the work folder
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(fs::exists(fs::path(work_) / "local.web"));
  EXPECT_TRUE(fs::exists(fs::path(work_) / "keep.txt"));
  EXPECT_TRUE(Probe().RecentPaths().empty());
}

TEST_F(MainWindowTest, DeletingAWebInAFolderThatIsNotItsOwnSaysTheFolderStays) {
  // A home, and the folder that holds the work folder: neither is deleted,
  // so no question offers to; the box says what stays and may still cancel.
  const fs::path home = fs::path(work_).parent_path().parent_path() / "home";
  fs::create_directories(home);
  struct HomeAt {
    QByteArray old = qgetenv("HOME");
    explicit HomeAt(const fs::path& p) { qputenv("HOME", QByteArray::fromStdString(p.string())); }
    ~HomeAt() { qputenv("HOME", old); }
  } homeAt(home);
  for (const fs::path& folder : {home, fs::path(work_).parent_path().parent_path()}) {
    SCOPED_TRACE(folder.string());
    boxes_.shown.clear();
    Make();
    TWeb web;
    web.StartEntries = {{server_.Url("/"), "", "", ""}};
    web.CreateNew(folder / "local.web");
    web.Close();
    test::WriteFileBytes(folder / "notes.txt", "mine");
    Probe().OpenWebFile((folder / "local.web").string());
    ASSERT_NE(win_->CurrentWeb(), nullptr);
    boxes_.Answer(IDCANCEL);
    Probe().Find<QAction>("MenuWebDelete")->trigger();
    EXPECT_NE(win_->CurrentWeb(), nullptr);
    boxes_.Answer(IDOK);
    Probe().Find<QAction>("MenuWebDelete")->trigger();
    ASSERT_EQ(boxes_.shown.size(), 2u);
    for (const auto& box : boxes_.shown) {
      EXPECT_EQ(box.flags & 0xF, MB_OKCANCEL);
      EXPECT_EQ(box.text.find("Voulez"), std::string::npos) << box.text;
      EXPECT_NE(box.text.find(folder.string() + " n'est pas propre à ce web : il sera conservé"), std::string::npos)
          << box.text;
    }
    EXPECT_TRUE(boxes_.refused.empty());
    EXPECT_EQ(win_->CurrentWeb(), nullptr);
    EXPECT_FALSE(fs::exists(folder / "local.web"));
    EXPECT_EQ(test::ReadFileBytes(folder / "notes.txt"), "mine");
    EXPECT_TRUE(fs::exists(work_));
  }
}

TEST_F(MainWindowTest, DeletingAWebAsksWithItsFolderAndDeletesIt) {
  Make();
  const fs::path web = MakeWeb("gone", server_.Url("/"));
  test::WriteFileBytes(web.parent_path() / "page.htm", "x");
  Probe().OpenWebFile(web.string());
  boxes_.Answer(IDCANCEL);
  Probe().Find<QAction>("MenuWebDelete")->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  boxes_.Answer(IDYES);
  Probe().Find<QAction>("MenuWebDelete")->trigger();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_NE(boxes_.shown[1].text.find(web.parent_path().string()), std::string::npos);
  EXPECT_FALSE(fs::exists(web.parent_path()));
  EXPECT_TRUE(fs::exists(work_));
}

TEST_F(MainWindowTest, ClearFolderNeverEmptiesTheWorkFolder) {
  Make();
  test::WriteFileBytes(fs::path(work_) / "quillon-notes.txt", "x");
  boxes_.Answer(IDYES);
  Probe().Session().ClearFolder(work_);
  EXPECT_TRUE(fs::exists(fs::path(work_) / "quillon-notes.txt"));
  const fs::path other = fs::path(work_) / "old";
  test::WriteFileBytes(other / "a.htm", "x");
  boxes_.Answer(IDYES);
  Probe().Session().ClearFolder(other.string());
  EXPECT_FALSE(fs::exists(other / "a.htm"));
}

TEST_F(MainWindowTest, ResetIsOfferedOnlyForAWebWithRecords) {
  Make();
  Probe().OpenWebFile(MakeWeb("empty", server_.Url("/")).string());
  Probe().Find<QAction>("MenuWebReset")->trigger();
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainWindowTest, AJournalNotOfTheWebIsToldAndTheWebOpensAsItIs) {
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const std::string before = test::ReadFileBytes(web);
  test::WriteFileBytes(TWebStream::JournalPath(web), "QLONJRN2" + std::string(16, '\0') + std::string(64, 'j'));
  Probe().OpenWebFile(web.string());
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, "Ouverture d'un Web");
  EXPECT_TRUE(Asked(TWebStream::JournalPath(web).string() + " ne correspond pas")) << boxes_.shown[0].text;
  EXPECT_EQ(test::ReadFileBytes(web), before);
  EXPECT_TRUE(fs::exists(TWebStream::JournalPath(web).string() + ".orphan"));
}

// ---------------------------------------------------------------- captures

TEST_F(MainWindowTest, ShortcutCapturesResolvesAndClosesTheProgram) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 0, true, true);
  Make({wbs.string()});
  win_->show();
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); })) << win_->Mode() << Probe().Road().Running();
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  EXPECT_EQ(win_->Mode(), mmNoWeb);
  const fs::path folder = web.parent_path();
  EXPECT_TRUE(fs::exists(folder / "_Accueil.htm"));
  EXPECT_TRUE(fs::exists(folder / "127.0.0.1" / "a.htm"));
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 3u);
  EXPECT_EQ(reopened.GetTitle(), "Accueil du site");
}

TEST_F(MainWindowTest, ShortcutTimeLimitHoldsForThatRunOnly) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  {
    TWeb w;
    ASSERT_EQ(w.Open(web), wlOk);
    w.Options.MaxTime = 42;
    w.Save();
  }
  TWebShortcutFile shortcut;
  shortcut.Web = web.string();
  shortcut.CaptureKind = 1;
  shortcut.TimeLimitFlag = false;
  shortcut.CloseQuillonFlag = true;
  const fs::path wbs = web.parent_path() / "limit.wbs";
  ASSERT_TRUE(shortcut.SaveToFile(wbs.string()));
  Make({wbs.string()});
  win_->show();
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() == nullptr && !win_->isVisible(); }));
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.Options.MaxTime, 42);
  EXPECT_GT(reopened.RetrievedCount, 0u);
}

TEST_F(MainWindowTest, StartUrlNotFoundAsksToChangeTheUrl) {
  Make();
  Probe().OpenWebFile(MakeWeb("missing", server_.Url("/nothing.htm")).string());
  boxes_.Answer(IDNO);
  EXPECT_TRUE(Probe().Road().Run(kCaptureMissing, nullptr, true));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("L'url " + server_.Url("/nothing.htm") + " est erronée"), std::string::npos)
      << boxes_.shown[0].text;
  EXPECT_NE(boxes_.shown[0].text.find("404"), std::string::npos);
  EXPECT_EQ(boxes_.shown[0].Buttons(), (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(win_->Mode(), mmWebOpen);
  EXPECT_FALSE(Probe().Road().Running());
}

TEST_F(MainWindowTest, RedirectToTheSameUrlWithASlashNeedsNoQuestion) {
  Put("/dir", Moved(301, server_.Url("/dir/")));
  Put("/dir/", "<html><title>Dossier</title></html>");
  Make();
  Probe().OpenWebFile(MakeWeb("dir", server_.Url("/dir")).string());
  EXPECT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  EXPECT_EQ(State(server_.Url("/dir/")), fsRetrieved);
}

TEST_F(MainWindowTest, CloseDuringAUserCaptureAsksOnceAndClosesAfterTheRun) {
  OpenSlowWeb();
  WhenCapturing([&] {
    boxes_.Answer(IDCANCEL);
    win_->close();  // refused: the run goes on
    EXPECT_TRUE(win_->isVisible());
    boxes_.Answer(IDOK);
    win_->close();  // aborts; the window closes when the run ends
  });
  Probe().PostCapture(kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Sortie de Quillon", "Sortie de Quillon"}));
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(Probe().Road().Running());
}

TEST_F(MainWindowTest, ThirdCloseRequestNeverFreesTheWebUnderTheRun) {
  OpenSlowWeb();
  WhenCapturing([&] {
    // Two closes asked and granted, then a third: no question, and the run
    // still holds the web.
    boxes_.Answer(IDOK);
    boxes_.Answer(IDOK);
    win_->close();
    win_->close();
    win_->close();
    EXPECT_NE(win_->CurrentWeb(), nullptr);
  });
  Probe().PostCapture(kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

TEST_F(MainWindowTest, ScheduledCaptureClosesWithoutAQuestion) {
  OpenSlowWeb();
  WhenCapturing([&] { win_->close(); });
  Probe().PostCapture(kCaptureScheduled | kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainWindowTest, AnErrorAfterTheRunIsToldAndTheWebKept) {
  Site();
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  // The summary page is to be shown in the browser, which fails badly.
  setup_.AutoLaunch = true;
  Probe().OpenAddress() = [](const std::string&) -> bool { throw std::runtime_error("navigateur introuvable"); };
  Probe().PostCapture(kCaptureMissing);
  ASSERT_TRUE(Pump([&] { return !boxes_.shown.empty(); }));
  EXPECT_EQ(boxes_.shown[0].caption, kProgramTitle);
  EXPECT_NE(boxes_.shown[0].text.find("navigateur introuvable"), std::string::npos) << boxes_.shown[0].text;
  EXPECT_FALSE(Probe().Road().Running());
  EXPECT_EQ(win_->Mode(), mmWebOpen);
  ASSERT_TRUE(Probe().CloseWeb(false));
  TWeb saved;
  ASSERT_EQ(saved.Open(web), wlOk);
  EXPECT_EQ(saved.RetrievedCount, 3u);
}

TEST_F(MainWindowTest, StopLettingFilesFinishKeepsTransfersUnderWay) {
  std::string links;
  for (int i = 0; i < 6; ++i) links += "<a href=\"p" + std::to_string(i) + ".htm\">p</a>";
  Put("/", "<html>" + links + "</html>");
  for (int i = 0; i < 6; ++i) {
    HttpReply page = HttpReply::Ok("<html>" + std::string(3000, 'p') + "</html>");
    page.blockSize = 300;
    page.delayBetweenBlocks = std::chrono::milliseconds(40);
    Put("/p" + std::to_string(i) + ".htm", page);
  }
  Make();
  Probe().OpenWebFile(MakeWeb("stop", server_.Url("/")).string());
  finishTransfers_ = true;
  // Stop once the page transfers have begun.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (Served("/p0.htm") + Served("/p1.htm") > 0 && stops_ == 0) {
      QTimer::singleShot(100, win_.get(), [&] { Probe().Find<QAction>("MenuCaptureStop")->trigger(); });
      poll.stop();
    }
  });
  poll.start(10);
  EXPECT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(stops_, 1);
  int retrieved = 0, waiting = 0;
  for (int i = 0; i < 6; ++i) {
    const TWebFileState s = State(server_.Url("/p" + std::to_string(i) + ".htm"));
    retrieved += s == fsRetrieved;
    waiting += s == fsToCapture;
  }
  EXPECT_GE(retrieved, 1);  // the transfers under way finished
  EXPECT_GE(waiting, 1);    // the others were never started
  EXPECT_EQ(retrieved + waiting, 6);
  EXPECT_TRUE(boxes_.shown.empty());
}

// ---------------------------------------------------------------- scheduler

TEST_F(MainWindowTest, ScheduledStepWaitsWhileAUserCaptureRuns) {
  Put("/", SlowPage());
  Make();
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  TTaskWeb step;
  step.WebPath = web.string();
  step.Actions = kActionCapture;
  step.SetState(tsStarting);
  bool started = false;
  WhenCapturing([&] {
    started = Probe().DlgScheduler()->Scheduler().OnTaskStart(step);
    Probe().Road().Capture()->Abort();
  });
  Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true);
  EXPECT_TRUE(started);
  EXPECT_EQ(step.GetState(), tsStarting);  // retried at the next poll
}

TEST_F(MainWindowTest, TaskEndStopsOnlyTheSchedulersOwnRun) {
  Put("/", SlowPage());
  Make();
  const fs::path web = MakeWeb("user", server_.Url("/"));
  const fs::path other = MakeWeb("other", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  TTaskWeb step;
  step.WebPath = other.string();
  bool stopped = true;
  WhenCapturing([&] {
    Probe().DlgScheduler()->Scheduler().OnTaskEnd(step);
    stopped = Probe().Road().Capture()->Stopped;
    Probe().Road().Capture()->Abort();
  });
  Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true);
  EXPECT_FALSE(stopped);
}

TEST_F(MainWindowTest, ScheduledStepCapturesItsWebAndEnds) {
  Site();
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  Make();
  ASSERT_TRUE(JobRanToItsEnd(CaptureJob(Probe().DlgScheduler()->Scheduler(), web, kActionCapture | kActionResolveLinks, -1000)));
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  EXPECT_TRUE(fs::exists(web.parent_path() / "_Accueil.htm"));
  EXPECT_TRUE(boxes_.shown.empty());
}


// ---------------------------------------------------------------- the program
using ProgramTest = test::ProgramFixture;


TEST_F(ProgramTest, ShortcutRunsTheCaptureAndTheProgramEnds) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  QProcess* p = Start({QString::fromStdString(MakeShortcut(web, 1, true, true).string())});
  ASSERT_TRUE(Finished(p));
  EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p->exitCode(), 0);
  EXPECT_TRUE(fs::exists(web.parent_path() / "_Accueil.htm"));
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 3u);
}

TEST_F(ProgramTest, SecondInstanceHandsItsWebToTheFirstAndEnds) {
  Site();
  const fs::path first = MakeWeb("first", server_.Url("/"));
  // With no screen the program needs something to do: a web to open.
  QProcess* running = Start({QString::fromStdString(MakeWeb("idle", server_.Url("/")).string())});
  // Once the first listens, the second start hands over and ends.
  ASSERT_TRUE(Pump([] { return HandOverAvailable(InstanceMutexName(kProgramTitle), 100); }, 60));
  QProcess* second = Start({QString::fromStdString(first.string())});
  ASSERT_TRUE(Finished(second));
  EXPECT_EQ(second->exitCode(), 0);
  const fs::path recent = fs::path(work_) / "webs.dat";
  ASSERT_TRUE(Pump([&] { return test::ReadFileBytes(recent).find(first.string()) != std::string::npos; }));
  EXPECT_EQ(running->state(), QProcess::Running);
  // A shortcut that closes the program ends the first one too.
  QProcess* third = Start({QString::fromStdString(MakeShortcut(first, 1, false, true).string())});
  ASSERT_TRUE(Finished(third));
  EXPECT_EQ(third->exitCode(), 0);
  ASSERT_TRUE(Finished(running));
  EXPECT_EQ(running->exitCode(), 0);
  TWeb reopened;
  ASSERT_EQ(reopened.Open(first), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 3u);
}

TEST_F(MainWindowTest, ScreenshotOfTheWindowWithACapturedWeb) {
  Site();
  Make();
  win_->resize(900, 600);
  win_->show();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/"), "Site de test").string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing, nullptr, true));
  Probe().TreeTimerTimer();  // the run ends on the web's page
  ASSERT_EQ(win_->View(), mvCapture);
  ProcessMessages();
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  const QImage shot = win_->grab().toImage();
  EXPECT_TRUE(shot.save(QString::fromStdString((screens / "main-window.png").string())));
  EXPECT_EQ(Probe().CapturedCountLabel()->text(), "3 ");
  EXPECT_FALSE(Probe().CaptureFrame()->isHidden());
}

TEST_F(MainWindowTest, UrlArgumentOpensTheWizardAndOkAndCaptureCapturesTheSite) {
  Site();
  const fs::path folder = fs::path(work_) / "fromurl";
  Make({"URL(" + server_.Url("/") + ")"});
  QString shown;
  Probe().RunWebDialog() = [&](shell::TDlgWeb& dlg) {
    shown = dlg.Pages.Url->UrlCombo->currentText();
    dlg.Pages.Path->PathEdit->setText(QString::fromStdString(folder.string()) + "/");
    return dlg.OKClick(true);
  };
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() && win_->CurrentWeb()->RetrievedCount == 3; }));
  EXPECT_EQ(shown.toStdString(), server_.Url("/"));
  EXPECT_EQ(win_->CurrentWeb()->Path(), folder / "local.web");
  EXPECT_EQ(Probe().RecentPaths().front().toStdString(), (folder / "local.web").string());
}

// The wizard's "Capturer les nouveaux types rencontrés" decides whether the
// files of a type the capture meets for the first time are taken.
TEST_F(MainWindowTest, TheWizardsOptionForNewTypesDecidesWhetherTheyAreCaptured) {
  Put("/", "<html><body><a href=\"data.qln\">data</a> <a href=\"a.htm\">a</a></body></html>");
  Put("/a.htm", "<html><body>a</body></html>");
  Put("/data.qln", "new kind of file", "application/x-quillon-new");
  for (bool capture : {false, true}) {
    const fs::path folder = fs::path(work_) / (capture ? "taken" : "left");
    Make({"URL(" + server_.Url("/") + ")"});
    bool offered = false;
    Probe().RunWebDialog() = [&](shell::TDlgWeb& dlg) {
      offered = dlg.Pages.Mime->NewMimeValidStateCheck->text() == QString::fromUtf8("Capturer les nouveaux types rencontrés");
      dlg.Pages.Path->PathEdit->setText(QString::fromStdString(folder.string()) + "/");
      // On its page, as a person sees and ticks it.
      dlg.GoToPage(dlg.PageStack->indexOf(dlg.Pages.Mime->NewMimeValidStateCheck->parentWidget()));
      dlg.Pages.Mime->NewMimeValidStateCheck->setChecked(capture);
      EXPECT_TRUE(test::SaveScreenShot(dlg, capture ? "DlgWeb-NewTypes-on" : "DlgWeb-NewTypes-off"));
      EXPECT_TRUE(dlg.Pages.Mime->NewMimeValidStateCheck->isVisible());
      return dlg.OKClick(true);
    };
    ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() && win_->CurrentWeb()->RetrievedCount >= 2 && !Probe().Road().Running(); }));
    EXPECT_TRUE(offered);
    EXPECT_EQ(State(server_.Url("/data.qln")), capture ? fsRetrieved : fsFilteredMime) << capture;
    EXPECT_EQ(fs::exists(folder / "127.0.0.1/data.qln"), capture);
    EXPECT_TRUE(fs::exists(folder / "127.0.0.1/a.htm"));
  }
}

TEST_F(MainWindowTest, StartProposesAndCompletesTheCaptureFlags) {
  Site();
  Make();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  std::vector<uint16_t> proposed;
  QRadioButton* shell::TDlgChooseCapture::*answer = nullptr;
  choose_ = [&](shell::TDlgChooseCapture& d) {
    proposed.push_back(d.Flags());  // what the dialog shows first
    if (!answer) return int(QDialog::Rejected);
    (d.*answer)->setChecked(true);
    return int(QDialog::Accepted);
  };
  Probe().MenuCaptureStart()->trigger();  // cancelled: nothing runs
  ASSERT_EQ(proposed.size(), 1u);
  EXPECT_EQ(proposed[0], kCaptureMissing);  // the start URL waits to be captured
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 0u);
  answer = &shell::TDlgChooseCapture::FinishRadio;
  Probe().MenuCaptureStart()->trigger();
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  // Nothing waits any more: an update, which marks the records first.
  answer = &shell::TDlgChooseCapture::UpdateRadio;
  Probe().MenuCaptureStart()->trigger();
  EXPECT_EQ(proposed.back(), kCaptureUpdate);
  EXPECT_EQ(Probe().Road().Flags(), kCaptureUpdate | kCaptureUpdateWalk);
  EXPECT_EQ(Served("/a.htm"), 2);
}

TEST_F(MainWindowTest, UpdateAndFinishOnACompleteWebUpdatesItsPagesThenTakesWhatIsNew) {
  Site();
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  ASSERT_EQ(win_->CurrentWeb()->ToCapture.Count() + win_->CurrentWeb()->ToUpdate.Count(), 0);
  // The site gained a page; nothing of the web waits for capture or update.
  Put("/", "<html><body><a href=\"a.htm\">a</a><a href=\"b.htm\">b</a><img src=\"i.gif\"></body></html>");
  Put("/b.htm", "<html><body>b</body></html>");
  choose_ = [&](shell::TDlgChooseCapture& d) {
    d.FinishUpdateRadio->setChecked(true);
    return int(QDialog::Accepted);
  };
  const int served = Served("/a.htm");
  Probe().MenuCaptureStart()->trigger();
  EXPECT_EQ(Served("/a.htm"), served + 1);  // updated
  EXPECT_EQ(int(State(server_.Url("/b.htm"))), int(fsRetrieved));  // then captured
  EXPECT_EQ(Probe().Road().Flags(), kCaptureMissing | kCaptureUpdate | kCaptureUpdateWalk);

  // A scheduled step that updates and captures does the same.
  Put("/", "<html><body><a href=\"a.htm\">a</a><a href=\"b.htm\">b</a><a href=\"c.htm\">c</a></body></html>");
  Put("/c.htm", "<html><body>c</body></html>");
  TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
  ASSERT_TRUE(JobRanToItsEnd(CaptureJob(scheduler, web, kActionCapture | kActionUpdate, 0)));
  EXPECT_EQ(Served("/a.htm"), served + 2);
  EXPECT_EQ(int(State(server_.Url("/c.htm"))), int(fsRetrieved));
}

TEST_F(MainWindowTest, StartAtALaterDateAddsASchedulerJob) {
  Make();
  const fs::path web = MakeWeb("later", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  const QDateTime when = QDateTime::currentDateTime().addDays(2);
  choose_ = [&](shell::TDlgChooseCapture& d) {
    d.FinishRadio->setChecked(true);
    d.LaterCheck->setChecked(true);
    d.LaterEdit->setDateTime(when);
    d.HangUpCheck->setChecked(true);
    return int(QDialog::Accepted);
  };
  Probe().MenuCaptureStart()->trigger();
  TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
  auto lock = scheduler.LockTree();
  ASSERT_EQ(scheduler.Root().GetChildCount(), 1);
  TTask* job = scheduler.Root().GetChild(0);
  EXPECT_EQ(job->StartKind, skOnce);
  EXPECT_NEAR(job->StartDate, QDateTimeToDateTime(when), 1.0 / 86400);
  EXPECT_TRUE(job->Flags & kTaskHangUp);
  ASSERT_EQ(job->GetChildCount(), 1);
  auto* step = dynamic_cast<TTaskWeb*>(job->GetChild(0));
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->WebPath, web.string());
  EXPECT_EQ(step->Actions, kActionCapture | kActionResolveLinks);
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 0u);
}

TEST_F(MainWindowTest, UpdateDropsRecordsNoPageLinksToAnyMore) {
  Site();
  Make();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  const std::string a = win_->CurrentWeb()->GetLocalPathOfUrl(server_.Url("/a.htm"));
  ASSERT_TRUE(fs::exists(a));
  HttpReply home = HttpReply::Ok("<html><head><title>Accueil</title></head><body><img src=\"i.gif\">" +
                                 std::string(2000, ' ') + "</body></html>");
  home.blockSize = 200;
  home.delayBetweenBlocks = std::chrono::milliseconds(20);
  Put("/", home);
  // A stopped walk proves nothing: the record stays.
  WhenCapturing([&] { Probe().Road().Capture()->Stop(true); });
  ASSERT_TRUE(Probe().Road().Run(kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(int(State(server_.Url("/a.htm"))), int(fsRetrieved));
  // Nor does a walk that could not start over the records still queued.
  ASSERT_TRUE(Probe().Road().Run(kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve, nullptr, true));
  EXPECT_NE(int(State(server_.Url("/i.gif"))), 255);
  EXPECT_NE(int(State(server_.Url("/a.htm"))), 255);
  // The walk goes on from the records queued and ends: a.htm is left alone.
  ASSERT_TRUE(Probe().Road().Run(kCaptureUpdate | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(int(State(server_.Url("/a.htm"))), 255);
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(int(State(server_.Url("/i.gif"))), int(fsRetrieved));
  EXPECT_EQ(int(State(server_.Url("/"))), int(fsRetrieved));
  // With nothing marked, an update (as a shortcut asks it) walks the site again.
  const int served = Served("/");
  ASSERT_TRUE(Probe().Road().Run(kCaptureUpdate | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(Served("/"), served + 1);
  EXPECT_EQ(Probe().Road().Flags(), kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve);
}

TEST_F(MainWindowTest, MovedWebIsReopenedThereAndHeadsTheRecentWebs) {
  Site();
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  const fs::path target = fs::path(work_) / "moved";
  fs::create_directories(target);
  dirAnswer_ = QString::fromStdString(target.string());
  Probe().MenuWebMove()->trigger();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), target / "local.web");
  EXPECT_FALSE(fs::exists(web));
  EXPECT_EQ(Probe().RecentPaths().front().toStdString(), (target / "local.web").string());
  EXPECT_FALSE(Probe().RecentPaths().contains(QString::fromStdString(web.string())));
  // Said once it is done: only that.
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Le Web a été déplacé dans " + target.string() + ".");
}

// Cancel pressed as a copy starts: the copy keeps the capture file and the
// index files, and the person is told that is all it holds.
TEST_F(MainWindowTest, ACopyCutShortByCancelSaysWhatItHolds) {
  Site();
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  Probe().OpenWebFile(web.string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  const fs::path target = fs::path(work_) / "copie";
  dirAnswer_ = QString::fromStdString(target.string());
  // Cancel clicked in the copy's window as soon as it shows.
  auto* poll = new QTimer(win_.get());
  QObject::connect(poll, &QTimer::timeout, poll, [poll] {
    auto* copy = qobject_cast<shell::TCopyDialog*>(QApplication::activeModalWidget());
    if (!copy || !copy->isVisible()) return;
    poll->stop();
    copy->CancelBtn()->click();
  });
  poll->start(0);
  Probe().MenuWebCopy()->trigger();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "La copie du Web a été interrompue : " + target.string() +
                                      " ne contient que les fichiers copiés jusque-là, avec les pages d'index, "
                                      "les vignettes et le fichier du Web.");
  EXPECT_TRUE(fs::exists(target / "local.web"));
  EXPECT_EQ(win_->CurrentWeb()->Path(), web) << "the web stays where it was";
}

// Dial-up through the simulated library and its phone book.
class MainWindowDialTest : public MainWindowTest {
 protected:
  MainWindowDialTest() {
    platform::UnloadRasLibrary();
    test::WriteFileBytes(root_.path() / "rasphone.pbk", "Maison=connect\nBureau=fail\n");
    EXPECT_TRUE(platform::LoadRasLibrary(QLON_FAKE_RAS_DIR));
    setup_.UseRas = true;
    setup_.UseActiveRas = false;
  }
  ~MainWindowDialTest() override {
    win_.reset();
    platform::UnloadRasLibrary();
  }
};

TEST_F(MainWindowDialTest, FailedDialEndsTheRunWithTheLayersTextAndHonoursTheCloseFlag) {
  setup_.RasConnexion = "Bureau";
  Make();
  win_->show();
  Probe().OpenWebFile(MakeWeb("dial", server_.Url("/")).string());
  EXPECT_FALSE(Probe().Road().Run(kCaptureMissing | kCaptureClose, nullptr, true));
  EXPECT_EQ(Served("/"), 0);
  EXPECT_EQ(win_->Mode(), mmWebOpen);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Connexion au réseau à distance..."});
  EXPECT_FALSE(boxes_.shown[0].text.empty());
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }, 5));
}

TEST_F(MainWindowDialTest, DialledConnectionCarriesTheCaptureAndIsHungUpAfter) {
  Site();
  setup_.RasConnexion = "Maison";
  Make();
  Probe().OpenWebFile(MakeWeb("dial", server_.Url("/")).string());
  EXPECT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve | kCaptureHangUp, nullptr, true));
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  EXPECT_FALSE(Probe().Road().ConnectionFound());
  ASSERT_TRUE(Pump([&] { return Probe().RasEntry()->State() == kRasStateDisconnected; }, 5));
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace qlon
