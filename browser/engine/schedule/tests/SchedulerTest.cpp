#include "Scheduler.h"

#include <chrono>
#include <deque>
#include <thread>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QProcess>

#include "NamedMutex.h"
#include "Registry.h"
#include "Shell.h"
#include "StreamBytes.h"
#include "TempRoot.h"
#include "TestApp.h"
#include "Utils.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

double D(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d))) + (h * 3600 + mi * 60 + s) / 86400.0;
}
constexpr double kMinute = 1.0 / 1440;

// The GUI thread of the tests: calls queue up until the test thread runs
// them; a test that never runs them plays a GUI that is busy or gone.
class QueueGui : public ISchedulerGui {
 public:
  bool IsCurrentThread() const override { return std::this_thread::get_id() == gui_; }
  void Post(std::function<void()> f) override {
    std::lock_guard lk(m_);
    queue_.push_back(std::move(f));
    cv_.notify_all();
  }
  std::size_t Pending() {
    std::lock_guard lk(m_);
    return queue_.size();
  }
  // Runs queued calls until `done` holds or the time is up.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> f;
      {
        std::unique_lock lk(m_);
        if (!cv_.wait_until(lk, std::min(end, std::chrono::steady_clock::now() + 5ms), [&] { return !queue_.empty(); })) {
          if (std::chrono::steady_clock::now() >= end) return done();
          continue;
        }
        f = std::move(queue_.front());
        queue_.pop_front();
      }
      f();
    }
    return true;
  }

 private:
  std::thread::id gui_ = std::this_thread::get_id();
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

// A fresh platform root and work folder, a clock the test sets, and calls
// into the GUI made directly (the test thread is the GUI thread).
class SchedulerTest : public ::testing::Test {
 protected:
  SchedulerTest() : work(root.path() / "work"), program(root.path() / "bin") {
    fs::create_directories(work);
    fs::create_directories(program);
  }
  TSchedulerConfig Config() {
    TSchedulerConfig c;
    c.WorkFolder = work;
    c.ProgramFolder = program;
    c.Now = [this] { return now.load(); };
    c.IdleSeconds = [this] { return idle.load(); };
    c.Gui = &gui;
    c.StartDelayMs = 0;
    c.PollIntervalMs = 1;
    c.SyncWaitMs = 0;
    return c;
  }
  // A job with web steps on the given capture files.
  static TTask* AddJob(TTask& parent, TTaskStartKind kind, std::vector<std::string> webs) {
    auto job = std::make_unique<TTask>();
    job->StartKind = kind;
    TTask* added = parent.AddChild(std::move(job));
    for (const std::string& w : webs) {
      auto step = std::make_unique<TTaskWeb>();
      step->WebPath = w;
      added->AddChild(std::move(step));
    }
    return added;
  }

  test::TempRoot root;
  fs::path work, program;
  std::atomic<double> now{D(2026, 3, 10, 12, 0)};
  std::atomic<int> idle{-1};
  QueueGui gui;
};

// ---------------------------------------------------------------------------
// Start rules

struct NextStartRow {
  const char* name;
  TTaskStartKind kind;
  int day;
  unsigned bits;  // months or week days
  double start;   // the rule's time (and date for once)
  double now;
  double expected;
};

