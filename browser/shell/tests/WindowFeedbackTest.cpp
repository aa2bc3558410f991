// What the main window tells a person as they work: which page the tree
// highlights during a capture, how long a short run took, what each tool
// button does, and which browser opens a page right after it was chosen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QRadioButton>
#include <QComboBox>
#include <QTest>
#include <QToolButton>

#include "DlgSetup.h"
#include "WCustomGrid.h"
#include "MainWindowFixture.h"
#include "Shell.h"
#include "WBrowser.h"

namespace qlon::test {
namespace {

class WindowFeedbackTest : public MainWindowFixture {};

TEST_F(WindowFeedbackTest, DuringACaptureTheTreeHighlightsTheCapturePageAndAShortRunShowsItsDuration) {
  OpenSlowWeb();
  int selected = -1;
  QString caption;
  WhenCapturing([&] {
    // After the window's own refreshes of the run have been served.
    QTimer::singleShot(300, win_.get(), [&] {
      const controls::TWTreeNode* node = Probe().Tree()->GetSelectedNode();
      selected = node ? node->tag : 0;
      caption = node ? node->GetCaption() : QString();
    });
  });
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(1));
  EXPECT_EQ(selected, tpWeb) << caption.toStdString();
  EXPECT_TRUE(Probe().CaptureFrame()->isVisible());

  // A run of well under a second still gives its duration.
  Put("/", HttpReply::Ok("<html>vite</html>"));
  Probe().OpenWebFile(MakeWeb("quick", server_.Url("/")).string());
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(1));
  EXPECT_EQ(Probe().Find<QLabel>("ElapsedLabel")->text(), "00:00:00");
}

// A whole capture again (the web reset first) started from the capture
// page itself, from the menu and from the tool button: the reset lets go
// of the web for a moment, and the tree must come back to the capture page
// instead of staying on the first node it found without the web.
TEST_F(WindowFeedbackTest, AWholeCaptureAgainFromTheCapturePageKeepsTheTreeOnIt) {
  OpenSlowWeb();
  StartCaptureFromTheMenu();
  ASSERT_TRUE(CapturedAll(1));
  ASSERT_EQ(Probe().Tree()->GetPage(), int(tpWeb));
  choose_ = [](shell::TDlgChooseCapture& d) {
    d.ResetRadio->setChecked(true);
    return int(QDialog::Accepted);
  };
  const std::pair<const char*, std::function<void()>> roads[] = {
      {"Capture > Démarrer", [&] { Probe().MenuCaptureStart()->trigger(); }},
      {"the tool button", [&] { Probe().CaptureBtn()->click(); }},
  };
  for (const auto& [road, start] : roads) {
    std::vector<int> seen;
    WhenCapturing([&] {
      QTimer::singleShot(300, win_.get(), [&] {
        const controls::TWTreeNode* node = Probe().Tree()->GetSelectedNode();
        seen = {node ? node->tag : 0, Probe().PageTag()};
      });
    });
    start();
    ASSERT_TRUE(CapturedAll(1)) << road;
    ASSERT_EQ(seen.size(), 2u) << road << ": the run ended before it was looked at";
    EXPECT_EQ(seen[0], int(tpWeb)) << road;
    EXPECT_EQ(seen[1], int(tpWeb)) << road;
    EXPECT_TRUE(Probe().CaptureFrame()->isVisible()) << road;
  }
}

TEST_F(WindowFeedbackTest, EachToolButtonTellsItsCommand) {
  Make();
  const std::pair<const char*, const char*> tips[] = {
      {"NewBtn", "Nouveau"},         {"CaptureBtn", "Démarrer"},     {"StopBtn", "Arrêter"},
      {"BrowserBtn", "Voir l'URL sélectionnée"}, {"ConsulterBtn", "Sommaire"}, {"PageSommaireBut", "Sommaire"},
      {"QuitButton", "Quitter"}};
  for (const auto& [name, tip] : tips) EXPECT_EQ(Probe().Find<QToolButton>(name)->toolTip().toStdString(), tip) << name;
}

TEST_F(WindowFeedbackTest, TheBrowserChosenInThePreferencesOpensTheNextPageAtOnce) {
  const fs::path browser = fs::path(work_) / "navigateur";
  WriteFileBytes(browser, "#!/bin/sh\nexit 0\n");
  fs::permissions(browser, fs::perms::owner_all);
  Make();
  win_->show();
  Probe().Tree()->SelectPage(tpBrowser, true);
  Probe().TreeTimerTimer();
  shell::TDlgSetup& setup = *Probe().DlgSetup();
  ASSERT_TRUE(setup.BrowserOtherRadio->isVisible());
  setup.BrowserCombo->setEditText(QString::fromStdString(browser.string()));
  setup.BrowserOtherRadio->click();
  // Still on the page: nothing stored yet, and the browser is that one.
  EXPECT_EQ(GetBrowser().GetPath(), browser.string());
  platform::RecordingShell shell;
  EXPECT_TRUE(GetBrowser().OpenUrl("http://example.org/"));
  ASSERT_EQ(shell.programs.size(), 1u);
  EXPECT_EQ(shell.programs[0].front(), browser.string());
  // A program that does not exist is not taken.
  setup.BrowserCombo->setEditText("/nulle/part/navigateur");
  setup.BrowserOtherRadio->click();
  EXPECT_EQ(GetBrowser().GetPath(), browser.string());
}

// The capture page and the tree as the window grows and shrinks: the lists
// keep their proportion, the connections show every row they have and no
// more, the tree stays readable.
TEST_F(WindowFeedbackTest, ThePagesFollowTheWindowAndTheTreeStaysReadable) {
  Site();
  setup_.MaxSockets = 6;  // more rows than the list's least height shows
  Make();
  win_->show();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/")).string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  Probe().Tree()->SelectPage(tpWeb, true);
  Probe().TreeTimerTimer();
  auto* requests = Probe().Find<QWidget>("RequestList");
  auto* sockets = Probe().Find<QWidget>("SocketsFrame");
  auto* socketList = Probe().Find<controls::TWCustomGrid>("SocketList");
  const int rows = socketList->RowCount() * socketList->DefaultRowHeight() + 2 * socketList->frameWidth();
  std::vector<std::pair<int, int>> heights;
  for (const QSize size : {QSize(800, 600), QSize(1280, 900), QSize(1920, 1080), QSize(950, 480), QSize(800, 600)}) {
    win_->resize(size);
    QCoreApplication::processEvents();
    heights.emplace_back(requests->height(), sockets->height());
    EXPECT_LE(sockets->height(), rows) << size.width();
    // The caption and three connections are never cut.
    EXPECT_GE(sockets->height(), 4 * socketList->DefaultRowHeight() + 2 * socketList->frameWidth()) << size.width();
    EXPECT_GE(Probe().WTreeFrame()->width(), 120) << size.width();
  }
  // The request list takes what the window gains; back at the first size,
  // the page is as it was.
  EXPECT_GT(heights[2].first, heights[0].first + 300);
  EXPECT_EQ(heights[4], heights[0]);
}

}  // namespace
}  // namespace qlon::test
