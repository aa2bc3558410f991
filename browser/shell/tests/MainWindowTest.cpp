// The main window: modes and toolbar, recent webs, geometry, the command
// line and hand-over, closing during a capture, and whole capture runs on a
// loopback site with the message boxes scripted.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
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
#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "DlgWeb.h"
#include "EventPump.h"
#include "HandOver.h"
#include "HttpTestServer.h"
#include "Main.h"
#include "MessageBox.h"
#include "Ras.h"
#include "RasLibrary.h"
#include "Scheduler.h"
#include "ScreenShot.h"
#include "Setup.h"
#include "TempRoot.h"
#include "WBrowser.h"
#include "Web.h"
#include "WebShortcut.h"
#include "WindowMessage.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using test::HttpReply;
using test::HttpRequestSeen;

using test::WorkFolder;

// A fresh platform root and work folder, scripted message boxes, a loopback
// site, and a main window built on demand.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest()
      : work_((root_.path() / "work").string() + "/"),
        prompt_(work_),
        setup_((fs::create_directories(work_), &prompt_), ProgramFolder()) {
    setup_.Timeout = 5;
    setup_.MaxSockets = 2;
    server_.SetScript([this](const HttpRequestSeen& request) {
      std::lock_guard lock(mutex_);
      ++served_[request.target];
      if (auto it = pages_.find(request.target); it != pages_.end()) return it->second;
      HttpReply missing = HttpReply::Ok("<html>no</html>");
      missing.status = 404;
      missing.reason = "Not Found";
      return missing;
    });
    EXPECT_TRUE(server_.Start());
  }
  ~MainWindowTest() override {
    win_.reset();
    server_.Stop();
  }

  void Make(StringList arguments = {}) {
    TMainWinConfig config;
    config.Arguments = std::move(arguments);
    config.Splash = false;
    config.SchedulerStartDelayMs = 0;
    config.SchedulerPollMs = 20;
    win_ = std::make_unique<TMainWin>(setup_, config);
    win_->ExecDialog = [this](QDialog& dialog) { return AnswerDialog(dialog); };
  }
  // Dialogs answered by the test; the others run (they close themselves).
  virtual int AnswerDialog(QDialog& dialog) {
    if (auto* stop = dynamic_cast<TDlgStop*>(&dialog)) {
      ++stops_;
      stop->CheckBox->setChecked(finishTransfers_);
      return QDialog::Accepted;
    }
    if (auto* choose = dynamic_cast<shell::TDlgChooseCapture*>(&dialog))
      return choose_ ? choose_(*choose) : QDialog::Rejected;
    if (auto* dir = dynamic_cast<controls::TDlgDir*>(&dialog)) {
      if (dirAnswer_.isEmpty()) return QDialog::Rejected;
      dir->SetPath(dirAnswer_);
      return QDialog::Accepted;
    }
    return dialog.exec();
  }

  void Put(const std::string& path, HttpReply reply) {
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(reply);
  }
  void Put(const std::string& path, const std::string& body, const std::string& type = "text/html") {
    Put(path, HttpReply::Ok(body, type));
  }
  int Served(const std::string& path) {
    std::lock_guard lock(mutex_);
    return served_[path];
  }
  // A page that takes a few seconds to arrive.
  static HttpReply SlowPage() {
    HttpReply slow = HttpReply::Ok("<html>" + std::string(20000, 'y') + "</html>");
    slow.blockSize = 100;
    slow.delayBetweenBlocks = std::chrono::milliseconds(20);
    return slow;
  }
  // A shown window on a web whose start page is slow to come.
  void OpenSlowWeb() {
    Put("/", SlowPage());
    Make();
    win_->show();
    win_->OpenWebFile(MakeWeb("slow", server_.Url("/")).string());
  }
  void Site() {
    Put("/", "<html><head><title>Accueil du site</title></head><body><a href=\"a.htm\">a</a>"
             "<img src=\"i.gif\"></body></html>");
    Put("/a.htm", "<html><body><a href=\"/\">home</a></body></html>");
    Put("/i.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  }

  // A capture file in its own folder under the work folder.
  fs::path MakeWeb(const std::string& name, const std::string& start, const std::string& title = {}) {
    const fs::path folder = fs::path(work_) / name;
    fs::create_directories(folder);
    TWeb web;
    web.Options.SetDefault(0);
    web.Options.UseWebStructureFlag = true;
    web.StartEntries = {{start, "", "", ""}};
    web.SetTitle(title);
    web.CreateNew(folder / "local.web");
    web.Save();
    return folder / "local.web";
  }
  fs::path MakeShortcut(const fs::path& web, int capture, bool resolve, bool close) {
    TWebShortcutFile shortcut;
    shortcut.Web = web.string();
    shortcut.CaptureKind = capture;
    shortcut.LinkResolve = resolve;
    shortcut.CloseQuillonFlag = close;
    const fs::path file = web.parent_path() / "run.wbs";
    EXPECT_TRUE(shortcut.SaveToFile(file.string()));
    return file;
  }
  // Hands a command line over as a second instance's WM_COPYDATA.
  void HandOver(const StringList& arguments) {
    const QByteArray payload = CommandLinePayload(arguments);
    const CopyDataStruct data{0, uint32_t(payload.size()), payload.constData()};
    EXPECT_EQ(SendMessage(win_.get(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 1);
  }
  // Runs the action once the window's capture run exists.
  void WhenCapturing(std::function<void()> action) {
    auto* poll = new QTimer(win_.get());
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll, action] {
      if (!win_->Capture) return;
      poll->stop();
      poll->deleteLater();
      action();
    });
    poll->start(5);
  }
  bool Pump(const std::function<bool()>& done, int seconds = 20) {
    return test::PumpUntil(done, std::chrono::seconds(seconds));
  }
  TWebFileState State(const std::string& url) {
    TWebFile r(win_->CurrentWeb());
    return win_->CurrentWeb()->FindUrl(url, r) ? r.GetState() : TWebFileState(255);
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const MessageBoxRequest& r : boxes_.shown) c.push_back(r.caption);
    return c;
  }
  bool Asked(const std::string& fragment) const {
    for (const MessageBoxRequest& r : boxes_.shown)
      if (r.text.find(fragment) != std::string::npos) return true;
    return false;
  }

  test::TempRoot root_;
  std::string work_;
  WorkFolder prompt_;
  TSetup setup_;
  ScriptedMessageBoxes boxes_;
  test::HttpTestServer server_;
  std::mutex mutex_;
  std::map<std::string, HttpReply> pages_;
  std::map<std::string, int> served_;
  std::unique_ptr<TMainWin> win_;
  int stops_ = 0;
  bool finishTransfers_ = false;
  QString dirAnswer_;
  std::function<int(shell::TDlgChooseCapture&)> choose_;
};