TEST(TaskRules, NextStartOverCalendarEdges) {
  const unsigned apr = 1u << 4, may = 1u << 5, feb = 1u << 2, dec = 1u << 12, all = 0x1FFE;
  const unsigned mon = 1, sat = 1u << 5, sun = 1u << 6;
  const double t10 = 10 * 60 * kMinute;
  const NextStartRow rows[] = {
      {"31st skips April, which lacks it", skMonthly, 31, apr | may, t10, D(2026, 3, 31, 12), D(2026, 5, 31, 10)},
      {"31st in April only never comes", skMonthly, 31, apr, t10, D(2026, 3, 1), 0},
      {"29 February waits for a leap year", skMonthly, 29, feb, t10, D(2025, 3, 1), D(2028, 2, 29, 10)},
      {"29 February of this leap year", skMonthly, 29, feb, t10, D(2028, 1, 31), D(2028, 2, 29, 10)},
      {"today, time still ahead", skMonthly, 15, all, t10, D(2026, 6, 15, 9, 59), D(2026, 6, 15, 10)},
      {"today, time passed: next month", skMonthly, 15, all, t10, D(2026, 6, 15, 10, 1), D(2026, 7, 15, 10)},
      {"later this month", skMonthly, 20, all, t10, D(2026, 6, 15, 23), D(2026, 6, 20, 10)},
      {"December wraps into next year", skMonthly, 5, dec, t10, D(2026, 12, 10), D(2027, 12, 5, 10)},
      {"no month set", skMonthly, 5, 0, t10, D(2026, 12, 10), 0},
      {"no week day set", skWeekDays, 0, 0, t10, D(2026, 3, 9), 0},
      {"Monday, time ahead", skWeekDays, 0, mon, t10, D(2026, 3, 9, 9), D(2026, 3, 9, 10)},
      {"Monday, time passed: a week on", skWeekDays, 0, mon, t10, D(2026, 3, 9, 11), D(2026, 3, 16, 10)},
      {"Sunday midnight from Saturday night", skWeekDays, 0, sun, 0, D(2026, 3, 14, 23, 59), D(2026, 3, 15, 0)},
      {"Saturday into the next week", skWeekDays, 0, sat, t10, D(2026, 3, 14, 10, 0, 1), D(2026, 3, 21, 10)},
      {"once, ahead", skOnce, 0, 0, D(2026, 4, 1, 8), D(2026, 3, 31), D(2026, 4, 1, 8)},
      {"once, passed", skOnce, 0, 0, D(2026, 4, 1, 8), D(2026, 4, 1, 8, 1), 0},
      {"after a task: none", skAfterTask, 0, 0, t10, D(2026, 4, 1), 0},
      {"idle: none", skIdle, 0, 0, t10, D(2026, 4, 1), 0},
  };
  for (const NextStartRow& r : rows) {
    TTask task;
    task.StartKind = r.kind;
    task.Day = static_cast<std::uint8_t>(r.day);
    task.Months = static_cast<std::uint16_t>(r.bits);
    task.WeekDays = static_cast<std::uint8_t>(r.bits);
    task.StartDate = r.start;
    EXPECT_NEAR(task.NextStart(r.now), r.expected, 1e-7) << r.name;
  }
  TTask once;
  once.StartKind = skOnce;
  once.StartDate = D(2026, 4, 1, 8);
  once.LastEnd = D(2026, 4, 1, 8, 5);  // ended after its date (clock set back since)
  EXPECT_EQ(once.NextStart(D(2026, 3, 1)), 0);
  once.LastEnd = 0;
  once.SetState(tsAsleep);
  EXPECT_EQ(once.NextStart(D(2026, 3, 1)), 0);
}

TEST(TaskRules, IsDueRunsOncePerDayInEveryYearAndWeek) {
  TTask monthly;
  monthly.StartKind = skMonthly;
  monthly.Day = 10;
  monthly.Months = 1u << 3;
  monthly.StartDate = 10 * 60 * kMinute;
  EXPECT_FALSE(monthly.IsDue(D(2026, 3, 10, 9, 59)));
  EXPECT_TRUE(monthly.IsDue(D(2026, 3, 10, 10)));
  EXPECT_FALSE(monthly.IsDue(D(2026, 3, 11, 10)));
  monthly.LastEnd = D(2026, 3, 10, 10, 30);
  EXPECT_FALSE(monthly.IsDue(D(2026, 3, 10, 11)));
  // Last year's run on the same day does not count.
  EXPECT_TRUE(monthly.IsDue(D(2027, 3, 10, 11)));
  // A run that ended just after midnight before the start time does not either.
  monthly.LastEnd = D(2026, 3, 10, 0, 10);
  EXPECT_TRUE(monthly.IsDue(D(2026, 3, 10, 11)));

  TTask weekly;
  weekly.StartKind = skWeekDays;
  weekly.StartDate = 10 * 60 * kMinute;
  EXPECT_FALSE(weekly.IsDue(D(2026, 3, 10, 12)));  // no day set
  weekly.WeekDays = 1u << 1;                        // Tuesday
  EXPECT_TRUE(weekly.IsDue(D(2026, 3, 10, 12)));
  EXPECT_FALSE(weekly.IsDue(D(2026, 3, 11, 12)));
  weekly.LastEnd = D(2026, 2, 10, 12);  // same day of month, another month
  EXPECT_TRUE(weekly.IsDue(D(2026, 3, 10, 12)));
  weekly.LastEnd = D(2026, 3, 10, 11);
  EXPECT_FALSE(weekly.IsDue(D(2026, 3, 10, 12)));

  TTask once;
  once.StartKind = skOnce;
  once.StartDate = D(2026, 3, 1, 8);
  EXPECT_FALSE(once.IsDue(D(2026, 3, 1, 7)));
  EXPECT_TRUE(once.IsDue(D(2026, 3, 9)));  // passed, never ended since
  once.LastEnd = D(2026, 3, 1, 9);
  EXPECT_FALSE(once.IsDue(D(2026, 3, 9)));

  TTask after;
  after.StartKind = skAfterTask;
  EXPECT_FALSE(after.IsDue(D(2026, 3, 9)));
}

