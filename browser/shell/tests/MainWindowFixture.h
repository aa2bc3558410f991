#pragma once
// The main window's test fixtures: a fresh platform root and work folder,
// scripted message boxes, a loopback site and a main window built on demand;
// and the program itself run as a child process against that site.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <map>
#include <mutex>

#include "CaptureFixture.h"
#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "EventPump.h"
#include "HttpTestServer.h"
#include "Main.h"
#include "MessageBox.h"
#include "Scheduler.h"
#include "Setup.h"
#include "TempRoot.h"
#include "Web.h"
#include "WebShortcut.h"
#include "WindowMessage.h"

namespace qlon::test {

namespace fs = std::filesystem;
using namespace platform;

// A fresh platform root and work folder, scripted message boxes, a loopback
// site, and a main window built on demand.
class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowFixture()
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
  ~MainWindowFixture() override {
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
  // The retrieved records of a capture file opened anew; 0 when it cannot be.
  static uint64_t RetrievedIn(const fs::path& file) {
    TWeb web;
    return web.Open(file) == wlOk ? web.RetrievedCount : 0;
  }
  // A redirect to the address.
  static HttpReply Moved(int status, const std::string& location) {
    HttpReply moved;
    moved.status = status;
    moved.reason = status == 301 ? "Moved Permanently" : "Found";
    moved.headers = {{"Location", location}};
    return moved;
  }
  // A job of the scheduler (not yet added) with one step that captures the
  // web, starting `ms` from now.
  static std::unique_ptr<TTask> CaptureJob(TScheduler& scheduler, const fs::path& web, uint8_t actions, int ms) {
    auto job = std::make_unique<TTask>(&scheduler);
    job->StartKind = skOnce;
    job->StartDate = QDateTimeToDateTime(QDateTime::currentDateTime().addMSecs(ms));
    auto step = std::make_unique<TTaskWeb>(&scheduler);
    step->WebPath = web.string();
    step->Actions = actions;
    job->AddChild(std::move(step));
    return job;
  }
  // Adds the job to the window's scheduler; true once it has run and ended.
  bool JobRanToItsEnd(std::unique_ptr<TTask> job) {
    TScheduler& scheduler = win_->DlgScheduler->Scheduler();
    TTask* added;
    {
      auto lock = scheduler.LockTree();
      added = scheduler.Root().AddChild(std::move(job));
    }
    win_->show();
    return Pump([&] {
      auto lock = scheduler.LockTree();
      return added->LastEnd != 0 && added->GetState() == tsWaiting;
    }, 30);
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

// The program qlon98 as a child process, on the offscreen platform.
class ProgramFixture : public MainWindowFixture {
 protected:
  static QString Program() { return QString::fromStdString((ProgramFolder() / "qlon98").string()); }
  // `tune` may change the environment and the process (its folder) before
  // it starts. What it writes on standard error is kept (Errors).
  QProcess* Start(const QStringList& arguments,
                  const std::function<void(QProcess&, QProcessEnvironment&)>& tune = {}) {
    auto* p = new QProcess;
    processes_.emplace_back(p);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(root_.path().string()));
    if (tune) tune(*p, env);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(p, &QProcess::readyReadStandardError, p, [this, p] { errors_[p] += p->readAllStandardError(); });
    p->start(Program(), arguments);
    EXPECT_TRUE(p->waitForStarted(10000));
    return p;
  }
  std::string Errors(QProcess* p) {
    errors_[p] += p->readAllStandardError();
    return errors_[p].toStdString();
  }
  // Waits for the process while this process serves the loopback site.
  bool Finished(QProcess* p, int seconds = 60) {
    return Pump([p] { return p->state() == QProcess::NotRunning; }, seconds);
  }
  ~ProgramFixture() override {
    for (auto& p : processes_)
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
  }
  std::map<QProcess*, QByteArray> errors_;  // outlives the processes
  std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace qlon::test
