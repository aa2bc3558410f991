#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <fstream>
#include <thread>
#include <utility>

#include "DlgScheduler.h"
#include "DlgTask.h"
#include "DlgTaskWeb.h"
#include "MessageBox.h"
#include "Scheduler.h"
#include "ScreenCheck.h"
#include "ScreenShot.h"
#include "TempRoot.h"
#include "Utils.h"
#include "WCheckListBox.h"
#include "WTree.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using controls::TWTreeNode;

double D(int y, int m, int d, int h = 0, int mi = 0) {
  return QDateTimeToDateTime(QDateTime(QDate(y, m, d), QTime(h, mi)));
}

struct RecordingHost : ISchedulerHost {
  void SchedulerStatusChanged(const QString& text) override { status.push_back(text); }
  std::vector<QString> status;
};

// A scheduler on a fresh work folder with a clock the test sets; its
// thread only runs when a test resumes it.
class SchedulerWindowTest : public ::testing::Test {
 protected:
  SchedulerWindowTest() : work(root.path() / "work") { fs::create_directories(work); }

  TSchedulerConfig Config() {
    TSchedulerConfig c;
    c.WorkFolder = work;
    c.ProgramFolder = root.path() / "bin";
    c.Now = [this] { return now.load(); };
    c.StartDelayMs = 0;
    c.PollIntervalMs = 1;
    c.SyncWaitMs = 0;
    return c;
  }
  // Builds the window over a scheduler holding one week-day job with the given steps.
  void Open(std::vector<std::string> webs = {}) {
    auto scheduler = std::make_unique<TScheduler>(Config());
    if (!webs.empty() || withJob) {
      auto job = std::make_unique<TTask>();
      job->StartKind = skWeekDays;
      job->WeekDays = 1;  // Monday
      job->StartDate = 10.0 / 24;
      TTask* added = scheduler->Root().AddChild(std::move(job));
      for (const std::string& w : webs) {
        auto step = std::make_unique<TTaskWeb>();
        step->WebPath = w;
        added->AddChild(std::move(step));
      }
    }
    window = std::make_unique<TDlgScheduler>(std::move(scheduler), &host);
    window->resize(600, 400);
    window->show();
    QCoreApplication::processEvents();
  }
  TScheduler& S() { return window->Scheduler(); }
  TTask* Job(int i) { return S().Root().GetChild(i); }
  TWTreeNode* NodeOf(const TTask* task) {
    TWTreeNode* found = nullptr;
    window->TaskView->IterateNodes(window->TaskView->Root(), [&](TWTreeNode* n) {
      if (reinterpret_cast<TTask*>(n->data) == task) found = n;
      return !found;
    });
    return found;
  }
  std::string MakeWeb(const std::string& name) {
    const fs::path p = work / name;
    std::ofstream(p) << "x";
    return p.string();
  }
  // The job list as saved in "scheduler.dat", read by a scheduler of its own.
  std::vector<std::pair<int, int>> SavedJobs() {
    TSchedulerConfig c = Config();
    c.WorkFolder = work;
    auto copy = std::make_unique<TScheduler>(c);
    std::vector<std::pair<int, int>> jobs;
    for (int i = 0; i < copy->Root().GetChildCount(); ++i)
      jobs.emplace_back(copy->Root().GetChild(i)->StartKind, copy->Root().GetChild(i)->GetChildCount());
    return jobs;
  }
  bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  test::TempRoot root;
  fs::path work;
  std::atomic<double> now{D(2026, 3, 9, 12, 0)};  // a Monday
  bool withJob = true;
  RecordingHost host;
  platform::ScriptedMessageBoxes boxes;
  std::unique_ptr<TDlgScheduler> window;
};