TEST(TaskRules, RunningTimeLimitCountsAcrossMidnight) {
  TTask task;
  task.LastStart = D(2026, 3, 10, 23, 30);
  task.MaxDuration = 60 * kMinute;
  EXPECT_FALSE(task.TimeLimitPassed(D(2026, 3, 11, 0, 31)));  // not on
  task.MaxDurationOn = true;
  EXPECT_FALSE(task.TimeLimitPassed(D(2026, 3, 11, 0, 29)));
  EXPECT_TRUE(task.TimeLimitPassed(D(2026, 3, 11, 0, 31)));
  EXPECT_FALSE(task.TimeLimitPassed(D(2026, 3, 10, 22)));  // clock set back
  task.MaxDuration = 0;
  EXPECT_FALSE(task.TimeLimitPassed(D(2026, 3, 12)));
}

TEST(TaskRules, StartTexts) {
  TTask t;
  t.StartKind = skMonthly;
  t.Day = 31;
  t.Months = (1u << 4) | (1u << 5);
  t.StartDate = (14 * 60 + 5) * kMinute;
  EXPECT_EQ(t.GetStartText(), " Tous les 31 des mois de Avril, Mai à 14:05");
  t.StartKind = skWeekDays;
  t.WeekDays = 1u | (1u << 6);
  EXPECT_EQ(t.GetStartText(), "Tous les Lundi, Dimanche à 14:05");
  t.StartKind = skAfterTask;
  t.WaitFor = 7;
  EXPECT_EQ(t.GetStartText(), "Lorsque la tâche 7 est terminée");
  t.StartKind = skOnce;
  t.StartDate = D(2000, 1, 3, 14, 5, 9);
  EXPECT_EQ(t.GetStartText(), "Le lundi 3 janv. 2000,14:05:09");
  EXPECT_EQ(FormatTaskDate(0), "");
}

TEST(TaskRules, WebStepCaptionIsCutPastFortyCharacters) {
  TTaskWeb step;
  step.Number = 3;
  step.Actions = kActionCapture | kActionUpdate;
  step.WebPath = "/no/such/Été/capture.web";  // no title to read: the path
  EXPECT_EQ(step.GetCaption(), "/no/such/Été/capture.web [3] Capture, Mise à jour");
  step.WebPath = "/no/such/folder/with/a/rather/long/name/capture.web";
  EXPECT_EQ(step.GetCaption(), "/no/such/folder/with/a/rather/long/na... [3] Capture, Mise à jour");
}

TEST_F(SchedulerTest, IdleJobRunsOncePerIdlePeriod) {
  TScheduler s(Config());
  TTask* job = AddJob(s.Root(), skIdle, {});
  job->IdleMinutes = 5;
  EXPECT_FALSE(job->IsDue(now));  // idle time unknown: the user starts it
  idle = 299;
  EXPECT_FALSE(job->IsDue(now));
  idle = 600;
  EXPECT_TRUE(job->IsDue(now));
  job->LastEnd = now - 60 * kMinute / 60;  // ended a minute ago, during this idle period
  EXPECT_FALSE(job->IsDue(now));
}

// ---------------------------------------------------------------------------
// Tree

TEST_F(SchedulerTest, TreeNumbersCopiesAndJournals) {
  TScheduler s(Config());
  TTask* job = AddJob(s.Root(), skOnce, {"/w/a.web", "/w/b.web", "/w/c.web", "/w/d.web"});
  job->DeleteChild(job->GetChild(2));
  EXPECT_EQ(job->GetChild(2)->Number, 4);
  TTask* added = job->AddChild(std::make_unique<TTaskWeb>());
  EXPECT_EQ(added->Number, 3);  // the smallest free number
  EXPECT_EQ(added->GetIndex(), 3);
  EXPECT_EQ(job->GetChild(4), nullptr);
  EXPECT_EQ(job->GetChild(-1), nullptr);
  job->ExchangeChildren(job->GetChild(0), added);
  EXPECT_EQ(job->GetChild(0), added);

  std::vector<int> order;
  s.Root().ForEachDescendant([&](TTask& t) { order.push_back(t.Number + (t.GetParent() == &s.Root() ? 100 : 0)); });
  EXPECT_EQ(order, (std::vector<int>{101, 3, 2, 4, 1}));

  // A copy is a new task of the same class, with its steps, and a new number.
  TTask* copy = s.Root().AddCopy(*job);
  EXPECT_EQ(copy->Number, 2);
  ASSERT_EQ(copy->GetChildCount(), 4);
  auto* step = dynamic_cast<TTaskWeb*>(copy->GetChild(1));
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->WebPath, "/w/b.web");
  EXPECT_EQ(step->GetOwner(), &s);

  // Steps write into their job's journal, "Task<n>.jrl" with n = 0 * 256 + 2.
  step->WriteJournal(jkWebLoad, "/w/b.web");
  step->SetError(8, "http://h/ : Pas trouvé (404)");
  const TaskStringList lines = copy->LoadJournal();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" ] Chargement du web /w/b.web"), std::string::npos);
  EXPECT_EQ(lines[0].rfind("[ 10/03/2026 12:00:00 ]", 0), 0u);
  EXPECT_NE(lines[1].find("] #Erreur sur l'Url ( http://h/ : Pas trouvé (404) )"), std::string::npos);
  EXPECT_TRUE(fs::exists(work / "Task2.jrl"));
  EXPECT_EQ(step->LoadJournal(), lines);
  step->ClearJournal();  // a step's journal is its job's
  EXPECT_FALSE(fs::exists(work / "Task2.jrl"));
  step->WriteJournal(jkWebLoad, "/w/b.web");
  // Deleting the job takes its journal along.
  s.Root().DeleteChild(copy);
  EXPECT_FALSE(fs::exists(work / "Task2.jrl"));
  EXPECT_EQ(s.Root().AddChild(std::make_unique<TTask>())->LoadJournal(), TaskStringList{});
}

