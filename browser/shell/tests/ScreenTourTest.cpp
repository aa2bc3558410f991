// The program as a new user first sees it: the main window at the size it
// takes on a first start, on each page a person opens from the tree and the
// menus. Every view is written as a PNG under build/screens for a person to
// look at ("Tour-*.png"), and checked for what needs no person: no text
// wider than its widget, no framework button in English, the help page's
// title shown, the first web of a list readable.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QTest>

#include "DlgAbout.h"
#include "DlgHelp.h"
#include "DlgScheduler.h"
#include "DlgTaskWeb.h"
#include "DlgWeb.h"
#include "MainWindowFixture.h"
#include "ScreenCheck.h"
#include "ScreenShot.h"
#include "WCheckListBox.h"
#include "WTree.h"

namespace qlon::test {
namespace {

class ScreenTourTest : public MainWindowFixture {
 protected:
  // The first start: no place stored, the window shown.
  void Start() {
    Make();
    win_->show();
    ASSERT_TRUE(Pump([&] { return HelpWindow() && HelpWindow()->isVisible(); }, 5));
  }
  // The page of a tree node, as a click on it shows it.
  void ShowPage(int tag) {
    ASSERT_TRUE(Probe().Tree()->SelectPage(tag, true)) << tag;
    Probe().TreeTimerTimer();
    QCoreApplication::processEvents();
  }
  // Writes the view and checks what a person would otherwise have to see.
  void Look(QWidget& view, const std::string& name) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(SaveScreenShot(view, QString::fromStdString("Tour-" + name)));
    for (const std::string& clipped : ClippedTexts(view)) ADD_FAILURE() << name << ": " << clipped;
    for (const std::string& english : EnglishButtons(view)) ADD_FAILURE() << name << ": " << english;
  }
  // A job of one step in the scheduler, due tomorrow.
  void AddJob(const fs::path& web) {
    TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
    {
      auto lock = scheduler.LockTree();
      scheduler.Root().AddChild(CaptureJob(scheduler, web, kActionCapture | kActionResolveLinks, 86400000));
    }
    QCoreApplication::processEvents();
  }
};

TEST_F(ScreenTourTest, TheWindowOfAFirstStartShowsEveryPageWhole) {
  Start();
  // Centred on the screen (its frame, give or take the title bar), at least
  // at the size of the settings, larger when the docked forms need it.
  const QRect screen = win_->screen()->availableGeometry();
  EXPECT_NEAR(win_->frameGeometry().center().x(), screen.center().x(), 4);
  EXPECT_NEAR(win_->frameGeometry().center().y(), screen.center().y(), 4);
  EXPECT_GE(win_->width(), 665);
  EXPECT_GE(win_->height(), 480);

  // The help, with the title of its page.
  EXPECT_EQ(HelpWindow()->InfoLabel->text(), "Sommaire de l'aide");
  EXPECT_TRUE(HelpWindow()->InfoLabel->isVisible());
  Look(*win_, "Help");

  // A web: its capture page, its pages, its options page by page (the
  // configuration page from the form's own list: the tree has no node for it).
  Site();
  Probe().OpenWebFile(MakeWeb("site", server_.Url("/"), "Site de test").string());
  ASSERT_TRUE(Probe().Road().Run(kCaptureMissing | kCaptureNoResolve, nullptr, true));
  ShowPage(tpWeb);
  Look(*win_, "Capture");
  ShowPage(tpPages);
  Look(*win_, "Pages");
  for (int tag : {tpOptions, tpCaptureFolder, tpExploration, tpFileTypes, tpSizeLimits, tpFilters, tpOtherOptions}) {
    ShowPage(tag);
    ASSERT_NE(Probe().DlgWeb(), nullptr);
    ASSERT_TRUE(Probe().CfgWebFrame()->isVisible());
    Look(*win_, "Options-" + std::to_string(tag));
  }
  Probe().DlgWeb()->PageList->setCurrentRow(shell::TDlgWeb::pgProfile);
  ASSERT_EQ(Probe().DlgWeb()->CurrentPage(), shell::TDlgWeb::pgProfile);
  Look(*win_, "Options-" + std::to_string(tpCaptureKind));

  // The preferences, page by page.
  for (int tag = tpPreferences; tag <= tpFolders; ++tag) {
    ShowPage(tag);
    Look(*win_, "Preferences-" + std::to_string(tag));
  }

  // The scheduler with a job: the job shown is the one selected, its
  // commands are there.
  AddJob(MakeWeb("other", server_.Url("/a.htm"), "Autre site"));
  ShowPage(tpScheduler);
  ASSERT_TRUE(Probe().SchedulerFrame()->isVisible());
  EXPECT_FALSE(Probe().DlgScheduler()->TaskLabel->text().isEmpty());
  EXPECT_TRUE(Probe().DlgScheduler()->AddWebBtn->isEnabled());
  Look(*win_, "Scheduler");
}

TEST_F(ScreenTourTest, TheAboutBoxAndTheListOfWebsReadWell) {
  Start();
  bool seen = false;
  Probe().ExecDialog() = [&](QDialog& dialog) {
    if (auto* about = dynamic_cast<TDlgAbout*>(&dialog)) {
      seen = true;
      about->show();
      Look(*about, "About");
    }
    return int(QDialog::Rejected);
  };
  Probe().MenuHelpAbout()->trigger();
  EXPECT_TRUE(seen);

  // Three recent webs, a job; the list dialog from the job's menu, right
  // after a click on the job.
  for (const char* name : {"premier", "deuxième", "troisième"})
    Probe().OpenWebFile(MakeWeb(name, server_.Url("/"), std::string("Web ") + name).string());
  AddJob(fs::path(work_) / "premier" / "local.web");
  ShowPage(tpScheduler);
  TDlgScheduler& scheduler = *Probe().DlgScheduler();
  scheduler.TaskView->ClearSelection();
  scheduler.RefreshDetails();
  ASSERT_FALSE(scheduler.MenuAddWebList->isEnabled());
  QTest::mouseClick(scheduler.TaskView->viewport(), Qt::LeftButton, {},
                    scheduler.TaskView->CellRect(0, 0).center());
  ASSERT_TRUE(scheduler.MenuAddWebList->isEnabled());
  seen = false;
  scheduler.ExecDialog = [&](QDialog& dialog) {
    auto& list = dynamic_cast<TDlgTaskWeb&>(dialog);
    seen = true;
    list.show();
    list.WebList->setFocus();
    EXPECT_EQ(list.WebList->count(), 3);
    EXPECT_GT(FirstItemContrast(*list.WebList, TWCheckListBox::kTextIndent), 100);
    Look(list, "WebList");
    return int(QDialog::Rejected);
  };
  scheduler.MenuAddWebList->trigger();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace qlon::test