// ---------------------------------------------------------------- pure rules

TEST(MainWindowRules, FirstArgumentDropsQuotesAndWhatFollowsThem) {
  EXPECT_EQ(FirstArgument({"\"/a b/local.web\" -x", "second"}), "/a b/local.web");
  EXPECT_EQ(FirstArgument({"/a/local.web"}), "/a/local.web");
  EXPECT_EQ(FirstArgument({"\""}), "");
  EXPECT_EQ(FirstArgument({}), "");
}

TEST(MainWindowRules, UrlArgumentKeepsTheWholeAddress) {
  EXPECT_EQ(UrlArgument("URL(http://a/b)"), "http://a/b");
  EXPECT_EQ(UrlArgument("url(http://a/(x))"), "http://a/(x)");
  EXPECT_EQ(UrlArgument("URL()"), "");
  EXPECT_EQ(UrlArgument("URL("), "");
  EXPECT_EQ(UrlArgument(")URL("), "");
}

TEST(MainWindowRules, StoredPlacesArePulledBackOntoTheScreen) {
  EXPECT_EQ(ClampToScreen({900, 700, 400, 300}, 1024, 768), (TWindowBounds{624, 468, 400, 300}));
  EXPECT_EQ(ClampToScreen({-50, -10, 400, 300}, 1024, 768), (TWindowBounds{0, 0, 400, 300}));
  EXPECT_EQ(ClampToScreen({10, 10, 2000, 1000}, 1024, 768), (TWindowBounds{0, 0, 1024, 768}));
  EXPECT_EQ(ClampToScreen({10, 20, 400, 300}, 1024, 768), (TWindowBounds{10, 20, 400, 300}));
}

// ---------------------------------------------------------------- frame of state