// ---------------------------------------------------------------------------
// Stepping, with a host that does what the main window does

class SteppingTest : public SchedulerTest {
 protected:
  void Bind(TScheduler& s) {
    s.OnTaskStart = [this](TTask& t) {
      calls.push_back("start " + Name(t));
      if (failStart == &t) {
        t.SetError(5, "");
        return false;
      }
      t.WriteJournal(dynamic_cast<TTaskWeb*>(&t) ? jkWorkStart : jkTaskStart);
      t.SetState(tsRunning);
      return true;
    };
    s.OnTaskEnd = [this](TTask& t) {
      calls.push_back("end " + Name(t));
      t.SetState(tsWaiting);
      t.WriteJournal(jkTaskStop);
      return true;
    };
  }
  static std::string Name(const TTask& t) {
    const auto* w = dynamic_cast<const TTaskWeb*>(&t);
    return w ? w->WebPath : "job" + std::to_string(t.Number);
  }
  void Ticks(TScheduler& s, int n) {
    for (int i = 0; i < n; ++i) {
      now = now + kMinute / 60;
      s.Tick();
    }
  }
  std::vector<std::string> calls;
  TTask* failStart = nullptr;
};

TEST_F(SteppingTest, JobRunsItsStepsInOrderAndEnds) {
  TScheduler s(Config());
  Bind(s);
  TTask* job = AddJob(s.Root(), skOnce, {"/w/A.web", "/w/b.web", "/w/c.web"});
  job->StartDate = now - kMinute;
  job->GetChild(1)->SetState(tsAsleep);  // skipped
  Ticks(s, 4);
  EXPECT_EQ(calls, (std::vector<std::string>{"start job1", "start /w/A.web"}));
  Ticks(s, 3);  // the capture still runs: nothing moves
  EXPECT_EQ(calls.size(), 2u);
  s.EndWebTask("/W/a.WEB", false, 0, "");
  EXPECT_EQ(job->GetChild(0)->GetState(), tsWaiting);
  Ticks(s, 2);
  EXPECT_EQ(calls.back(), "start /w/c.web");
  s.EndWebTask("/w/c.web", false, 3, "arrêt");
  EXPECT_EQ(job->GetChild(2)->GetState(), tsError);
  Ticks(s, 3);
  EXPECT_EQ(calls, (std::vector<std::string>{"start job1", "start /w/A.web", "start /w/c.web", "end job1"}));
  EXPECT_EQ(job->GetState(), tsWaiting);
  // Done once: not due again, and no next start.
  Ticks(s, 3);
  EXPECT_EQ(calls.size(), 4u);
  EXPECT_EQ(s.ComputeNextStart(), 0);
  const TaskStringList journal = job->LoadJournal();
  // The job's start, each step's work, the error of c, the job's stop.
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_NE(journal[0].find("] Démarrage de la tâche"), std::string::npos);
  EXPECT_NE(journal[1].find("] Démarrage de Capture"), std::string::npos);
  EXPECT_NE(journal[3].find("] #Capture arrêtée pour une raison inconnue ( arrêt )"), std::string::npos);
  EXPECT_NE(journal[4].find("] Arrêt de la tâche"), std::string::npos);
}

TEST_F(SteppingTest, JobWithEveryStepAsleepEndsRightAfterStarting) {
  TScheduler s(Config());
  Bind(s);
  std::vector<TTaskState> seen;
  s.OnTaskStateChange = [&](TTask& t) {
    if (!dynamic_cast<TTaskWeb*>(&t) && t.GetParent() == &s.Root()) seen.push_back(t.GetState());
  };
  TTask* job = AddJob(s.Root(), skOnce, {"/w/a.web", "/w/b.web"});
  job->StartDate = now - kMinute;
  job->GetChild(0)->Sleep();
  job->GetChild(1)->Sleep();
  Ticks(s, 5);
  EXPECT_EQ(seen, (std::vector<TTaskState>{tsStarting, tsRunning, tsEnding, tsWaiting}));
  EXPECT_EQ(calls, (std::vector<std::string>{"start job1", "end job1"}));
  const TaskStringList journal = job->LoadJournal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_NE(journal[0].find("Démarrage de la tâche"), std::string::npos);
  EXPECT_NE(journal[1].find("Arrêt de la tâche"), std::string::npos);
}