TEST_F(SchedulerWindowTest, TreeShowsJobsWithTheirStepsAndStates) {
  Open({"/nowhere/a.web", "/nowhere/b.web"});
  ASSERT_EQ(window->TaskView->GetItemCount(), 3);
  TWTreeNode* job = NodeOf(Job(0));
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(job->text, "[1] " + QString::fromStdString(Job(0)->GetStartText()));
  EXPECT_TRUE(job->text.contains("Lundi"));
  EXPECT_EQ(job->ChildCount(), 2);
  EXPECT_EQ(job->Child(1)->text, QString::fromStdString(static_cast<TTaskWeb*>(Job(0)->GetChild(1))->GetCaption()));
  EXPECT_EQ(job->checkState, tsWaiting);
  EXPECT_EQ(job->Child(0)->checkState, 8 + tsWaiting);
  ASSERT_FALSE(host.status.empty());
  EXPECT_EQ(host.status.back(), "1 tâche(s) en attente d'éxecution");

  // A change made behind the window's back (the main window ending a step).
  Job(0)->GetChild(0)->SetError(5, "absent");
  QCoreApplication::processEvents();
  EXPECT_EQ(job->Child(0)->checkState, 8 + tsError);
  window->SelectTask(Job(0)->GetChild(0));
  EXPECT_EQ(window->StateLabel->text(), "En erreur");
  EXPECT_EQ(window->ResultLabel->text(), "Erreur au chargement du Web ( absent )");
  EXPECT_EQ(window->LastStartLabel->text(), "Dernier démarrage : <Aucun>");
}

TEST_F(SchedulerWindowTest, TheCommandsFollowTheTaskSelectedAtOnce) {
  Open({"/nowhere/a.web"});
  // The row the window shows as current is the selected job.
  EXPECT_EQ(window->TaskLabel->text(), "Tâche 1");
  EXPECT_TRUE(window->AddWebBtn->isEnabled());
  EXPECT_TRUE(window->MenuAddWebList->isEnabled());
  // Nothing selected, then a click on the job: its commands at once.
  window->TaskView->ClearSelection();
  window->RefreshDetails();
  EXPECT_FALSE(window->AddWebBtn->isEnabled());
  EXPECT_FALSE(window->PropBtn->isEnabled());
  QTest::mouseClick(window->TaskView->viewport(), Qt::LeftButton, {}, window->TaskView->CellRect(0, 0).center());
  EXPECT_TRUE(window->AddWebBtn->isEnabled());
  EXPECT_TRUE(window->PropBtn->isEnabled());
  EXPECT_TRUE(window->MenuDelete->isEnabled());
  // A running job cannot be deleted; the menu says so as soon as it runs.
  window->StartClick();
  EXPECT_FALSE(window->MenuDelete->isEnabled());
  EXPECT_TRUE(window->MenuStop->isEnabled());
}