TEST_F(MainWindowTest, ModeFollowsTheCurrentWebAndShowsOneMainButton) {
  Make();
  win_->show();
  EXPECT_EQ(win_->Mode(), 0);
  EXPECT_EQ(win_->windowTitle(), "Quillon 98 ");
  EXPECT_EQ(win_->minimumSize(), QSize(640, 460));
  EXPECT_TRUE(win_->NewBtn->isVisible());
  EXPECT_FALSE(win_->CaptureBtn->isVisible());
  EXPECT_FALSE(win_->StopBtn->isVisible());

  const fs::path untitled = MakeWeb("untitled", server_.Url("/"));
  win_->OpenWebFile(untitled.string());
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->Mode(), 1);
  EXPECT_FALSE(win_->NewBtn->isVisible());
  EXPECT_TRUE(win_->CaptureBtn->isVisible());
  EXPECT_EQ(win_->windowTitle(), QString::fromStdString("Quillon 98 (" + untitled.parent_path().string() + ")"));

  win_->OpenWebFile(MakeWeb("titled", server_.Url("/"), "Mon site").string());
  EXPECT_EQ(win_->windowTitle(), "Quillon 98 (Mon site)");

  // Mode 2 cannot stand without a web.
  ASSERT_TRUE(win_->CloseWeb(false));
  win_->SetMode(2);
  EXPECT_EQ(win_->Mode(), 0);
  // The help: view 0, or view 9 once the tree's timer has served its node.
  EXPECT_TRUE(win_->View() == 0 || win_->View() == 9) << int(win_->View());
  EXPECT_TRUE(win_->HelpFrame()->isVisible());
}

TEST_F(MainWindowTest, TheBrowserChosenInTheOptionsIsUsedFromTheStart) {
  const std::string before = GetBrowser().GetPath();
  setup_.BrowserAuto = false;
  setup_.BrowserExeName = "/bin/sh";  // any existing program
  Make();
  EXPECT_EQ(GetBrowser().GetPath(), "/bin/sh");
  GetBrowser().SetPath(before);
}

TEST_F(MainWindowTest, RecentWebsShowSixAndKeepAllNewestFirst) {
  Make();
  std::vector<fs::path> webs;
  for (int i = 0; i < 7; ++i) {
    webs.push_back(MakeWeb("w" + std::to_string(i), server_.Url("/"), "Web " + std::to_string(i)));
    win_->OpenWebFile(webs.back().string());
  }
  std::vector<QString> shown;
  for (QAction* a : win_->MenuFile->actions())
    if (a->data().toInt() > 0) shown.push_back(a->text());
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown.front(), "&1 Web 6");
  EXPECT_EQ(shown.back(), "&6 Web 1");
  EXPECT_EQ(win_->RecentPaths.size(), 7);
  const std::string saved = test::ReadFileBytes(fs::path(work_) / "webs.dat");
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 7);
  EXPECT_EQ(saved.substr(0, saved.find('\n')), webs[6].string());

  // A long title is cut; an entry whose file went away is dropped at start.
  win_.reset();
  fs::remove(webs[3]);
  Make();
  EXPECT_EQ(win_->RecentPaths.size(), 6);
  EXPECT_FALSE(win_->RecentPaths.contains(QString::fromStdString(webs[3].string())));

  // Opening the n-th entry makes it current and puts it first.
  win_->OpenRecentWeb(3);
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->GetTitle(), "Web 2");
  EXPECT_EQ(win_->RecentPaths.front().toStdString(), webs[2].string());
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
  win_->SaveGeometry();
  EXPECT_EQ(setup_.Width, 720);
  EXPECT_EQ(setup_.Height, 510);
  EXPECT_EQ(setup_.WindowState, 0);
  EXPECT_EQ(setup_.TreeFrameWidth, win_->WTreeFrame->width());
}

// ---------------------------------------------------------------- command line

TEST_F(MainWindowTest, ArgumentsOpenByExtensionOnly) {
  const fs::path web = MakeWeb("site", server_.Url("/"), "Site");
  Make({"\"" + web.string() + "\" ignored"});
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() != nullptr; }, 5));
  EXPECT_EQ(win_->CurrentWeb()->Path(), web);
  ASSERT_TRUE(win_->CloseWeb(false));

  // A folder named like a capture file is not one; nor is "x.web.old".
  const fs::path odd = fs::path(work_) / "x.web.old";
  fs::create_directories(odd);
  StringList list{odd.string()};
  win_->HandleArguments(&list);
  StringList inside{(odd / "run.wbs.txt").string()};
  win_->HandleArguments(&inside);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  StringList empty;
  win_->HandleArguments(&empty);
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
  win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true);
  EXPECT_TRUE(handed);
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(win_->CurrentWeb()->Path(), first);
}