TEST_F(SteppingTest, StartHandlerErrorIsKeptAndUnboundHandlersMoveOn) {
  TScheduler s(Config());
  Bind(s);
  TTask* job = AddJob(s.Root(), skOnce, {"/w/a.web"});
  job->StartDate = now - kMinute;
  failStart = job;
  Ticks(s, 4);
  EXPECT_EQ(job->GetState(), tsError);
  EXPECT_EQ(job->Result, 5);

  // Without handlers a task goes through its states on its own.
  s.OnTaskStart = nullptr;
  s.OnTaskEnd = nullptr;
  job->SetState(tsWaiting);
  job->StartDate = now + kMinute / 2;
  Ticks(s, 60);
  EXPECT_EQ(job->GetState(), tsRunning);  // its step waits for a capture end
  EXPECT_TRUE(job->GetChild(0)->IsActive());
  s.EndWebTask("/w/a.web", true, 0, "");  // ignored
  EXPECT_TRUE(job->GetChild(0)->IsActive());
  s.EndWebTask("/w/other.web", false, 0, "");
  EXPECT_TRUE(job->GetChild(0)->IsActive());
}

TEST_F(SteppingTest, SuspendingStopsTheRunningJobAndItsStep) {
  TScheduler s(Config());
  Bind(s);
  TTask* job = AddJob(s.Root(), skOnce, {"/w/a.web"});
  job->StartDate = now - kMinute;
  Ticks(s, 4);
  ASSERT_EQ(job->GetChild(0)->GetState(), tsRunning);
  s.SetSuspended(true);
  EXPECT_EQ(s.GetStatusText(), "Gestionnaire suspendu");
  Ticks(s, 3);
  EXPECT_EQ(calls, (std::vector<std::string>{"start job1", "start /w/a.web", "end /w/a.web", "end job1"}));
  EXPECT_EQ(job->GetState(), tsWaiting);
  EXPECT_EQ(job->GetChild(0)->GetState(), tsWaiting);
  EXPECT_EQ(s.Root().GetState(), tsWaiting);
  s.SetSuspended(false);
  Ticks(s, 1);
  EXPECT_EQ(s.Root().GetState(), tsRunning);
  EXPECT_EQ(s.GetStatusText(), "1 tâche(s) en attente d'éxecution");
  s.Root().DeleteChild(job);
  EXPECT_EQ(s.GetStatusText(), "Aucune tâche en attente d'éxecution");
}

TEST_F(SteppingTest, ClockSetBackDuringARunDoesNotRepeatAStep) {
  TScheduler s(Config());
  Bind(s);
  TTask* job = AddJob(s.Root(), skOnce, {"/w/a.web", "/w/b.web"});
  job->StartDate = now - kMinute;
  Ticks(s, 4);
  now = now - 60 * kMinute;  // an hour back while a.web runs
  s.EndWebTask("/w/a.web", false, 0, "");
  Ticks(s, 4);
  s.EndWebTask("/w/b.web", false, 0, "");
  Ticks(s, 4);
  EXPECT_EQ(calls, (std::vector<std::string>{"start job1", "start /w/a.web", "start /w/b.web", "end job1"}));
}

// ---------------------------------------------------------------------------
// scheduler.dat and the shared state

