// A person's road through the program, driven through its own wiring: runs
// that nobody watches (the scheduler's, a web shortcut's, the program with
// no screen, run as a child process) and names handed over between two.
#include <gtest/gtest.h>

#include "HandOver.h"
#include "MainWindowFixture.h"
#include "Scheduler.h"
#include "WebStream.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using test::HttpReply;
using test::ReadFileBytes;

class UserRoadTest : public test::MainWindowFixture {};

// ---------------------------------------------------------------- nobody there

TEST_F(UserRoadTest, AScheduledRunAnswersForItselfAndWritesItsJournal) {
  Put("/", Moved(302, server_.Url("/index.html")));
  Put("/index.html", "<html><title>Index</title></html>");
  const fs::path web = MakeWeb("sched", server_.Url("/"));
  Make();
  TScheduler& scheduler = win_->DlgScheduler->Scheduler();
  auto due = CaptureJob(scheduler, web, kActionCapture | kActionResolveLinks, -1000);
  TTask* job = due.get();
  ASSERT_TRUE(JobRanToItsEnd(std::move(due)));
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
  // The start address stays; the run followed the redirect.
  ASSERT_NE(win_->CurrentWeb(), nullptr);
  EXPECT_EQ(win_->CurrentWeb()->StartEntries.front().Url, server_.Url("/"));
  EXPECT_EQ(State(server_.Url("/index.html")), fsRetrieved);
  std::string journal;
  {
    auto lock = scheduler.LockTree();
    for (const auto& line : job->LoadJournal()) journal += line + "\n";
  }
  EXPECT_NE(journal.find("a été déplacée vers " + server_.Url("/index.html")), std::string::npos) << journal;
}

TEST_F(UserRoadTest, AHandedOverNameMustBeAbsolute) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, false, false);
  Make();
  HandOver({"run.wbs"});
  ASSERT_TRUE(Pump([&] { return !boxes_.shown.empty(); }, 5));
  EXPECT_NE(boxes_.shown[0].text.find("chemin complet"), std::string::npos);
  EXPECT_EQ(win_->CurrentWeb(), nullptr);
  // What a second instance sends instead.
  const StringList sent = HandOverArguments({"run.wbs", "\"sub/x.web\" -v", "/B", "URL(a.web)", "/abs/c.url"},
                                            web.parent_path());
  EXPECT_EQ(sent, (StringList{wbs.string(), (web.parent_path() / "sub/x.web").string(), "/B", "URL(a.web)",
                              "/abs/c.url"}));
}

// ---------------------------------------------------------------- the program

class ProgramRoadTest : public test::ProgramFixture {};