// ---------------------------------------------------------------- webs

TEST_F(MainWindowTest, CloseAskedForAnUnsavedWebAndCancelKeepsIt) {
  Make();
  win_->OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  win_->SetView(5);
  // A capture that was never given a file cannot be saved: the question
  // decides, Cancel keeps it open on its page.
  auto pathless = std::make_unique<TWeb>();
  ASSERT_TRUE(win_->CloseWeb(true));
  win_->SetCurrentWeb(std::move(pathless));
  boxes_.Answer(IDCANCEL);
  EXPECT_FALSE(win_->CloseWeb(false));
  EXPECT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->View(), 5);
  boxes_.Answer(IDNO);
  EXPECT_TRUE(win_->CloseWeb(false));
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
  win_->OpenWebFile(work_ + "local.web");
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  win_->DeleteWeb();
  EXPECT_TRUE(boxes_.shown.empty());  // no question for the work folder
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(fs::exists(fs::path(work_) / "local.web"));
  EXPECT_TRUE(fs::exists(fs::path(work_) / "keep.txt"));
  EXPECT_TRUE(win_->RecentPaths.empty());
}

TEST_F(MainWindowTest, DeletingAWebAsksWithItsFolderAndDeletesIt) {
  Make();
  const fs::path web = MakeWeb("gone", server_.Url("/"));
  test::WriteFileBytes(web.parent_path() / "page.htm", "x");
  win_->OpenWebFile(web.string());
  boxes_.Answer(IDCANCEL);
  win_->DeleteWeb();
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  boxes_.Answer(IDYES);
  win_->DeleteWeb();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_NE(boxes_.shown[1].text.find(web.parent_path().string()), std::string::npos);
  EXPECT_FALSE(fs::exists(web.parent_path()));
  EXPECT_TRUE(fs::exists(work_));
}

TEST_F(MainWindowTest, ClearFolderNeverEmptiesTheWorkFolder) {
  Make();
  test::WriteFileBytes(fs::path(work_) / "quillon-notes.txt", "x");
  boxes_.Answer(IDYES);
  win_->ClearFolder(work_);
  EXPECT_TRUE(fs::exists(fs::path(work_) / "quillon-notes.txt"));
  const fs::path other = fs::path(work_) / "old";
  test::WriteFileBytes(other / "a.htm", "x");
  boxes_.Answer(IDYES);
  win_->ClearFolder(other.string());
  EXPECT_FALSE(fs::exists(other / "a.htm"));
}

TEST_F(MainWindowTest, ResetIsOfferedOnlyForAWebWithRecords) {
  Make();
  win_->OpenWebFile(MakeWeb("empty", server_.Url("/")).string());
  win_->MenuWebResetClick();
  EXPECT_TRUE(boxes_.shown.empty());
}

// ---------------------------------------------------------------- captures