TEST_F(SchedulerTest, TasksRoundTripThroughSchedulerDat) {
  {
    TScheduler s(Config());
    TTask* job = AddJob(s.Root(), skMonthly, {"/w/Été.web"});
    job->Day = 31;
    job->Months = 0x1FFE;
    job->StartDate = 10 * 60 * kMinute;
    job->Flags = kTaskCloseProgram | kTaskHangUp;
    job->MaxDurationOn = true;
    job->MaxDuration = 90 * kMinute;
    job->IdleMinutes = 12;
    job->LastEnd = D(2026, 1, 31, 11);
    auto* step = static_cast<TTaskWeb*>(job->GetChild(0));
    step->Actions = kActionReset | kActionResolveLinks;
    step->SetError(8, "détail");
    AddJob(s.Root(), skOnce, {})->StartDate = D(2026, 3, 20, 6);
    job->SetState(tsRunning);  // closed while running
    s.SetHideProgram(true);
    ASSERT_TRUE(s.SaveTasks());
    EXPECT_NEAR(s.GetNextStart(), D(2026, 3, 20, 6), 1e-7);
  }
  const std::string bytes = test::ReadFileBytes(work / "scheduler.dat");
  ASSERT_GT(bytes.size(), 19u);
  EXPECT_EQ(bytes.substr(0, 10), std::string("SCHED\0\1\0\0\0", 10));
  EXPECT_EQ(bytes[10], TScheduler::kHideProgram);

  TScheduler s(Config());
  EXPECT_EQ(s.GetStateByte(), TScheduler::kHideProgram);
  ASSERT_EQ(s.Root().GetChildCount(), 2);
  TTask* job = s.Root().GetChild(0);
  EXPECT_EQ(job->StartKind, skMonthly);
  EXPECT_EQ(job->Number, 1);
  EXPECT_EQ(job->Day, 31);
  EXPECT_EQ(job->Months, 0x1FFE);
  EXPECT_EQ(job->Flags, kTaskCloseProgram | kTaskHangUp);
  EXPECT_TRUE(job->MaxDurationOn);
  EXPECT_DOUBLE_EQ(job->MaxDuration, 90 * kMinute);
  EXPECT_EQ(job->IdleMinutes, 12);
  EXPECT_EQ(job->GetState(), tsWaiting);  // the interrupted run waits again
  auto* step = dynamic_cast<TTaskWeb*>(job->GetChild(0));
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->WebPath, "/w/Été.web");
  EXPECT_EQ(step->Actions, kActionReset | kActionResolveLinks);
  EXPECT_EQ(step->GetState(), tsError);
  EXPECT_EQ(step->Result, 8);
  EXPECT_EQ(step->Message, "détail");
  EXPECT_EQ(step->GetParent(), job);
  EXPECT_EQ(step->GetOwner(), &s);
  EXPECT_NEAR(s.GetNextStart(), D(2026, 3, 20, 6), 1e-7);
  EXPECT_EQ(s.Root().GetState(), tsRunning);
}

TEST_F(SchedulerTest, DamagedSchedulerDatIsRefusedAndKept) {
  std::string good;
  {
    TScheduler s(Config());
    AddJob(s.Root(), skOnce, {"/w/a.web", "/w/b.web"});
    ASSERT_TRUE(s.SaveTasks());
    good = test::ReadFileBytes(work / "scheduler.dat");
  }
  const std::vector<std::string> bad = {
      "", "SCHEX", std::string("XCHED\0\1\0\0\0", 10) + good.substr(10),
      std::string("SCHED\0\7\0\0\0", 10) + good.substr(10),  // a version from the future
      good.substr(0, good.size() - 3), good.substr(0, 25)};
  for (const std::string& b : bad) {
    test::WriteFileBytes(work / "scheduler.dat", b);
    TScheduler s(Config());
    EXPECT_EQ(s.Root().GetChildCount(), 0) << b.size();
    EXPECT_EQ(test::ReadFileBytes(work / "scheduler.dat.bad"), b);
    EXPECT_FALSE(s.LoadTasks());
  }
  // An unknown class stops the children there; what came before stays.
  std::string unknown = good;
  const std::size_t at = unknown.find("TTaskWeb", unknown.find("TTaskWeb") + 1);
  ASSERT_NE(at, std::string::npos);
  unknown.replace(at, 8, "TTaskXyz");
  test::WriteFileBytes(work / "scheduler.dat", unknown);
  TScheduler s(Config());
  ASSERT_EQ(s.Root().GetChildCount(), 1);
  EXPECT_EQ(s.Root().GetChild(0)->GetChildCount(), 1);
}

TEST_F(SchedulerTest, StateIsPublishedAndReadBackThroughTheRegistry) {
  TScheduler s(Config());
  int stateChanges = 0;
  s.OnStateChange = [&] { ++stateChanges; };
  TTask* job = AddJob(s.Root(), skOnce, {});
  job->StartDate = D(2026, 4, 1, 8);
  s.SaveState();
  registry::Key key;
  ASSERT_EQ(registry::OpenKey(registry::HKEY_CLASSES_ROOT, "Quillon\\Scheduler", registry::Access::Read, &key),
            registry::kOk);
  registry::Value v;
  ASSERT_EQ(registry::QueryValue(key, "Startup date", &v), registry::kOk);
  EXPECT_EQ(v.type, registry::kBinary);
  ASSERT_EQ(v.data.size(), 8u);
  double published;
  std::memcpy(&published, v.data.data(), 8);
  EXPECT_NEAR(published, D(2026, 4, 1, 8), 1e-7);
  s.SetSuspended(true);
  std::uint32_t state = 0;
  ASSERT_EQ(registry::QueryDword(key, "State", &state), registry::kOk);
  EXPECT_EQ(state, 1u);
  EXPECT_EQ(stateChanges, 1);

  // Another participant (the companion) writes: the next poll reads it.
  TDataSynchronizer companion(TScheduler::kSyncName, 0);
  ASSERT_TRUE(companion.BeginWrite(1000));
  ASSERT_EQ(registry::OpenKey(registry::HKEY_CLASSES_ROOT, "Quillon\\Scheduler", registry::Access::ReadWrite, &key),
            registry::kOk);
  registry::SetDword(key, "State", 0x102);
  const double later = D(2026, 5, 1);
  registry::SetValue(key, "Startup date", registry::kBinary, &later, 8);
  companion.EndWrite();
  s.Tick();
  EXPECT_EQ(s.GetStateByte(), 2);
  EXPECT_FALSE(s.IsSuspended());
  EXPECT_EQ(stateChanges, 2);
}

