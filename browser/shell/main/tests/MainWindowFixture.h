#pragma once
// The main window's test fixtures: the site fixture with a main window built
// on demand; and the program itself run as a child process against the site.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <functional>

#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "Main.h"
#include "MainWinProbe.h"
#include "MessageBox.h"
#include "SiteFixture.h"
#include "WindowMessage.h"

namespace qlon::test {

namespace fs = std::filesystem;
using namespace platform;

// A main window built on demand over the site.
class MainWindowFixture : public SiteFixture {
 protected:
  ~MainWindowFixture() override { win_.reset(); }

  TMainWinProbe Probe() const { return TMainWinProbe(*win_); }

  void Make(StringList arguments = {}) {
    TMainWinConfig config;
    config.Arguments = std::move(arguments);
    config.Splash = false;
    config.SchedulerStartDelayMs = 0;
    config.SchedulerPollMs = 20;
    win_ = std::make_unique<TMainWin>(setup_, config);
    Probe().ExecDialog() = [this](QDialog& dialog) { return AnswerDialog(dialog); };
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

  // Adds the job to the window's scheduler; true once it has run and ended.
  bool JobRanToItsEnd(std::unique_ptr<TTask> job) {
    TScheduler& scheduler = Probe().DlgScheduler()->Scheduler();
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
    Probe().OpenWebFile(MakeWeb("slow", server_.Url("/")).string());
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
      if (!Probe().Road().Capture()) return;
      poll->stop();
      poll->deleteLater();
      action();
    });
    poll->start(5);
  }
  // File > Ouvrir... of the web.
  void OpenFromTheMenu(const fs::path& file) {
    Probe().AskOpenWebFile() = [file] { return QString::fromStdString(file.string()); };
    Probe().MenuFileOpen()->trigger();
    ASSERT_NE(win_->CurrentWeb(), nullptr);
  }
  // Capture > Démarrer..., finishing the capture.
  void StartCaptureFromTheMenu() {
    choose_ = [](shell::TDlgChooseCapture& d) {
      d.FinishRadio->setChecked(true);
      return int(QDialog::Accepted);
    };
    Probe().MenuCaptureStart()->trigger();
  }
  // The run has ended with that many records retrieved.
  bool CapturedAll(size_t count) {
    return Pump([&] {
      return win_->CurrentWeb() && !Probe().Road().Running() && win_->Mode() == mmWebOpen &&
             win_->CurrentWeb()->RetrievedCount == count;
    });
  }
  TWebFileState State(const std::string& url) {
    TWebFile r(win_->CurrentWeb());
    return win_->CurrentWeb()->FindUrl(url, r) ? r.GetState() : TWebFileState(255);
  }

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
  // `tune` may change the environment and the process (its folder, or the
  // program it runs under) before it starts. What it writes on standard
  // error is kept (Errors).
  QProcess* Start(const QStringList& arguments,
                  const std::function<void(QProcess&, QProcessEnvironment&)>& tune = {}) {
    auto* p = new QProcess;
    processes_.emplace_back(p);
    p->setProgram(Program());
    p->setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(root_.path().string()));
    if (tune) tune(*p, env);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(p, &QProcess::readyReadStandardError, p, [this, p] { errors_[p] += p->readAllStandardError(); });
    p->start();
    EXPECT_TRUE(p->waitForStarted(10000));
    return p;
  }
  std::string Errors(QProcess* p) {
    errors_[p] += p->readAllStandardError();
    return errors_[p].toStdString();
  }
  // The lines of its own on standard error (Qt may add its warnings).
  std::vector<std::string> OwnLines(QProcess* p) {
    std::vector<std::string> own;
    for (const QByteArray& line : QByteArray::fromStdString(Errors(p)).split('\n'))
      if (line.startsWith("qlon98:")) own.push_back(line.toStdString());
    return own;
  }
  // Runs the program on a shortcut to its end, which must come with the
  // status; the lines it wrote itself on standard error.
  std::vector<std::string> RunShortcut(const fs::path& wbs, int status, int seconds = 60) {
    QProcess* p = Start({QString::fromStdString(wbs.string())});
    if (!Finished(p, seconds)) {
      ADD_FAILURE() << "the program did not end: " << Errors(p);
      return {};
    }
    EXPECT_EQ(p->exitCode(), status) << Errors(p);
    return OwnLines(p);
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