TEST_F(MainWindowTest, ShortcutCapturesResolvesAndClosesTheProgram) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 0, true, true);
  Make({wbs.string()});
  win_->show();
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); })) << win_->Mode() << win_->Capturing;
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  EXPECT_EQ(win_->Mode(), 0);
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
  win_->OpenWebFile(MakeWeb("missing", server_.Url("/nothing.htm")).string());
  boxes_.Answer(IDNO);
  EXPECT_TRUE(win_->RunCapture(kCaptureMissing, nullptr, true));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("L'url " + server_.Url("/nothing.htm") + " est erronée"), std::string::npos)
      << boxes_.shown[0].text;
  EXPECT_NE(boxes_.shown[0].text.find("404"), std::string::npos);
  EXPECT_EQ(boxes_.shown[0].Buttons(), (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(win_->Mode(), 1);
  EXPECT_FALSE(win_->Capturing);
}

TEST_F(MainWindowTest, RedirectToTheSameUrlWithASlashNeedsNoQuestion) {
  HttpReply moved;
  moved.status = 301;
  moved.reason = "Moved";
  moved.headers = {{"Location", server_.Url("/dir/")}};
  Put("/dir", moved);
  Put("/dir/", "<html><title>Dossier</title></html>");
  Make();
  win_->OpenWebFile(MakeWeb("dir", server_.Url("/dir")).string());
  EXPECT_TRUE(win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true));
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
  win_->PostCapture(kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Sortie de Quillon", "Sortie de Quillon"}));
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  EXPECT_FALSE(win_->Capturing);
}

TEST_F(MainWindowTest, ThirdCloseRequestNeverFreesTheWebUnderTheRun) {
  OpenSlowWeb();
  WhenCapturing([&] {
    boxes_.Answer(IDCANCEL);
    boxes_.Answer(IDCANCEL);
    win_->close();
    win_->close();
    win_->CloseRequests = 2;  // two questions already refused
    win_->close();
    EXPECT_NE(win_->CurrentWeb(), nullptr);
  });
  win_->PostCapture(kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

TEST_F(MainWindowTest, ScheduledCaptureClosesWithoutAQuestion) {
  OpenSlowWeb();
  WhenCapturing([&] { win_->close(); });
  win_->PostCapture(kCaptureScheduled | kCaptureMissing | kCaptureNoResolve);
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }));
  EXPECT_TRUE(boxes_.shown.empty());
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
  win_->OpenWebFile(MakeWeb("stop", server_.Url("/")).string());
  finishTransfers_ = true;
  // Stop once the page transfers have begun.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (Served("/p0.htm") + Served("/p1.htm") > 0 && stops_ == 0) {
      QTimer::singleShot(100, win_.get(), [&] { win_->StopCapture(); });
      poll.stop();
    }
  });
  poll.start(10);
  EXPECT_TRUE(win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true));
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
  Make();
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  win_->OpenWebFile(web.string());
  TTaskWeb step;
  step.WebPath = web.string();
  step.Actions = kActionCapture;
  step.SetState(tsStarting);
  win_->Capturing = true;
  EXPECT_TRUE(win_->TaskStart(step));
  EXPECT_EQ(step.GetState(), tsStarting);  // retried at the next poll
  win_->Capturing = false;
}

TEST_F(MainWindowTest, TaskEndStopsOnlyTheSchedulersOwnRun) {
  Put("/", SlowPage());
  Make();
  const fs::path web = MakeWeb("user", server_.Url("/"));
  const fs::path other = MakeWeb("other", server_.Url("/"));
  win_->OpenWebFile(web.string());
  TTaskWeb step;
  step.WebPath = other.string();
  bool stopped = true;
  WhenCapturing([&] {
    win_->TaskEnd(step);
    stopped = win_->Capture->Stopped;
    win_->Capture->Abort();
  });
  win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true);
  EXPECT_FALSE(stopped);
}

TEST_F(MainWindowTest, ScheduledStepCapturesItsWebAndEnds) {
  Site();
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  Make();
  TScheduler& scheduler = win_->DlgScheduler->Scheduler();
  TTask* job;
  {
    auto lock = scheduler.LockTree();
    auto task = std::make_unique<TTask>(&scheduler);
    task->StartKind = skOnce;
    task->StartDate = QDateTimeToDateTime(QDateTime::currentDateTime().addSecs(-1));
    job = scheduler.Root().AddChild(std::move(task));
    auto step = std::make_unique<TTaskWeb>(&scheduler);
    step->WebPath = web.string();
    step->Actions = kActionCapture | kActionResolveLinks;
    job->AddChild(std::move(step));
  }
  win_->show();
  ASSERT_TRUE(Pump([&] {
    auto lock = scheduler.LockTree();
    return job->LastEnd != 0 && job->GetState() == tsWaiting;
  }, 30));
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  EXPECT_TRUE(fs::exists(web.parent_path() / "_Accueil.htm"));
  EXPECT_TRUE(boxes_.shown.empty());
}


// ---------------------------------------------------------------- the program

class ProgramTest : public MainWindowTest {
 protected:
  static QString Program() { return QString::fromStdString((ProgramFolder() / "qlon98").string()); }
  QProcess* Start(const QStringList& arguments) {
    auto* p = new QProcess;
    processes_.emplace_back(p);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(root_.path().string()));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(Program(), arguments);
    EXPECT_TRUE(p->waitForStarted(10000));
    return p;
  }
  // Waits for the process while this process serves the loopback site.
  bool Finished(QProcess* p, int seconds = 60) {
    return Pump([p] { return p->state() == QProcess::NotRunning; }, seconds);
  }
  ~ProgramTest() override {
    for (auto& p : processes_)
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
  }
  std::vector<std::unique_ptr<QProcess>> processes_;
};

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
  QProcess* running = Start({});
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
  win_->OpenWebFile(MakeWeb("site", server_.Url("/"), "Site de test").string());
  ASSERT_TRUE(win_->RunCapture(kCaptureMissing, nullptr, true));
  win_->SetView(1);
  ProcessMessages();
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  const QImage shot = win_->grab().toImage();
  EXPECT_TRUE(shot.save(QString::fromStdString((screens / "main-window.png").string())));
  EXPECT_EQ(win_->CapturedCountLabel->text(), "3 ");
  EXPECT_FALSE(win_->CaptureFrame->isHidden());
}