TEST_F(SchedulerTest, CompanionStartsAfterASaveWithANextStart) {
  platform::RecordingShell shell;
  const fs::path companion = program / "qlonschd";
  {
    TScheduler s(Config());
    ASSERT_TRUE(s.SaveTasks());
    EXPECT_TRUE(shell.programs.empty());  // nothing to start for
    AddJob(s.Root(), skOnce, {})->StartDate = D(2026, 4, 1);
    ASSERT_TRUE(s.SaveTasks());
    EXPECT_TRUE(shell.programs.empty());  // not installed
    test::WriteFileBytes(companion, "");
    ASSERT_TRUE(s.SaveTasks());
    ASSERT_EQ(shell.programs.size(), 1u);
    EXPECT_EQ(shell.programs[0], std::vector<std::string>{companion.string()});
    // Running already (it holds its instance mutex): not started twice.
    platform::NamedMutex running(InstanceMutexName(companion.string()));
    ASSERT_TRUE(running.TryLock());
    ASSERT_TRUE(s.SaveTasks());
    EXPECT_EQ(shell.programs.size(), 1u);
  }
}

// ---------------------------------------------------------------------------
// The thread

TEST_F(SchedulerTest, ThreadCallsStartAndEndOnTheGuiThread) {
  TScheduler s(Config());
  std::vector<std::string> calls;
  bool offThread = false;
  std::atomic<int> ticks{0};
  s.OnTick = [&] { ++ticks; };
  s.OnTaskStart = [&](TTask& t) {
    offThread |= !gui.IsCurrentThread();
    calls.push_back("start " + std::to_string(t.Number) + (dynamic_cast<TTaskWeb*>(&t) ? "w" : ""));
    EXPECT_EQ(s.CallTask(), &t);
    t.SetState(tsRunning);
    return true;
  };
  s.OnTaskEnd = [&](TTask& t) {
    offThread |= !gui.IsCurrentThread();
    calls.push_back("end " + std::to_string(t.Number));
    t.SetState(tsWaiting);
    return true;
  };
  TTask* job;
  {
    auto lock = s.LockTree();
    job = AddJob(s.Root(), skOnce, {"/w/a.web"});
    job->StartDate = now - kMinute;
  }
  s.Resume();
  ASSERT_TRUE(gui.RunUntil([&] { return calls.size() == 2; }));
  EXPECT_EQ(calls[1], "start 1w");
  now = now + kMinute;
  s.EndWebTask("/w/a.web", false, 0, "");
  ASSERT_TRUE(gui.RunUntil([&] { return calls.size() == 3; }));
  EXPECT_EQ(calls[2], "end 1");
  ASSERT_TRUE(gui.RunUntil([&] {
    auto lock = s.LockTree();
    return job->GetState() == tsWaiting;
  }));
  EXPECT_FALSE(offThread);
  EXPECT_GT(ticks.load(), 0);

  // A stop from the GUI thread calls the end handler directly.
  {
    auto lock = s.LockTree();
    job->StartDate = now + kMinute;
  }
  now = now + 2 * kMinute;
  ASSERT_TRUE(gui.RunUntil([&] { return calls.size() == 5; }));
  job->Stop();
  EXPECT_EQ(calls.back(), "end 1");
  EXPECT_EQ(job->GetState(), tsEnding);  // its running step ends first
}