TEST_F(SchedulerWindowTest, NewTaskDialogAddsAJobAndSavesIt) {
  withJob = false;
  Open();
  int shown = 0;
  window->ExecDialog = [&](QDialog& d) {
    auto& dlg = dynamic_cast<TDlgTask&>(d);
    ++shown;
    dlg.StartKindCombo->setCurrentIndex(skMonthly - 1);
    dlg.OkBtnClick();  // no month chosen: refused
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.StartKindCombo->setCurrentIndex(skWeekDays - 1);
    dlg.DayCheck[2]->setChecked(true);  // Wednesday
    dlg.StartTimeEdit->setTime(QTime(8, 30));
    dlg.HangUpCheck->setChecked(true);
    dlg.OkBtnClick();
    return dlg.result();
  };
  window->NewTaskClick();
  EXPECT_EQ(shown, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Vous devez choisir les mois!");
  ASSERT_EQ(S().Root().GetChildCount(), 1);
  const TTask* job = Job(0);
  EXPECT_EQ(job->StartKind, skWeekDays);
  EXPECT_EQ(job->WeekDays, 4);
  EXPECT_EQ(job->Flags & kTaskHangUp, kTaskHangUp);
  EXPECT_EQ(window->SelectedTask(), job);
  EXPECT_EQ(window->TaskView->GetItemCount(), 1);
  EXPECT_EQ(SavedJobs(), (std::vector<std::pair<int, int>>{{skWeekDays, 0}}));

  // Cancelled: nothing added.
  window->ExecDialog = [](QDialog&) { return int(QDialog::Rejected); };
  window->NewTaskClick();
  EXPECT_EQ(S().Root().GetChildCount(), 1);
}

TEST(TaskDialog, OnceRuleAndTimeLimitRoundTrip) {
  TTask task;
  task.StartKind = skOnce;
  task.StartDate = D(2026, 7, 14, 21, 45);
  task.MaxDurationOn = true;
  task.MaxDuration = 1.5 / 24;  // 01:30:00
  task.Flags = kTaskCloseProgram | kTaskChecked;
  TDlgTask dlg(task, {3, 7});
  EXPECT_EQ(dlg.DateEdit->date(), QDate(2026, 7, 14));
  EXPECT_EQ(dlg.StartTimeEdit->time(), QTime(21, 45));
  EXPECT_EQ(dlg.LimitEdit->time(), QTime(1, 30));
  EXPECT_EQ(dlg.TaskCombo->count(), 2);
  dlg.DateEdit->setDate(QDate(2026, 8, 1));
  TTask saved;
  dlg.SaveTo(saved);
  EXPECT_EQ(saved.StartKind, skOnce);
  EXPECT_NEAR(saved.StartDate, D(2026, 8, 1, 21, 45), 1e-9);
  EXPECT_NEAR(saved.MaxDuration, 1.5 / 24, 1e-9);
  EXPECT_EQ(saved.Flags, kTaskCloseProgram);  // the target keeps its other flags
  EXPECT_EQ(saved.GetState(), tsWaiting);

  // Another rule keeps only the time of day; "after a task" the chosen job.
  dlg.StartKindCombo->setCurrentIndex(skAfterTask - 1);
  dlg.TaskCombo->setCurrentIndex(1);
  dlg.SaveTo(saved);
  EXPECT_NEAR(saved.StartDate, 21.75 / 24, 1e-9);
  EXPECT_EQ(saved.WaitFor, 7u);
}

TEST_F(SchedulerWindowTest, PropertiesOfARunningJobKeepItRunningUnlessPutToSleep) {
  Open({"/nowhere/a.web"});
  window->SelectTask(Job(0));
  window->StartClick();
  ASSERT_EQ(Job(0)->GetState(), tsRunning);
  EXPECT_EQ(window->StartBtn->text(), "Arrêter");
  window->ExecDialog = [](QDialog& d) {
    auto& dlg = dynamic_cast<TDlgTask&>(d);
    EXPECT_TRUE(dlg.DayCheck[0]->isChecked());
    EXPECT_FALSE(dlg.SuspendCheck->isChecked());
    EXPECT_FALSE(dlg.LimitEdit->isEnabled());
    EXPECT_EQ(dlg.LimitEdit->time(), QTime(0, 5));
    dlg.DayCheck[4]->setChecked(true);
    dlg.OkBtnClick();
    return dlg.result();
  };
  window->PropertiesClick();
  EXPECT_EQ(Job(0)->WeekDays, 1 | 16);
  EXPECT_EQ(Job(0)->GetState(), tsRunning);
  EXPECT_EQ(Job(0)->GetChildCount(), 1);  // Assign leaves the steps alone

  window->ExecDialog = [](QDialog& d) {
    auto& dlg = dynamic_cast<TDlgTask&>(d);
    dlg.SuspendCheck->setChecked(true);
    dlg.OkBtnClick();
    return dlg.result();
  };
  window->PropertiesClick();
  EXPECT_EQ(Job(0)->GetState(), tsAsleep);
}

TEST_F(SchedulerWindowTest, WebStepDialogRefusesAStepWithoutWork) {
  Open({"/nowhere/a.web"});
  window->SelectTask(Job(0)->GetChild(0));
  window->ExecDialog = [](QDialog& d) {
    auto& dlg = dynamic_cast<TDlgTaskWeb&>(d);
    EXPECT_EQ(dlg.WebCombo->currentText(), "/nowhere/a.web");
    EXPECT_TRUE(dlg.CaptureCheck->isChecked());
    dlg.CaptureCheck->setChecked(false);
    dlg.OkBtnClick();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.UpdateCheck->setChecked(true);
    dlg.ResolveCheck->setChecked(true);
    dlg.WebCombo->setCurrentText("/nowhere/b.web");
    dlg.OkBtnClick();
    return dlg.result();
  };
  window->PropertiesClick();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Vous devez préciser un travail à effectuer!");
  EXPECT_EQ(boxes.shown[0].caption, "Attention!");
  const auto* step = static_cast<TTaskWeb*>(Job(0)->GetChild(0));
  EXPECT_EQ(step->WebPath, "/nowhere/b.web");
  EXPECT_EQ(step->Actions, kActionUpdate | kActionResolveLinks);
  EXPECT_TRUE(NodeOf(step)->text.startsWith("/nowhere/b.web"));
}

TEST_F(SchedulerWindowTest, ListOfWebsAddsEachWebOnce) {
  const std::string a = MakeWeb("a.web"), b = MakeWeb("b.web");
  std::ofstream(work / "webs.dat") << b << "\r\n" << (work / "gone.web").string() << "\r\n" << a << "\r\n";
  QString upper = QString::fromStdString(a);
  upper.replace("a.web", "A.WEB");
  Open({upper.toStdString()});  // the job holds a already, in another case
  window->SelectTask(Job(0)->GetChild(0));
  bool shown = false;
  const auto checkAll = [&shown](QDialog& d) {
    auto& dlg = dynamic_cast<TDlgTaskWeb&>(d);
    EXPECT_EQ(dlg.windowTitle(), "Ajouter une liste de webs...");
    EXPECT_EQ(dlg.WebList->count(), 2);  // the missing file is not offered
    if (!std::exchange(shown, true)) {
      // As a person sees it: the list takes the focus on its first web,
      // whose name must stand out from the background.
      dlg.show();
      dlg.WebList->setFocus();
      EXPECT_TRUE(test::SaveScreenShot(dlg, "DlgTaskWeb-List"));
      EXPECT_GT(test::FirstItemContrast(*dlg.WebList, TWCheckListBox::kTextIndent), 100);
    }
    for (int i = 0; i < dlg.WebList->count(); ++i) dlg.WebList->SetChecked(i, true);
    dlg.OkBtnClick();
    return dlg.result();
  };
  window->ExecDialog = checkAll;
  window->AddWebListClick();
  window->AddWebListClick();
  ASSERT_EQ(Job(0)->GetChildCount(), 2);
  EXPECT_EQ(static_cast<TTaskWeb*>(Job(0)->GetChild(1))->WebPath, b);
  EXPECT_EQ(SavedJobs(), (std::vector<std::pair<int, int>>{{skWeekDays, 2}}));
}

TEST_F(SchedulerWindowTest, JournalViewShowsTheJobsJournal) {
  Open({"/nowhere/a.web"});
  {
    std::ofstream j(work / "Task1.jrl", std::ios::binary);
    j << "[ 09/03/2026 10:00:00 ] Démarrage de la tâche\r\n[ 09/03/2026 10:05:00 ] Arrêt de la tâche\r\n";
  }
  window->SelectTask(Job(0)->GetChild(0));  // a step shows its job's journal
  ASSERT_EQ(window->JournalList->count(), 2);
  EXPECT_EQ(window->JournalList->item(1)->text(), "[ 09/03/2026 10:05:00 ] Arrêt de la tâche");
  // An entry written on another thread reaches the list through the event loop.
  std::thread([&] { Job(0)->Log("depuis le planificateur"); }).join();
  ASSERT_TRUE(WaitFor([&] { return window->JournalList->count() == 3; }));
  EXPECT_TRUE(window->JournalList->item(2)->text().endsWith("depuis le planificateur"));
  window->ClearJournalClick();
  EXPECT_EQ(window->JournalList->count(), 0);
  EXPECT_FALSE(fs::exists(work / "Task1.jrl"));
}

TEST_F(SchedulerWindowTest, SleepWakesAnAsleepTaskAndStopsARunningJobsStep) {
  Open({"/nowhere/a.web"});
  window->SelectTask(Job(0));
  window->StartClick();
  S().Tick();
  S().Tick();
  ASSERT_EQ(Job(0)->GetChild(0)->GetState(), tsRunning);
  window->SleepClick();
  EXPECT_EQ(Job(0)->GetState(), tsAsleep);
  EXPECT_EQ(Job(0)->GetChild(0)->GetState(), tsWaiting);
  window->SleepClick();
  EXPECT_EQ(Job(0)->GetState(), tsWaiting);
  QCoreApplication::processEvents();
  EXPECT_EQ(NodeOf(Job(0))->checkState, tsWaiting);
}

TEST_F(SchedulerWindowTest, CopyPasteDeleteAndDrop) {
  Open({"/nowhere/a.web", "/nowhere/b.web"});
  window->SelectTask(Job(0));
  window->CopyClick();
  window->PasteClick();  // a job goes to the root
  ASSERT_EQ(S().Root().GetChildCount(), 2);
  TTask* second = Job(1);
  EXPECT_EQ(second->Number, 2);
  EXPECT_EQ(second->WeekDays, 1);
  ASSERT_EQ(second->GetChildCount(), 2);

  TTask* stepB = Job(0)->GetChild(1);
  window->SelectTask(stepB);
  window->CopyClick();
  window->SelectTask(second);
  window->PasteClick();  // a step goes into the selected job
  ASSERT_EQ(second->GetChildCount(), 3);
  EXPECT_EQ(static_cast<TTaskWeb*>(second->GetChild(2))->WebPath, "/nowhere/b.web");
  EXPECT_EQ(window->TaskView->GetItemCount(), 2 + 2 + 3);

  // A job moved among jobs keeps its number (and so its journal).
  std::ofstream(work / "Task2.jrl") << "journal 2\r\n";
  EXPECT_FALSE(window->CanDrop(Job(0), Job(0)->GetChild(0)));
  ASSERT_TRUE(window->DropTask(second, Job(0), false));
  EXPECT_EQ(Job(0), second);
  EXPECT_EQ(Job(0)->Number, 2);
  EXPECT_TRUE(fs::exists(work / "Task2.jrl"));
  // A step moved into another job leaves its own.
  TTask* first = Job(1);
  ASSERT_TRUE(window->DropTask(stepB, second, false));
  EXPECT_EQ(first->GetChildCount(), 1);
  EXPECT_EQ(second->GetChildCount(), 4);
  // Copied with DRAG_COPY, the source stays.
  ASSERT_TRUE(window->DropTask(first->GetChild(0), second->GetChild(0), true));
  EXPECT_EQ(first->GetChildCount(), 1);
  EXPECT_EQ(second->GetChildCount(), 5);
  EXPECT_EQ(static_cast<TTaskWeb*>(second->GetChild(0))->WebPath, "/nowhere/a.web");

  // An active task is not deleted; a waiting one is, with its journal.
  window->SelectTask(second);
  window->StartClick();
  window->DeleteClick();
  EXPECT_EQ(S().Root().GetChildCount(), 2);
  window->StopClick();
  ASSERT_FALSE(second->IsActive());
  window->SelectTask(second);
  window->DeleteClick();
  EXPECT_EQ(S().Root().GetChildCount(), 1);
  EXPECT_FALSE(fs::exists(work / "Task2.jrl"));
  EXPECT_EQ(window->TaskView->GetItemCount(), 2);
  EXPECT_EQ(SavedJobs(), (std::vector<std::pair<int, int>>{{skWeekDays, 1}}));
}

TEST_F(SchedulerWindowTest, SchedulerThreadStateChangesReachTheTree) {
  withJob = false;
  Open();
  {
    auto lock = S().LockTree();
    auto job = std::make_unique<TTask>();
    job->StartKind = skOnce;
    job->StartDate = now - 1.0 / 1440;  // a minute ago: due
    S().Root().AddChild(std::move(job));
  }
  S().Resume();
  // Without the main window's start handler the job runs, then ends.
  ASSERT_TRUE(WaitFor([&] {
    auto lock = S().LockTree();
    TWTreeNode* n = window->TaskView->GetItemCount() == 1 ? window->TaskView->Root()->Child(0) : nullptr;
    return n && Job(0)->LastStart != 0 && n->checkState == Job(0)->GetState();
  }));
  window->SuspendClick();
  EXPECT_TRUE(S().IsSuspended());
  EXPECT_EQ(host.status.back(), "Gestionnaire suspendu");
  window.reset();  // joins the running thread
}

}  // namespace
}  // namespace qlon