TEST_F(MainWindowTest, UrlArgumentOpensTheWizardAndOkAndCaptureCapturesTheSite) {
  Site();
  const fs::path folder = fs::path(work_) / "fromurl";
  Make({"URL(" + server_.Url("/") + ")"});
  QString shown;
  win_->RunWebDialog = [&](shell::TDlgWeb& dlg) {
    shown = dlg.UrlCombo->currentText();
    dlg.Path_PathEdit->setText(QString::fromStdString(folder.string()) + "/");
    return dlg.OKClick(true);
  };
  ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() && win_->CurrentWeb()->RetrievedCount == 3; }));
  EXPECT_EQ(shown.toStdString(), server_.Url("/"));
  EXPECT_EQ(win_->CurrentWeb()->Path(), folder / "local.web");
  EXPECT_EQ(win_->RecentPaths.front().toStdString(), (folder / "local.web").string());
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
    win_->RunWebDialog = [&](shell::TDlgWeb& dlg) {
      offered = dlg.NewMimeValidStateCheck->text() == QString::fromUtf8("Capturer les nouveaux types rencontrés");
      dlg.Path_PathEdit->setText(QString::fromStdString(folder.string()) + "/");
      // On its page, as a person sees and ticks it.
      dlg.GoToPage(dlg.Pages->indexOf(dlg.NewMimeValidStateCheck->parentWidget()));
      dlg.NewMimeValidStateCheck->setChecked(capture);
      EXPECT_TRUE(test::SaveScreenShot(dlg, capture ? "DlgWeb-NewTypes-on" : "DlgWeb-NewTypes-off"));
      EXPECT_TRUE(dlg.NewMimeValidStateCheck->isVisible());
      return dlg.OKClick(true);
    };
    ASSERT_TRUE(Pump([&] { return win_->CurrentWeb() && win_->CurrentWeb()->RetrievedCount >= 2 && !win_->Capture; }));
    EXPECT_TRUE(offered);
    EXPECT_EQ(State(server_.Url("/data.qln")), capture ? fsRetrieved : fsFilteredMime) << capture;
    EXPECT_EQ(fs::exists(folder / "127.0.0.1/data.qln"), capture);
    EXPECT_TRUE(fs::exists(folder / "127.0.0.1/a.htm"));
  }
}

TEST_F(MainWindowTest, StartProposesAndCompletesTheCaptureFlags) {
  Site();
  Make();
  win_->OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  std::vector<uint16_t> proposed;
  QRadioButton* shell::TDlgChooseCapture::*answer = nullptr;
  choose_ = [&](shell::TDlgChooseCapture& d) {
    proposed.push_back(d.Flags());  // what the dialog shows first
    if (!answer) return int(QDialog::Rejected);
    (d.*answer)->setChecked(true);
    return int(QDialog::Accepted);
  };
  win_->StartCapture();  // cancelled: nothing runs
  ASSERT_EQ(proposed.size(), 1u);
  EXPECT_EQ(proposed[0], kCaptureMissing);  // the start URL waits to be captured
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 0u);
  answer = &shell::TDlgChooseCapture::FinishRadio;
  win_->StartCapture();
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  // Nothing waits any more: an update, which marks the records first.
  answer = &shell::TDlgChooseCapture::UpdateRadio;
  win_->StartCapture();
  EXPECT_EQ(proposed.back(), kCaptureUpdate);
  EXPECT_EQ(win_->CaptureFlags, kCaptureUpdate | kCaptureUpdateWalk);
  EXPECT_EQ(Served("/a.htm"), 2);
}

