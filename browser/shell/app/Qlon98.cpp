// The program qlon98: the first process becomes the running instance and
// shows the main window; a later one hands its command line to it and ends
// (status 0, or 1 when no running instance took it).
//
// Exit status of the instance: 0; 1 when an unattended run met an error it
// could only report, or no work folder can be had; 2 when started with no
// screen and nothing to do.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <optional>

#include "DWorkDir.h"
#include "CommandLine.h"
#include "FrenchUi.h"
#include "Main.h"
#include "Pictures.h"
#include "QtMessageBox.h"
#include "QtShell.h"
#include "Scheduler.h"
#include "Scx.h"
#include "Setup.h"
#include "Unattended.h"
#include "Utils.h"

namespace {

// Exceptions that reach the event loop are shown, as the framework's
// default handler would.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      qlon::ShowMessageBox(e.what(), qlon::kProgramTitle, qlon::platform::MB_OK | qlon::platform::MB_ICONHAND);
    }
    return false;
  }
};

// The first start asks for the work folder. With nobody to ask (no screen,
// a shortcut that closes the program, the scheduler's companion) the
// proposed folder is taken.
class TWorkPathPrompt : public qlon::IWorkPathPrompt {
 public:
  bool AskWorkPath(std::string& path) override {
    const QString folder = qlon::controls::TDlgWorkPath::DefaultWorkFolder();
    if (const auto* unattended = qlon::shell::TUnattended::Current(); unattended && unattended->Active()) {
      if (!QDir().mkpath(folder)) {
        Failed = folder.toStdString();
        return false;
      }
      path = folder.toStdString();
      return true;
    }
    qlon::controls::TDlgWorkPath dlg(folder);
    if (dlg.exec() != QDialog::Accepted) return false;
    path = dlg.WorkPath.toStdString();
    return true;
  }
  // The proposed folder taken in nobody's place that could not be created.
  std::string Failed;
};

// The scheduler's companion names itself in the environment of the program
// it starts; the program's own children do not inherit it.
bool StartedByScheduler(const qlon::StringList& arguments) {
  const bool started = qEnvironmentVariableIsSet(qlon::kScheduledStartVariable);
  qunsetenv(qlon::kScheduledStartVariable);
  return started && arguments.empty();
}

}  // namespace

int main(int argc, char** argv) {
  qlon::StringList arguments(argv + 1, argv + argc);
  if (!qlon::CreateInstanceMutex(qlon::kProgramTitle)) {
    QCoreApplication app(argc, argv);
    const qlon::InstanceWindow running = qlon::FindWindowByTitle(qlon::kProgramTitle);
    // The running instance has another current folder.
    if (running && qlon::SendCommandLine(running, qlon::shell::HandOverArguments(arguments, QDir::currentPath().toStdString())))
      return 0;
    // The running one may still be at its first question, before it listens.
    std::fprintf(stderr, "qlon98: %s est déjà lancé mais ne répond pas : la commande ne lui a pas été transmise.\n",
                 qlon::kProgramTitle);
    return 1;
  }
  int result;
  {
    TApplication app(argc, argv);
    // No display name: the framework would add it to every window title
    // ("Attention! — Quillon 98"); each window names itself.
    // French for the framework's own texts too, from the first dialog on.
    qlon::shell::InstallFrenchUi(app);
    QApplication::setWindowIcon(qlon::shell::ProgramIcon());
    qlon::platform::QtMessageBoxHandler boxes;
    qlon::shell::TUnattended unattended;
    const bool noScreen = QGuiApplication::platformName() == "offscreen";
    // Unless the scheduler's companion started it for a job due now.
    if (noScreen && arguments.empty() && !qlon::TScheduler::JobDue()) {
      std::fprintf(stderr,
                   "qlon98: pas d'écran (plate-forme offscreen), rien à faire sans utilisateur ; "
                   "pour lancer une capture : qlon98 /chemin/du/raccourci.wbs\n");
      qlon::CloseInstanceMutex();
      return 2;
    }
    unattended.Set(qlon::shell::TUnattended::NoScreen, noScreen);
    // Nobody watches such a run from its first question on, screen or not.
    if (qlon::shell::RunsClosingShortcut(arguments)) unattended.Set(qlon::shell::TUnattended::Shortcut, true);
    std::optional<qlon::shell::TUnattendedScope> scheduledStart;
    if (StartedByScheduler(arguments)) scheduledStart.emplace(unattended, qlon::shell::TUnattended::Scheduled, nullptr);
    qlon::platform::QtShellHandler shell;
    // The missing socket library is reported now, not at the first capture.
    qlon::ScxLoaded();
    TWorkPathPrompt prompt;
    qlon::TSetup setup(&prompt, qlon::ProgramFolder());
    if (setup.WorkPath.empty()) {
      const std::string text =
          prompt.Failed.empty() ? "Aucun Répertoire de travail ne peut être créé"
                                : "Le Répertoire de travail " + prompt.Failed + " ne peut pas être créé";
      qlon::ShowMessageBox(text + " : Quillon 98 s'arrête sans rien écrire.", qlon::kProgramTitle,
                           qlon::platform::MB_OK | qlon::platform::MB_ICONHAND);
      qlon::CloseInstanceMutex();
      return 1;
    }
    // The companion's start is unattended for the first start only; the
    // job itself runs as every scheduled one does.
    scheduledStart.reset();
    // A file named on the command line that is not there leaves nothing
    // to do either: said, and the program ends rather than wait for nobody.
    if (const std::string file = qlon::shell::FirstArgument(arguments);
        noScreen && qlon::shell::IsFileArgument(file) && !QFileInfo(QString::fromStdString(file)).isFile()) {
      std::fprintf(stderr, "qlon98: le fichier %s n'existe pas.\n", qlon::PrintableText(file).c_str());
      qlon::CloseInstanceMutex();
      return 1;
    }
    qlon::TMainWinConfig config;
    config.Arguments = arguments;
    qlon::TMainWin window(setup, config);
    window.show();
    result = app.exec();
    if (result == 0 && unattended.Failures() > 0) result = 1;
  }
  qlon::CloseInstanceMutex();
  return result;
}
