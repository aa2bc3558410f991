#include "Shell.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include "PlatformRoot.h"

namespace qlon::platform {

namespace fs = std::filesystem;

namespace {

// A started program lives on its own: it keeps none of our standard
// channels, so a pipe we were given (a terminal, a test runner) is not held
// open by a browser or a companion that outlives us.
bool Detached(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

std::mutex gReporterLock;
StartFailureReporter gReporter;

// A program that fails as it starts (no display, a refused profile, no
// application for the item) still forked and ran: only its status says so.
// It runs under a small shell that waits for it at most kWatchSeconds; the
// shell ends with the program's status when the program ended by then, else
// with 0, leaving the program to run on its own. The arguments reach the
// program as words ("$@"), never as shell text.
constexpr const char* kWatchScript =
    "\"$@\" & p=$!\n"
    "trap 'exit 0' USR1\n"
    "( sleep 3; kill -USR1 $$ ) & t=$!\n"
    "wait $p; s=$?\n"
    "kill $t 2>/dev/null\n"
    "exit $s\n";

bool Watched(const QString& program, const QStringList& arguments) {
  StartFailureReporter report;
  {
    std::lock_guard lock(gReporterLock);
    report = gReporter;
  }
  // Watched from the event loop of the GUI thread only (the scheduler's thread starts programs too).
  if (!report || !QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread())
    return Detached(program, arguments);
  // What the program's own start would refuse at once is refused here too.
  const QString found = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
  if (found.isEmpty() || !QFileInfo(found).isExecutable() || QFileInfo(found).isDir()) return false;
  auto* watcher = new QProcess(QCoreApplication::instance());
  watcher->setProgram(QStringLiteral("/bin/sh"));
  watcher->setArguments(QStringList{QStringLiteral("-c"), QString::fromLatin1(kWatchScript), QStringLiteral("sh"), found} +
                        arguments);
  watcher->setStandardInputFile(QProcess::nullDevice());
  watcher->setStandardOutputFile(QProcess::nullDevice());
  watcher->setStandardErrorFile(QProcess::nullDevice());
  const std::string name = program.toStdString();
  std::vector<std::string> words;
  for (const QString& a : arguments) words.push_back(a.toStdString());
  QObject::connect(watcher, &QProcess::finished, watcher, [watcher, report, name, words](int code, QProcess::ExitStatus how) {
    watcher->deleteLater();
    if (how == QProcess::NormalExit && code != 0) report(name, words, code);
  });
  watcher->start();
  if (watcher->waitForStarted(5000)) return true;
  watcher->deleteLater();
  return false;
}

class XdgShell : public ShellHandler {
 public:
  bool OpenItem(const std::string& item) override {
    if (item.empty()) return false;
    return Watched(QStringLiteral("xdg-open"), {QString::fromStdString(item)});
  }
  bool StartCommand(const std::string& commandLine) override { return StartDetached(commandLine); }
};

std::atomic<ShellHandler*> gHandler{nullptr};

ShellHandler& Handler() {
  static XdgShell fallback;
  ShellHandler* h = gHandler.load();
  return h ? *h : fallback;
}

std::string Env(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

std::vector<fs::path> SplitPaths(const std::string& list) {
  std::vector<fs::path> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t colon = std::min(list.find(':', start), list.size());
    if (colon > start) out.emplace_back(list.substr(start, colon - start));
    start = colon + 1;
  }
  return out;
}

fs::path Home() { return Env("HOME", "/"); }

std::string Trim(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && blank(s[b])) ++b;
  return s.substr(b);
}

// The value of key in [section] of an INI-style XDG file; empty when absent.
std::string IniValue(const fs::path& file, std::string_view section, std::string_view key) {
  std::ifstream in(file);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      inSection = line == "[" + std::string(section) + "]";
      continue;
    }
    if (!inSection) continue;
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && Trim(line.substr(0, eq)) == key) return Trim(line.substr(eq + 1));
  }
  return {};
}

std::vector<fs::path> MimeAppsLists() {
  std::vector<fs::path> lists;
  lists.push_back(Root() / "mimeapps.list");
  lists.push_back(fs::path(Env("XDG_CONFIG_HOME", (Home() / ".config").string())) / "mimeapps.list");
  for (const fs::path& d : SplitPaths(Env("XDG_CONFIG_DIRS", "/etc/xdg"))) lists.push_back(d / "mimeapps.list");
  for (const fs::path& d : ApplicationFolders()) {
    lists.push_back(d / "mimeapps.list");
    lists.push_back(d / "defaults.list");
  }
  return lists;
}