TEST_F(MainWindowTest, StartAtALaterDateAddsASchedulerJob) {
  Make();
  const fs::path web = MakeWeb("later", server_.Url("/"));
  win_->OpenWebFile(web.string());
  const QDateTime when = QDateTime::currentDateTime().addDays(2);
  choose_ = [&](shell::TDlgChooseCapture& d) {
    d.FinishRadio->setChecked(true);
    d.LaterCheck->setChecked(true);
    d.LaterEdit->setDateTime(when);
    d.HangUpCheck->setChecked(true);
    return int(QDialog::Accepted);
  };
  win_->StartCapture();
  TScheduler& scheduler = win_->DlgScheduler->Scheduler();
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
  win_->OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  ASSERT_TRUE(win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  const std::string a = win_->CurrentWeb()->GetLocalPathOfUrl(server_.Url("/a.htm"));
  ASSERT_TRUE(fs::exists(a));
  HttpReply home = HttpReply::Ok("<html><head><title>Accueil</title></head><body><img src=\"i.gif\">" +
                                 std::string(2000, ' ') + "</body></html>");
  home.blockSize = 200;
  home.delayBetweenBlocks = std::chrono::milliseconds(20);
  Put("/", home);
  // A stopped walk proves nothing: the record stays.
  WhenCapturing([&] { win_->Capture->Stop(true); });
  ASSERT_TRUE(win_->RunCapture(kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(int(State(server_.Url("/a.htm"))), int(fsRetrieved));
  // Nor does a walk that could not start over the records still queued.
  ASSERT_TRUE(win_->RunCapture(kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve, nullptr, true));
  EXPECT_NE(int(State(server_.Url("/i.gif"))), 255);
  EXPECT_NE(int(State(server_.Url("/a.htm"))), 255);
  // The walk goes on from the records queued and ends: a.htm is left alone.
  ASSERT_TRUE(win_->RunCapture(kCaptureUpdate | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(int(State(server_.Url("/a.htm"))), 255);
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(int(State(server_.Url("/i.gif"))), int(fsRetrieved));
  EXPECT_EQ(int(State(server_.Url("/"))), int(fsRetrieved));
  // With nothing marked, an update (as a shortcut asks it) walks the site again.
  const int served = Served("/");
  ASSERT_TRUE(win_->RunCapture(kCaptureUpdate | kCaptureNoResolve, nullptr, true));
  EXPECT_EQ(Served("/"), served + 1);
  EXPECT_EQ(win_->CaptureFlags, kCaptureUpdate | kCaptureUpdateWalk | kCaptureNoResolve);
}

TEST_F(MainWindowTest, MovedWebIsReopenedThereAndHeadsTheRecentWebs) {
  Site();
  Make();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  win_->OpenWebFile(web.string());
  ASSERT_TRUE(win_->RunCapture(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  const fs::path target = fs::path(work_) / "moved";
  fs::create_directories(target);
  dirAnswer_ = QString::fromStdString(target.string());
  win_->CopyOrMoveWeb(true);
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->Path(), target / "local.web");
  EXPECT_FALSE(fs::exists(web));
  EXPECT_EQ(win_->RecentPaths.front().toStdString(), (target / "local.web").string());
  EXPECT_FALSE(win_->RecentPaths.contains(QString::fromStdString(web.string())));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
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
  win_->OpenWebFile(MakeWeb("dial", server_.Url("/")).string());
  EXPECT_FALSE(win_->RunCapture(kCaptureMissing | kCaptureClose, nullptr, true));
  EXPECT_EQ(Served("/"), 0);
  EXPECT_EQ(win_->Mode(), 1);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Connexion au réseau à distance..."});
  EXPECT_FALSE(boxes_.shown[0].text.empty());
  ASSERT_TRUE(Pump([&] { return !win_->isVisible(); }, 5));
}

TEST_F(MainWindowDialTest, DialledConnectionCarriesTheCaptureAndIsHungUpAfter) {
  Site();
  setup_.RasConnexion = "Maison";
  Make();
  win_->OpenWebFile(MakeWeb("dial", server_.Url("/")).string());
  EXPECT_TRUE(win_->RunCapture(kCaptureMissing | kCaptureNoResolve | kCaptureHangUp, nullptr, true));
  EXPECT_EQ(win_->CurrentWeb()->RetrievedCount, 3u);
  EXPECT_FALSE(win_->ConnectionFound);
  ASSERT_TRUE(Pump([&] { return win_->RasEntry->State() == kRasStateDisconnected; }, 5));
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace qlon