TEST_F(ProgramRoadTest, AShortcutWhoseStartPageMovedEndsByItselfWithTheCaptureSaved) {
  Put("/", Moved(302, server_.Url("/index.html")));
  Put("/index.html", "<html><title>Index</title><a href=\"a.htm\">a</a></html>");
  Put("/a.htm", "<html>a</html>");
  const fs::path web = MakeWeb("moved", server_.Url("/"));
  MakeShortcut(web, 1, true, true);
  // Named as a person in that folder names it.
  QProcess* p = Start({"run.wbs"}, [&](QProcess& process, QProcessEnvironment&) {
    process.setWorkingDirectory(QString::fromStdString(web.parent_path().string()));
  });
  ASSERT_TRUE(Finished(p, 30)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_NE(Errors(p).find("a été déplacée vers"), std::string::npos) << Errors(p);
  TWeb reopened;
  ASSERT_EQ(reopened.Open(web), wlOk);
  EXPECT_EQ(reopened.RetrievedCount, 3u);  // the redirect, index.html, a.htm
  EXPECT_EQ(reopened.StartEntries.front().Url, server_.Url("/"));
}

TEST_F(ProgramRoadTest, AShortcutWhoseCaptureCannotBeSavedEndsWithTheMessage) {
  Site();
  const fs::path web = MakeWeb("locked", server_.Url("/"));
  const fs::path wbs = MakeShortcut(web, 1, true, true);
  const fs::path folder = web.parent_path();
  // The capture file's journal cannot be made: a folder holds its name, and
  // the folder is read-only (which does not stop root).
  fs::create_directory(TWebStream::JournalPath(web));
  fs::permissions(folder, fs::perms(0555));
  QProcess* p = Start({QString::fromStdString(wbs.string())});
  const bool finished = Finished(p, 30);
  fs::permissions(folder, fs::perms(0755));
  fs::remove(TWebStream::JournalPath(web));
  ASSERT_TRUE(finished) << Errors(p);
  EXPECT_EQ(p->exitCode(), 1) << Errors(p);
  EXPECT_NE(Errors(p).find("journal"), std::string::npos) << Errors(p);
}

TEST_F(ProgramRoadTest, ARelativeShortcutFromAnotherFolderIsCapturedByTheRunningProgram) {
  Site();
  const fs::path web = MakeWeb("site", server_.Url("/"));
  MakeShortcut(web, 1, false, true);
  QProcess* running = Start({QString::fromStdString(MakeWeb("idle", server_.Url("/")).string())});
  ASSERT_TRUE(Pump([] { return HandOverAvailable(InstanceMutexName(kProgramTitle), 100); }, 60));
  QProcess* second = Start({"run.wbs"}, [&](QProcess& process, QProcessEnvironment&) {
    process.setWorkingDirectory(QString::fromStdString(web.parent_path().string()));
  });
  ASSERT_TRUE(Finished(second));
  EXPECT_EQ(second->exitCode(), 0);
  ASSERT_TRUE(Finished(running, 30)) << Errors(running);
  EXPECT_EQ(running->exitCode(), 0) << Errors(running);
  EXPECT_EQ(RetrievedIn(web), 3u);
}

TEST_F(ProgramRoadTest, WithNoScreenAndNothingToDoItSaysHowAndEnds) {
  QProcess* p = Start({});
  ASSERT_TRUE(Finished(p, 20));
  EXPECT_EQ(p->exitCode(), 2);
  // One line of its own (Qt may add its warnings).
  std::vector<std::string> own;
  for (const QString& line : QString::fromStdString(Errors(p)).split('\n'))
    if (line.startsWith("qlon98:")) own.push_back(line.toStdString());
  ASSERT_EQ(own.size(), 1u) << Errors(p);
  EXPECT_NE(own[0].find("offscreen"), std::string::npos) << own[0];
  EXPECT_NE(own[0].find(".wbs"), std::string::npos) << own[0];
}

TEST_F(ProgramRoadTest, WithNoScreenItStillRunsAJobThatIsDueAndEndsAsTheJobAsks) {
  Site();
  const fs::path web = MakeWeb("due", server_.Url("/"));
  {
    // What the companion starts the program for: a job due now, published.
    TSchedulerConfig config;
    config.WorkFolder = work_;
    TScheduler scheduler(config);
    auto job = CaptureJob(scheduler, web, kActionCapture, 500);
    job->Flags |= kTaskCloseProgram;
    {
      auto lock = scheduler.LockTree();
      scheduler.Root().AddChild(std::move(job))->SetState(tsWaiting);
    }
    ASSERT_TRUE(scheduler.SaveTasks());
  }
  // The companion starts the program once the date has come.
  EXPECT_FALSE(TScheduler::JobDue());
  ASSERT_TRUE(Pump([] { return TScheduler::JobDue(); }, 5));
  QProcess* p = Start({});
  ASSERT_TRUE(Finished(p, 30)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);
  EXPECT_EQ(RetrievedIn(web), 3u);
}

TEST_F(ProgramRoadTest, WithoutAWorkFolderItSaysSoAndWritesNothing) {
  test::TempDir fresh;
  const fs::path here = fresh.path() / "here", root = fresh.path() / "root";
  fs::create_directories(here);
  test::WriteFileBytes(fresh.path() / "file", "not a folder");
  QProcess* p = Start({"nothing.wbs"}, [&](QProcess& process, QProcessEnvironment& env) {
    process.setWorkingDirectory(QString::fromStdString(here.string()));
    env.insert("QLON_PLATFORM_ROOT", QString::fromStdString(root.string()));
    env.insert("HOME", QString::fromStdString((fresh.path() / "file" / "home").string()));
  });
  ASSERT_TRUE(Finished(p, 20));
  EXPECT_EQ(p->exitCode(), 1);
  EXPECT_NE(Errors(p).find("Répertoire de travail"), std::string::npos) << Errors(p);
  EXPECT_TRUE(fs::is_empty(here));
  EXPECT_FALSE(fs::exists(root / "win.ini"));
}

}  // namespace
}  // namespace qlon