std::optional<fs::path> FindDesktopEntry(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos) return std::nullopt;
  for (const fs::path& d : ApplicationFolders()) {
    std::error_code ec;
    if (fs::is_regular_file(d / id, ec)) return d / id;
  }
  return std::nullopt;
}

// Exec without its field codes (%f, %U, ...) and without double quotes.
std::string ProgramOfExec(const std::string& exec) {
  std::string out;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '"') continue;
    if (exec[i] == '%' && i + 1 < exec.size()) {
      if (exec[i + 1] == '%') out += '%';
      ++i;
      continue;
    }
    out += exec[i];
  }
  return Trim(out);
}

}  // namespace

ShellHandler* SetShellHandler(ShellHandler* handler) { return gHandler.exchange(handler); }

bool StartDetached(const std::string& commandLine) {
  QStringList words = QProcess::splitCommand(QString::fromStdString(commandLine));
  if (words.isEmpty()) return false;
  const QString program = words.takeFirst();
  return Detached(program, words);
}

bool ShellHandler::StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  if (program.empty()) return false;
  QStringList args;
  for (const std::string& a : arguments) args.push_back(QString::fromStdString(a));
  return Watched(QString::fromStdString(program), args);
}

StartFailureReporter SetStartFailureReporter(StartFailureReporter reporter) {
  std::lock_guard lock(gReporterLock);
  std::swap(gReporter, reporter);
  return reporter;
}

bool OpenItem(const std::string& item) { return Handler().OpenItem(item); }
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  return Handler().StartProgram(program, arguments);
}
bool StartCommand(const std::string& commandLine) { return Handler().StartCommand(commandLine); }

RecordingShell::RecordingShell() : previous_(SetShellHandler(this)) {}
RecordingShell::~RecordingShell() { SetShellHandler(previous_); }

bool RecordingShell::OpenItem(const std::string& item) {
  opened.push_back(item);
  return result;
}

bool RecordingShell::StartCommand(const std::string& commandLine) {
  started.push_back(commandLine);
  return result;
}

bool RecordingShell::StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> call{program};
  call.insert(call.end(), arguments.begin(), arguments.end());
  programs.push_back(std::move(call));
  return result;
}

std::vector<fs::path> ApplicationFolders() {
  std::vector<fs::path> folders;
  folders.push_back(Root() / "applications");
  folders.push_back(fs::path(Env("XDG_DATA_HOME", (Home() / ".local/share").string())) / "applications");
  for (const fs::path& d : SplitPaths(Env("XDG_DATA_DIRS", "/usr/local/share:/usr/share")))
    folders.push_back(d / "applications");
  return folders;
}

std::optional<Association> AssociatedProgram(std::string_view extension) {
  std::string ext(extension);
  while (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  if (ext.empty() || ext.find('/') != std::string::npos) return std::nullopt;
  static const QMimeDatabase db;
  const QMimeType mime = db.mimeTypeForFile(QString::fromStdString("file." + ext), QMimeDatabase::MatchExtension);
  if (!mime.isValid() || mime.isDefault()) return std::nullopt;
  QStringList names = mime.aliases();
  names.prepend(mime.name());
  for (const fs::path& list : MimeAppsLists()) {
    for (const char* section : {"Default Applications", "Added Associations"}) {
      for (const QString& name : names) {
        const std::string ids = IniValue(list, section, name.toStdString());
        std::size_t start = 0;
        while (start < ids.size()) {
          const std::size_t semi = std::min(ids.find(';', start), ids.size());
          const std::optional<fs::path> entry = FindDesktopEntry(Trim(ids.substr(start, semi - start)));
          start = semi + 1;
          if (!entry) continue;
          const std::string program = ProgramOfExec(IniValue(*entry, "Desktop Entry", "Exec"));
          if (program.empty()) continue;
          std::string icon = IniValue(*entry, "Desktop Entry", "Icon");
          if (icon.empty()) icon = mime.iconName().toStdString();
          return Association{mime.name().toStdString(), entry->string(), program, icon};
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace qlon::platform