TEST_F(SchedulerTest, ShutdownWhileACallIsPendingNeverHangs) {
  for (int round = 0; round < 100; ++round) {
    fs::remove(work / "scheduler.dat");  // each round starts from an empty tree
    QueueGui busy;  // never runs what it is given
    TSchedulerConfig config = Config();
    config.Gui = &busy;
    auto s = std::make_unique<TScheduler>(config);
    s->OnTaskStart = [](TTask&) { return true; };
    AddJob(s->Root(), skOnce, {})->StartDate = now - kMinute;
    s->Resume();
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (busy.Pending() == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(100us);
    ASSERT_EQ(busy.Pending(), 1u) << round;
    s.reset();  // joins the thread: the pending call is cancelled
    // Run afterwards, the cancelled call does nothing.
    busy.RunUntil([] { return false; }, 1ms);
  }
}

TEST_F(SchedulerTest, GuiMayDeleteTheTaskWhoseCallIsRunning) {
  TScheduler s(Config());
  TTask* job;
  {
    auto lock = s.LockTree();
    job = AddJob(s.Root(), skOnce, {"/w/a.web", "/w/b.web"});
    job->StartDate = now - kMinute;
  }
  int starts = 0;
  s.OnTaskStart = [&](TTask& t) {
    ++starts;
    if (dynamic_cast<TTaskWeb*>(&t)) {
      s.Root().DeleteChild(t.GetParent());  // the user deletes the job meanwhile
      return true;
    }
    t.SetState(tsRunning);
    return true;
  };
  s.Resume();
  ASSERT_TRUE(gui.RunUntil([&] {
    auto lock = s.LockTree();
    return s.Root().GetChildCount() == 0;
  }));
  // The scheduler goes on polling an empty tree.
  const int before = starts;
  gui.RunUntil([] { return false; }, 50ms);
  EXPECT_EQ(starts, before);
}

TEST_F(SchedulerTest, DefaultGuiIsTheEventLoopOfTheCreatingThread) {
  QCoreApplication& app = test::TestApp<QCoreApplication>();
  TSchedulerConfig config = Config();
  config.Gui = nullptr;
  TScheduler s(config);
  std::thread::id ranOn;
  s.OnTaskStart = [&](TTask& t) {
    ranOn = std::this_thread::get_id();
    t.SetState(tsRunning);
    return true;
  };
  AddJob(s.Root(), skOnce, {})->StartDate = now - kMinute;
  s.Resume();
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (ranOn == std::thread::id() && std::chrono::steady_clock::now() < until) app.processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// The real companion: it starts the program once the published date has
// come, and ends when nothing is scheduled.
TEST_F(SchedulerTest, CompanionProgramStartsTheProgramAtTheDate) {
  const fs::path companion = fs::read_symlink("/proc/self/exe").parent_path() / "qlonschd";
  const fs::path started = root.path() / "started";
  const fs::path fakeProgram = root.path() / "fake-qlon98";
  test::WriteFileBytes(fakeProgram, "#!/bin/sh\necho started >> '" + started.string() + "'\n");
  fs::permissions(fakeProgram, fs::perms::owner_all);

  QProcess idleRun;
  idleRun.start(QString::fromStdString(companion.string()), {});
  ASSERT_TRUE(idleRun.waitForFinished(10000));  // nothing published: it ends
  EXPECT_EQ(idleRun.exitCode(), 0);

  {
    TScheduler s(Config());
    AddJob(s.Root(), skOnce, {})->StartDate = now + kMinute;  // the test clock is in the past
    s.SaveState();
    ASSERT_GT(s.GetNextStart(), 0);
  }
  QProcess run;
  run.start(QString::fromStdString(companion.string()),
            {QStringLiteral("--program"), QString::fromStdString(fakeProgram.string())});
  ASSERT_TRUE(run.waitForStarted(10000));
  for (int i = 0; i < 1000 && test::ReadFileBytes(started).empty(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(IsInstanceFree(fakeProgram.string()));
  EXPECT_FALSE(IsInstanceFree(companion.string()));  // it holds its instance mutex
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(test::ReadFileBytes(started), "started\n");  // once for the date
  run.kill();
  run.waitForFinished(10000);
}

TEST_F(SchedulerTest, CompanionEndsWhenItsStateIsGoneAndHoldsNoPipeOfItsStarter) {
  const fs::path companion = fs::read_symlink("/proc/self/exe").parent_path() / "qlonschd";
  {
    TScheduler s(Config());
    AddJob(s.Root(), skOnce, {})->StartDate = QDateTimeToDateTime(QDateTime::currentDateTime()) + 1;  // tomorrow
    s.SaveState();
  }
  QProcess run;
  run.start(QString::fromStdString(companion.string()), {});
  ASSERT_TRUE(run.waitForStarted(10000));
  for (int i = 0; i < 500 && IsInstanceFree(companion.string()); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_FALSE(IsInstanceFree(companion.string())) << "waiting for tomorrow";
  const fs::path fds = "/proc/" + std::to_string(run.processId()) + "/fd";
  for (const char* fd : {"1", "2"}) EXPECT_EQ(fs::read_symlink(fds / fd), "/dev/null") << fd;
  // Moved away in one step: the companion may be reading (and locking) in it.
  fs::rename(root.path() / "registry", root.path() / "registry-gone");
  ASSERT_TRUE(run.waitForFinished(10000)) << "still waiting for a date nobody keeps";
  EXPECT_EQ(run.exitCode(), 0);
}

}  // namespace
}  // namespace qlon
